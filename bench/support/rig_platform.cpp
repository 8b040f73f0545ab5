// Every benchmark measures the library on the virtual rig, also where a
// hardware backend is the default platform: it is chosen before main runs.
#include "qel/qelsim.h"

namespace {
const bool rigEnabled = [] {
  qelsim_enable(1);
  return true;
}();
}  // namespace
