// The library's COM initialisations on the calling thread.
//
// A capture period (from the first running graph to the end of the last)
// holds one initialisation of the library's own; while it is held, calls
// need none of their own. Outside a period, each call that uses the capture
// framework initialises COM for its own length and undoes it, on its own
// thread, whether the initialisation was the thread's first (S_OK) or not
// (S_FALSE). The period's initialisation is undone by whichever thread stops
// the last running graph.
//
// Thread safety: any thread. The period's flag is atomic; beginning and
// ending a period happen under the open/close lock (see core/core.h).
#pragma once

#include <atomic>

namespace qel {

class CapturePeriodCom {
 public:
  // Initialises COM on the calling thread unless the period already holds
  // an initialisation; held only when CoInitializeEx returned S_OK.
  static void Begin();
  // Undoes the period's initialisation, if held, on the calling thread.
  static void End();
  static bool Held();
};

class ComForCall {
 public:
  ComForCall();
  ~ComForCall();
  ComForCall(const ComForCall&) = delete;
  ComForCall& operator=(const ComForCall&) = delete;

 private:
  bool initialised_ = false;
};

}  // namespace qel
