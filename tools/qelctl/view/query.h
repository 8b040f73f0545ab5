// The path and parameters of a request target ("/api/open?device=1&..."),
// decoded and bounded: a target the viewer cannot take whole is refused with
// a 4xx HttpError, never cut.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qelctl::view {

inline constexpr std::size_t kMaxTarget = 2048;
inline constexpr std::size_t kMaxParameters = 16;
inline constexpr std::size_t kMaxValue = 256;

class Query {
 public:
  // Splits and percent-decodes target; throws HttpError (400, 414).
  explicit Query(std::string_view target);

  const std::string& path() const { return path_; }
  bool Has(const std::string& name) const { return values_.count(name) != 0; }
  // The value, or fallback when absent.
  std::string Text(const std::string& name, const std::string& fallback = "") const;
  // A whole decimal number within min..max; fallback when absent; throws
  // HttpError 400 naming the parameter otherwise.
  std::int64_t Integer(const std::string& name, std::int64_t min, std::int64_t max,
                       std::int64_t fallback) const;
  // A required whole number.
  std::int64_t Integer(const std::string& name, std::int64_t min, std::int64_t max) const;
  // A finite decimal number; fallback when absent.
  double Number(const std::string& name, double fallback) const;
  // One to most finite decimal numbers separated by commas ("32",
  // "300,400,500,600"); required.
  std::vector<double> Numbers(const std::string& name, std::size_t most) const;

 private:
  std::string path_;
  std::map<std::string, std::string> values_;
};

// Percent-decoding ("+" is a space in a query); false for a broken escape.
bool PercentDecode(std::string_view text, bool query, std::string& out);

// Whether two texts are equal, in a time that does not depend on where they
// differ (for the token).
bool SameSecret(std::string_view a, std::string_view b);

}  // namespace qelctl::view
