// QelOpenSerialNo: opens the camera listed under a serial text such as
// "QEL5#0000ABCD" and confirms the serial number with the camera itself.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "api/lifecycle_locks.h"
#include "api/listing_tokens.h"
#include "api/open_close.h"
#include "capture/capture.h"
#include "core/exports.h"
#include "core/last_error.h"
#include "core/listing_size.h"
#include "discovery/device_listing.h"
#include "qel/qel.h"

namespace {

constexpr std::size_t kLongestSerialText = 123;
constexpr std::int32_t kFallbackListSize = 1024;

struct SerialForm {
  const char* prefix;
  const char* format;
};
constexpr SerialForm kSerialForms[] = {
    {"QEL#", "QEL#%08X"}, {"QEL2#", "QEL2#%08X"}, {"QEL5#", "QEL5#%08X"}};

// The position of serial text in the listing with serials, sized as the
// application last sized its own; -1 when it is not listed, with why a
// camera was listed without its serial, if one was, in serialFailure.
int ListedPosition(const std::string& text, std::string& serialFailure) {
  std::atomic<std::int32_t>& listSize = qel::ListBufferSize();
  if (listSize.load() <= 0) listSize.store(kFallbackListSize);
  std::string listing;
  std::int32_t entries = 0;
  // A listing that did not fit (-1) still holds the entries that did.
  if (qel::ListDevices(listing, listSize.load(), true, &entries, &serialFailure) == 0) return -1;
  return qel::ListingPositionOf(listing, entries, text);
}

std::int32_t OpenSerial(const char* serialText, int32_t* key, int32_t width, int32_t height,
                        double frameRate, std::uint32_t options) {
  if (serialText == nullptr || key == nullptr) {
    qel::Fail(qel::ErrorCode::kBadArgument, "serialText or key is NULL");
    return -1;
  }
  if (strnlen(serialText, kLongestSerialText + 1) > kLongestSerialText) {
    qel::Fail(qel::ErrorCode::kBadArgument, "the serial text is longer than %d characters",
              static_cast<int>(kLongestSerialText));
    return -1;
  }
  const SerialForm* form = nullptr;
  for (const SerialForm& candidate : kSerialForms) {
    if (std::strstr(serialText, candidate.prefix) != nullptr) {
      form = &candidate;
      break;
    }
  }
  if (form == nullptr) {
    qel::Fail(qel::ErrorCode::kBadArgument, "\"%s\" is not a serial text such as QEL5#0000ABCD",
              serialText);
    return -1;
  }
  const std::string text(serialText);
  std::string serialFailure;
  const int position = ListedPosition(text, serialFailure);
  if (position < 0) {
    // A camera listed without its serial may be the one asked for.
    qel::Refail(qel::ErrorCode::kNoDevice, "no device is listed as \"%s\"%s%s", serialText,
                serialFailure.empty() ? "" : "; ", serialFailure.c_str());
    return -1;
  }

  qel::KeyLock lock(position);
  if (qel::OpenCamera(position, width, height, frameRate, "YUY2", options) == -1) return -1;
  uint32_t serial = 0;
  bool confirmed = QelGetSerialNo(position, &serial);  // capture-only devices fail here
  if (confirmed) {
    char expected[128];
    std::snprintf(expected, sizeof expected, form->format, serial);
    confirmed = text == expected;
  }
  if (!confirmed) {
    qel::Refail(qel::ErrorCode::kNoDevice,
                "the camera listed as \"%s\" at position %d did not confirm that serial",
                serialText, position);
    qel::CloseCamera(position);
    return -1;
  }
  *key = position;
  return 0;
}

}  // namespace

int32_t qel::exports::QelOpenSerialNo(const char* serialText, int32_t* key, int32_t width,
                                      int32_t height, double frameRate) {
  return OpenSerial(serialText, key, width, height, frameRate, 0);
}

int32_t qel::exports::QelOpenSerialNoEx(const char* serialText, int32_t* key, int32_t width,
                                        int32_t height, double frameRate, uint32_t flags) {
  if ((flags & ~static_cast<uint32_t>(QEL_OPEN_FAST)) != 0) {
    qel::Fail(qel::ErrorCode::kBadArgument, "unknown flags 0x%X", flags);
    return -1;
  }
  return OpenSerial(serialText, key, width, height, frameRate,
                    (flags & QEL_OPEN_FAST) != 0 ? qel::kStartFast : 0);
}
