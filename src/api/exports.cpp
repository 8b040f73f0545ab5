// The library's exported functions, each defined from core/exports.h as the
// entry to its implementation in qel::exports. Whatever goes wrong inside
// (out of memory, a failure in the standard library), the export returns
// its failure value: no exception crosses into the application.
#include "core/exports.h"

#define QEL_DEFINE_EXPORT(result, name, failure, parameters, arguments) \
  extern "C" QEL_API result QEL_CALL name parameters {                  \
    try {                                                               \
      return qel::exports::name arguments;                              \
    } catch (...) {                                                     \
      return failure;                                                   \
    }                                                                   \
  }
QEL_EXPORTS(QEL_DEFINE_EXPORT)
#undef QEL_DEFINE_EXPORT
