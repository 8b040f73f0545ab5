// Device information the firmware keeps: its version text, a temperature,
// the serial number; and writing the serial number into the data block.
#include <cstdint>
#include <cstring>

#include "core/exports.h"
#include "core/last_error.h"
#include "hid/command_frame.h"
#include "hid/data_block.h"
#include "qel/qel.h"

namespace {

// The version text lies in reply bytes 3..63; the status byte after it is
// 0x00 on success, so the text is always terminated within 61 characters.
constexpr std::size_t kVersionTextMax = 61;

}  // namespace

QelBool qel::exports::QelVersion(int32_t key, char* text, int32_t size) {
  if (text == nullptr) return qel::Fail(qel::ErrorCode::kBadArgument, "text is NULL");
  if (size <= 0) {
    return qel::Fail(qel::ErrorCode::kBadArgument, "size %d is not positive",
                     static_cast<int>(size));
  }
  const std::optional<qel::CameraSlot> slot = qel::CommandSlot(key);
  qel::ReplyBlock reply{};
  if (!slot || !qel::RunCommand(*slot, qel::MakeCommand(qel::CommandCode::kVersion), reply)) {
    return 0;
  }
  const char* version = reinterpret_cast<const char*>(reply.data() + 1);
  const std::size_t length = strnlen(version, kVersionTextMax);
  if (length + 1 > static_cast<std::size_t>(size)) {
    text[0] = '\0';
    return qel::Fail(qel::ErrorCode::kBufferTooSmall,
                     "the version text \"%.*s\" needs %u bytes; size is %d",
                     static_cast<int>(length), version, static_cast<unsigned>(length + 1),
                     static_cast<int>(size));
  }
  std::memcpy(text, version, length);
  text[length] = '\0';
  return 1;
}

QelBool qel::exports::QelTemperature(int32_t key, int32_t type, int32_t* temperature) {
  if (temperature == nullptr) return qel::Fail(qel::ErrorCode::kBadArgument, "temperature is NULL");
  const std::optional<qel::CameraSlot> slot = qel::CommandSlot(key);
  if (!slot) return 0;
  if (type != 1 && type != 2) {
    return qel::Fail(qel::ErrorCode::kBadArgument, "type %d is not 1 or 2", static_cast<int>(type));
  }
  qel::CommandBlock command = qel::MakeCommand(qel::CommandCode::kTemperature);
  qel::PutReportByte(command, 3, static_cast<std::uint32_t>(type));
  qel::ReplyBlock reply{};
  if (!qel::RunCommand(*slot, command, reply)) return 0;
  *temperature = qel::ReplyByte(reply, 4);
  return 1;
}

QelBool qel::exports::QelGetSerialNo(int32_t key, uint32_t* serial) {
  if (serial == nullptr) return qel::Fail(qel::ErrorCode::kBadArgument, "serial is NULL");
  const std::optional<qel::CameraSlot> slot = qel::CommandSlot(key);
  qel::ReplyBlock reply{};
  if (!slot || !qel::RunCommand(*slot, qel::MakeCommand(qel::CommandCode::kGetSerialNo), reply)) {
    return 0;
  }
  *serial = qel::ReplyBE32(reply, 3);
  return 1;
}

QelBool qel::exports::QelSetSerialNo(int32_t key, uint32_t serial) {
  const std::optional<qel::CameraSlot> slot = qel::CommandSlot(key);
  if (!slot) return 0;
  if (!slot->dataBlock) {
    return qel::Fail(qel::ErrorCode::kNotSupported, "the camera under key %d has no data block",
                     static_cast<int>(key));
  }
  return qel::UpdateDataBlock(key, slot->channel, [serial](qel::DataBlock& block) {
    block.bytes[0] = static_cast<std::uint8_t>(serial >> 24);
    block.bytes[1] = static_cast<std::uint8_t>(serial >> 16);
    block.bytes[2] = static_cast<std::uint8_t>(serial >> 8);
    block.bytes[3] = static_cast<std::uint8_t>(serial);
  });
}
