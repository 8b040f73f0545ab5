#include "core/camera_table.h"

#include <utility>

#include "core/last_error.h"

namespace qel {

// The process-wide singletons are never destroyed: a camera left open when
// the process ends must not be torn down by static destructors that run in
// no particular order.
CameraTable& CameraTable::Instance() {
  static CameraTable* table = new CameraTable();
  return *table;
}

int CameraTable::PositionOf(std::int32_t key) const {
  if (key == kNoKey) return -1;  // free slots carry -1 and must never match
  for (int position = 0; position < kMaxCameras; ++position) {
    if (slots_[position].key == key) return position;
  }
  return -1;
}

std::optional<CameraSlot> CameraTable::FindSlot(std::int32_t key) const {
  std::lock_guard lock(mutex_);
  const int position = PositionOf(key);
  if (position < 0) return std::nullopt;
  return slots_[position];
}

int CameraTable::FirstFreePosition() const {
  std::lock_guard lock(mutex_);
  for (int position = 0; position < kMaxCameras; ++position) {
    if (slots_[position].captureIndex == -1) return position;
  }
  return -1;
}

bool CameraTable::IsPositionHeld(int position) const {
  std::lock_guard lock(mutex_);
  return slots_[static_cast<std::size_t>(position)].captureIndex != -1;
}

void CameraTable::StoreSlot(int position, std::int32_t key, std::shared_ptr<HidChannel> channel,
                            CameraModel model, std::shared_ptr<const DataBlock> dataBlock,
                            std::int32_t sizeIndex, std::int32_t cameraNumber) {
  if (position < 0 || position >= kMaxCameras) return;
  std::lock_guard lock(mutex_);
  CameraSlot& slot = slots_[position];
  slot.captureIndex = position;
  slot.key = key;
  slot.channel = std::move(channel);
  slot.model = model;
  slot.dataBlock = std::move(dataBlock);
  slot.sizeIndex = sizeIndex;
  slot.cameraNumber = cameraNumber;
  slot.openId = ++opens_;
}

void CameraTable::ClearSlot(std::int32_t key) {
  CameraSlot released;  // destroyed after the lock is released
  std::lock_guard lock(mutex_);
  const int position = PositionOf(key);
  if (position < 0) return;
  released = std::exchange(slots_[position], CameraSlot{});
}

bool CameraTable::SetCameraNumber(std::int32_t key, std::int32_t cameraNumber) {
  std::lock_guard lock(mutex_);
  const int position = PositionOf(key);
  if (position < 0) return false;
  slots_[position].cameraNumber = cameraNumber;
  return true;
}

bool CameraTable::SetDefectCorrection(std::int32_t key, const HidChannel* channel,
                                      std::int32_t flag) {
  std::lock_guard lock(mutex_);
  const int position = PositionOf(key);
  if (position < 0 || slots_[position].channel.get() != channel) return false;
  slots_[position].defectCorrection = flag;
  return true;
}

bool CameraTable::ReplaceDataBlock(std::int32_t key, const HidChannel* channel,
                                   std::shared_ptr<const DataBlock> block) {
  std::shared_ptr<const DataBlock> previous;  // destroyed after the lock is released
  std::lock_guard lock(mutex_);
  const int position = PositionOf(key);
  if (position < 0 || slots_[position].channel.get() != channel) return false;
  previous = std::exchange(slots_[position].dataBlock, std::move(block));
  return true;
}

std::int32_t CameraTable::CaptureIndexOf(std::int32_t key) const {
  std::lock_guard lock(mutex_);
  const int position = PositionOf(key);
  return position < 0 ? -1 : slots_[position].captureIndex;
}

std::int32_t CameraTable::SizeIndexOf(std::int32_t key) const {
  std::lock_guard lock(mutex_);
  const int position = PositionOf(key);
  return position < 0 ? -1 : slots_[position].sizeIndex;
}

std::int32_t CameraTable::DefectCorrectionOf(std::int32_t key) const {
  std::lock_guard lock(mutex_);
  const int position = PositionOf(key);
  return position < 0 ? -1 : slots_[position].defectCorrection;
}

void CameraTable::ResetForTesting() {
  std::array<CameraSlot, kMaxCameras> released{};
  std::lock_guard lock(mutex_);
  released.swap(slots_);
}

std::optional<CameraSlot> FindOpenCamera(std::int32_t key) {
  std::optional<CameraSlot> slot = CameraTable::Instance().FindSlot(key);
  if (!slot) Fail(ErrorCode::kNoCamera, "no camera is open under key %d", static_cast<int>(key));
  return slot;
}

}  // namespace qel
