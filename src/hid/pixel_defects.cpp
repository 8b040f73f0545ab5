// The exported defect-table functions and the correction switch. Cameras of
// model "QEL" are refused by all four.
#include <memory>
#include <optional>

#include "core/camera_model.h"
#include "core/camera_table.h"
#include "core/exports.h"
#include "core/last_error.h"
#include "hid/data_block.h"
#include "hid/defect_table.h"
#include "qel/qel.h"

namespace qel {
namespace {

bool ValidCameraNumber(std::int32_t cameraNo) {
  if (cameraNo == 1 || cameraNo == 2) return true;
  return Fail(ErrorCode::kBadArgument, "cameraNo %d is not 1 or 2", static_cast<int>(cameraNo));
}
bool ValidSizeIndex(std::int32_t sizeIndex) {
  if (sizeIndex >= 0 && sizeIndex <= 2) return true;
  return Fail(ErrorCode::kBadArgument, "sizeIndex %d is not 0..2", static_cast<int>(sizeIndex));
}
bool PointsGiven(const QelDefectPoint* points) {
  return points != nullptr || Fail(ErrorCode::kBadArgument, "points is NULL");
}
// The exports test key -1 before looking it up; it names no camera all the same.
bool KeyGiven(std::int32_t key) {
  return key != kNoKey || Fail(ErrorCode::kNoCamera, "no camera is open under key -1");
}
bool HasDataBlock(const CameraSlot& slot) {
  return slot.dataBlock != nullptr ||
         Fail(ErrorCode::kNotSupported, "a %s has no defect tables", ModelText(slot.model));
}

// The slot of a key whose camera takes defect tables: found and not model 0.
std::optional<CameraSlot> DefectSlot(std::int32_t key) {
  std::optional<CameraSlot> slot = FindOpenCamera(key);
  if (slot && slot->model == kModelQel) {
    Fail(ErrorCode::kNotSupported, "a QEL has no defect tables");
    return std::nullopt;
  }
  return slot;
}

// The slot's capture, which the correction switch belongs to.
bool Streaming(const CameraSlot& slot) {
  return slot.captureIndex != -1 ||
         Fail(ErrorCode::kNoCamera, "the camera under key %d is not streaming",
              static_cast<int>(slot.key));
}

bool PointsFit(const QelDefectPoint* points, CameraModel model, std::int32_t sizeIndex) {
  FrameSize size{};
  if (!LookupFrameSize(model, sizeIndex, size)) {
    return Fail(ErrorCode::kNotSupported, "a %s has no frame size %d", ModelText(model),
                static_cast<int>(sizeIndex));
  }
  for (std::size_t i = 0; i < kDefectPoints; ++i) {
    const bool xOut = points[i].x != kEmptyCoordinate && points[i].x >= size.width;
    const bool yOut = points[i].y != kEmptyCoordinate && points[i].y >= size.height;
    if (xOut || yOut) {
      return Fail(ErrorCode::kOutOfRange,
                  "point %u (%u, %u) lies outside the %ux%u frame of size index %d of a %s",
                  static_cast<unsigned>(i), static_cast<unsigned>(points[i].x),
                  static_cast<unsigned>(points[i].y), static_cast<unsigned>(size.width),
                  static_cast<unsigned>(size.height), static_cast<int>(sizeIndex),
                  ModelText(model));
    }
  }
  return true;
}

}  // namespace
}  // namespace qel

using qel::CameraSlot;
using qel::CameraTable;

QelBool qel::exports::QelSetPixelDefect(int32_t key, int32_t cameraNo, int32_t sizeIndex,
                                        const QelDefectPoint* points) {
  if (!qel::KeyGiven(key) || !qel::ValidCameraNumber(cameraNo) || !qel::PointsGiven(points)) {
    return 0;
  }
  const std::optional<CameraSlot> slot = qel::DefectSlot(key);
  if (!slot || !qel::HasDataBlock(*slot) || !qel::ValidSizeIndex(sizeIndex) ||
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
  if (!qel::KeyGiven(key) || !qel::ValidCameraNumber(cameraNo) || !qel::PointsGiven(points)) {
    return 0;
  }
  const std::optional<CameraSlot> slot = qel::DefectSlot(key);
  if (!slot || !qel::HasDataBlock(*slot) || !qel::ValidSizeIndex(sizeIndex)) return 0;
  const std::size_t table = qel::DefectTableOffset(cameraNo - 1, sizeIndex);
  for (std::size_t i = 0; i < qel::kDefectPoints; ++i) {
    points[i] = qel::ReadDefectPoint(*slot->dataBlock, table, i);
  }
  return 1;
}

QelBool qel::exports::QelSetPixelDefectOnOff(int32_t key, int32_t on) {
  if (!qel::KeyGiven(key)) return 0;
  const std::optional<CameraSlot> slot = qel::DefectSlot(key);
  if (!slot || !qel::Streaming(*slot)) return 0;
  if (on != 0 && on != 1) {
    return qel::Fail(qel::ErrorCode::kBadArgument, "on %d is not 0 or 1", static_cast<int>(on));
  }
  if (CameraTable::Instance().SetDefectCorrection(key, slot->channel.get(), on)) return 1;
  return qel::Fail(qel::ErrorCode::kNoCamera, "the camera under key %d was closed meanwhile",
                   static_cast<int>(key));
}

QelBool qel::exports::QelGetPixelDefectOnOff(int32_t key, int32_t* on) {
  if (!qel::KeyGiven(key)) return 0;
  if (on == nullptr) return qel::Fail(qel::ErrorCode::kBadArgument, "on is NULL");
  const std::optional<CameraSlot> slot = qel::DefectSlot(key);
  if (!slot || !qel::Streaming(*slot)) return 0;
  if (slot->defectCorrection != 0 && slot->defectCorrection != 1) {
    return qel::Fail(qel::ErrorCode::kPlatform, "the correction switch holds %d, not 0 or 1",
                     static_cast<int>(slot->defectCorrection));
  }
  *on = slot->defectCorrection;
  return 1;
}
