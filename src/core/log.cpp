#include "core/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qel {

namespace detail {

std::atomic<int> logLevel{-1};

int ReadLogLevel() {
  const char* setting = std::getenv("QEL_LOG");
  LogLevel level = LogLevel::kOff;
  if (setting != nullptr) {
    if (std::strcmp(setting, "error") == 0) level = LogLevel::kError;
    if (std::strcmp(setting, "info") == 0) level = LogLevel::kInfo;
    if (std::strcmp(setting, "debug") == 0) level = LogLevel::kDebug;
  }
  logLevel.store(static_cast<int>(level), std::memory_order_relaxed);
  return static_cast<int>(level);
}

}  // namespace detail

void ReloadLogLevel() { detail::ReadLogLevel(); }

void LogLine(LogLevel level, const char* format, ...) {
  static const char* const kNames[] = {"off", "error", "info", "debug"};
  char text[1024];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  // One call per line, so that lines of different threads do not interleave.
  std::fprintf(stderr, "qel %s: %s\n", kNames[static_cast<int>(level)], text);
}

}  // namespace qel
