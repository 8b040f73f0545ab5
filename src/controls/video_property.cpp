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

// A property's interface and its range; the platform is always asked for
// the range before the value is read or written.
struct RangedProperty {
  std::unique_ptr<platform::VideoPropertySet> set;
  long property = 0;
  long min = 0;
  long max = 0;
};
enum class Lookup { kFound, kNoInterface, kRangeFailed };

long PlatformProperty(std::int32_t propertyIndex) {
  return propertyIndex < kFirstCameraControl ? propertyIndex : propertyIndex - kFirstCameraControl;
}

bool InRange(std::int32_t propertyIndex) {
  return static_cast<std::uint32_t>(propertyIndex) < kVideoPropertyCount;
}

Lookup FindRangedProperty(platform::BaseFilter& filter, std::int32_t propertyIndex,
                          RangedProperty& found) {
  found.set = QueryPropertySet(filter, propertyIndex);
  if (!found.set) return Lookup::kNoInterface;
  found.property = PlatformProperty(propertyIndex);
  long step = 0, defaultValue = 0, capsFlags = 0;
  return found.set->GetRange(found.property, found.min, found.max, step, defaultValue, capsFlags) ==
                 kOk
             ? Lookup::kFound
             : Lookup::kRangeFailed;
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
      return gotCurrent ? kPropertyOutOfRange : kPropertyOutOfRangeNoGet;
    }
    return found.set->Set(found.property, requested, kPropertyFlagManual) == kOk
               ? kPropertyWritten
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
    RangedProperty found;
    if (FindRangedProperty(filter, propertyIndex, found) != Lookup::kFound) return kFailed;
    long current = 0, flags = 0;
    if (found.set->Get(found.property, current, flags) != kOk) return kFailed;
    *value = static_cast<double>(current);
    return 0;
  };
  return UseRunningFilter(captureIndex, read, kFailed);
}

}  // namespace qel
