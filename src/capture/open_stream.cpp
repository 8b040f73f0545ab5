#include "capture/open_stream.h"

#include <atomic>

#include "capture/capture.h"
#include "capture/frame_store.h"

namespace qel {
namespace {
std::atomic<void (*)()> lookupHook{nullptr};
}  // namespace

std::optional<OpenStream> FindOpenStream(std::int32_t key) {
  const std::optional<CameraSlot> slot = FindOpenCamera(key);
  if (!slot) return std::nullopt;
  if (void (*hook)() = lookupHook.load()) hook();
  OpenStream stream{*slot, RunningFrames(slot->captureIndex)};
  if (!StillOpen(*slot)) stream.frames.reset();  // closed meanwhile
  return stream;
}

bool StillOpen(const CameraSlot& slot) {
  const std::optional<CameraSlot> again = CameraTable::Instance().FindSlot(slot.key);
  return again && again->openId == slot.openId;
}

void SetStreamLookupHookForTesting(void (*hook)()) { lookupHook.store(hook); }

}  // namespace qel
