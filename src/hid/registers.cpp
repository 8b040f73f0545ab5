// Raw access to the camera's 8- and 16-bit registers. The address is the low
// 16 bits of its argument; values travel in their low 8 or 16 bits.
#include <cstdint>

#include "core/exports.h"
#include "core/last_error.h"
#include "hid/command_frame.h"
#include "qel/qel.h"

namespace {

enum class Width { k8, k16 };

qel::CommandBlock RegisterCommand(qel::CommandCode code, int32_t address) {
  qel::CommandBlock command = qel::MakeCommand(code);
  qel::PutReportBE16(command, 3, static_cast<std::uint32_t>(address) & 0xFFFF);
  return command;
}

QelBool WriteRegister(int32_t key, Width width, int32_t address, int32_t value) {
  const std::optional<qel::CameraSlot> slot = qel::CommandSlot(key);
  if (!slot) return 0;
  const auto raw = static_cast<std::uint32_t>(value);
  qel::CommandBlock command;
  if (width == Width::k8) {
    command = RegisterCommand(qel::CommandCode::kSetRegister, address);
    qel::PutReportByte(command, 5, raw);
  } else {
    command = RegisterCommand(qel::CommandCode::kSetRegisterW, address);
    qel::PutReportBE16(command, 5, raw);
  }
  qel::ReplyBlock reply{};
  return qel::RunCommand(*slot, command, reply);
}

// The register's reply block; false when the camera did not answer with 0x00.
bool ReadRegister(int32_t key, Width width, int32_t address, qel::ReplyBlock& reply) {
  const std::optional<qel::CameraSlot> slot = qel::CommandSlot(key);
  const qel::CommandCode code =
      width == Width::k8 ? qel::CommandCode::kGetRegister : qel::CommandCode::kGetRegisterW;
  return slot && qel::RunCommand(*slot, RegisterCommand(code, address), reply);
}

}  // namespace

QelBool qel::exports::QelSetRegister(int32_t key, int32_t address, int32_t value) {
  return WriteRegister(key, Width::k8, address, value);
}

QelBool qel::exports::QelSetRegisterW(int32_t key, int32_t address, int32_t value) {
  return WriteRegister(key, Width::k16, address, value);
}

QelBool qel::exports::QelGetRegister(int32_t key, int32_t address, uint8_t* value) {
  if (value == nullptr) return qel::Fail(qel::ErrorCode::kBadArgument, "value is NULL");
  qel::ReplyBlock reply{};
  if (!ReadRegister(key, Width::k8, address, reply)) return 0;
  *value = qel::ReplyByte(reply, 5);
  return 1;
}

QelBool qel::exports::QelGetRegisterW(int32_t key, int32_t address, uint16_t* value) {
  if (value == nullptr) return qel::Fail(qel::ErrorCode::kBadArgument, "value is NULL");
  qel::ReplyBlock reply{};
  if (!ReadRegister(key, Width::k16, address, reply)) return 0;
  *value = qel::ReplyBE16(reply, 5);
  return 1;
}
