// The camera's data block: 1232 bytes at 0x070000 in the camera's memory
// holding the serial number and six defect tables; read when a camera is
// opened and written back whole.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

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

// Changes the data block of the camera open at key on channel: under the
// channel's DataBlockMutex it copies the slot's current block, applies change
// to the copy, commits it and makes it the slot's block. Updates of one camera
// thus run one at a time, each starting from what the one before committed,
// and the camera's memory ends equal to the slot's copy. False, with the
// slot's block unchanged, when key no longer names a camera open on channel,
// the slot has no block, or the commit fails.
bool UpdateDataBlock(std::int32_t key, const std::shared_ptr<HidChannel>& channel,
                     const std::function<void(DataBlock&)>& change);

}  // namespace qel
