#include "hid/memory_commands.h"

#include <cstring>

#include "core/last_error.h"
#include "hid/command_report.h"
#include "hid/data_block.h"
#include "hid/hid_channel.h"

namespace qel {
namespace {

constexpr int kAddressByte = 3;  // bytes 3..5: 24-bit address
constexpr int kDataByte = 6;     // bytes 6..61: 56 data bytes

// The reply carried the command out: status 0x00.
bool CarriedOut(const ReplyBlock& reply, const char* what, std::uint32_t address) {
  if (ReplyStatusOk(reply)) return true;
  return Fail(ErrorCode::kRefused, "the camera refused the %s at 0x%06X (status 0x%02X)", what,
              static_cast<unsigned>(address), static_cast<unsigned>(reply[kReplyStatus]));
}

// The reply names the address the command asked for.
bool EchoesAddress(const CommandBlock& command, const ReplyBlock& reply, const char* what,
                   std::uint32_t address) {
  for (int byte = kAddressByte; byte < kAddressByte + 3; ++byte) {
    if (ReplyByte(reply, byte) != command[static_cast<std::size_t>(byte - 2)]) {
      return Fail(ErrorCode::kRefused,
                  "the camera answered the %s at 0x%06X for address 0x%02X%02X%02X", what,
                  static_cast<unsigned>(address), ReplyByte(reply, kAddressByte),
                  ReplyByte(reply, kAddressByte + 1), ReplyByte(reply, kAddressByte + 2));
    }
  }
  return true;
}

}  // namespace

bool EraseMemoryBlocks(HidChannel* channel, std::uint8_t firstBlock, std::uint8_t lastBlock) {
  CommandBlock command = MakeCommand(CommandCode::kMemoryErase);
  PutReportByte(command, 3, firstBlock);
  PutReportByte(command, 4, lastBlock);
  ReplyBlock reply{};
  if (!HidExchange(channel, command, reply)) return false;
  if (ReplyStatusOk(reply)) return true;
  return Fail(ErrorCode::kRefused,
              "the camera refused to erase memory blocks 0x%02X..0x%02X (status 0x%02X)",
              static_cast<unsigned>(firstBlock), static_cast<unsigned>(lastBlock),
              static_cast<unsigned>(reply[kReplyStatus]));
}

bool WriteMemoryChunk(HidChannel* channel, std::uint32_t address, const std::uint8_t* data56) {
  CommandBlock command = MakeCommand(CommandCode::kMemoryWrite);
  PutReportBE24(command, kAddressByte, address);
  std::memcpy(command.data() + (kDataByte - 2), data56, kMemoryChunkSize);
  ReplyBlock reply{};
  return HidExchange(channel, command, reply) && CarriedOut(reply, "memory write", address) &&
         EchoesAddress(command, reply, "memory write", address);
}

bool ReadMemoryChunk(HidChannel* channel, std::uint32_t address, std::uint8_t* data56) {
  CommandBlock command = MakeCommand(CommandCode::kMemoryRead);
  PutReportBE24(command, kAddressByte, address);
  ReplyBlock reply{};
  if (!HidExchange(channel, command, reply) || !CarriedOut(reply, "memory read", address) ||
      !EchoesAddress(command, reply, "memory read", address)) {
    return false;
  }
  std::memcpy(data56, reply.data() + (kDataByte - 2), kMemoryChunkSize);
  return true;
}

}  // namespace qel
