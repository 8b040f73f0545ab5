// The table of open cameras: ten slots, their lookup by key and their store.
//
// Thread safety: every member function may be called from any thread. One
// mutex guards the slots; it is held only while one slot's fields are copied
// or stored, never across a platform call or a HID exchange. Lookups return a
// snapshot: the slot's HID channel and data block are shared, so an export that
// looked a camera up keeps them alive even while another thread closes it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "core/camera_model.h"

namespace qel {

// The slot holds these as opaque, shared handles: the command channel and
// the data block are the HID subsystem's types.
class HidChannel;
struct DataBlock;

inline constexpr int kMaxCameras = 10;
inline constexpr std::int32_t kNoKey = -1;
inline constexpr std::int32_t kNoCameraNumber = 0;

struct CameraSlot {
  std::int32_t captureIndex = -1;  // equals the slot's position while occupied
  std::int32_t key = kNoKey;
  std::shared_ptr<HidChannel> channel;  // the camera's command channel; null for capture only
  CameraModel model = kModelNone;
  std::shared_ptr<const DataBlock> dataBlock;  // immutable; replaced whole on commit
  std::int32_t sizeIndex = -1;
  std::int32_t cameraNumber = kNoCameraNumber;  // as the camera reports it (1 or 2 in use)
  std::int32_t defectCorrection = 1;
  // Which open filled the slot: no two opens share one, so a caller that
  // looked the slot up twice knows whether the camera stayed open between.
  std::uint64_t openId = 0;
};

// The slot of key, or none with the reason recorded (core/last_error.h).
std::optional<CameraSlot> FindOpenCamera(std::int32_t key);

class CameraTable {
 public:
  static CameraTable& Instance();

  // The slot holding key (first in position order); none for key -1.
  std::optional<CameraSlot> FindSlot(std::int32_t key) const;
  // Lowest position whose slot is free, or -1.
  int FirstFreePosition() const;
  // True while a camera's slot holds the position.
  bool IsPositionHeld(int position) const;

  // Fills the slot at position (ignored for 10 or more); defectCorrection
  // keeps its value.
  void StoreSlot(int position, std::int32_t key, std::shared_ptr<HidChannel> channel,
                 CameraModel model, std::shared_ptr<const DataBlock> dataBlock,
                 std::int32_t sizeIndex, std::int32_t cameraNumber);
  // Returns the slot holding key to the free values; the released channel and
  // block are handed back so that they are destroyed outside the lock.
  void ClearSlot(std::int32_t key);

  // Stores into the slot holding key; false when no slot holds it.
  bool SetCameraNumber(std::int32_t key, std::int32_t cameraNumber);
  // Stores the flag only while the slot holding key still holds channel, the
  // channel of the camera the caller looked up: a camera closed and opened
  // again at the same key meanwhile keeps its own flag.
  bool SetDefectCorrection(std::int32_t key, const HidChannel* channel, std::int32_t flag);
  // Replaces the data block of the slot holding key, only while it still holds
  // the channel the new block was committed through.
  bool ReplaceDataBlock(std::int32_t key, const HidChannel* channel,
                        std::shared_ptr<const DataBlock> block);

  // Accessors of one field; -1 when no slot holds the key.
  std::int32_t CaptureIndexOf(std::int32_t key) const;
  std::int32_t SizeIndexOf(std::int32_t key) const;
  std::int32_t DefectCorrectionOf(std::int32_t key) const;

  // Test support: every slot free again.
  void ResetForTesting();

 private:
  CameraTable() = default;
  int PositionOf(std::int32_t key) const;  // caller holds mutex_

  mutable std::mutex mutex_;
  std::array<CameraSlot, kMaxCameras> slots_{};
  std::uint64_t opens_ = 0;  // the last openId given
};

}  // namespace qel
