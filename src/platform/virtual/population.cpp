#include "platform/virtual/population.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "platform/virtual/media_formats.h"
#include "platform/virtual/rig.h"

namespace qel::sim {

namespace {

constexpr const char* kVideoClassGuid = "{65e8773d-8f56-11d0-a3b9-00a0c9118956}";
constexpr const char* kHidClassGuid = "{4d1e55b2-f16f-11cf-88cb-001111000030}";
constexpr std::uint16_t kFamilyVendor = 0x1F3A;
constexpr std::uint16_t kWebcamVendor = 0x2C7E;

// A distinct 32-bit value per number (multiplication by an odd constant is
// a bijection), used for instance-ID parts.
std::uint32_t Unique(std::uint32_t n, std::uint32_t salt) { return (n * 0x9E3779B1u) ^ salt; }

std::string Format(const char* format, auto... args) {
  char text[512];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

std::string PnpDisplayName(std::uint16_t vid, std::uint16_t pid, std::uint32_t instance) {
  return Format("@device:pnp:\\\\?\\usb#vid_%04x&pid_%04x&mi_00#6&%08x&0&0000#%s\\global", vid, pid,
                instance, kVideoClassGuid);
}

Capability Cap(std::int32_t w, std::int32_t h, double rate, const char* subtype) {
  return Capability{w, h, IntervalOfRate(rate), *ParseSubtype(subtype), true};
}

void AddSizes(
    Device& d, const char* subtype,
    std::initializer_list<std::pair<std::pair<int, int>, std::initializer_list<double>>> sizes) {
  for (const auto& [size, rates] : sizes) {
    for (double rate : rates) d.caps.push_back(Cap(size.first, size.second, rate, subtype));
  }
}

void SetProperty(Device& d, int index, std::int32_t min, std::int32_t max, std::int32_t def,
                 std::int32_t capsFlags = 2, std::int32_t flags = 2) {
  PropertyState& p = d.properties[static_cast<std::size_t>(index)];
  p = PropertyState{true, min, max, 1, def, capsFlags, def, flags};
}

std::uint16_t ModelPid(const std::string& name) {
  if (name == "QEL") return 0x5001;
  if (name == "QEL2") return 0x5002;
  if (name == "QEL5") return 0x5005;
  return 0x5000;
}

DevicePtr NewVideoDevice(int id, DeviceKind kind, const std::string& friendlyName) {
  auto d = std::make_shared<Device>();
  d->id = id;
  d->kind = kind;
  d->friendlyName = friendlyName;
  return d;
}

}  // namespace

std::int64_t IntervalOfRate(double rate) {
  return static_cast<std::int64_t>(std::floor(1e7 / rate + 0.5));
}

DevicePtr MakeCamera(int id, const std::string& friendlyName, std::uint32_t serial) {
  DevicePtr d = NewVideoDevice(id, DeviceKind::kCamera, friendlyName);
  std::uint32_t instance = Unique(static_cast<std::uint32_t>(id), 0x2A1B3C4D);
  d->hidUsbPid = ModelPid(friendlyName);
  d->displayName = PnpDisplayName(kFamilyVendor, d->hidUsbPid, instance);
  d->parentId =
      Format("USB\\VID_%04X&PID_%04X&MI_02\\6&%08X&0&0002", kFamilyVendor, d->hidUsbPid, instance);
  d->parentDevInst = 0x800000u + static_cast<std::uint32_t>(id);
  d->usbSerial = Format("%08X", serial);
  d->firmware = std::make_unique<Firmware>(serial);

  bool qel5 = friendlyName == "QEL5";
  if (friendlyName == "QEL" || friendlyName == "QEL2") {
    for (const char* subtype : {"YUY2", "MJPG"}) {
      AddSizes(*d, subtype,
               {{{1280, 720}, {60, 30, 10, 5}},
                {{656, 408}, {120, 60, 30, 15}},
                {{328, 204}, {240, 120, 60, 40}}});
    }
  } else if (qel5) {
    for (const char* subtype : {"YUY2", "MJPG"}) {
      AddSizes(*d, subtype,
               {{{1920, 1080}, {30, 60}}, {{960, 540}, {30, 60}}, {{480, 270}, {30, 60}}});
    }
  } else {
    d->caps.push_back(Cap(640, 480, 30, "YUY2"));
  }

  SetProperty(*d, 0, 0, 64, 0);                 // brightness: the LED
  SetProperty(*d, 1, 0, 1, 0);                  // contrast: the colour bar
  SetProperty(*d, 2, 1, 2, 1);                  // hue: the camera number
  SetProperty(*d, 9, 0, qel5 ? 4095 : 240, 0);  // gain
  SetProperty(*d, 14, -13, 0, -6);              // exposure
  return d;
}

DevicePtr MakeWebcam(int id, const std::string& friendlyName) {
  DevicePtr d = NewVideoDevice(id, DeviceKind::kWebcam, friendlyName);
  d->displayName =
      PnpDisplayName(kWebcamVendor, 0x0A01, Unique(static_cast<std::uint32_t>(id), 0x1C2D3E4F));
  d->caps.push_back(Cap(640, 480, 30, "YUY2"));
  d->caps.push_back(Cap(1280, 720, 30, "MJPG"));
  SetProperty(*d, 0, -64, 64, 0);
  SetProperty(*d, 1, 0, 100, 32);
  SetProperty(*d, 2, -180, 180, 0);
  SetProperty(*d, 3, 0, 100, 64);
  SetProperty(*d, 9, 0, 100, 0);
  SetProperty(*d, 14, -13, -1, -6, 3, 1);  // exposure, automatic by default
  return d;
}

DevicePtr MakeSoftwareSource(int id, const std::string& friendlyName) {
  DevicePtr d = NewVideoDevice(id, DeviceKind::kSoftware, friendlyName);
  d->displayName =
      Format("@device:sw:{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\{%08X-5C2E-4B1A-9D3F-%012X}",
             Unique(static_cast<std::uint32_t>(id), 0x51E0C0DE), static_cast<unsigned>(id));
  d->caps.push_back(Cap(640, 480, 30, "YUY2"));
  d->hasVideoProcAmp = false;
  d->hasCameraControl = false;
  return d;
}

DevicePtr MakeForeignHid(int id, const std::string& parentInstanceId) {
  auto d = std::make_shared<Device>();
  d->id = id;
  d->kind = DeviceKind::kForeignHid;
  d->hidUsbPid = 0x0001;
  d->parentId = parentInstanceId;
  d->parentDevInst = 0x800000u + static_cast<std::uint32_t>(id);
  d->inputLength = 5;
  d->outputLength = 0;
  return d;
}

std::shared_ptr<HidInterface> MakeHidInterface(const Device& device, int flags) {
  Rig& rig = Rig::Instance();
  std::uint32_t serial = rig.nextInterfaceSerial++;
  std::uint32_t instance = Unique(serial, 0x7E3A5B19);
  bool camera = device.kind == DeviceKind::kCamera;
  std::uint16_t vid = camera ? kFamilyVendor : 0x0F0F;
  const char* mi = camera ? "&mi_02" : "";
  auto hid = std::make_shared<HidInterface>();
  hid->flags = flags;
  hid->devInst = 0x100u + serial;
  hid->path = Format("\\\\?\\hid#vid_%04x&pid_%04x%s#7&%08x&0&0000#%s", vid, device.hidUsbPid, mi,
                     instance, kHidClassGuid);
  hid->instanceId = Format("HID\\VID_%04X&PID_%04X%s\\7&%08X&0&0000", vid, device.hidUsbPid,
                           camera ? "&MI_02" : "", instance);
  return hid;
}

void AddDefaultPopulationLocked() {
  Rig& rig = Rig::Instance();
  auto add = [&](DevicePtr d) {
    if (d->kind == DeviceKind::kCamera) d->hid.push_back(MakeHidInterface(*d, 0));
    rig.devices.push_back(std::move(d));
  };
  add(MakeSoftwareSource(rig.nextId++, "Screen Capture"));
  add(MakeCamera(rig.nextId++, "QEL5", 0x0000ABCD));
  add(MakeCamera(rig.nextId++, "QEL2", 0x00C0FFEE));
  add(MakeWebcam(rig.nextId++, "USB Camera, HD"));
}

}  // namespace qel::sim
