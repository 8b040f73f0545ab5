#include "core/camera_model.h"

#include <array>

namespace qel {
namespace {

constexpr std::array<std::string_view, kFamilyModelCount> kFamilyNames{"QEL", "QEL2", "QEL5"};

// Models 0 and 1 are 656 and 328 pixels wide, not 640 and 320.
constexpr FrameSize kFrameSizeTable[kFamilyModelCount][kFrameSizesPerModel] = {
    {{1280, 720}, {656, 408}, {328, 204}},
    {{1280, 720}, {656, 408}, {328, 204}},
    {{1920, 1080}, {960, 540}, {480, 270}},
};

}  // namespace

CameraModel ModelFromFriendlyName(std::string_view name) {
  for (std::size_t i = 0; i < kFamilyNames.size(); ++i) {
    if (name == kFamilyNames[i]) return static_cast<CameraModel>(i);
  }
  return kModelNone;
}

std::string_view FriendlyNameOf(CameraModel model) {
  if (!IsFamilyCamera(model)) return {};
  return kFamilyNames[static_cast<std::size_t>(model)];
}

const char* ModelText(CameraModel model) {
  // The names are literals, so each view ends in a terminator.
  return IsFamilyCamera(model) ? kFamilyNames[static_cast<std::size_t>(model)].data() : "webcam";
}

bool LookupFrameSize(CameraModel model, std::int32_t sizeIndex, FrameSize& size) {
  if (!IsFamilyCamera(model) || sizeIndex < 0 || sizeIndex >= kFrameSizesPerModel) return false;
  size = kFrameSizeTable[model][sizeIndex];
  return true;
}

std::int32_t FindSizeIndex(CameraModel model, std::int32_t width, std::int32_t height) {
  for (std::int32_t row = 0; row < kFrameSizesPerModel; ++row) {
    FrameSize size{};
    if (LookupFrameSize(model, row, size) && size.width == width && size.height == height) {
      return row;
    }
  }
  return -1;
}

}  // namespace qel
