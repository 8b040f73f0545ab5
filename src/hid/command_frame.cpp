#include "hid/command_frame.h"

#include "core/last_error.h"
#include "hid/hid_channel.h"

namespace qel {

std::optional<CameraSlot> CommandSlot(std::int32_t key) {
  std::optional<CameraSlot> slot = FindOpenCamera(key);
  if (slot && !slot->channel) {
    Fail(ErrorCode::kNotSupported, "the device under key %d is not a camera of the family",
         static_cast<int>(key));
    return std::nullopt;
  }
  return slot;
}

bool RunCommand(const CameraSlot& slot, const CommandBlock& command, ReplyBlock& reply) {
  if (!HidExchange(slot.channel.get(), command, reply)) return false;
  if (ReplyStatusOk(reply)) return true;
  return Fail(ErrorCode::kRefused, "the camera refused command 0x%02X (status 0x%02X)",
              static_cast<unsigned>(command[0]), static_cast<unsigned>(reply[kReplyStatus]));
}

}  // namespace qel
