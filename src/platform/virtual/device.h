// What the rig knows about one simulated device: its video function (names,
// capture formats, video properties, frame mode) and, for cameras of the
// family, its HID interfaces and firmware. All fields are guarded by the rig
// mutex except the firmware, which locks itself.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/guid.h"
#include "platform/virtual/firmware_sim.h"

namespace qel::sim {

struct StreamCore;

// One stream capability of the capture pin.
struct Capability {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int64_t interval = 0;  // 100 ns units
  platform::Guid subtype;
  bool videoInfo = true;  // FORMAT_VideoInfo, else FORMAT_VideoInfo2
};

// One of the 17 video properties (0..9 processing amplifier, 10..16 camera
// control).
struct PropertyState {
  bool supported = false;
  std::int32_t min = 0;
  std::int32_t max = 0;
  std::int32_t step = 1;
  std::int32_t defaultValue = 0;
  std::int32_t capsFlags = 2;  // manual
  std::int32_t value = 0;
  std::int32_t flags = 2;
};

inline constexpr int kPropertyCount = 17;

// The input queue of one open HID handle.
struct HidQueue {
  std::vector<Report> reports;  // oldest first
};

inline constexpr std::size_t kHidQueueLimit = 64;

struct HidInterface {
  int flags = 0;  // QELSIM_HID_*
  std::uint32_t devInst = 0;
  std::string path;        // device interface path
  std::string instanceId;  // the interface's own device instance ID
  std::vector<HidQueue*> openQueues;
};

// A hold on a camera's firmware (qelsim_hold_firmware): the request it
// catches waits in its write until the hold is released.
struct FirmwareHold {
  bool armed = false;
  int code = -1;         // -1: any command
  int skip = 0;          // matching requests still let through
  bool holding = false;  // a request is waiting
};

enum class DeviceKind { kCamera, kWebcam, kSoftware, kForeignHid };

struct Device {
  int id = 0;
  DeviceKind kind = DeviceKind::kWebcam;
  bool removed = false;

  // Video function (not for kForeignHid).
  std::string friendlyName;  // UTF-8
  std::string displayName;
  std::vector<Capability> caps;
  std::optional<Capability> current;  // set by SetFormat; else caps[0]
  std::array<PropertyState, kPropertyCount> properties{};
  bool hasVideoProcAmp = true;
  bool hasCameraControl = true;
  int frameMode = 0;  // QELSIM_FRAMES_*
  std::int64_t framesDelivered = 0;
  StreamCore* activeStream = nullptr;  // the stream running on the device
  // The sample grabber settings of the graph last run on the device.
  bool grabberBufferedSamples = false;
  bool grabberOneShot = false;
  int capsStructureSize = 128;  // what GetNumberOfCapabilities reports

  // HID function (cameras and foreign HID devices).
  std::string parentId;  // the parent's device instance ID
  std::uint32_t parentDevInst = 0;
  std::vector<std::shared_ptr<HidInterface>> hid;
  std::uint16_t inputLength = 65;
  std::uint16_t outputLength = 65;
  std::optional<std::string> usbSerial;
  std::uint16_t hidUsbPid = 0x5000;
  std::unique_ptr<Firmware> firmware;
  FirmwareHold hold;

  bool IsVideo() const { return kind != DeviceKind::kForeignHid; }
  // The pin's current format, if the device has any.
  const Capability* CurrentFormat() const {
    if (current) return &*current;
    return caps.empty() ? nullptr : &caps.front();
  }
};

using DevicePtr = std::shared_ptr<Device>;

}  // namespace qel::sim
