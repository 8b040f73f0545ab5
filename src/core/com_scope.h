// The library's use of COM.
//
// Every initialisation the library makes is undone on the thread that made
// it: each call that uses the capture framework initialises COM on its own
// thread for its own length (ComForCall) and undoes whatever succeeded,
// S_FALSE included. The library leaves no thread initialised, and never
// undoes an initialisation of the application's. A thread the application
// has made a single-threaded apartment (a UI thread) stays one: the
// library's request for the multithreaded apartment is refused there and
// the call goes on in the thread's own apartment.
//
// While any capture graph exists (a capture period), the library holds the
// multithreaded apartment alive (CoIncrementMTAUsage), so that the graph's
// objects outlive the call that built them and calls from threads without
// COM of their own, which belong to that apartment implicitly, can use them.
// The hold is released when the last graph is gone, by whichever thread
// that is.
//
// Thread safety: any thread. The period's hold is taken and released under
// the capture period's mutex (CaptureState::periodMutex, see core/core.h).
#pragma once

#include "platform/platform.h"

namespace qel {

class CapturePeriodCom {
 public:
  // Holds the multithreaded apartment unless the period already holds it.
  static void Begin();
  // Releases the period's hold, if any.
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
  platform::Platform& platform_;
  bool initialised_ = false;
};

}  // namespace qel
