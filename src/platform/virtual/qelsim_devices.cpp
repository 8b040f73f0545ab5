// The rig's control interface: the rig, devices, formats, properties, frames.
#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "platform/virtual/clock.h"
#include "platform/virtual/frame_pattern.h"
#include "platform/virtual/frame_stamp.h"
#include "platform/virtual/media_formats.h"
#include "platform/virtual/population.h"
#include "platform/virtual/qelsim_access.h"
#include "platform/virtual/qelsim_exports.h"
#include "platform/virtual/text.h"
#include "qel/qelsim.h"

using namespace qel::sim;

namespace {

int AddDevice(DevicePtr (*make)(int, const std::string&), const char* name) {
  if (name == nullptr) return -1;
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  DevicePtr d = make(rig.nextId++, name);
  if (d->kind == DeviceKind::kCamera) d->hid.push_back(MakeHidInterface(*d, 0));
  rig.devices.push_back(d);
  return d->id;
}

}  // namespace

void qel::sim::exports::qelsim_enable(int on) { qel::platform::UseVirtualRig(on != 0); }

int qel::sim::exports::qelsim_enabled() { return qel::platform::VirtualRigActive() ? 1 : 0; }

int qel::sim::exports::qelsim_get_grabber_settings(int device, int* bufferSamples, int* oneShot) {
  return WithDevice(device, VideoDevice, [&](Device& d) {
    if (bufferSamples != nullptr) *bufferSamples = d.grabberBufferedSamples ? 1 : 0;
    if (oneShot != nullptr) *oneShot = d.grabberOneShot ? 1 : 0;
    return 0;
  });
}

int qel::sim::exports::qelsim_set_caps_size(int device, int size) {
  return WithDevice(device, VideoDevice, [&](Device& d) {
    d.capsStructureSize = size;
    return 0;
  });
}

void qel::sim::exports::qelsim_reset(int populate) {
  Rig& rig = Rig::Instance();
  std::vector<DevicePtr> old;  // released after the lock
  std::lock_guard lock(rig.mutex);
  for (const DevicePtr& d : rig.devices) d->removed = true;
  rig.changed.notify_all();  // a request held in its write gives up
  old.swap(rig.devices);
  rig.faults.Clear();
  rig.gates.clear();
  rig.changed.notify_all();
  rig.log.Clear();
  rig.nextId = 0;  // ids count afresh from the reset
  ResetClockLocked();
  if (populate) AddDefaultPopulationLocked();
}

int qel::sim::exports::qelsim_add_camera(const char* friendlyName, uint32_t serial) {
  if (friendlyName == nullptr) return -1;
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  DevicePtr d = MakeCamera(rig.nextId++, friendlyName, serial);
  d->hid.push_back(MakeHidInterface(*d, 0));
  rig.devices.push_back(d);
  return d->id;
}

int qel::sim::exports::qelsim_add_webcam(const char* friendlyName) {
  return AddDevice(MakeWebcam, friendlyName);
}

int qel::sim::exports::qelsim_add_software_source(const char* friendlyName) {
  return AddDevice(MakeSoftwareSource, friendlyName);
}

int qel::sim::exports::qelsim_remove_device(int device) {
  Rig& rig = Rig::Instance();
  DevicePtr gone;  // released after the lock
  std::lock_guard lock(rig.mutex);
  gone = rig.FindLocked(device);
  if (!gone) return -1;
  rig.RemoveLocked(gone);
  return 0;
}

int qel::sim::exports::qelsim_device_count(void) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  return static_cast<int>(std::count_if(rig.devices.begin(), rig.devices.end(),
                                        [](const DevicePtr& d) { return d->IsVideo(); }));
}

int qel::sim::exports::qelsim_device_id(int position) {
  if (position < 0) return -1;  // counting down from it could not reach 0
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  for (const DevicePtr& d : rig.devices) {
    if (d->IsVideo() && position-- == 0) return d->id;
  }
  return -1;
}

int qel::sim::exports::qelsim_set_display_name(int device, const char* displayName) {
  if (displayName == nullptr) return -1;
  return WithDevice(device, VideoDevice, [&](Device& d) {
    d.displayName = displayName;
    return 0;
  });
}

