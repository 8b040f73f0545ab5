#include "controls/video_property.h"

#include <cmath>
#include <limits>
#include <memory>

#include "capture/capture.h"
#include "core/last_error.h"
#include "core/video_property_index.h"

namespace qel {

using platform::kOk;

namespace {

// The properties by index, for messages.
constexpr const char* kPropertyNames[kVideoPropertyCount] = {
    "brightness",    "contrast",      "hue",
    "saturation",    "sharpness",     "gamma",
    "colour enable", "white balance", "backlight compensation",
    "gain",          "pan",           "tilt",
    "roll",          "zoom",          "exposure",
    "iris",          "focus"};

bool InRange(std::int32_t propertyIndex) {
  return static_cast<std::uint32_t>(propertyIndex) < kVideoPropertyCount;
}

const char* PropertyName(std::int32_t propertyIndex) {
  return InRange(propertyIndex) ? kPropertyNames[propertyIndex] : "unknown";
}

unsigned Hex(platform::HResult result) { return static_cast<unsigned>(result); }

// The property interface an index lives on, queried anew from the filter.
std::unique_ptr<platform::VideoPropertySet> QueryPropertySet(platform::BaseFilter& filter,
                                                             std::int32_t propertyIndex) {
  std::unique_ptr<platform::VideoPropertySet> properties;
  const bool processing = propertyIndex < kFirstCameraControl;
  const platform::HResult result =
      processing ? filter.QueryVideoProcAmp(properties) : filter.QueryCameraControl(properties);
  if (result == kOk && properties) return properties;
  Fail(ErrorCode::kPlatform, "the capture filter offers no %s properties for %s (0x%08X)",
       processing ? "video processing" : "camera control", PropertyName(propertyIndex),
       Hex(result));
  return nullptr;
}

// Property index outside 0..16, or one the device reported no range for.
bool Offered(std::int32_t propertyIndex, const std::int32_t* supported, std::int32_t& failure,
             std::int32_t badIndex, std::int32_t unsupported) {
  if (!InRange(propertyIndex)) {
    failure = badIndex;
    return Fail(ErrorCode::kBadArgument, "video property %d is not 0..%d",
                static_cast<int>(propertyIndex), kVideoPropertyCount - 1);
  }
  if (supported[propertyIndex] == 0) {
    failure = unsupported;
    return Fail(ErrorCode::kNotSupported, "the device has no %s property",
                PropertyName(propertyIndex));
  }
  return true;
}

// A property's interface and its range; the platform is always asked for
// the range before the value is read or written.
struct RangedProperty {
  std::unique_ptr<platform::VideoPropertySet> set;
  long property = 0;
  long min = 0;
  long max = 0;
  long defaultValue = 0;
};
enum class Lookup { kFound, kNoInterface, kRangeFailed };

long PlatformProperty(std::int32_t propertyIndex) {
  return propertyIndex < kFirstCameraControl ? propertyIndex : propertyIndex - kFirstCameraControl;
}

Lookup FindRangedProperty(platform::BaseFilter& filter, std::int32_t propertyIndex,
                          RangedProperty& found) {
  found.set = QueryPropertySet(filter, propertyIndex);
  if (!found.set) return Lookup::kNoInterface;
  found.property = PlatformProperty(propertyIndex);
  long step = 0, capsFlags = 0;
  const platform::HResult result = found.set->GetRange(found.property, found.min, found.max, step,
                                                       found.defaultValue, capsFlags);
  if (result == kOk) return Lookup::kFound;
  Fail(ErrorCode::kPlatform, "the range of the %s property could not be read (0x%08X)",
       PropertyName(propertyIndex), Hex(result));
  return Lookup::kRangeFailed;
}

// Truncation toward zero; none for a value no 32-bit integer can hold.
bool TruncateToLong(double value, long& truncated) {
  const double whole = std::trunc(value);
  if (!(whole >= std::numeric_limits<std::int32_t>::min() &&
        whole <= std::numeric_limits<std::int32_t>::max())) {
    return false;
  }
  truncated = static_cast<long>(whole);
  return true;
}

}  // namespace

std::int32_t WriteVideoProperty(std::int32_t captureIndex, std::int32_t propertyIndex,
                                const double* value) {
  const auto write = [&](platform::BaseFilter& filter,
                         const std::int32_t* supported) -> std::int32_t {
    std::int32_t failure = kPropertyWritten;
    if (!Offered(propertyIndex, supported, failure, kPropertyBadIndex, kPropertyUnsupported)) {
      return failure;
    }
    RangedProperty found;
    switch (FindRangedProperty(filter, propertyIndex, found)) {
      case Lookup::kFound:
        break;
      case Lookup::kNoInterface:
        return kPropertyNoInterface;
      case Lookup::kRangeFailed:
        return kPropertyRangeFailed;
    }
    long current = 0, currentFlags = 0;
    const bool gotCurrent = found.set->Get(found.property, current, currentFlags) == kOk;

    long requested = 0;
    if (value == nullptr || !TruncateToLong(*value, requested) || requested < found.min ||
        requested > found.max) {
      if (value == nullptr) {
        Fail(ErrorCode::kBadArgument, "no value for the %s property", PropertyName(propertyIndex));
      } else {
        Fail(ErrorCode::kOutOfRange, "%.10g is outside the device's %s range %ld..%ld", *value,
             PropertyName(propertyIndex), found.min, found.max);
      }
      return gotCurrent ? kPropertyOutOfRange : kPropertyOutOfRangeNoGet;
    }
    const platform::HResult result = found.set->Set(found.property, requested, kPropertyFlagManual);
    if (result == kOk) return kPropertyWritten;
    Fail(ErrorCode::kPlatform, "setting the %s property to %ld failed (0x%08X)",
         PropertyName(propertyIndex), requested, Hex(result));
    return kPropertySetFailed;
  };
  return UseRunningFilter(captureIndex, write, kPropertyNotRunning);
}

std::int32_t ReadVideoProperty(std::int32_t captureIndex, std::int32_t propertyIndex,
                               double* value) {
  constexpr std::int32_t kFailed = 1;
  if (value == nullptr) {
    Fail(ErrorCode::kBadArgument, "no place for the %s property's value",
         PropertyName(propertyIndex));
    return kFailed;
  }
  const auto read = [&](platform::BaseFilter& filter, const std::int32_t* supported) {
    std::int32_t failure = 0;
    if (!Offered(propertyIndex, supported, failure, kFailed, kFailed)) return failure;
    RangedProperty found;
    if (FindRangedProperty(filter, propertyIndex, found) != Lookup::kFound) return kFailed;
    long current = 0, flags = 0;
    const platform::HResult result = found.set->Get(found.property, current, flags);
    if (result != kOk) {
      Fail(ErrorCode::kPlatform, "the %s property could not be read (0x%08X)",
           PropertyName(propertyIndex), Hex(result));
      return kFailed;
    }
    *value = static_cast<double>(current);
    return 0;
  };
  return UseRunningFilter(captureIndex, read, kFailed);
}

std::int32_t ReadVideoPropertyDefault(std::int32_t captureIndex, std::int32_t propertyIndex,
                                      double* value) {
  constexpr std::int32_t kFailed = 1;
  const auto read = [&](platform::BaseFilter& filter, const std::int32_t* supported) {
    std::int32_t failure = 0;
    if (!Offered(propertyIndex, supported, failure, kFailed, kFailed)) return failure;
    RangedProperty found;
    if (FindRangedProperty(filter, propertyIndex, found) != Lookup::kFound) return kFailed;
    *value = static_cast<double>(found.defaultValue);
    return 0;
  };
  return UseRunningFilter(captureIndex, read, kFailed);
}

}  // namespace qel
