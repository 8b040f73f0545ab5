// Diagnostic lines for support cases, written to standard error when the
// environment variable QEL_LOG is "error", "info" or "debug".
//
// The level is read once; a disabled level costs one relaxed atomic load, so
// the checks may sit on the frame path.
//
// Thread safety: any thread; each line is written with one call.
#pragma once

#include <atomic>

namespace qel {

enum class LogLevel : int { kOff = 0, kError = 1, kInfo = 2, kDebug = 3 };

namespace detail {
extern std::atomic<int> logLevel;  // -1 until QEL_LOG has been read
int ReadLogLevel();
}  // namespace detail

inline bool LogEnabled(LogLevel level) {
  int current = detail::logLevel.load(std::memory_order_relaxed);
  if (current < 0) current = detail::ReadLogLevel();
  return current >= static_cast<int>(level);
}

// Writes "qel <level>: <text>" and a newline.
void LogLine(LogLevel level, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Reads QEL_LOG again (tests change it within one process).
void ReloadLogLevel();

}  // namespace qel
