// Handing the latest frame to the application. QelReceiveImage never waits,
// copies a frame only when one arrived since the last it handed out, and
// corrects the copy's defective pixels while the camera's correction is on;
// QelReceiveImageEx does the same within the caller's buffer size and tells
// what it handed out; QelWaitImage sleeps until a frame comes.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "capture/capture.h"
#include "capture/frame_store.h"
#include "capture/media_format.h"
#include "capture/open_stream.h"
#include "core/camera_model.h"
#include "core/camera_table.h"
#include "core/exports.h"
#include "core/last_error.h"
#include "hid/defect_correction.h"
#include "platform/platform.h"
#include "qel/qel.h"

namespace qel {
namespace {

// Longest sleep of a wait between looks at the graph's events, so that an
// unplugged camera ends a long wait soon.
constexpr std::uint32_t kWaitSliceMs = 100;

using FrameSource = OpenStream;  // frames never null

std::optional<FrameSource> FindFrames(std::int32_t key) {
  std::optional<OpenStream> stream = FindOpenStream(key);
  if (!stream) return std::nullopt;
  if (!stream->frames) {
    Fail(ErrorCode::kNoCamera, "the camera under key %d is not streaming", static_cast<int>(key));
    return std::nullopt;
  }
  return stream;
}

bool CheckArguments(const unsigned char* buffer, std::int32_t bufferSize,
                    const QelFrameInfo* info) {
  if (bufferSize < 0) return Fail(ErrorCode::kBadArgument, "bufferSize %d is negative", bufferSize);
  if (buffer == nullptr && bufferSize > 0) {
    return Fail(ErrorCode::kBadArgument, "buffer is NULL with bufferSize %d", bufferSize);
  }
  // The struct of earlier versions, which ends before formatName, is
  // accepted; the library then fills only that much.
  if (info != nullptr && info->size < QEL_FRAME_INFO_MIN_SIZE) {
    return Fail(ErrorCode::kBadArgument, "info->size is %u; set it to sizeof(QelFrameInfo), %u",
                info->size, static_cast<unsigned>(sizeof(QelFrameInfo)));
  }
  return true;
}

// The correction patches 16-bit pixels at their places in an uncompressed
// frame of the table's size; any other frame (compressed, another pixel
// size, another length) would be damaged by it and passes untouched.
bool CorrectsDefects(const CameraSlot& slot, const FrameStore& frames, std::int64_t length) {
  if (slot.sizeIndex == -1 || slot.defectCorrection != 1) return false;
  if (PackedBytesPerPixel(frames.Shape().format) != 2) return false;
  FrameSize size{};
  return LookupFrameSize(slot.model, slot.sizeIndex, size) &&
         length == std::int64_t{size.width} * size.height * 2;
}

void CorrectIfDue(const CameraSlot& slot, const FrameStore& frames, std::uint8_t* buffer,
                  std::int64_t length) {
  if (CorrectsDefects(slot, frames, length)) {
    CorrectDefectPixels(slot, slot.sizeIndex, buffer, static_cast<std::size_t>(length));
  }
}

bool StreamEnded(const FrameSource& source) {
  switch (source.frames->Ended()) {
    case StreamEnd::kRunning:
      return false;
    case StreamEnd::kClosed:
      Fail(ErrorCode::kNoCamera, "the camera under key %d was closed",
           static_cast<int>(source.slot.key));
      break;
    case StreamEnd::kDeviceLost:
      Fail(ErrorCode::kDeviceLost, "the camera under key %d was unplugged",
           static_cast<int>(source.slot.key));
      break;
  }
  return true;
}

void FillInfo(QelFrameInfo* info, const FrameStore& frames, const FrameDetails& details) {
  if (info != nullptr) frames.FillFrameInfo(details, info);
}

// One look at the store: 1 frame handed out, 0 none new, -1 failure.
std::int32_t ReceiveOnce(const FrameSource& source, unsigned char* buffer, std::int32_t bufferSize,
                         QelFrameInfo* info) {
  if (StreamEnded(source)) return -1;
  FrameDetails details;
  switch (source.frames->TakeFitting(buffer, static_cast<std::size_t>(bufferSize), details)) {
    case FrameStore::Take::kTaken:
      break;
    case FrameStore::Take::kTooSmall:
      FillInfo(info, *source.frames, details);  // bytes: the length needed
      Fail(ErrorCode::kBufferTooSmall, "the frame of %lld bytes does not fit the buffer of %d",
           static_cast<long long>(details.length), bufferSize);
      return -1;
    case FrameStore::Take::kNothingNew:
      if (PollDeviceLost(source.slot.captureIndex)) return StreamEnded(source) ? -1 : 0;
      return 0;
  }
  CorrectIfDue(source.slot, *source.frames, buffer, details.length);
  FillInfo(info, *source.frames, details);
  return 1;
}

}  // namespace
}  // namespace qel

