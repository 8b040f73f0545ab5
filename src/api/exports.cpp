// The library's exported functions, each defined from core/exports.h as the
// entry to its implementation in qel::exports, inside the bracket that keeps
// the thread's last error (core/last_error.h). Whatever goes wrong inside
// (out of memory, a failure in the standard library), the export returns
// its failure value: no exception crosses into the application.
#include <new>
#include <string_view>
#include <type_traits>

#include "core/exports.h"
#include "core/last_error.h"

namespace {

using qel::Outcome;

// How an export's result reads. Most results are their failure value or
// not; the exceptions are named here.
enum class ResultRule {
  kFailureValue,     // the failure value is a failure, anything else success
  kZeroIsNoFrame,    // non-zero success; 0 also means "no frame (new) yet"
  kOneZeroMinusOne,  // 1 success, 0 nothing new or timed out, -1 failure
  kCount,            // a count, or -1
  kCountWithNotice,  // a count, or -1; a count may come with a reason kept (a missing serial)
  kReadsLastError,   // leaves the last error as it is
};

constexpr ResultRule RuleOf(std::string_view name) {
  if (name == "QelReceiveImage" || name == "QelGetBufferSize") return ResultRule::kZeroIsNoFrame;
  if (name == "QelReceiveImageEx" || name == "QelWaitImage") return ResultRule::kOneZeroMinusOne;
  if (name == "QelGetFormatList" || name == "QelGetFormatListEx" || name == "QelGetSettingList") {
    return ResultRule::kCount;
  }
  if (name == "QelGetDeviceWithSerialNo") return ResultRule::kCountWithNotice;
  if (name == "QelLastErrorCode" || name == "QelLastError") return ResultRule::kReadsLastError;
  return ResultRule::kFailureValue;
}

template <typename Result>
Outcome OutcomeOf(ResultRule rule, Result result, Result failure) {
  switch (rule) {
    case ResultRule::kZeroIsNoFrame:
      // A reason recorded on the way (an unknown key) is kept; none is
      // invented for "no frame yet".
      return result != 0 ? Outcome::kSucceeded : Outcome::kNeither;
    case ResultRule::kOneZeroMinusOne:
      if (result == 1) return Outcome::kSucceeded;
      return result == 0 ? Outcome::kNeither : Outcome::kFailed;
    case ResultRule::kCount:
      return result >= 0 ? Outcome::kSucceeded : Outcome::kFailed;
    case ResultRule::kCountWithNotice:
      return result >= 0 ? Outcome::kNeither : Outcome::kFailed;
    default:
      return result == failure ? Outcome::kFailed : Outcome::kSucceeded;
  }
}

template <typename Result, typename Call, typename Failure>
Result RunExport(const char* name, ResultRule rule, Call call, Failure failure) {
  qel::ExportScope scope(name, rule != ResultRule::kReadsLastError);
  try {
    if constexpr (std::is_void_v<Result>) {
      call();
      scope.Finish(Outcome::kNeither);  // no result: a recorded reason tells of a failure
      return;
    } else {
      const Result value = call();
      if (rule != ResultRule::kReadsLastError) {
        scope.Finish(OutcomeOf<Result>(rule, value, failure()));
      }
      return value;
    }
  } catch (const std::bad_alloc&) {
    qel::Refail(qel::ErrorCode::kNoMemory, "out of memory");
  } catch (...) {
    qel::Refail(qel::ErrorCode::kPlatform, "an unexpected internal failure");
  }
  scope.Finish(Outcome::kFailed);
  return failure();
}

}  // namespace

#define QEL_DEFINE_EXPORT(result, name, failure, parameters, arguments)        \
  extern "C" QEL_API result QEL_CALL name parameters {                         \
    static constexpr ResultRule rule = RuleOf(#name);                          \
    return RunExport<result>(                                                  \
        #name, rule, [&]() -> result { return qel::exports::name arguments; }, \
        []() -> result { return failure; });                                   \
  }
QEL_EXPORTS(QEL_DEFINE_EXPORT)
#undef QEL_DEFINE_EXPORT
