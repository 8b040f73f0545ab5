#include "platform/virtual/fault_table.h"

#include <algorithm>
#include <array>

namespace qel::sim {

namespace {

constexpr std::array<std::string_view, 40> kOperations = {
    "CoInitializeEx",
    "CreateFilterGraph",
    "CreateSystemDeviceEnum",
    "CreateClassEnumerator",
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

void FaultTable::Add(int device, std::string_view operation, int skip, int count) {
  std::erase_if(faults_,
                [&](const Fault& f) { return f.device == device && f.operation == operation; });
  faults_.push_back(
      Fault{device, std::string(operation), std::max(skip, 0), count < 0 ? -1 : count});
}

bool FaultTable::Hit(std::string_view operation, int device) {
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
  return fail;
}

}  // namespace qel::sim
