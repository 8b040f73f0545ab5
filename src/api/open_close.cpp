#include "api/open_close.h"

#include <cmath>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "api/listing_tokens.h"
#include "capture/capture.h"
#include "capture/media_format.h"
#include "controls/video_property.h"
#include "core/camera_model.h"
#include "core/camera_table.h"
#include "core/listing_size.h"
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

// The friendly name listed at the key's position, from a listing sized as the
// application last sized its own.
std::optional<std::string> ListedName(std::int32_t key) {
  std::atomic<std::int32_t>& listSize = ListBufferSize();
  if (listSize.load() <= 0) listSize.store(kFallbackListSize);
  const std::int32_t size = listSize.load();
  std::vector<char> listing(static_cast<std::size_t>(size) + 1, '\0');
  // A listing that did not fit (-1) still holds the entries that did.
  if (QelGetDevice(listing.data(), size) == 0) return std::nullopt;
  return ListingEntryAt(listing.data(), key);
}

}  // namespace

std::mutex& OpenCloseMutex() {
  static std::mutex* mutex = new std::mutex();  // never destroyed, like the tables
  return *mutex;
}

std::int32_t OpenCamera(std::int32_t key, std::int32_t width, std::int32_t height, double frameRate,
                        const char* format) {
  const std::optional<platform::Guid> subtype = SubtypeFromName(format);
  if (!subtype) return kOpenFailed;
  CameraTable& table = CameraTable::Instance();
  if (table.FindSlot(key)) return kOpenFailed;
  const int position = table.FirstFreePosition();
  if (position < 0) return kOpenFailed;
  if (StartCapture(position, key, width, height, frameRate, *subtype) != kBuildRunning) {
    return kOpenFailed;
  }

  const std::optional<std::string> name = ListedName(key);
  if (!name) {
    StopCapture(position);
    return kOpenFailed;
  }
  const CameraModel model = ModelFromFriendlyName(*name);
  if (model == kModelNone) {
    table.StoreSlot(position, key, nullptr, kModelNone, nullptr, -1, kNoCameraNumber);
    return kOpenedCaptureOnly;
  }

  std::shared_ptr<HidChannel> channel = OpenControlInterface(position);
  if (!channel) {
    StopCapture(position);
    return kOpenFailed;
  }
  auto block = std::make_shared<DataBlock>();
  const std::int32_t sizeIndex = FindSizeIndex(model, width, height);
  double hue = 0.0;
  if (!ReadDataBlock(channel.get(), *block) || sizeIndex < 0 ||
      ReadVideoProperty(position, kHueProperty, &hue) != 0) {
    channel->Close();
    StopCapture(position);
    return kOpenFailed;
  }
  const auto cameraNumber = static_cast<std::int32_t>(std::trunc(hue));
  table.StoreSlot(position, key, std::move(channel), model, std::move(block), sizeIndex,
                  cameraNumber);
  return kOpenedCamera;
}

void CloseCamera(std::int32_t key) {
  if (key == kNoKey) return;
  QelSetLed(key, 0);  // while the capture still runs: the LED is a video property
  CameraTable& table = CameraTable::Instance();
  std::optional<CameraSlot> slot = table.FindSlot(key);
  if (slot && slot->channel) slot->channel->Close();
  if (slot && slot->captureIndex != -1) StopCapture(slot->captureIndex);
  table.ClearSlot(key);
}

}  // namespace qel

extern "C" QEL_API int32_t QEL_CALL QelOpen(int32_t key, int32_t width, int32_t height,
                                            double frameRate, const char* format) {
  std::lock_guard lock(qel::OpenCloseMutex());
  return qel::OpenCamera(key, width, height, frameRate, format);
}

extern "C" QEL_API void QEL_CALL QelClose(int32_t key) {
  std::lock_guard lock(qel::OpenCloseMutex());
  qel::CloseCamera(key);
}
