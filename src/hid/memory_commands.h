// The camera's memory commands: erase 64 KiB blocks, write and read 56-byte
// chunks at 24-bit addresses. Each succeeds only when the exchange succeeds,
// the status is 0x00 and, for reads and writes, the reply echoes the address.
#pragma once

#include <cstdint>

namespace qel {

class HidChannel;

bool EraseMemoryBlocks(HidChannel* channel, std::uint8_t firstBlock, std::uint8_t lastBlock);
bool WriteMemoryChunk(HidChannel* channel, std::uint32_t address, const std::uint8_t* data56);
bool ReadMemoryChunk(HidChannel* channel, std::uint32_t address, std::uint8_t* data56);

}  // namespace qel
