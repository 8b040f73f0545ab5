// Single bytes between the caller and the firmware: the recognition byte,
// the USB mode, and the GPIO of "QEL" cameras (direction, output, input).
#include <cstdint>

#include "core/camera_model.h"
#include "core/exports.h"
#include "core/last_error.h"
#include "hid/command_frame.h"
#include "qel/qel.h"

namespace {

// The GPIO commands exist on "QEL" cameras only.
bool HasGpio(const qel::CameraSlot& slot) {
  if (slot.model == qel::kModelQel) return true;
  return qel::Fail(qel::ErrorCode::kNotSupported, "a %s has no GPIO; only a QEL has",
                   qel::ModelText(slot.model));
}

QelBool ReadByte(int32_t key, qel::CommandCode code, bool gpio, uint8_t* value) {
  if (value == nullptr) return qel::Fail(qel::ErrorCode::kBadArgument, "value is NULL");
  const std::optional<qel::CameraSlot> slot = qel::CommandSlot(key);
  if (!slot || (gpio && !HasGpio(*slot))) return 0;
  qel::ReplyBlock reply{};
  if (!qel::RunCommand(*slot, qel::MakeCommand(code), reply)) return 0;
  *value = qel::ReplyByte(reply, 3);
  return 1;
}

QelBool WriteGpioByte(int32_t key, qel::CommandCode code, int32_t value) {
  const std::optional<qel::CameraSlot> slot = qel::CommandSlot(key);
  if (!slot || !HasGpio(*slot)) return 0;
  qel::CommandBlock command = qel::MakeCommand(code);
  qel::PutReportByte(command, 3, static_cast<std::uint32_t>(value));
  qel::ReplyBlock reply{};
  return qel::RunCommand(*slot, command, reply);
}

}  // namespace

QelBool qel::exports::QelCameraRecognition(int32_t key, uint8_t* value) {
  return ReadByte(key, qel::CommandCode::kCameraRecognition, false, value);
}
QelBool qel::exports::QelUSBMode(int32_t key, uint8_t* value) {
  return ReadByte(key, qel::CommandCode::kUsbMode, false, value);
}
QelBool qel::exports::QelGPIODirection(int32_t key, int32_t direction) {
  return WriteGpioByte(key, qel::CommandCode::kGpioDirection, direction);
}
QelBool qel::exports::QelGPIOOutput(int32_t key, int32_t output) {
  return WriteGpioByte(key, qel::CommandCode::kGpioOutput, output);
}
QelBool qel::exports::QelGPIOInput(int32_t key, uint8_t* value) {
  return ReadByte(key, qel::CommandCode::kGpioInput, true, value);
}
