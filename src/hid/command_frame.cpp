#include "hid/command_frame.h"

#include "hid/hid_channel.h"

namespace qel {

std::optional<CameraSlot> CommandSlot(std::int32_t key) {
  std::optional<CameraSlot> slot = CameraTable::Instance().FindSlot(key);
  if (!slot || !slot->channel) return std::nullopt;
  return slot;
}

bool RunCommand(const CameraSlot& slot, const CommandBlock& command, ReplyBlock& reply) {
  return HidExchange(slot.channel.get(), command, reply) && ReplyStatusOk(reply);
}

}  // namespace qel
