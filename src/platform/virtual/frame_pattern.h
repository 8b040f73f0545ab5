// The test pattern of the rig's frames: a 16-byte header ("QELF", frame
// counter, length, checksum of the rest, little-endian) and a body of 64-bit
// words derived from the counter, so that a torn, stale or corrupted frame
// fails the check. Frames shorter than the header hold counter-derived bytes
// only: the low byte of the counter, then bytes derived from it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qel::sim {

inline constexpr std::size_t kFrameHeaderSize = 16;

void FillFrame(std::uint8_t* frame, std::size_t length, std::uint32_t counter);
// True when the frame is intact; counter receives its counter (only the low
// byte for frames shorter than the header). An empty frame is not intact.
bool CheckFrame(const std::uint8_t* frame, std::size_t length, std::uint32_t& counter);

}  // namespace qel::sim
