// Opening and closing cameras. The caller holds the key's KeyLock
// (api/lifecycle_locks.h), so opens and closes of one key never interleave;
// opens and closes of different keys run side by side.
#pragma once

#include <cstdint>

namespace qel {

// QelOpen's work: 0 a camera of the family opened with its control
// interface, 1 another device opened for capture only, -1 failure. A failed
// open, whatever step failed and however (out of memory included), leaves
// nothing behind: no context running, no slot taken, no channel open.
// options: capture/capture.h's kStartFast.
std::int32_t OpenCamera(std::int32_t key, std::int32_t width, std::int32_t height, double frameRate,
                        const char* format, std::uint32_t options);
// QelClose's work.
void CloseCamera(std::int32_t key);

}  // namespace qel
