// The log of what the library sent: HID output reports and property writes.
// It keeps the latest kMaxEntries of each, so that an application running on
// the rig for days does not grow without bound; older entries drop out and
// indices count the entries kept. Not locked itself: the rig uses it under
// its mutex.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

namespace qel::sim {

class RequestLog {
 public:
  struct ReportEntry {
    int device;
    std::vector<std::uint8_t> bytes;
  };
  struct PropertyEntry {
    int device;
    int property;  // 0..16
    std::int32_t value;
    std::int32_t flags;
  };

  void Clear() {
    reports_.clear();
    properties_.clear();
  }
  static constexpr std::size_t kMaxEntries = 1u << 18;

  void AddReport(int device, const std::uint8_t* bytes, std::size_t length) {
    if (reports_.size() == kMaxEntries) reports_.pop_front();
    reports_.push_back(ReportEntry{device, std::vector<std::uint8_t>(bytes, bytes + length)});
  }
  void AddProperty(int device, int property, std::int32_t value, std::int32_t flags) {
    if (properties_.size() == kMaxEntries) properties_.pop_front();
    properties_.push_back(PropertyEntry{device, property, value, flags});
  }

  // device -1: every device. index counts within the selection.
  int ReportCount(int device) const;
  const ReportEntry* Report(int device, int index) const;
  int PropertyCount(int device) const;
  const PropertyEntry* Property(int device, int index) const;

 private:
  std::deque<ReportEntry> reports_;
  std::deque<PropertyEntry> properties_;
};

}  // namespace qel::sim
