// The camera's data block: 1232 bytes at 0x070000 in the camera's memory
// holding the serial number and six defect tables; read when a camera is
// opened and written back whole.
#pragma once

#include <array>
#include <cstdint>

namespace qel {

class HidChannel;

inline constexpr std::uint32_t kDataBlockAddress = 0x070000;
inline constexpr std::size_t kDataBlockSize = 1232;
inline constexpr std::size_t kMemoryChunkSize = 56;
inline constexpr std::size_t kDataBlockChunks = kDataBlockSize / kMemoryChunkSize;  // 22
inline constexpr std::uint8_t kDataBlockMemoryBlock = 0x07;  // 64 KiB block holding it

struct DataBlock {
  std::array<std::uint8_t, kDataBlockSize> bytes{};
};

// Reads the 22 chunks in order; the first failing chunk fails the read.
bool ReadDataBlock(HidChannel* channel, DataBlock& block);
// Erases memory block 7 and writes the 22 chunks; a refused erase writes
// nothing, the first failing chunk ends the commit.
bool CommitDataBlock(HidChannel* channel, const DataBlock& block);

}  // namespace qel
