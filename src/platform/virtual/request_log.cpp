#include "platform/virtual/request_log.h"

namespace qel::sim {

namespace {

template <typename Entry>
int CountFor(const std::deque<Entry>& entries, int device) {
  if (device == -1) return static_cast<int>(entries.size());
  int n = 0;
  for (const Entry& e : entries) n += e.device == device;
  return n;
}

template <typename Entry>
const Entry* Nth(const std::deque<Entry>& entries, int device, int index) {
  if (index < 0) return nullptr;
  for (const Entry& e : entries) {
    if (device != -1 && e.device != device) continue;
    if (index-- == 0) return &e;
  }
  return nullptr;
}

}  // namespace

int RequestLog::ReportCount(int device) const { return CountFor(reports_, device); }

const RequestLog::ReportEntry* RequestLog::Report(int device, int index) const {
  return Nth(reports_, device, index);
}

int RequestLog::PropertyCount(int device) const { return CountFor(properties_, device); }

const RequestLog::PropertyEntry* RequestLog::Property(int device, int index) const {
  return Nth(properties_, device, index);
}

}  // namespace qel::sim
