#include "controls/video_property.h"

#include <cmath>
#include <limits>
#include <memory>

#include "capture/capture.h"
#include "core/video_property_index.h"

namespace qel {

using platform::kOk;

namespace {

// The property interface an index lives on, queried anew from the filter.
std::unique_ptr<platform::VideoPropertySet> QueryPropertySet(platform::BaseFilter& filter,
                                                             std::int32_t propertyIndex) {
  std::unique_ptr<platform::VideoPropertySet> properties;
  const platform::HResult result = propertyIndex < kFirstCameraControl
                                       ? filter.QueryVideoProcAmp(properties)
                                       : filter.QueryCameraControl(properties);
  return result == kOk ? std::move(properties) : nullptr;
}

long PlatformProperty(std::int32_t propertyIndex) {
  return propertyIndex < kFirstCameraControl ? propertyIndex : propertyIndex - kFirstCameraControl;
}

bool InRange(std::int32_t propertyIndex) {
  return static_cast<std::uint32_t>(propertyIndex) < kVideoPropertyCount;
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
  const auto write = [&](platform::BaseFilter& filter, const std::int32_t* supported) {
    if (!InRange(propertyIndex)) return kPropertyBadIndex;
    if (supported[propertyIndex] == 0) return kPropertyUnsupported;
    auto properties = QueryPropertySet(filter, propertyIndex);
    if (!properties) return kPropertyNoInterface;

    const long property = PlatformProperty(propertyIndex);
    long min = 0, max = 0, step = 0, defaultValue = 0, capsFlags = 0;
    if (properties->GetRange(property, min, max, step, defaultValue, capsFlags) != kOk) {
      return kPropertyRangeFailed;
    }
    long current = 0, currentFlags = 0;
    const bool gotCurrent = properties->Get(property, current, currentFlags) == kOk;

    long requested = 0;
    if (value == nullptr || !TruncateToLong(*value, requested) || requested < min ||
        requested > max) {
      return gotCurrent ? kPropertyOutOfRange : kPropertyOutOfRangeNoGet;
    }
    return properties->Set(property, requested, kPropertyFlagManual) == kOk ? kPropertyWritten
                                                                            : kPropertySetFailed;
  };
  return UseRunningFilter(captureIndex, write, kPropertyNotRunning);
}

std::int32_t ReadVideoProperty(std::int32_t captureIndex, std::int32_t propertyIndex,
                               double* value) {
  constexpr std::int32_t kFailed = 1;
  if (value == nullptr) return kFailed;
  const auto read = [&](platform::BaseFilter& filter, const std::int32_t* supported) {
    if (!InRange(propertyIndex) || supported[propertyIndex] == 0) return kFailed;
    auto properties = QueryPropertySet(filter, propertyIndex);
    if (!properties) return kFailed;
    const long property = PlatformProperty(propertyIndex);
    long min = 0, max = 0, step = 0, defaultValue = 0, capsFlags = 0;
    if (properties->GetRange(property, min, max, step, defaultValue, capsFlags) != kOk) {
      return kFailed;
    }
    long current = 0, flags = 0;
    if (properties->Get(property, current, flags) != kOk) return kFailed;
    *value = static_cast<double>(current);
    return 0;
  };
  return UseRunningFilter(captureIndex, read, kFailed);
}

}  // namespace qel
