#include "platform/virtual/stream.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/virtual/capture_state.h"
#include "platform/virtual/frame_pattern.h"
#include "platform/virtual/media_formats.h"
#include "platform/virtual/rig.h"
#include "platform/virtual/scene.h"
#include "qel/qelsim.h"

namespace qel::sim {

namespace {

thread_local bool tl_streamThread = false;

using Clock = std::chrono::steady_clock;

Clock::duration IntervalsToDuration(std::int64_t intervals, std::int64_t interval) {
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::nanoseconds(intervals * interval * 100));
}

std::uint64_t Scramble(std::uint64_t x) {
  x ^= x >> 33;
  x *= 0xFF51AFD7ED558CCDull;
  x ^= x >> 33;
  return x;
}

// Length of frame k in a frame mode: varying frames take between half and
// one and a half times the nominal length.
std::size_t PatternLength(int mode, std::size_t nominal, std::int64_t k) {
  if (mode == QELSIM_FRAMES_EMPTY) return 0;
  if (mode != QELSIM_FRAMES_VARYING || nominal < 2) return nominal;
  return nominal / 2 + static_cast<std::size_t>(Scramble(static_cast<std::uint64_t>(k)) % nominal);
}

// Delivers frame k to the grabber's callback; lock is released meanwhile.
void DeliverFrame(std::unique_lock<std::mutex>& lock, StreamCore& core, std::int64_t k) {
  Device& device = *core.device;
  FilterState& grabber = *core.grabber;
  if (device.removed || core.oneShotDone) return;
  // Shared for the call: a callback cleared meanwhile lives until it returns.
  std::shared_ptr<platform::SampleGrabberCallback> callback = grabber.callback;
  long which = grabber.whichMethod;
  int mode = device.frameMode;
  if (callback == nullptr || mode == QELSIM_FRAMES_NONE) return;
  if (grabber.oneShot) core.oneShotDone = true;

  const bool picture = mode == QELSIM_FRAMES_PATTERN && (core.yuy2 || core.jpeg);
  const SceneSettings settings = picture ? SceneSettingsOfLocked(device) : SceneSettings{};
  std::size_t length = PatternLength(mode, NominalFrameLength(core.format), k);
  double sampleTime = static_cast<double>(k) * static_cast<double>(core.format.interval) / 1e7;
  lock.unlock();
  if (which == 1) {
    const auto counter = static_cast<std::uint32_t>(k);
    std::uint8_t* frame = nullptr;
    if (picture && core.yuy2) {
      core.yuy2->Render(core.buffer.data(), counter, settings);
      frame = core.buffer.data();
      length = core.yuy2->length();
    } else if (picture && core.jpeg->Render(core.jpegFrame, counter, settings)) {
      frame = core.jpegFrame.data();
      length = core.jpegFrame.size();
    } else {
      if (core.buffer.size() < length || core.buffer.empty()) {
        core.buffer.resize(std::max<std::size_t>(length, kFrameHeaderSize));
      }
      FillFrame(core.buffer.data(), length, counter);
      if (core.yuy2) core.yuy2->Forget();
      frame = core.buffer.data();
    }
    callback->BufferCB(sampleTime, frame, static_cast<long>(length));
  } else {
    // There is no media sample object in the rig: SampleCB gets none.
    callback->SampleCB(sampleTime, nullptr);
  }
  lock.lock();
  ++device.framesDelivered;
}

void StreamMain(std::shared_ptr<StreamCore> core) {
  tl_streamThread = true;
  Rig& rig = Rig::Instance();
  const std::int64_t interval = core->format.interval;
  // Room for the longest frame of every mode, so that delivery never allocates.
  core->buffer.resize(NominalFrameLength(core->format) * 3 / 2 + kFrameHeaderSize);
  std::unique_lock lock(rig.mutex);
  while (!core->stop) {
    std::int64_t k;
    if (rig.virtualTime) {
      if (core->target <= core->done) {
        rig.changed.wait(lock);
        continue;
      }
      k = core->target;
    } else {
      Clock::time_point due = core->startReal + IntervalsToDuration(core->done + 1, interval);
      Clock::time_point now = Clock::now();
      if (now < due) {
        rig.changed.wait_until(lock, due);
        continue;
      }
      auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - core->startReal);
      k = std::max(core->done + 1, static_cast<std::int64_t>(elapsed.count() / (interval * 100)));
    }
    DeliverFrame(lock, *core, k);
    core->done = std::max(core->done, k);
    rig.changed.notify_all();
  }
}

}  // namespace

StreamRunner::StreamRunner(DevicePtr device, std::shared_ptr<FilterState> grabber,
                           const Capability& format)
    : core_(std::make_shared<StreamCore>()) {
  Rig& rig = Rig::Instance();
  core_->device = std::move(device);
  core_->grabber = std::move(grabber);
  core_->format = format;
  if (core_->format.interval <= 0) core_->format.interval = 333333;
  core_->startVirtual = rig.virtualElapsed;
  // The scene for the formats a camera delivers as pictures; too small a
  // frame carries the check pattern alone.
  const int width = core_->format.width;
  const int height = std::abs(core_->format.height);
  if (width >= kStripRows && height >= kStripRows) {
    const std::string subtype = SubtypeName(core_->format.subtype);
    if (subtype == "YUY2") core_->yuy2 = std::make_unique<PictureYuy2>(width, height);
    if (subtype == "MJPG") core_->jpeg = std::make_unique<PictureJpeg>(width, height);
  }
  core_->startReal = Clock::now();
  core_->device->activeStream = core_.get();
  rig.streams.push_back(core_);
  thread_ = std::thread(StreamMain, core_);
}

StreamRunner::~StreamRunner() {
  Rig& rig = Rig::Instance();
  {
    std::lock_guard lock(rig.mutex);
    core_->stop = true;
    std::erase(rig.streams, core_);
    if (core_->device->activeStream == core_.get()) core_->device->activeStream = nullptr;
    rig.changed.notify_all();
  }
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

void DeliverDueFramesLocked(std::unique_lock<std::mutex>& lock, std::uint64_t now) {
  Rig& rig = Rig::Instance();
  struct Pending {
    std::shared_ptr<StreamCore> stream;
    std::int64_t frame;
  };
  std::vector<Pending> pending;
  for (const std::shared_ptr<StreamCore>& s : rig.streams) {
    if (s->stop || now < s->startVirtual) continue;
    auto k = static_cast<std::int64_t>((now - s->startVirtual) * 10000 /
                                       static_cast<std::uint64_t>(s->format.interval));
    if (k <= s->done) continue;
    s->target = std::max(s->target, k);
    pending.push_back(Pending{s, k});
  }
  if (pending.empty()) return;
  rig.changed.notify_all();
  // A streaming thread that advances the clock (from within its callback)
  // does not wait: it may be the very stream that is due.
  if (tl_streamThread) return;
  rig.changed.wait(lock, [&] {
    return std::all_of(pending.begin(), pending.end(), [](const Pending& p) {
      return p.stream->stop || p.stream->done >= p.frame;
    });
  });
}

}  // namespace qel::sim