QelBool qel::exports::QelReceiveImage(int32_t key, unsigned char* buffer) {
  if (key == qel::kNoKey || buffer == nullptr) {
    return qel::Fail(qel::ErrorCode::kBadArgument, "key -1 or a NULL buffer");
  }
  const std::optional<qel::OpenStream> stream = qel::FindOpenStream(key);
  if (!stream || stream->slot.captureIndex == -1 || !stream->frames) return 0;
  qel::FrameStore& frames = *stream->frames;
  const std::int64_t length = frames.TakeLatest(buffer);
  if (length < 0) {
    // The result stays 0, as for "no new frame"; the reason tells them apart.
    if (frames.Ended() == qel::StreamEnd::kDeviceLost ||
        qel::PollDeviceLost(stream->slot.captureIndex)) {
      qel::Fail(qel::ErrorCode::kDeviceLost, "the camera under key %d was unplugged",
                static_cast<int>(key));
    }
    return 0;
  }
  qel::CorrectIfDue(stream->slot, frames, buffer, length);
  return 1;
}

int32_t qel::exports::QelGetBufferSize(int32_t key) {
  if (key == qel::kNoKey) {
    qel::Fail(qel::ErrorCode::kBadArgument, "key -1 names no camera");
    return 0;
  }
  const std::optional<qel::OpenStream> stream = qel::FindOpenStream(key);
  if (!stream) return 0;
  if (!stream->frames) {
    qel::Fail(qel::ErrorCode::kNoCamera, "the camera under key %d is not streaming",
              static_cast<int>(key));
    return 0;
  }
  return stream->frames->FrameLength();
}

int32_t qel::exports::QelReceiveImageEx(int32_t key, unsigned char* buffer, int32_t bufferSize,
                                        QelFrameInfo* info) {
  if (!qel::CheckArguments(buffer, bufferSize, info)) return -1;
  const std::optional<qel::FrameSource> source = qel::FindFrames(key);
  if (!source) return -1;
  return qel::ReceiveOnce(*source, buffer, bufferSize, info);
}

int32_t qel::exports::QelWaitImage(int32_t key, unsigned char* buffer, int32_t bufferSize,
                                   QelFrameInfo* info, int32_t timeoutMs) {
  if (!qel::CheckArguments(buffer, bufferSize, info)) return -1;
  const std::optional<qel::FrameSource> source = qel::FindFrames(key);
  if (!source) return -1;
  if (qel::InFrameListener(source->slot.captureIndex)) {
    qel::Fail(qel::ErrorCode::kBusy,
              "called from the camera's frame callback, which the next frame waits for");
    return -1;
  }
  qel::platform::Platform& platform = qel::platform::ActivePlatform();
  const std::uint32_t start = platform.GetTickCount();
  for (;;) {
    const std::uint64_t seen = source->frames->Sequence();
    const std::int32_t got = qel::ReceiveOnce(*source, buffer, bufferSize, info);
    if (got != 0) return got;
    const std::uint32_t waited = platform.GetTickCount() - start;  // unsigned: wrap-safe
    if (timeoutMs >= 0 && waited >= static_cast<std::uint32_t>(timeoutMs)) return 0;
    if (!platform.ClockIsReal()) {
      platform.Sleep(1);  // moves the virtual clock, which delivers what is due
      continue;
    }
    std::uint32_t slice = qel::kWaitSliceMs;
    if (timeoutMs >= 0) slice = std::min(slice, static_cast<std::uint32_t>(timeoutMs) - waited);
    source->frames->WaitForDelivery(seen, std::chrono::milliseconds(slice));
  }
}
