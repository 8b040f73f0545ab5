// Video-class properties are numbered 0..16 across the capture framework's
// two property interfaces: 0..9 on the video-processing set (brightness,
// contrast, hue, saturation, sharpness, gamma, colour enable, white balance,
// backlight compensation, gain), 10..16 on the camera-control set (pan, tilt,
// roll, zoom, exposure, iris, focus).
#pragma once

namespace qel {

inline constexpr int kVideoProcAmpCount = 10;
inline constexpr int kCameraControlCount = 7;
inline constexpr int kVideoPropertyCount = kVideoProcAmpCount + kCameraControlCount;
inline constexpr int kFirstCameraControl = kVideoProcAmpCount;

}  // namespace qel
