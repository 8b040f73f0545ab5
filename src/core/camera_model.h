// Camera generations of the family and the frame sizes each can be opened with.
#pragma once

#include <cstdint>
#include <string_view>

namespace qel {

// The generation, taken from the device's friendly name; kModelNone for any
// other video device, which is opened for capture only.
enum CameraModel : std::int32_t {
  kModelNone = -1,
  kModelQel = 0,   // "QEL"
  kModelQel2 = 1,  // "QEL2"
  kModelQel5 = 2,  // "QEL5"
};

inline constexpr int kFamilyModelCount = 3;

// The one test of "is this a camera of the family".
constexpr bool IsFamilyCamera(CameraModel model) {
  return model >= kModelQel && model < kFamilyModelCount;
}

// Exact, case-sensitive comparison with the family's friendly names.
CameraModel ModelFromFriendlyName(std::string_view name);
// "QEL", "QEL2", "QEL5"; empty for kModelNone.
std::string_view FriendlyNameOf(CameraModel model);
// The device's kind in a message: the friendly name of a camera of the
// family, "webcam" for any other video device.
const char* ModelText(CameraModel model);

struct FrameSize {
  std::uint16_t width;
  std::uint16_t height;
};

inline constexpr int kFrameSizesPerModel = 3;

// The size at sizeIndex 0..2 of a camera of the family; false for any other
// model or index.
bool LookupFrameSize(CameraModel model, std::int32_t sizeIndex, FrameSize& size);
// The row of the model's sizes equal to width x height, or -1.
std::int32_t FindSizeIndex(CameraModel model, std::int32_t width, std::int32_t height);

}  // namespace qel
