#include "api/open_close.h"

#include <cmath>
#include <memory>
#include <optional>
#include <string>

#include "api/lifecycle_locks.h"
#include "api/listing_tokens.h"
#include "capture/capture.h"
#include "capture/media_format.h"
#include "controls/video_property.h"
#include "core/camera_model.h"
#include "core/camera_table.h"
#include "core/exports.h"
#include "core/last_error.h"
#include "core/listing_size.h"
#include "core/log.h"
#include "discovery/device_listing.h"
#include "discovery/hid_discovery.h"
#include "hid/data_block.h"
#include "hid/hid_channel.h"
#include "qel/qel.h"

namespace qel {
namespace {

constexpr std::int32_t kOpenedCamera = 0;
constexpr std::int32_t kOpenedCaptureOnly = 1;
constexpr std::int32_t kOpenFailed = -1;
constexpr std::int32_t kFallbackListSize = 512;
constexpr std::int32_t kHueProperty = 2;  // carries the camera number

// The friendly name listed at the key's position, in the listing a buffer of
// the size the application last listed with would hold. The listing takes
// only the memory its entries need, however large that size.
std::optional<std::string> ListedName(std::int32_t key) {
  std::atomic<std::int32_t>& listSize = ListBufferSize();
  if (listSize.load() <= 0) listSize.store(kFallbackListSize);
  std::string listing;
  std::int32_t entries = 0;
  // A listing that did not fit (-1) still holds the entries that did.
  std::optional<std::string> name;
  if (ListDevices(listing, listSize.load(), false, &entries) != 0) {
    name = ListingEntryAt(listing, entries, key);
  }
  if (!name)
    Fail(ErrorCode::kNoDevice, "no device is listed at position %d", static_cast<int>(key));
  return name;
}

// Stops the capture at a position when the scope ends, unless dismissed.
class CaptureUndo {
 public:
  explicit CaptureUndo(int position) : position_(position) {}
  ~CaptureUndo() {
    if (position_ < 0) return;
    try {
      StopCapture(position_);
    } catch (...) {  // the stop left it running: the next open stops it again
    }
  }
  void Dismiss() { position_ = -1; }

 private:
  int position_;
};

// Closes a channel when the scope ends, unless dismissed.
class ChannelUndo {
 public:
  explicit ChannelUndo(HidChannel* channel) : channel_(channel) {}
  ~ChannelUndo() {
    if (channel_ != nullptr) channel_->Close();
  }
  void Dismiss() { channel_ = nullptr; }

