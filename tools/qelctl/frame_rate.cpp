#include "frame_rate.h"

#include <qel/qel.h>

#include <cmath>
#include <cstdio>
#include <numeric>

namespace qelctl {
namespace {

constexpr double kUnitsPerSecond = 1e7;

NominalRate Make(std::int64_t numerator, std::int64_t denominator) {
  const std::int64_t divisor = std::gcd(numerator, denominator);
  NominalRate rate;
  rate.numerator = numerator / divisor;
  rate.denominator = denominator / divisor;
  // Three decimals, as the library writes a rate.
  char text[48];
  std::snprintf(text, sizeof text, "%.3f", rate.fps());
  std::string written = text;
  written.erase(written.find_last_not_of('0') + 1);
  if (written.back() == '.') written.pop_back();
  rate.text = written;
  return rate;
}

bool Valid(double fps) { return std::isfinite(fps) && fps > 0.0 && fps < 1e9; }

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
  // carries the library's rule. Where the rule keeps the interval's own
  // fraction (no whole or video rate is near), the rate is kept to a
  // thousandth of a frame per second instead.
  const auto interval = static_cast<std::int64_t>(std::llround(kUnitsPerSecond / fps));
  if (interval >= 1) {
    const NominalRate library = NominalRateOfInterval(interval);
    const std::int64_t divisor = std::gcd(static_cast<std::int64_t>(kUnitsPerSecond), interval);
    const bool snapped =
        library.numerator != static_cast<std::int64_t>(kUnitsPerSecond) / divisor ||
        library.denominator != interval / divisor;
    if (snapped) return library;
  }
  const auto thousandths = static_cast<std::int64_t>(std::llround(fps * 1000.0));
  if (thousandths == 0) return NominalRate{};
  return Make(thousandths, 1000);
}

}  // namespace qelctl
