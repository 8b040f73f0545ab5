// The reason for each thread's last failed export, and the bracket every
// export runs in (api/exports.cpp).
//
// Code deep in the library records why it failed with Fail(); the first
// reason recorded during an export wins, because the deepest cause is found
// first and the layers above only see its consequence. The export's bracket
// clears the reason on entry, keeps it when the export fails, and drops one
// recorded along a path that recovered when the export succeeds.
//
// Thread safety: all state is the calling thread's own.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string_view>

#include "qel/qel.h"

namespace qel {

enum class ErrorCode : std::int32_t {
  kNone = QEL_OK,
  kNoCamera = QEL_ERROR_NO_CAMERA,
  kBadArgument = QEL_ERROR_BAD_ARGUMENT,
  kOutOfRange = QEL_ERROR_OUT_OF_RANGE,
  kNotSupported = QEL_ERROR_NOT_SUPPORTED,
  kNoDevice = QEL_ERROR_NO_DEVICE,
  kBusy = QEL_ERROR_BUSY,
  kTimeout = QEL_ERROR_TIMEOUT,
  kRefused = QEL_ERROR_REFUSED,
  kPlatform = QEL_ERROR_PLATFORM,
  kNoMemory = QEL_ERROR_NO_MEMORY,
  kBufferTooSmall = QEL_ERROR_BUFFER_TOO_SMALL,
  kDeviceLost = QEL_ERROR_DEVICE_LOST,
  kFile = QEL_ERROR_FILE,
};

// Records why the running export fails, unless a reason is already recorded;
// the text is printf-style and is prefixed with the export's name. Returns
// false so that a failing path can end with `return Fail(...)`.
bool Fail(ErrorCode code, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
// Replaces any recorded reason: for a summary that is more useful to the
// caller than the detail found first (an open's build status).
void Refail(ErrorCode code, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
bool HasFailure();

// How an export's result reads.
enum class Outcome { kSucceeded, kFailed, kNeither };

// The bracket of one export. Nested exports (the library calling one of its
// own exports) leave the outer export's reason alone.
class ExportScope {
 public:
  // clearsError false: the readers of the last error, which must not clear it.
  explicit ExportScope(const char* name, bool clearsError = true);
  ~ExportScope();
  ExportScope(const ExportScope&) = delete;
  ExportScope& operator=(const ExportScope&) = delete;

  // Settles the reason by the export's outcome; a failure that recorded no
  // reason gets a general one.
  void Finish(Outcome outcome);

 private:
  bool outermost_;
};

// The calling thread's last reason.
ErrorCode LastErrorCode();
std::string_view LastErrorText();

// Forgets the thread's reason: after a path whose failure does not matter,
// and on a thread of the library's own that reports its failure later
// through an export (the firmware rewrite), so that the next reason recorded
// is that of the latest failure. LastFailureDetail reads a recorded reason
// without an export's name.
void ClearFailure();
std::string_view LastFailureDetail();

}  // namespace qel
