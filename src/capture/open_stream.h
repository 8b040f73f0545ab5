// The open camera under a key together with its running frame store.
//
// A slot and the store of its capture index are looked up one after the
// other; a close of the camera and an open of another one at the same table
// position in between would hand the caller that other camera's frames. The
// lookup therefore checks that the slot it found is still the same open
// (CameraSlot::openId) after it took the store.
//
// Thread safety: any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "core/camera_table.h"

namespace qel {

class FrameStore;

struct OpenStream {
  CameraSlot slot;
  std::shared_ptr<FrameStore> frames;  // null when the camera does not stream (any more)
};

// None, with the reason recorded, when no camera is open under key.
std::optional<OpenStream> FindOpenStream(std::int32_t key);

// True while the key of slot is still held by the same open as when slot
// was looked up.
bool StillOpen(const CameraSlot& slot);

// Test support: called between the two looks, to close and reopen there.
void SetStreamLookupHookForTesting(void (*hook)());

}  // namespace qel
