// The shutter as a line count and as a time in seconds. "QEL5" lines are
// 100 microseconds each; the other models convert through the shutter-time
// table of the open size and frame rate.
#include <cmath>
#include <cstdint>
#include <mutex>

#include "capture/capture.h"
#include "core/camera_model.h"
#include "core/exports.h"
#include "core/last_error.h"
#include "core/value_ranges.h"
#include "hid/command_frame.h"
#include "hid/shutter_time_table.h"
#include "qel/qel.h"

namespace qel {
namespace {

constexpr std::uint16_t kShutterMin = 1;
constexpr std::uint16_t kShutterMaxQel = 65530;  // not 65535
constexpr std::uint16_t kShutterMaxQel5 = 10000;
constexpr double kQel5LineSeconds = 0.0001;
constexpr double kQel5LinesPerSecond = 10000.0;
constexpr double kShortestTime = kShortestShutterTime;
constexpr double kLongestTime = kLongestShutterTime;

bool ShutterMax(std::int32_t model, std::uint16_t& max) {
  if (model == kModelQel || model == kModelQel2) {
    max = kShutterMaxQel;
  } else if (model == kModelQel5) {
    max = kShutterMaxQel5;
  } else {
    return Fail(ErrorCode::kNotSupported, "a %s has no shutter",
                ModelText(static_cast<CameraModel>(model)));
  }
  return true;
}

// The whole frame rate of the camera's running capture; 1 (which has no
// table row) when it is not running.
std::int32_t CaptureFrameRate(std::int32_t captureIndex) {
  const std::optional<double> running = RunningFrameRate(captureIndex);
  if (!running) return 1;
  const double rate = std::trunc(*running);
  return rate >= 0.0 && rate <= 1e6 ? static_cast<std::int32_t>(rate) : 0;
}

// The table row of a "QEL" or "QEL2" camera's open size and frame rate.
bool SlotTiming(const CameraSlot& slot, ShutterTiming& timing) {
  const std::int32_t frameRate = slot.sizeIndex == -1 ? 0 : CaptureFrameRate(slot.captureIndex);
  if (frameRate != 0 && LookupShutterTiming(slot.sizeIndex, frameRate, timing)) return true;
  return Fail(ErrorCode::kNotSupported,
              "a %s at size index %d and %d frames per second has no shutter time conversion",
              ModelText(slot.model), static_cast<int>(slot.sizeIndex), static_cast<int>(frameRate));
}

// The model's bound, answered without touching the camera.
QelBool ShutterBound(std::int32_t key, std::uint16_t* lines, bool maximum) {
  if (lines == nullptr) return Fail(ErrorCode::kBadArgument, "lines is NULL");
  const std::optional<CameraSlot> slot = CommandSlot(key);
  std::uint16_t max = 0;
  if (!slot || !ShutterMax(slot->model, max)) return 0;
  *lines = maximum ? max : kShutterMin;
  return 1;
}

bool SendShutter(const CameraSlot& slot, std::uint16_t lines) {
  CommandBlock command = MakeCommand(CommandCode::kSetShutter);
  PutReportBE16(command, 3, lines);
  ReplyBlock reply{};
  return RunCommand(slot, command, reply);
}

bool ReadShutter(const CameraSlot& slot, std::uint16_t& lines) {
  ReplyBlock reply{};
  if (!RunCommand(slot, MakeCommand(CommandCode::kGetShutter), reply)) return false;
  lines = ReplyBE16(reply, 3);
  return true;
}

}  // namespace
}  // namespace qel

using qel::CameraSlot;
using qel::CommandSlot;

QelBool qel::exports::QelSetShutter(int32_t key, int32_t lines) {
  const std::optional<CameraSlot> slot = CommandSlot(key);
  std::uint16_t max = 0;
  if (!slot || !qel::ShutterMax(slot->model, max)) return 0;
  const auto count = static_cast<std::uint16_t>(lines);
  if (count < qel::kShutterMin || count > max) {
    return qel::Fail(qel::ErrorCode::kOutOfRange, "%d lines is outside %u..%u for a %s",
                     static_cast<int>(lines), static_cast<unsigned>(qel::kShutterMin),
                     static_cast<unsigned>(max), qel::ModelText(slot->model));
  }
  return qel::SendShutter(*slot, count);
}

QelBool qel::exports::QelGetShutter(int32_t key, uint16_t* lines) {
  if (lines == nullptr) return qel::Fail(qel::ErrorCode::kBadArgument, "lines is NULL");
  const std::optional<CameraSlot> slot = CommandSlot(key);
  std::uint16_t count = 0;
  if (!slot || !qel::ReadShutter(*slot, count)) return 0;
  *lines = count;
  return 1;
}

QelBool qel::exports::QelGetShutterMax(int32_t key, uint16_t* lines) {
  return qel::ShutterBound(key, lines, true);
}

QelBool qel::exports::QelGetShutterMin(int32_t key, uint16_t* lines) {
  return qel::ShutterBound(key, lines, false);
}

QelBool qel::exports::QelSetShutterTime(int32_t key, double seconds) {
  const std::optional<CameraSlot> slot = CommandSlot(key);
  if (!slot) return 0;
  if (!(seconds >= qel::kShortestTime && seconds <= qel::kLongestTime)) {  // NaN too
    return qel::Fail(qel::ErrorCode::kOutOfRange, "%g seconds is outside %g..%g for a %s", seconds,
                     qel::kShortestTime, qel::kLongestTime, qel::ModelText(slot->model));
  }
  std::uint16_t lines = 0;
  if (slot->model == qel::kModelQel5) {
    lines = static_cast<std::uint16_t>(seconds * qel::kQel5LinesPerSecond);
  } else if (slot->model == qel::kModelQel || slot->model == qel::kModelQel2) {
    qel::ShutterTiming timing{};
    if (!qel::SlotTiming(*slot, timing)) return 0;
    double lineCount = seconds / timing.linePeriod;
    lineCount = lineCount - timing.lineOffset;
    lineCount = lineCount + 0.5;
    lines = static_cast<std::uint16_t>(static_cast<std::int64_t>(lineCount));
    if (lines == 0) lines = 1;
  } else {
    return qel::Fail(qel::ErrorCode::kNotSupported, "a %s has no shutter",
                     qel::ModelText(slot->model));
  }
  return qel::SendShutter(*slot, lines);
}

QelBool qel::exports::QelGetShutterTime(int32_t key, double* seconds) {
  if (seconds == nullptr) return qel::Fail(qel::ErrorCode::kBadArgument, "seconds is NULL");
  const std::optional<CameraSlot> slot = CommandSlot(key);
  std::uint16_t max = 0;
  if (!slot || !qel::ShutterMax(slot->model, max)) return 0;
  // The command goes out before the size and rate are looked at.
  std::uint16_t lines = 0;
  if (!qel::ReadShutter(*slot, lines)) return 0;
  if (slot->model == qel::kModelQel5) {
    *seconds = lines * qel::kQel5LineSeconds;
    return 1;
  }
  qel::ShutterTiming timing{};
  if (!qel::SlotTiming(*slot, timing)) return 0;
  *seconds = (lines + timing.lineOffset) * timing.linePeriod;
  return 1;
}
