// The analog gain of "QEL5" cameras: their 16-bit register 0x000D.
#include <cstdint>

#include "core/camera_model.h"
#include "core/exports.h"
#include "core/last_error.h"
#include "core/value_ranges.h"
#include "hid/command_frame.h"
#include "qel/qel.h"

namespace {

constexpr std::uint32_t kAnalogGainRegister = 0x000D;
constexpr auto kAnalogGainMax = static_cast<std::uint32_t>(qel::kAnalogGainRange.max);

std::optional<qel::CameraSlot> Qel5Slot(int32_t key) {
  std::optional<qel::CameraSlot> slot = qel::CommandSlot(key);
  if (slot && slot->model != qel::kModelQel5) {
    qel::Fail(qel::ErrorCode::kNotSupported, "a %s has no analog gain; only a QEL5 has",
              qel::ModelText(slot->model));
    return std::nullopt;
  }
  return slot;
}

}  // namespace

QelBool qel::exports::Qel5SetAnalogGain(int32_t key, uint32_t gain) {
  const std::optional<qel::CameraSlot> slot = Qel5Slot(key);
  if (!slot) return 0;
  if (gain > kAnalogGainMax) {
    return qel::Fail(qel::ErrorCode::kOutOfRange, "analog gain %u is outside 0..%u for a QEL5",
                     static_cast<unsigned>(gain), static_cast<unsigned>(kAnalogGainMax));
  }
  qel::CommandBlock command = qel::MakeCommand(qel::CommandCode::kSetRegisterW);
  qel::PutReportBE16(command, 3, kAnalogGainRegister);
  qel::PutReportBE16(command, 5, gain);
  qel::ReplyBlock reply{};
  return qel::RunCommand(*slot, command, reply);
}

QelBool qel::exports::Qel5GetAnalogGain(int32_t key, int32_t* gain) {
  if (gain == nullptr) return qel::Fail(qel::ErrorCode::kBadArgument, "gain is NULL");
  const std::optional<qel::CameraSlot> slot = Qel5Slot(key);
  if (!slot) return 0;
  qel::CommandBlock command = qel::MakeCommand(qel::CommandCode::kGetRegisterW);
  qel::PutReportBE16(command, 3, kAnalogGainRegister);
  qel::ReplyBlock reply{};
  if (!qel::RunCommand(*slot, command, reply)) return 0;
  *gain = qel::ReplyBE16(reply, 5);
  return 1;
}
