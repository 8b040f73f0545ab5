// Opening and closing cameras. Both run under the open/close lock, so opens
// and closes from several threads never interleave; the functions here
// expect the caller to hold it.
#pragma once

#include <cstdint>
#include <mutex>

namespace qel {

// The open/close lock (its place in the lock order: core/core.h).
std::mutex& OpenCloseMutex();

// QelOpen's work: 0 a camera of the family opened with its control
// interface, 1 another device opened for capture only, -1 failure.
std::int32_t OpenCamera(std::int32_t key, std::int32_t width, std::int32_t height, double frameRate,
                        const char* format);
// QelClose's work.
void CloseCamera(std::int32_t key);

}  // namespace qel
