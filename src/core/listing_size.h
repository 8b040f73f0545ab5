// The buffer size of the last listing call that returned a count; the open
// exports size their own listings with it.
#pragma once

#include <atomic>
#include <cstdint>

namespace qel {

std::atomic<std::int32_t>& ListBufferSize();

}  // namespace qel
