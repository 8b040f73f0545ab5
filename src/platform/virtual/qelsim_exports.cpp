// The rig's control interface, each function defined from qelsim_exports.h
// as the entry to its implementation: whatever goes wrong inside, the
// function returns its failure value and no exception crosses into the
// caller.
#include "platform/virtual/qelsim_exports.h"

#define QELSIM_DEFINE_EXPORT(result, name, failure, parameters, arguments) \
  extern "C" QEL_API result QEL_CALL name parameters {                     \
    try {                                                                  \
      return qel::sim::exports::name arguments;                            \
    } catch (...) {                                                        \
      return failure;                                                      \
    }                                                                      \
  }
QELSIM_EXPORTS(QELSIM_DEFINE_EXPORT)
#undef QELSIM_DEFINE_EXPORT
