// The rig's COM initialisation bookkeeping: per thread, and the process-wide
// count of initialisations not yet undone.
#pragma once

#include "platform/hresult.h"

namespace qel::sim {

// S_OK the first time on a thread, S_FALSE when already initialised there.
platform::HResult ComInitialize();
void ComUninitialize();
// Successful initialisations (S_OK or S_FALSE) not yet balanced, all threads.
int ComDepth();
// The same count for the calling thread only.
int ComThreadDepth();
// Whether COM objects can be created: some initialisation is held.
bool ComAvailable();

}  // namespace qel::sim