 private:
  HidChannel* channel_;
};

// Reserves the position the open builds on: the first free one whose
// context is idle. Contexts left running by a stop that failed are stopped
// again first; one that still runs keeps its position out of use, and when
// it runs on the device being opened the open fails rather than build a
// second graph on a device still streaming.
int ReserveBuildPosition(std::int32_t device) {
  int chosen = -1;
  bool deviceStillStreaming = false;
  for (int position = 0; position < kMaxCameras; ++position) {
    if (!ReservePosition(position)) continue;
    if (const std::optional<std::int32_t> bound = RunningDevice(position)) {
      if (StopCapture(position) != kStopDone) {
        deviceStillStreaming = deviceStillStreaming || *bound == device;
        ReleasePosition(position);
        continue;
      }
    }
    if (chosen < 0) {
      chosen = position;
    } else {
      ReleasePosition(position);
    }
  }
  if (deviceStillStreaming && chosen >= 0) {
    ReleasePosition(chosen);
    return -1;
  }
  return chosen;
}

}  // namespace

std::int32_t OpenCamera(std::int32_t key, std::int32_t width, std::int32_t height, double frameRate,
                        const char* format, std::uint32_t options) {
  const std::optional<platform::Guid> subtype = SubtypeFromName(format);
  if (!subtype) {
    return (Fail(ErrorCode::kBadArgument, "\"%.16s\" is not a format name",
                 format == nullptr ? "(NULL)" : format),
            kOpenFailed);
  }
  CameraTable& table = CameraTable::Instance();
  if (table.FindSlot(key)) {
    return (Fail(ErrorCode::kBusy, "key %d is already open", static_cast<int>(key)), kOpenFailed);
  }
  const int position = ReserveBuildPosition(key);
  if (position < 0) {
    return (
        Fail(ErrorCode::kBusy,
             "no capture is free (ten are open, or device %d still streams from a failed close)",
             static_cast<int>(key)),
        kOpenFailed);
  }
  PositionReservation reservation(position);
  const std::int32_t status =
      StartCapture(position, key, width, height, frameRate, *subtype, options);
  if (LogEnabled(LogLevel::kInfo)) {
    LogLine(LogLevel::kInfo, "open of key %d (%dx%d at %g, %s): capture status %d", key, width,
            height, frameRate, format, status);
  }
  if (status != kBuildRunning) {
    const ErrorCode code = status == kBuildNoSuchDevice || status == kBuildNoPnpDevice
                               ? ErrorCode::kNoDevice
                           : status == kBuildFormatRefused ? ErrorCode::kOutOfRange
                                                           : ErrorCode::kPlatform;
    Refail(code, "the capture graph failed with status %d (%s)", static_cast<int>(status),
           BuildStepName(status));
    return kOpenFailed;
  }
  CaptureUndo captureUndo(position);

  const std::optional<std::string> name = ListedName(key);
  if (!name) return kOpenFailed;
  const CameraModel model = ModelFromFriendlyName(*name);
  if (!IsFamilyCamera(model)) {
    table.StoreSlot(position, key, nullptr, kModelNone, nullptr, -1, kNoCameraNumber);
    captureUndo.Dismiss();
    return kOpenedCaptureOnly;
  }

  std::shared_ptr<HidChannel> channel = OpenControlInterface(position);
  if (!channel) {
    return (Fail(ErrorCode::kPlatform, "the command interface of \"%s\" could not be opened",
                 name->c_str()),
            kOpenFailed);
  }
  ChannelUndo channelUndo(channel.get());  // closed before the capture stops
  auto block = std::make_shared<DataBlock>();
  const std::int32_t sizeIndex = FindSizeIndex(model, width, height);
  double hue = 0.0;
  if (!ReadDataBlock(channel.get(), *block)) {
    return (Fail(ErrorCode::kPlatform, "the camera's data block could not be read"), kOpenFailed);
  }
  if (sizeIndex < 0) {
    return (Fail(ErrorCode::kOutOfRange, "%dx%d is not a frame size of the %s",
                 static_cast<int>(width), static_cast<int>(height), name->c_str()),
            kOpenFailed);
  }
  if (ReadVideoProperty(position, kHueProperty, &hue) != 0) {
    return (Fail(ErrorCode::kPlatform, "the camera number could not be read"), kOpenFailed);
  }
  const auto cameraNumber = static_cast<std::int32_t>(std::trunc(hue));
  table.StoreSlot(position, key, std::move(channel), model, std::move(block), sizeIndex,
                  cameraNumber);
  channelUndo.Dismiss();
  captureUndo.Dismiss();
  return kOpenedCamera;
}

void CloseCamera(std::int32_t key) {
  if (key == kNoKey) return;
  CameraTable& table = CameraTable::Instance();
  std::optional<CameraSlot> slot = table.FindSlot(key);
  QelSetLed(key, 0);  // while the capture still runs: the LED is a video property
  ClearFailure();     // a device without the LED still closes
  if (slot && slot->channel) slot->channel->Close();
  std::int32_t stopped = kStopNotRunning;
  if (slot && slot->captureIndex != -1) stopped = StopCapture(slot->captureIndex);
  table.ClearSlot(key);
  if (!slot) Fail(ErrorCode::kNoCamera, "no camera is open under key %d", static_cast<int>(key));
  if (LogEnabled(LogLevel::kInfo)) {
    LogLine(LogLevel::kInfo, "close of key %d: %s, capture stop result %d", key,
            slot ? "open" : "not open", stopped);
  }
}

}  // namespace qel

int32_t qel::exports::QelOpen(int32_t key, int32_t width, int32_t height, double frameRate,
                              const char* format) {
  qel::KeyLock lock(key);
  return qel::OpenCamera(key, width, height, frameRate, format, 0);
}

int32_t qel::exports::QelOpenEx(int32_t key, int32_t width, int32_t height, double frameRate,
                                const char* format, uint32_t flags) {
  if ((flags & ~static_cast<uint32_t>(QEL_OPEN_FAST)) != 0) {
    qel::Fail(qel::ErrorCode::kBadArgument, "unknown flags 0x%X", flags);
    return -1;
  }
  qel::KeyLock lock(key);
  return qel::OpenCamera(key, width, height, frameRate, format,
                         (flags & QEL_OPEN_FAST) != 0 ? qel::kStartFast : 0);
}

void qel::exports::QelClose(int32_t key) {
  // From the camera's own frame callback a close could never finish: it
  // waits for the streaming thread, which is this one, and a close on
  // another thread holding the key's lock waits for this callback. Refused
  // before the lock is taken.
  if (const std::optional<qel::CameraSlot> slot = qel::CameraTable::Instance().FindSlot(key);
      slot && qel::InFrameListener(slot->captureIndex)) {
    qel::Fail(qel::ErrorCode::kBusy, "a camera cannot be closed from its own frame callback");
    return;
  }
  qel::KeyLock lock(key);
  qel::CloseCamera(key);
}
