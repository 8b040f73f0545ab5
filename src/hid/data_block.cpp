#include "hid/data_block.h"

#include <mutex>
#include <optional>

#include "core/camera_table.h"
#include "core/last_error.h"
#include "hid/hid_channel.h"
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

bool UpdateDataBlock(std::int32_t key, const std::shared_ptr<HidChannel>& channel,
                     const std::function<void(DataBlock&)>& change) {
  if (!channel) {
    return Fail(ErrorCode::kNotSupported, "the device under key %d is not a camera of the family",
                static_cast<int>(key));
  }
  std::lock_guard update(channel->DataBlockMutex());
  // The block as it is now, after any update that held the lock before us.
  CameraTable& table = CameraTable::Instance();
  const std::optional<CameraSlot> slot = table.FindSlot(key);
  if (!slot || slot->channel != channel) {
    return Fail(ErrorCode::kNoCamera, "the camera under key %d was closed meanwhile",
                static_cast<int>(key));
  }
  if (!slot->dataBlock) {
    return Fail(ErrorCode::kNotSupported, "the camera under key %d has no data block",
                static_cast<int>(key));
  }
  auto block = std::make_shared<DataBlock>(*slot->dataBlock);
  change(*block);
  // Erase and 22 chunk writes; the slot's copy changes only when all succeed.
  if (!CommitDataBlock(channel.get(), *block)) return false;
  table.ReplaceDataBlock(key, channel.get(), std::move(block));
  return true;
}

}  // namespace qel
