#include "frame_rate.h"

#include <cmath>
#include <cstdio>
#include <numeric>

namespace qelctl {
namespace {

// Intervals are whole units of 100 ns, so a listed rate is off its nominal
// value by a few millionths; 0.05 % also keeps 60 and 59.94 (0.1 % apart)
// apart.
constexpr double kTolerance = 0.0005;
constexpr std::int64_t kUnitsPerSecond = 10'000'000;

bool Near(double fps, double nominal) {
  return nominal > 0.0 && std::fabs(fps - nominal) <= kTolerance * nominal;
}

NominalRate Make(std::int64_t numerator, std::int64_t denominator) {
  const std::int64_t divisor = std::gcd(numerator, denominator);
  NominalRate rate;
  rate.numerator = numerator / divisor;
  rate.denominator = denominator / divisor;
  // Three decimals carry 23.976; trailing zeros and a bare point go.
  char text[48];
  std::snprintf(text, sizeof text, "%.3f", rate.fps());
  std::string written = text;
  written.erase(written.find_last_not_of('0') + 1);
  if (written.back() == '.') written.pop_back();
  rate.text = written;
  return rate;
}

// The whole or 1000/1001 rate fps stands for, if any; denominator 0 if none.
NominalRate Snap(double fps) {
  const double whole = std::round(fps);
  if (whole >= 1.0 && whole < 1e9 && Near(fps, whole)) {
    return Make(static_cast<std::int64_t>(whole), 1);
  }
  const double video = std::round(fps * 1.001);
  if (video >= 1.0 && video < 1e9 && Near(fps, video * 1000.0 / 1001.0)) {
    return Make(static_cast<std::int64_t>(video) * 1000, 1001);
  }
  NominalRate none;
  none.denominator = 0;
  return none;
}

bool Valid(double fps) { return std::isfinite(fps) && fps > 0.0 && fps < 1e9; }

}  // namespace

NominalRate NominalRateOf(double fps) {
  if (!Valid(fps)) return NominalRate{};
  const NominalRate snapped = Snap(fps);
  if (snapped.denominator != 0) return snapped;
  const auto thousandths = static_cast<std::int64_t>(std::llround(fps * 1000.0));
  if (thousandths == 0) return NominalRate{};
  return Make(thousandths, 1000);
}

NominalRate NominalRateOfInterval(std::int64_t interval100ns) {
  if (interval100ns <= 0) return NominalRate{};
  const NominalRate snapped = Snap(static_cast<double>(kUnitsPerSecond) / interval100ns);
  if (snapped.denominator != 0) return snapped;
  return Make(kUnitsPerSecond, interval100ns);
}

}  // namespace qelctl
