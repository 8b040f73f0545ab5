// The rig's control interface: HID interfaces and the cameras' firmware.
#include <string>

#include "platform/virtual/population.h"
#include "platform/virtual/qelsim_access.h"
#include "platform/virtual/qelsim_exports.h"
#include "qel/qelsim.h"

using namespace qel::sim;

namespace {

constexpr int kHidFlagMask = QELSIM_HID_UNOPENABLE | QELSIM_HID_NO_CAPS | QELSIM_HID_NO_SERIAL |
                             QELSIM_HID_NO_PARENT | QELSIM_HID_NO_DETAIL;

bool ValidRegister(int width, int address) {
  return (width == 8 || width == 16) && address >= 0 && address <= 0xFFFF;
}

bool ValidRange(std::uint32_t address, std::uint32_t length) {
  return address <= Firmware::kMemorySize && length <= Firmware::kMemorySize - address;
}

}  // namespace

int qel::sim::exports::qelsim_add_hid_interface(int device, int first, int flags) {
  return WithDevice(device, CameraDevice, [&](Device& d) {
    auto hid = MakeHidInterface(d, flags & kHidFlagMask);
    if (first) {
      d.hid.insert(d.hid.begin(), hid);
      return 0;
    }
    d.hid.push_back(hid);
    return static_cast<int>(d.hid.size()) - 1;
  });
}

int qel::sim::exports::qelsim_set_hid_flags(int device, int interfaceNumber, int flags) {
  return WithDevice(device, HidDevice, [&](Device& d) {
    if (interfaceNumber < 0 || static_cast<std::size_t>(interfaceNumber) >= d.hid.size()) {
      return -1;
    }
    d.hid[static_cast<std::size_t>(interfaceNumber)]->flags = flags & kHidFlagMask;
    return 0;
  });
}

int qel::sim::exports::qelsim_set_hid_parent_id(int device, const char* instanceId) {
  if (instanceId == nullptr) return -1;
  return WithDevice(device, HidDevice, [&](Device& d) {
    d.parentId = instanceId;
    return 0;
  });
}

int qel::sim::exports::qelsim_add_foreign_hid(const char* parentInstanceId) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  int id = rig.nextId++;
  std::string parent = parentInstanceId != nullptr
                           ? std::string(parentInstanceId)
                           : "USB\\VID_0F0F&PID_0001\\5&" + std::to_string(1000 + id) + "&0&1";
  DevicePtr d = MakeForeignHid(id, parent);
  d->hid.push_back(MakeHidInterface(*d, 0));
  rig.devices.push_back(d);
  return id;
}

int qel::sim::exports::qelsim_set_hid_report_lengths(int device, int input, int output) {
  if (input < 1 || input > 4096 || output < 1 || output > 4096) return -1;
  return WithDevice(device, HidDevice, [&](Device& d) {
    d.inputLength = static_cast<std::uint16_t>(input);
    d.outputLength = static_cast<std::uint16_t>(output);
    return 0;
  });
}

int qel::sim::exports::qelsim_set_usb_serial(int device, const char* serialText) {
  return WithDevice(device, HidDevice, [&](Device& d) {
    if (serialText) {
      d.usbSerial = serialText;
    } else {
      d.usbSerial.reset();
    }
    return 0;
  });
}

int qel::sim::exports::qelsim_set_firmware_serial(int device, uint32_t serial) {
  return WithDevice(device, CameraDevice, [&](Device& d) {
    d.firmware->SetCommandSerial(serial);
    return 0;
  });
}

int qel::sim::exports::qelsim_set_version(int device, const char* text) {
  if (text == nullptr || std::char_traits<char>::length(text) > 61) return -1;
  return WithDevice(device, CameraDevice, [&](Device& d) {
    d.firmware->SetVersion(text);
    return 0;
  });
}

int qel::sim::exports::qelsim_set_temperature(int device, int type, int value) {
  if (type != 1 && type != 2) return -1;
  return WithDevice(device, CameraDevice, [&](Device& d) {
    d.firmware->SetTemperature(type, value);
    return 0;
  });
}

int qel::sim::exports::qelsim_set_device_bytes(int device, int recognition, int usbMode,
                                               int gpioInput) {
  return WithDevice(device, CameraDevice, [&](Device& d) {
    d.firmware->SetDeviceBytes(recognition, usbMode, gpioInput);
    return 0;
  });
}

int qel::sim::exports::qelsim_get_firmware_state(int device, int* gpioDirection, int* gpioOutput,
                                                 uint16_t gains[4], uint16_t* shutter) {
  return WithDevice(device, CameraDevice, [&](Device& d) {
    int direction = 0, output = 0;
    std::array<std::uint16_t, 4> g{};
    std::uint16_t s = 0;
    d.firmware->GetState(direction, output, g, s);
    if (gpioDirection) *gpioDirection = direction;
    if (gpioOutput) *gpioOutput = output;
    if (gains) std::copy(g.begin(), g.end(), gains);
    if (shutter) *shutter = s;
    return 0;
  });
}

int qel::sim::exports::qelsim_get_register(int device, int width, int address, int* value) {
  if (value == nullptr || !ValidRegister(width, address)) return -1;
  return WithDevice(device, CameraDevice, [&](Device& d) {
    *value = d.firmware->GetRegister(width, address);
    return 0;
  });
}

int qel::sim::exports::qelsim_set_register(int device, int width, int address, int value) {
  if (!ValidRegister(width, address)) return -1;
  return WithDevice(device, CameraDevice, [&](Device& d) {
    d.firmware->SetRegister(width, address, value & (width == 8 ? 0xFF : 0xFFFF));
    return 0;
  });
}

int qel::sim::exports::qelsim_read_memory(int device, uint32_t address, unsigned char* data,
                                          uint32_t length) {
  if ((data == nullptr && length > 0) || !ValidRange(address, length)) return -1;
  return WithDevice(device, CameraDevice, [&](Device& d) {
    if (length > 0) d.firmware->ReadMemory(address, data, length);
    return 0;
  });
}

int qel::sim::exports::qelsim_write_memory(int device, uint32_t address, const unsigned char* data,
                                           uint32_t length) {
  if ((data == nullptr && length > 0) || !ValidRange(address, length)) return -1;
  return WithDevice(device, CameraDevice, [&](Device& d) {
    if (length > 0) d.firmware->WriteMemory(address, data, length);
    return 0;
  });
}

int qel::sim::exports::qelsim_hold_firmware(int device, int code, int skip) {
  if (code < -1 || code > 0xFF) return -1;
  return WithDevice(device, CameraDevice, [&](Device& d) {
    d.hold.armed = true;
    d.hold.code = code;
    d.hold.skip = skip > 0 ? skip : 0;
    return 0;
  });
}

int qel::sim::exports::qelsim_firmware_held(int device) {
  return WithDevice(device, CameraDevice, [&](Device& d) { return d.hold.holding ? 1 : 0; });
}

int qel::sim::exports::qelsim_release_firmware(int device) {
  const int result = WithDevice(device, CameraDevice, [&](Device& d) {
    d.hold.armed = false;
    return 0;
  });
  Rig::Instance().changed.notify_all();
  return result;
}

int qel::sim::exports::qelsim_firmware_fault(int device, int code, int kind, int value, int skip,
                                             int count) {
  if (code < -1 || code > 0xFF || kind < QELSIM_FW_STATUS || kind > QELSIM_FW_UNPLUG) return -1;
  return WithDevice(device, CameraDevice, [&](Device& d) {
    d.firmware->AddFault(code, static_cast<FirmwareFaultKind>(kind), value, skip, count);
    return 0;
  });
}
