// QelNominalFrameRate: the frame rate a device's frame interval stands for,
// as people write it. A device lists 10^7 / interval (30.000030 for an
// interval of 333333), which means 30; an interval of 166833 means 59.94,
// the 60000/1001 of video. qelctl, the Python package and the GStreamer
// element all show and negotiate rates through it, so they agree.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "core/exports.h"
#include "core/last_error.h"
#include "qel/qel.h"

namespace qel {
namespace {

// Intervals are whole units of 100 ns, so a listed rate is off its nominal
// value by a few millionths; 0.05 % also keeps 60 and 59.94 (0.1 % apart)
// apart.
constexpr double kTolerance = 0.0005;
constexpr std::int64_t kUnitsPerSecond = 10'000'000;

struct Rate {
  std::int64_t numerator = 0;
  std::int64_t denominator = 1;
};

bool Near(double fps, double nominal) {
  return nominal > 0.0 && std::fabs(fps - nominal) <= kTolerance * nominal;
}

Rate Reduced(std::int64_t numerator, std::int64_t denominator) {
  const std::int64_t divisor = std::gcd(numerator, denominator);
  return {numerator / divisor, denominator / divisor};
}

// A rate within 0.05 % of a whole number n, or of n * 1000/1001, is that
// rate; any other keeps the interval's exact fraction 10^7 / interval.
Rate RateOfInterval(std::int64_t interval) {
  if (interval <= 0) return {};
  const double fps = static_cast<double>(kUnitsPerSecond) / static_cast<double>(interval);
  const double whole = std::round(fps);
  if (whole >= 1.0 && Near(fps, whole)) return {static_cast<std::int64_t>(whole), 1};
  const double video = std::round(fps * 1.001);
  if (video >= 1.0 && Near(fps, video * 1000.0 / 1001.0)) {
    return Reduced(static_cast<std::int64_t>(video) * 1000, 1001);
  }
  return Reduced(kUnitsPerSecond, interval);
}

}  // namespace
}  // namespace qel

QelBool qel::exports::QelNominalFrameRate(int64_t frameInterval, int32_t* numerator,
                                          int32_t* denominator, char* text, int32_t textSize) {
  if (textSize < 0 || (text == nullptr && textSize != 0)) {
    return Fail(ErrorCode::kBadArgument, "text %s with size %d", text == nullptr ? "NULL" : "given",
                static_cast<int>(textSize));
  }
  const Rate rate = RateOfInterval(frameInterval);
  // Three decimals carry 23.976; trailing zeros and a bare point go.
  char written[48];
  std::snprintf(written, sizeof written, "%.3f",
                static_cast<double>(rate.numerator) / static_cast<double>(rate.denominator));
  std::size_t length = std::strlen(written);
  while (written[length - 1] == '0') written[--length] = '\0';
  if (written[length - 1] == '.') written[--length] = '\0';
  if (text != nullptr) {
    if (length >= static_cast<std::size_t>(textSize)) {
      if (textSize > 0) text[0] = '\0';
      return Fail(ErrorCode::kBufferTooSmall, "the rate \"%s\" needs %d bytes; textSize is %d",
                  written, static_cast<int>(length + 1), static_cast<int>(textSize));
    }
    std::memcpy(text, written, length + 1);
  }
  // Both terms fit: the numerator is at most 10^7 (a whole rate of an
  // interval of 1, or 10^7 / interval), and a video rate is one below 1000
  // (above it every rate is within 0.05 % of a whole one).
  if (numerator != nullptr) *numerator = static_cast<int32_t>(rate.numerator);
  if (denominator != nullptr) *denominator = static_cast<int32_t>(rate.denominator);
  return 1;
}
