// The rig's control interface: faults, the request log, the clock, COM.
#include <algorithm>
#include <cstring>

#include "platform/virtual/clock.h"
#include "platform/virtual/com.h"
#include "platform/virtual/hid_devices.h"
#include "platform/virtual/qelsim_access.h"
#include "platform/virtual/qelsim_exports.h"
#include "qel/qelsim.h"

using namespace qel::sim;

int qel::sim::exports::qelsim_inject_fault(int device, const char* operation, int skip, int count) {
  if (operation == nullptr || !FaultTable::IsKnownOperation(operation)) return -1;
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  if (device != -1 && !rig.FindLocked(device)) return -1;
  rig.faults.Add(device, operation, skip, count);
  return 0;
}

void qel::sim::exports::qelsim_clear_faults(void) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  rig.faults.Clear();
  for (const DevicePtr& d : rig.devices) {
    if (d->firmware) d->firmware->ClearFaults();
    d->hold.armed = false;
  }
  rig.changed.notify_all();
}

void qel::sim::exports::qelsim_log_clear(void) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  rig.log.Clear();
}

int qel::sim::exports::qelsim_log_report_count(int device) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  return rig.log.ReportCount(device);
}

int qel::sim::exports::qelsim_log_report(int device, int index, unsigned char* report,
                                         int32_t size) {
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

int qel::sim::exports::qelsim_log_property_count(int device) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  return rig.log.PropertyCount(device);
}

int qel::sim::exports::qelsim_log_property(int device, int index, int* property, int32_t* value,
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

void qel::sim::exports::qelsim_set_virtual_time(int on) { SetVirtualTime(on != 0); }

uint32_t qel::sim::exports::qelsim_now_ms(void) { return PeekTickCount(); }

void qel::sim::exports::qelsim_advance_ms(uint32_t ms) { AdvanceClock(ms); }

void qel::sim::exports::qelsim_set_tick_count(uint32_t ms) { SetTickCount(ms); }

int qel::sim::exports::qelsim_com_depth(void) { return ComDepth(); }

int qel::sim::exports::qelsim_com_thread_depth(void) { return ThreadComDepth(); }

int qel::sim::exports::qelsim_operation_calls(const char* operation) {
  if (operation == nullptr || !FaultTable::IsKnownOperation(operation)) return -1;
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  return rig.faults.Calls(operation);
}

const char* qel::sim::exports::qelsim_fault_point(int index) {
  return FaultTable::OperationAt(index);
}

const char* qel::sim::exports::qelsim_operation_at(int index) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  return rig.faults.SequenceAt(index);
}

int qel::sim::exports::qelsim_faults_fired(void) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  return rig.faults.Fired();
}

int qel::sim::exports::qelsim_close_gate(int device, const char* operation) {
  if (operation == nullptr || std::string_view(operation) != "Run") return -1;
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  rig.gates.push_back(Rig::Gate{device, operation, 0});
  return 0;
}

int qel::sim::exports::qelsim_gate_waiting(void) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  int waiting = 0;
  for (const Rig::Gate& gate : rig.gates) waiting += gate.waiting;
  return waiting;
}

void qel::sim::exports::qelsim_open_gates(void) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  rig.gates.clear();
  rig.changed.notify_all();
}

int qel::sim::exports::qelsim_open_hid_handles(void) { return OpenHidHandles().load(); }

int qel::sim::exports::qelsim_running_streams(void) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  return static_cast<int>(rig.streams.size());
}
int qel::sim::exports::qelsim_mta_usage(void) { return MtaUsage(); }