int qel::sim::exports::qelsim_get_display_name(int device, char* text, int32_t size) {
  return WithDevice(device, VideoDevice,
                    [&](Device& d) { return CopyText(d.displayName, text, size) ? 0 : -1; });
}

int qel::sim::exports::qelsim_clear_formats(int device) {
  return WithDevice(device, VideoDevice, [&](Device& d) {
    d.caps.clear();
    d.current.reset();
    return 0;
  });
}

int qel::sim::exports::qelsim_add_format(int device, int32_t width, int32_t height,
                                         int64_t frameInterval, const char* subtype,
                                         int videoInfo) {
  if (subtype == nullptr || width <= 0 || width > 16384 || height == 0 || height > 16384 ||
      height < -16384 || frameInterval <= 0) {
    return -1;
  }
  auto guid = ParseSubtype(subtype);
  if (!guid) return -1;
  return WithDevice(device, VideoDevice, [&](Device& d) {
    d.caps.push_back(Capability{width, height, frameInterval, *guid, videoInfo != 0});
    return 0;
  });
}

int qel::sim::exports::qelsim_current_format(int device, int32_t* width, int32_t* height,
                                             int64_t* frameInterval, char* subtype,
                                             int32_t subtypeSize) {
  return WithDevice(device, VideoDevice, [&](Device& d) {
    const Capability* f = d.CurrentFormat();
    if (f == nullptr) return -1;
    if (width) *width = f->width;
    if (height) *height = f->height;
    if (frameInterval) *frameInterval = f->interval;
    if (subtype && !CopyText(SubtypeName(f->subtype), subtype, subtypeSize)) return -1;
    return 0;
  });
}

int qel::sim::exports::qelsim_set_property(int device, int index, int supported, int32_t min,
                                           int32_t max, int32_t step, int32_t defaultValue,
                                           int32_t value, int32_t flags) {
  if (index < 0 || index >= kPropertyCount) return -1;
  return WithDevice(device, VideoDevice, [&](Device& d) {
    PropertyState& p = d.properties[static_cast<std::size_t>(index)];
    p = PropertyState{supported != 0, min, max, step, defaultValue, p.capsFlags, value, flags};
    return 0;
  });
}

int qel::sim::exports::qelsim_get_property(int device, int index, int32_t* value, int32_t* flags) {
  if (index < 0 || index >= kPropertyCount) return -1;
  return WithDevice(device, VideoDevice, [&](Device& d) {
    const PropertyState& p = d.properties[static_cast<std::size_t>(index)];
    if (value) *value = p.value;
    if (flags) *flags = p.flags;
    return 0;
  });
}

int qel::sim::exports::qelsim_set_property_interfaces(int device, int videoProcAmp,
                                                      int cameraControl) {
  return WithDevice(device, VideoDevice, [&](Device& d) {
    d.hasVideoProcAmp = videoProcAmp != 0;
    d.hasCameraControl = cameraControl != 0;
    return 0;
  });
}

int qel::sim::exports::qelsim_set_frame_mode(int device, int mode) {
  if (mode < QELSIM_FRAMES_PATTERN || mode > QELSIM_FRAMES_CHECK_PATTERN) return -1;
  return WithDevice(device, VideoDevice, [&](Device& d) {
    d.frameMode = mode;
    return 0;
  });
}

int64_t qel::sim::exports::qelsim_frames_delivered(int device) {
  std::int64_t count = -1;
  WithDevice(device, VideoDevice, [&](Device& d) {
    count = d.framesDelivered;
    return 0;
  });
  return count;
}

int qel::sim::exports::qelsim_check_frame(const unsigned char* frame, int32_t length,
                                          int64_t* counter) {
  if (frame == nullptr || length <= 0) return 0;
  std::uint32_t c = 0;
  const auto bytes = static_cast<std::size_t>(length);
  const bool intact = IsStampedPicture(frame, bytes) ? CheckStampedPicture(frame, bytes, c)
                                                     : CheckFrame(frame, bytes, c);
  if (!intact) return 0;
  if (counter) *counter = c;
  return 1;
}

void qel::sim::exports::qelsim_fill_frame(unsigned char* frame, int32_t length, int64_t counter) {
  if (frame == nullptr || length <= 0) return;
  FillFrame(frame, static_cast<std::size_t>(length), static_cast<std::uint32_t>(counter));
}
