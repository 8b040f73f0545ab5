#include "hid/data_block.h"

#include "hid/memory_commands.h"

namespace qel {

bool ReadDataBlock(HidChannel* channel, DataBlock& block) {
  for (std::size_t chunk = 0; chunk < kDataBlockChunks; ++chunk) {
    const auto address = static_cast<std::uint32_t>(kDataBlockAddress + kMemoryChunkSize * chunk);
    if (!ReadMemoryChunk(channel, address, block.bytes.data() + kMemoryChunkSize * chunk)) {
      return false;
    }
  }
  return true;
}

bool CommitDataBlock(HidChannel* channel, const DataBlock& block) {
  if (!EraseMemoryBlocks(channel, kDataBlockMemoryBlock, kDataBlockMemoryBlock)) return false;
  for (std::size_t chunk = 0; chunk < kDataBlockChunks; ++chunk) {
    const auto address = static_cast<std::uint32_t>(kDataBlockAddress + kMemoryChunkSize * chunk);
    if (!WriteMemoryChunk(channel, address, block.bytes.data() + kMemoryChunkSize * chunk)) {
      return false;
    }
  }
  return true;
}

}  // namespace qel
