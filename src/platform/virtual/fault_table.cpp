#include "platform/virtual/fault_table.h"

#include <algorithm>
#include <array>

namespace qel::sim {

namespace {

constexpr std::array<std::string_view, 41> kOperations = {
    "CoInitializeEx",
    "CreateFilterGraph",
    "CreateSystemDeviceEnum",
    "CreateClassEnumerator",
    "Next",
    "GetDisplayName",
    "BindToStorage",
    "BindToObject",
    "AddFilter.capture",
    "AddFilter.grabber",
    "CreateCaptureGraphBuilder",
    "SetFiltergraph",
    "FindInterface",
    "GetFormat",
    "SetFormat",
    "GetNumberOfCapabilities",
    "GetStreamCaps",
    "CreateSampleGrabber",
    "QueryInterface.SampleGrabber",
    "SetMediaType",
    "EnumPins",
    "Connect",
    "SetBufferSamples",
    "SetOneShot",
    "SetCallback",
    "QueryInterface.MediaEvent",
    "QueryInterface.MediaControl",
    "Run",
    "Stop",
    "WaitForCompletion",
    "QueryInterface.VideoProcAmp",
    "QueryInterface.CameraControl",
    "GetRange",
    "Get",
    "Set",
    "SetupDiGetClassDevs",
    "EnumDeviceInterfaces",
    "CM_Get_Device_ID",
    "CreateFile",
    "WriteFile",
    "ReadFile",
};

}  // namespace

bool FaultTable::IsKnownOperation(std::string_view operation) {
  return std::find(kOperations.begin(), kOperations.end(), operation) != kOperations.end();
}

const char* FaultTable::OperationAt(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= kOperations.size()) return nullptr;
  return kOperations[static_cast<std::size_t>(index)].data();  // literals: terminated
}

void FaultTable::Add(int device, std::string_view operation, int skip, int count) {
  std::erase_if(faults_,
                [&](const Fault& f) { return f.device == device && f.operation == operation; });
  faults_.push_back(
      Fault{device, std::string(operation), std::max(skip, 0), count < 0 ? -1 : count});
}

void FaultTable::Clear() {
  faults_.clear();
  sequence_.clear();
  calls_.clear();
  fired_ = 0;
}

int FaultTable::Calls(std::string_view operation) const {
  for (const auto& [name, count] : calls_) {
    if (name == operation) return count;
  }
  return 0;
}

void FaultTable::Record(std::string_view operation) {
  if (sequence_.size() >= kSequenceKept) sequence_.pop_front();
  sequence_.emplace_back(operation);
}

const char* FaultTable::SequenceAt(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= sequence_.size()) return nullptr;
  return sequence_[static_cast<std::size_t>(index)].c_str();
}

bool FaultTable::Hit(std::string_view operation, int device) {
  Record(operation);
  auto counted = std::find_if(calls_.begin(), calls_.end(),
                              [&](const auto& entry) { return entry.first == operation; });
  if (counted == calls_.end()) {
    calls_.emplace_back(std::string(operation), 1);
  } else {
    ++counted->second;
  }
  bool fail = false;
  for (Fault& f : faults_) {
    if (f.operation != operation || (f.device != -1 && f.device != device)) continue;
    if (f.skip > 0) {
      --f.skip;
    } else if (f.count != 0) {
      fail = true;
      if (f.count > 0) --f.count;
    }
  }
  if (fail) ++fired_;
  return fail;
}

}  // namespace qel::sim
