// The exported defect-table functions and the correction switch. Cameras of
// model "QEL" are refused by all four.
#include <memory>
#include <optional>

#include "core/camera_model.h"
#include "core/camera_table.h"
#include "core/exports.h"
#include "hid/data_block.h"
#include "hid/defect_table.h"
#include "qel/qel.h"

namespace qel {
namespace {

bool ValidCameraNumber(std::int32_t cameraNo) { return cameraNo == 1 || cameraNo == 2; }
bool ValidSizeIndex(std::int32_t sizeIndex) { return sizeIndex >= 0 && sizeIndex <= 2; }

// The slot of a key whose camera takes defect tables: found and not model 0.
std::optional<CameraSlot> DefectSlot(std::int32_t key) {
  std::optional<CameraSlot> slot = CameraTable::Instance().FindSlot(key);
  if (!slot || slot->model == kModelQel) return std::nullopt;
  return slot;
}

bool PointsFit(const QelDefectPoint* points, CameraModel model, std::int32_t sizeIndex) {
  FrameSize size{};
  if (!LookupFrameSize(model, sizeIndex, size)) return false;
  for (std::size_t i = 0; i < kDefectPoints; ++i) {
    if (points[i].x != kEmptyCoordinate && points[i].x >= size.width) return false;
    if (points[i].y != kEmptyCoordinate && points[i].y >= size.height) return false;
  }
  return true;
}

}  // namespace
}  // namespace qel

using qel::CameraSlot;
using qel::CameraTable;

QelBool qel::exports::QelSetPixelDefect(int32_t key, int32_t cameraNo, int32_t sizeIndex,
                                        const QelDefectPoint* points) {
  if (key == qel::kNoKey || !qel::ValidCameraNumber(cameraNo) || points == nullptr) return 0;
  const std::optional<CameraSlot> slot = qel::DefectSlot(key);
  if (!slot || !slot->channel || !slot->dataBlock || !qel::ValidSizeIndex(sizeIndex) ||
      !qel::PointsFit(points, slot->model, sizeIndex)) {
    return 0;
  }
  const std::size_t table = qel::DefectTableOffset(cameraNo - 1, sizeIndex);
  return qel::UpdateDataBlock(key, slot->channel, [table, points](qel::DataBlock& block) {
    for (std::size_t i = 0; i < qel::kDefectPoints; ++i) {
      qel::WriteDefectPoint(block, table, i, points[i]);
    }
  });
}

QelBool qel::exports::QelGetPixelDefect(int32_t key, int32_t cameraNo, int32_t sizeIndex,
                                        QelDefectPoint* points) {
  if (key == qel::kNoKey || !qel::ValidCameraNumber(cameraNo) || points == nullptr) return 0;
  const std::optional<CameraSlot> slot = qel::DefectSlot(key);
  if (!slot || !slot->dataBlock || !qel::ValidSizeIndex(sizeIndex)) return 0;
  const std::size_t table = qel::DefectTableOffset(cameraNo - 1, sizeIndex);
  for (std::size_t i = 0; i < qel::kDefectPoints; ++i) {
    points[i] = qel::ReadDefectPoint(*slot->dataBlock, table, i);
  }
  return 1;
}

QelBool qel::exports::QelSetPixelDefectOnOff(int32_t key, int32_t on) {
  if (key == qel::kNoKey) return 0;
  const std::optional<CameraSlot> slot = qel::DefectSlot(key);
  if (!slot || slot->captureIndex == -1 || (on != 0 && on != 1)) return 0;
  return CameraTable::Instance().SetDefectCorrection(key, slot->channel.get(), on);
}

QelBool qel::exports::QelGetPixelDefectOnOff(int32_t key, int32_t* on) {
  if (key == qel::kNoKey || on == nullptr) return 0;
  const std::optional<CameraSlot> slot = qel::DefectSlot(key);
  if (!slot || slot->captureIndex == -1) return 0;
  if (slot->defectCorrection != 0 && slot->defectCorrection != 1) return 0;
  *on = slot->defectCorrection;
  return 1;
}
