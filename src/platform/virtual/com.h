// The rig's COM bookkeeping: initialisations per thread, the process-wide
// count of initialisations not yet undone, and the holds on the
// multithreaded apartment.
#pragma once

#include "platform/hresult.h"
#include "platform/platform.h"

namespace qel::sim {

// S_OK the first time on a thread, S_FALSE when already initialised there.
platform::HResult ComInitialize();
// Undoes one initialisation of the calling thread; none held there: nothing.
void ComUninitialize();
// Successful initialisations (S_OK or S_FALSE) not yet balanced, all threads.
int ComDepth();
// Those of the calling thread.
int ThreadComDepth();

// CoIncrementMTAUsage and CoDecrementMTAUsage; a cookie is good for one
// decrement, from any thread.
platform::HResult IncrementMta(platform::MtaUsageCookie& cookie);
platform::HResult DecrementMta(platform::MtaUsageCookie cookie);
// Holds on the multithreaded apartment not yet released.
int MtaUsage();

// Whether COM objects can be created: some thread holds an initialisation,
// or the multithreaded apartment is held alive.
bool ComAvailable();

}  // namespace qel::sim
