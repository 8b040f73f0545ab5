#include "query.h"

#include <cmath>
#include <cstdlib>

#include "http_error.h"

namespace qelctl::view {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool PercentDecode(std::string_view text, bool query, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return false;
      const int high = HexDigit(text[i + 1]);
      const int low = HexDigit(text[i + 2]);
      if (high < 0 || low < 0) return false;
      const char decoded = static_cast<char>(high * 16 + low);
      // A zero byte would cut the text short wherever it reaches C.
      if (decoded == '\0') return false;
      out += decoded;
      i += 2;
    } else if (c == '+' && query) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return true;
}

bool SameSecret(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return difference == 0;
}

Query::Query(std::string_view target) {
  if (target.size() > kMaxTarget) {
    throw HttpError(
        414, "the request target is longer than " + std::to_string(kMaxTarget) + " characters");
  }
  const std::size_t mark = target.find('?');
  if (!PercentDecode(target.substr(0, mark), false, path_) || path_.empty() || path_[0] != '/') {
    throw HttpError(400, "the request target is no path");
  }
  if (mark == std::string_view::npos) return;
  std::string_view rest = target.substr(mark + 1);
  while (!rest.empty()) {
    const std::size_t amp = rest.find('&');
    const std::string_view pair = rest.substr(0, amp);
    rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
    if (pair.empty()) continue;
    const std::size_t eq = pair.find('=');
    std::string name, value;
    if (!PercentDecode(pair.substr(0, eq), true, name) ||
        (eq != std::string_view::npos && !PercentDecode(pair.substr(eq + 1), true, value))) {
      throw HttpError(400, "a query parameter has a broken %-escape");
    }
    if (value.size() > kMaxValue) {
      throw HttpError(400, "the parameter \"" + name.substr(0, 32) + "\" is longer than " +
                               std::to_string(kMaxValue) + " characters");
    }
    if (values_.size() == kMaxParameters) {
      throw HttpError(400, "more than " + std::to_string(kMaxParameters) + " query parameters");
    }
    if (!values_.emplace(name, value).second) {
      throw HttpError(400, "the parameter \"" + name.substr(0, 32) + "\" is given twice");
    }
  }
}

std::string Query::Text(const std::string& name, const std::string& fallback) const {
  const auto at = values_.find(name);
  return at == values_.end() ? fallback : at->second;
}

std::int64_t Query::Integer(const std::string& name, std::int64_t min, std::int64_t max,
                            std::int64_t fallback) const {
  const auto at = values_.find(name);
  if (at == values_.end()) return fallback;
  const std::string& text = at->second;
  char* end = nullptr;
  const bool digits = !text.empty() && text.size() <= 18 &&
                      text.find_first_not_of("-0123456789") == std::string::npos;
  const long long value = digits ? std::strtoll(text.c_str(), &end, 10) : 0;
  if (!digits || end == nullptr || *end != '\0' || value < min || value > max) {
    throw HttpError(400, "the parameter " + name + " must be a whole number in " +
                             std::to_string(min) + ".." + std::to_string(max));
  }
  return value;
}

std::int64_t Query::Integer(const std::string& name, std::int64_t min, std::int64_t max) const {
  if (!Has(name)) throw HttpError(400, "the parameter " + name + " is missing");
  return Integer(name, min, max, 0);
}

namespace {

// A finite decimal number and nothing else: no spaces, no hexadecimal, no
// "inf" or "nan".
bool ParseNumber(const std::string& text, double& value) {
  if (text.empty() || text.find_first_not_of("-+.0123456789eE") != std::string::npos) {
    return false;
  }
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end != nullptr && *end == '\0' && std::isfinite(value);
}

}  // namespace

double Query::Number(const std::string& name, double fallback) const {
  const auto at = values_.find(name);
  if (at == values_.end()) return fallback;
  double value = 0.0;
  if (!ParseNumber(at->second, value)) {
    throw HttpError(400, "the parameter " + name + " must be a number");
  }
  return value;
}

std::vector<double> Query::Numbers(const std::string& name, std::size_t most) const {
  const std::string text = Text(name);
  std::vector<double> values;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    double value = 0.0;
    if (!ParseNumber(text.substr(start, comma - start), value)) {
      throw HttpError(400,
                      "the parameter " + name + " must be a number or numbers separated by commas");
    }
    if (values.size() == most) {
      throw HttpError(
          400, "the parameter " + name + " takes at most " + std::to_string(most) + " numbers");
    }
    values.push_back(value);
    if (comma == std::string::npos) return values;
    start = comma + 1;
  }
}

}  // namespace qelctl::view
