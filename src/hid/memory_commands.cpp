#include "hid/memory_commands.h"

#include <cstring>

#include "hid/command_report.h"
#include "hid/data_block.h"
#include "hid/hid_channel.h"

namespace qel {
namespace {

constexpr int kAddressByte = 3;  // bytes 3..5: 24-bit address
constexpr int kDataByte = 6;     // bytes 6..61: 56 data bytes

bool EchoesAddress(const CommandBlock& command, const ReplyBlock& reply) {
  for (int byte = kAddressByte; byte < kAddressByte + 3; ++byte) {
    if (ReplyByte(reply, byte) != command[static_cast<std::size_t>(byte - 2)]) return false;
  }
  return true;
}

}  // namespace

bool EraseMemoryBlocks(HidChannel* channel, std::uint8_t firstBlock, std::uint8_t lastBlock) {
  CommandBlock command = MakeCommand(CommandCode::kMemoryErase);
  PutReportByte(command, 3, firstBlock);
  PutReportByte(command, 4, lastBlock);
  ReplyBlock reply{};
  return HidExchange(channel, command, reply) && ReplyStatusOk(reply);
}

bool WriteMemoryChunk(HidChannel* channel, std::uint32_t address, const std::uint8_t* data56) {
  CommandBlock command = MakeCommand(CommandCode::kMemoryWrite);
  PutReportBE24(command, kAddressByte, address);
  std::memcpy(command.data() + (kDataByte - 2), data56, kMemoryChunkSize);
  ReplyBlock reply{};
  return HidExchange(channel, command, reply) && ReplyStatusOk(reply) &&
         EchoesAddress(command, reply);
}

bool ReadMemoryChunk(HidChannel* channel, std::uint32_t address, std::uint8_t* data56) {
  CommandBlock command = MakeCommand(CommandCode::kMemoryRead);
  PutReportBE24(command, kAddressByte, address);
  ReplyBlock reply{};
  if (!HidExchange(channel, command, reply) || !ReplyStatusOk(reply) ||
      !EchoesAddress(command, reply)) {
    return false;
  }
  std::memcpy(data56, reply.data() + (kDataByte - 2), kMemoryChunkSize);
  return true;
}

}  // namespace qel
