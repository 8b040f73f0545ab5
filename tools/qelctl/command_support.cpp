#include "command_support.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#  include <io.h>
#  define QELCTL_ISATTY _isatty
#  define QELCTL_FILENO _fileno
#else
#  include <unistd.h>
#  define QELCTL_ISATTY isatty
#  define QELCTL_FILENO fileno
#endif

namespace qelctl {

namespace {
std::string (*g_failureReason)() = nullptr;
}  // namespace

CommandError CallFailed(const std::string& call, const std::string& detail) {
  std::string message = call + " failed";
  if (!detail.empty()) message += " (" + detail + ")";
  // The library's own reason, when it gives one.
  if (g_failureReason != nullptr) {
    const std::string reason = g_failureReason();
    if (!reason.empty()) message += ": " + reason;
  }
  return CommandError(kExitFailed, message);
}

void SetFailureReasonSource(std::string (*source)()) { g_failureReason = source; }

CommandError UsageError(const std::string& message) { return CommandError(kExitUsage, message); }

std::int64_t ParseInteger(const std::string& text, std::int64_t min, std::int64_t max,
                          const std::string& what) {
  return ParseInteger(text, min, max, what,
                      "an integer from " + std::to_string(min) + " to " + std::to_string(max));
}

std::int64_t ParseInteger(const std::string& text, std::int64_t min, std::int64_t max,
                          const std::string& what, const std::string& accepts) {
  std::size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
    negative = text[pos] == '-';
    ++pos;
  }
  int base = 10;
  if (text.size() > pos + 2 && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
    base = 16;
    pos += 2;
  }
  const std::string digits = text.substr(pos);
  const bool allDigits =
      !digits.empty() && digits.find_first_not_of(base == 16 ? "0123456789abcdefABCDEF"
                                                             : "0123456789") == std::string::npos;
  std::int64_t value = 0;
  if (allDigits) {
    errno = 0;
    const unsigned long long magnitude = std::strtoull(digits.c_str(), nullptr, base);
    if (errno == 0 && magnitude <= static_cast<unsigned long long>(INT64_MAX)) {
      value =
          negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
      if (value >= min && value <= max) return value;
    }
  }
  throw UsageError(what + " must be " + accepts + ", not \"" + text + "\"");
}

double ParseNumber(const std::string& text, const std::string& what) {
  char* end = nullptr;
  errno = 0;
  const double value = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || errno != 0 || !std::isfinite(value) ||
      text.find_first_of("xXnN") != std::string::npos) {
    throw UsageError(what + " must be a decimal number, not \"" + text + "\"");
  }
  return value;
}

bool ParseSwitch(const std::string& text, const std::string& what) {
  if (text == "on" || text == "1") return true;
  if (text == "off" || text == "0") return false;
  throw UsageError(what + " must be on or off, not \"" + text + "\"");
}

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool StdoutIsTerminal() { return QELCTL_ISATTY(QELCTL_FILENO(stdout)) != 0; }
bool StderrIsTerminal() { return QELCTL_ISATTY(QELCTL_FILENO(stderr)) != 0; }

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string CanonicalFormat(const std::string& name) {
  for (const char* known : {"YUY2", "MJPG", "H264", "IYUV", "RGB24", "RGB32", "I420", "RGB555"}) {
    if (SameText(name, known)) return known;
  }
  return name;
}

}  // namespace qelctl
