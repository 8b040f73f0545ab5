// Raw access to the camera's 8- and 16-bit registers. The address is the low
// 16 bits of its argument; values travel in their low 8 or 16 bits.
#include <cstdint>

#include "hid/command_frame.h"
#include "qel/qel.h"

namespace {

qel::CommandBlock RegisterCommand(qel::CommandCode code, int32_t address) {
  qel::CommandBlock command = qel::MakeCommand(code);
  qel::PutReportBE16(command, 3, static_cast<std::uint32_t>(address) & 0xFFFF);
  return command;
}

}  // namespace

extern "C" {

QEL_API QelBool QEL_CALL QelSetRegister(int32_t key, int32_t address, int32_t value) {
  const std::optional<qel::CameraSlot> slot = qel::CommandSlot(key);
  if (!slot) return 0;
  qel::CommandBlock command = RegisterCommand(qel::CommandCode::kSetRegister, address);
  qel::PutReportByte(command, 5, static_cast<std::uint32_t>(value));
  qel::ReplyBlock reply{};
  return qel::RunCommand(*slot, command, reply);
}

QEL_API QelBool QEL_CALL QelGetRegister(int32_t key, int32_t address, uint8_t* value) {
  if (value == nullptr) return 0;
  const std::optional<qel::CameraSlot> slot = qel::CommandSlot(key);
  qel::ReplyBlock reply{};
  if (!slot ||
      !qel::RunCommand(*slot, RegisterCommand(qel::CommandCode::kGetRegister, address), reply)) {
    return 0;
  }
  *value = qel::ReplyByte(reply, 5);
  return 1;
}

QEL_API QelBool QEL_CALL QelSetRegisterW(int32_t key, int32_t address, int32_t value) {
  const std::optional<qel::CameraSlot> slot = qel::CommandSlot(key);
  if (!slot) return 0;
  qel::CommandBlock command = RegisterCommand(qel::CommandCode::kSetRegisterW, address);
  qel::PutReportBE16(command, 5, static_cast<std::uint32_t>(value));
  qel::ReplyBlock reply{};
  return qel::RunCommand(*slot, command, reply);
}

QEL_API QelBool QEL_CALL QelGetRegisterW(int32_t key, int32_t address, uint16_t* value) {
  if (value == nullptr) return 0;
  const std::optional<qel::CameraSlot> slot = qel::CommandSlot(key);
  qel::ReplyBlock reply{};
  if (!slot ||
      !qel::RunCommand(*slot, RegisterCommand(qel::CommandCode::kGetRegisterW, address), reply)) {
    return 0;
  }
  *value = qel::ReplyBE16(reply, 5);
  return 1;
}

}  // extern "C"
