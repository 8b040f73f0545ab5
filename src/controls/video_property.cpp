#include "controls/video_property.h"

#include <cmath>
#include <limits>
#include <memory>
#include <mutex>

#include "capture/capture_context.h"

namespace qel {

using platform::kOk;

namespace {

constexpr int kCameraControlFirst = 10;

// The property interface an index lives on, queried anew from the filter.
std::unique_ptr<platform::VideoPropertySet> QueryPropertySet(CaptureContext& context,
                                                             std::int32_t propertyIndex) {
  std::unique_ptr<platform::VideoPropertySet> properties;
  if (!context.captureFilter) return nullptr;
  const platform::HResult result = propertyIndex < kCameraControlFirst
                                       ? context.captureFilter->QueryVideoProcAmp(properties)
                                       : context.captureFilter->QueryCameraControl(properties);
  return result == kOk ? std::move(properties) : nullptr;
}

long PlatformProperty(std::int32_t propertyIndex) {
  return propertyIndex < kCameraControlFirst ? propertyIndex : propertyIndex - kCameraControlFirst;
}

bool InRange(std::int32_t propertyIndex) {
  return static_cast<std::uint32_t>(propertyIndex) < kPropertyIndexCount;
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
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr) return kPropertyNotRunning;
  std::lock_guard lock(context->objectsMutex);
  if (context->running.load() == 0) return kPropertyNotRunning;
  if (!InRange(propertyIndex)) return kPropertyBadIndex;
  if (context->propertySupported[static_cast<std::size_t>(propertyIndex)] == 0) {
    return kPropertyUnsupported;
  }
  auto properties = QueryPropertySet(*context, propertyIndex);
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
}

std::int32_t ReadVideoProperty(std::int32_t captureIndex, std::int32_t propertyIndex,
                               double* value) {
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr || value == nullptr) return 1;
  std::lock_guard lock(context->objectsMutex);
  if (context->running.load() == 0 || !InRange(propertyIndex) ||
      context->propertySupported[static_cast<std::size_t>(propertyIndex)] == 0) {
    return 1;
  }
  auto properties = QueryPropertySet(*context, propertyIndex);
  if (!properties) return 1;
  const long property = PlatformProperty(propertyIndex);
  long min = 0, max = 0, step = 0, defaultValue = 0, capsFlags = 0;
  if (properties->GetRange(property, min, max, step, defaultValue, capsFlags) != kOk) return 1;
  long current = 0, flags = 0;
  if (properties->Get(property, current, flags) != kOk) return 1;
  *value = static_cast<double>(current);
  return 0;
}

}  // namespace qel
