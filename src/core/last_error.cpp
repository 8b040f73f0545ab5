#include "core/last_error.h"

#include <cstdio>

#include "core/log.h"

namespace qel {
namespace {

struct ThreadError {
  const char* exportName = "qel";
  int depth = 0;
  bool recorded = false;
  ErrorCode code = ErrorCode::kNone;
  std::string text;
  std::string detail;  // the text without the export's name
};

thread_local ThreadError current;

void Record(ErrorCode code, const char* format, va_list arguments) {
  char detail[768];
  std::vsnprintf(detail, sizeof detail, format, arguments);
  current.recorded = true;
  current.code = code;
  current.detail = detail;
  current.text = current.exportName;
  current.text += ": ";
  current.text += detail;
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
  if (LogEnabled(LogLevel::kError)) LogLine(LogLevel::kError, "%s", current.text.c_str());
}

ErrorCode LastErrorCode() { return current.code; }
const std::string& LastErrorText() { return current.text; }

void ClearFailure() {
  current.recorded = false;
  current.code = ErrorCode::kNone;
  current.text.clear();
  current.detail.clear();
}

const std::string& LastFailureDetail() { return current.detail; }

}  // namespace qel
