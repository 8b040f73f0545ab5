#include "frame_rate.h"

#include <qel/qel.h>

#include <cmath>
#include <numeric>

namespace qelctl {
namespace {

constexpr std::int64_t kUnitsPerSecond = 10'000'000;

// A rate a frame interval can stand for: no interval is shorter than one
// unit of 100 ns, and a rate below half a thousandth of a frame per second
// has nothing to write (its interval would not fit either, at the least).
bool Valid(double fps) {
  return std::isfinite(fps) && fps >= 0.0005 && fps <= static_cast<double>(kUnitsPerSecond);
}

}  // namespace

NominalRate NominalRateOfInterval(std::int64_t interval100ns) {
  std::int32_t numerator = 0;
  std::int32_t denominator = 1;
  char text[32] = "0";
  if (!QelNominalFrameRate(interval100ns, &numerator, &denominator, text, sizeof text)) {
    return NominalRate{};
  }
  NominalRate rate;
  rate.numerator = numerator;
  rate.denominator = denominator;
  rate.text = text;
  return rate;
}

NominalRate NominalRateOf(double fps) {
  if (!Valid(fps)) return NominalRate{};
  // A listed rate is 10^7 / interval: the interval it was listed from
  // carries the library's rule, and its text. Where the rule keeps the
  // interval's own fraction (no whole or video rate is near), the fraction
  // is the rate to a thousandth of a frame per second instead, as the text
  // shows it.
  const std::int64_t interval = std::llround(static_cast<double>(kUnitsPerSecond) / fps);
  NominalRate rate = NominalRateOfInterval(interval);
  const std::int64_t divisor = std::gcd(kUnitsPerSecond, interval);
  const bool snapped =
      rate.numerator != kUnitsPerSecond / divisor || rate.denominator != interval / divisor;
  if (snapped) return rate;
  const std::int64_t thousandths = std::llround(fps * 1000.0);
  if (thousandths == 0) return NominalRate{};
  const std::int64_t common = std::gcd(thousandths, std::int64_t{1000});
  rate.numerator = thousandths / common;
  rate.denominator = 1000 / common;
  return rate;
}

}  // namespace qelctl
