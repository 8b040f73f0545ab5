// The four digital gains. The plain exports work on a 0..4095 scale and
// convert; the X exports pass the camera's own values, whose bounds differ
// per model. Gains travel as 16-bit fields, so arguments are cut to their low
// 16 bits before anything else looks at them.
#include <array>
#include <cstdint>

#include "core/camera_model.h"
#include "core/exports.h"
#include "core/last_error.h"
#include "core/value_ranges.h"
#include "hid/command_frame.h"
#include "qel/qel.h"

namespace qel {
namespace {

using Gains = std::array<std::uint16_t, 4>;

constexpr auto kFixedScaleMax = static_cast<std::uint16_t>(kDigitalGainScaleRange.max);
// "QEL5" gains are a quarter of the fixed scale; small raw values read as 0.
constexpr int kQel5Shift = 2;
constexpr std::uint16_t kQel5ReadFloor = 63;

struct RawRange {
  std::uint16_t min;
  std::uint16_t max;
};
// Raw ranges by model; model 0 takes every 16-bit value.
constexpr RawRange kRawRange[3] = {{0, 65535}, {256, 4095}, {0, 1023}};

Gains LowBits(int32_t g1, int32_t g2, int32_t g3, int32_t g4) {
  return {static_cast<std::uint16_t>(g1), static_cast<std::uint16_t>(g2),
          static_cast<std::uint16_t>(g3), static_cast<std::uint16_t>(g4)};
}

bool SendGains(const CameraSlot& slot, const Gains& gains) {
  CommandBlock command = MakeCommand(CommandCode::kSetDigitalGain);
  for (std::size_t i = 0; i < gains.size(); ++i) {
    PutReportBE16(command, 3 + 2 * static_cast<int>(i), gains[i]);
  }
  ReplyBlock reply{};
  return RunCommand(slot, command, reply);
}

bool ReadGains(const CameraSlot& slot, Gains& gains) {
  ReplyBlock reply{};
  if (!RunCommand(slot, MakeCommand(CommandCode::kGetDigitalGain), reply)) return false;
  for (std::size_t i = 0; i < gains.size(); ++i) {
    gains[i] = ReplyBE16(reply, 3 + 2 * static_cast<int>(i));
  }
  return true;
}

bool AllOut(uint16_t* g1, uint16_t* g2, uint16_t* g3, uint16_t* g4) {
  const uint16_t* const out[4] = {g1, g2, g3, g4};
  for (int i = 0; i < 4; ++i) {
    if (out[i] == nullptr) return Fail(ErrorCode::kBadArgument, "gain%d is NULL", i + 1);
  }
  return true;
}

// The slot of a camera of the family with a command channel.
std::optional<CameraSlot> GainSlot(std::int32_t key) {
  std::optional<CameraSlot> slot = CommandSlot(key);
  if (slot && !IsFamilyCamera(slot->model)) {
    Fail(ErrorCode::kNotSupported, "the device under key %d is not a camera of the family",
         static_cast<int>(key));
    return std::nullopt;
  }
  return slot;
}

// Checks the gains (cut to their low 16 bits) against min..max; the message
// names the caller's own value.
bool GainsWithin(const Gains& gains, const std::array<int32_t, 4>& given, std::uint32_t min,
                 std::uint32_t max, CameraModel model) {
  for (std::size_t i = 0; i < gains.size(); ++i) {
    if (gains[i] < min || gains[i] > max) {
      return Fail(ErrorCode::kOutOfRange, "gain%u %d is outside %u..%u for a %s",
                  static_cast<unsigned>(i + 1), static_cast<int>(given[i]),
                  static_cast<unsigned>(min), static_cast<unsigned>(max), ModelText(model));
    }
  }
  return true;
}

void Deliver(const Gains& gains, uint16_t* g1, uint16_t* g2, uint16_t* g3, uint16_t* g4) {
  *g1 = gains[0];
  *g2 = gains[1];
  *g3 = gains[2];
  *g4 = gains[3];
}

QelBool RawBound(int32_t key, bool maximum, uint16_t* g1, uint16_t* g2, uint16_t* g3,
                 uint16_t* g4) {
  if (!AllOut(g1, g2, g3, g4)) return 0;
  const std::optional<CameraSlot> slot = GainSlot(key);
  if (!slot) return 0;
  const RawRange& range = kRawRange[slot->model];
  const std::uint16_t bound = maximum ? range.max : range.min;
  Deliver({bound, bound, bound, bound}, g1, g2, g3, g4);
  return 1;
}

// The camera's four gains; on the fixed scale the QEL5's values are scaled up.
QelBool GetGains(std::int32_t key, bool fixedScale, uint16_t* g1, uint16_t* g2, uint16_t* g3,
                 uint16_t* g4) {
  if (!AllOut(g1, g2, g3, g4)) return 0;
  const std::optional<CameraSlot> slot = CommandSlot(key);
  Gains gains{};
  if (!slot || !ReadGains(*slot, gains)) return 0;
  if (fixedScale && slot->model == kModelQel5) {
    for (std::uint16_t& gain : gains) {
      gain = gain > kQel5ReadFloor ? static_cast<std::uint16_t>(gain << kQel5Shift) : 0;
    }
  }
  Deliver(gains, g1, g2, g3, g4);
  return 1;
}

}  // namespace
}  // namespace qel

