// The rig's control interface: faults, the request log, the clock, COM.
#include <algorithm>
#include <cstring>

#include "platform/virtual/clock.h"
#include "platform/virtual/com.h"
#include "platform/virtual/qelsim_access.h"
#include "qel/qelsim.h"

using namespace qel::sim;

extern "C" {

QEL_API int QEL_CALL qelsim_inject_fault(int device, const char* operation, int skip, int count) {
  if (operation == nullptr || !FaultTable::IsKnownOperation(operation)) return -1;
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  if (device != -1 && !rig.FindLocked(device)) return -1;
  rig.faults.Add(device, operation, skip, count);
  return 0;
}

QEL_API void QEL_CALL qelsim_clear_faults(void) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  rig.faults.Clear();
  for (const DevicePtr& d : rig.devices) {
    if (d->firmware) d->firmware->ClearFaults();
  }
}

QEL_API void QEL_CALL qelsim_log_clear(void) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  rig.log.Clear();
}

QEL_API int QEL_CALL qelsim_log_report_count(int device) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  return rig.log.ReportCount(device);
}

QEL_API int QEL_CALL qelsim_log_report(int device, int index, unsigned char* report, int32_t size) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  const RequestLog::ReportEntry* entry = rig.log.Report(device, index);
  if (entry == nullptr) return -1;
  if (report != nullptr && size > 0) {
    std::memcpy(report, entry->bytes.data(),
                std::min(entry->bytes.size(), static_cast<std::size_t>(size)));
  }
  return static_cast<int>(entry->bytes.size());
}

QEL_API int QEL_CALL qelsim_log_property_count(int device) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  return rig.log.PropertyCount(device);
}

QEL_API int QEL_CALL qelsim_log_property(int device, int index, int* property, int32_t* value,
                                         int32_t* flags) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  const RequestLog::PropertyEntry* entry = rig.log.Property(device, index);
  if (entry == nullptr) return -1;
  if (property) *property = entry->property;
  if (value) *value = entry->value;
  if (flags) *flags = entry->flags;
  return 0;
}

QEL_API void QEL_CALL qelsim_set_virtual_time(int on) { SetVirtualTime(on != 0); }

QEL_API uint32_t QEL_CALL qelsim_now_ms(void) { return PeekTickCount(); }

QEL_API void QEL_CALL qelsim_advance_ms(uint32_t ms) { AdvanceClock(ms); }

QEL_API void QEL_CALL qelsim_set_tick_count(uint32_t ms) { SetTickCount(ms); }

QEL_API int QEL_CALL qelsim_com_depth(void) { return ComDepth(); }

QEL_API int QEL_CALL qelsim_com_thread_depth(void) { return ThreadComDepth(); }

QEL_API int QEL_CALL qelsim_mta_usage(void) { return MtaUsage(); }

}  // extern "C"
