// The common start and end of every export that sends a command to the
// camera: the key names an open camera with a command channel, the command
// is exchanged, and the camera must report it carried out (status 0x00).
#pragma once

#include <cstdint>
#include <optional>

#include "core/camera_table.h"
#include "hid/command_report.h"

namespace qel {

// The slot of key when it names an open camera with a command channel.
std::optional<CameraSlot> CommandSlot(std::int32_t key);

// Exchanges command over the slot's channel; true when a reply came with
// status 0x00.
bool RunCommand(const CameraSlot& slot, const CommandBlock& command, ReplyBlock& reply);

}  // namespace qel