using qel::CameraSlot;
using qel::CommandSlot;

QelBool qel::exports::QelSetDigitalGain(int32_t key, int32_t gain1, int32_t gain2, int32_t gain3,
                                        int32_t gain4) {
  const std::optional<CameraSlot> slot = qel::GainSlot(key);
  if (!slot) return 0;
  qel::Gains gains = qel::LowBits(gain1, gain2, gain3, gain4);
  if (!qel::GainsWithin(gains, {gain1, gain2, gain3, gain4}, 0, qel::kFixedScaleMax, slot->model)) {
    return 0;
  }
  for (std::uint16_t& gain : gains) {
    if (slot->model == qel::kModelQel5) gain = static_cast<std::uint16_t>(gain >> qel::kQel5Shift);
  }
  return qel::SendGains(*slot, gains);
}

QelBool qel::exports::QelGetDigitalGain(int32_t key, uint16_t* gain1, uint16_t* gain2,
                                        uint16_t* gain3, uint16_t* gain4) {
  return qel::GetGains(key, true, gain1, gain2, gain3, gain4);
}

QelBool qel::exports::QelXSetDigitalGain(int32_t key, int32_t gain1, int32_t gain2, int32_t gain3,
                                         int32_t gain4) {
  const std::optional<CameraSlot> slot = qel::GainSlot(key);
  if (!slot) return 0;
  const qel::Gains gains = qel::LowBits(gain1, gain2, gain3, gain4);
  const qel::RawRange& range = qel::kRawRange[slot->model];
  if (!qel::GainsWithin(gains, {gain1, gain2, gain3, gain4}, range.min, range.max, slot->model)) {
    return 0;
  }
  return qel::SendGains(*slot, gains);
}

QelBool qel::exports::QelXGetDigitalGain(int32_t key, uint16_t* gain1, uint16_t* gain2,
                                         uint16_t* gain3, uint16_t* gain4) {
  return qel::GetGains(key, false, gain1, gain2, gain3, gain4);
}

QelBool qel::exports::QelXGetDigitalGainMax(int32_t key, uint16_t* gain1, uint16_t* gain2,
                                            uint16_t* gain3, uint16_t* gain4) {
  return qel::RawBound(key, true, gain1, gain2, gain3, gain4);
}

QelBool qel::exports::QelXGetDigitalGainMin(int32_t key, uint16_t* gain1, uint16_t* gain2,
                                            uint16_t* gain3, uint16_t* gain4) {
  return qel::RawBound(key, false, gain1, gain2, gain3, gain4);
}
