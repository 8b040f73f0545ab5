#include "core/last_error.h"

#include <algorithm>
#include <cstdio>
#include <type_traits>

#include "core/log.h"

namespace qel {
namespace {

// The reason is kept in an array, not a string: a thread's storage must need
// no destructor. MinGW's runtime frees a thread_local object's storage before
// the destructors registered for the thread run, so a destructor there reads
// and frees through freed memory, which another thread may have reused.
struct ThreadError {
  const char* exportName = "qel";
  int depth = 0;
  bool recorded = false;
  ErrorCode code = ErrorCode::kNone;
  // "QelOpen: detail": the detail starts at detailStart.
  char text[832] = "";
  std::size_t length = 0;
  std::size_t detailStart = 0;
};
static_assert(std::is_trivially_destructible_v<ThreadError>);

// The longest detail kept, as a reason was always cut.
constexpr std::size_t kDetailSize = 768;

thread_local ThreadError current;

// What snprintf wrote into a buffer of `size`: its result, cut to the buffer.
std::size_t Written(int result, std::size_t size) {
  return result < 0 ? 0 : std::min(static_cast<std::size_t>(result), size - 1);
}

void Record(ErrorCode code, const char* format, va_list arguments) {
  char* const text = current.text;
  constexpr std::size_t kPrefixSize = sizeof current.text - kDetailSize;  // the longest name
  const std::size_t prefix =
      Written(std::snprintf(text, kPrefixSize, "%s: ", current.exportName), kPrefixSize);
  const int detail = std::vsnprintf(text + prefix, kDetailSize, format, arguments);
  if (detail < 0) text[prefix] = '\0';  // a failed format leaves no terminated text
  current.detailStart = prefix;
  current.length = prefix + Written(detail, kDetailSize);
  current.recorded = true;
  current.code = code;
}

}  // namespace

bool Fail(ErrorCode code, const char* format, ...) {
  if (current.recorded) return false;
  va_list arguments;
  va_start(arguments, format);
  Record(code, format, arguments);
  va_end(arguments);
  return false;
}

void Refail(ErrorCode code, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  Record(code, format, arguments);
  va_end(arguments);
}

bool HasFailure() { return current.recorded; }

ExportScope::ExportScope(const char* name, bool clearsError) : outermost_(current.depth == 0) {
  ++current.depth;
  if (!outermost_ || !clearsError) return;
  current.exportName = name;
  if (current.recorded || current.code != ErrorCode::kNone) ClearFailure();
}

ExportScope::~ExportScope() { --current.depth; }

void ExportScope::Finish(Outcome outcome) {
  if (!outermost_) return;
  switch (outcome) {
    case Outcome::kSucceeded:
      if (current.recorded) ClearFailure();
      return;
    case Outcome::kFailed:
      if (!current.recorded) Fail(ErrorCode::kPlatform, "the call failed");
      break;
    case Outcome::kNeither:
      if (!current.recorded) return;
      break;
  }
  if (LogEnabled(LogLevel::kError)) LogLine(LogLevel::kError, "%s", current.text);
}

ErrorCode LastErrorCode() { return current.code; }
std::string_view LastErrorText() { return {current.text, current.length}; }

void ClearFailure() {
  current.recorded = false;
  current.code = ErrorCode::kNone;
  current.text[0] = '\0';
  current.length = 0;
  current.detailStart = 0;
}

std::string_view LastFailureDetail() {
  return {current.text + current.detailStart, current.length - current.detailStart};
}

}  // namespace qel
