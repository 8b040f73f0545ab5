// The test scene the rig's cameras film: a colour gradient whose brightness
// follows the exposure, gain and shutter settings, a light band moving down
// one 16-row step per frame, the frame counter drawn large in a white box in
// the middle, and the LED as a square in the top right corner; while the
// colour-bar setting is on, eight vertical colour bars instead. The layout
// is aligned to 16-row strips so that renderers can keep what did not change.
#pragma once

#include <array>
#include <cstdint>

namespace qel::sim {

struct Device;

// What the settings make of the scene.
struct SceneSettings {
  bool colourBars = false;
  int led = -1;          // 0..64; -1: the device has no LED
  int brightness = 256;  // 256 is the scene at the default settings
  bool operator==(const SceneSettings&) const = default;
};

// The settings of a device as the scene shows them. Rig mutex held.
SceneSettings SceneSettingsOfLocked(const Device& device);

inline constexpr int kStripRows = 16;
inline constexpr int kCounterDigits = 6;

// Colours of the eight bars, left to right: white, yellow, cyan, green,
// magenta, red, blue, black.
extern const std::array<std::array<std::uint8_t, 3>, 8> kColourBars;

// Where the moving parts of one frame are.
class SceneLayout {
 public:
  SceneLayout(int width, int height);

  void SetFrame(std::uint32_t counter);

  int width() const { return width_; }
  int height() const { return height_; }
  bool InBand(int y) const { return y >= bandTop_ && y < bandTop_ + bandHeight_; }
  bool HasBox() const { return cell_ > 0; }
  bool InBoxRows(int y) const { return HasBox() && y >= boxY_ && y < boxY_ + boxHeight_; }
  int boxX() const { return boxX_; }
  int boxWidth() const { return boxWidth_; }
  // Digit d (0 the leftmost) covers columns DigitX(d) .. + DigitWidth().
  int DigitX(int d) const { return boxX_ + cell_ + 4 * cell_ * d; }
  int DigitWidth() const { return 3 * cell_; }
  int Digit(int d) const { return digits_[static_cast<std::size_t>(d)]; }
  const std::array<int, kCounterDigits>& Digits() const { return digits_; }
  // Whether pixel (x, y) of digit d is drawn (ink) rather than box.
  bool Ink(int d, int x, int y) const;
  // The LED square: columns ledX .. + ledSide, rows ledY .. + ledSide.
  int ledX() const { return ledX_; }
  int ledY() const { return ledY_; }
  int ledSide() const { return ledSide_; }

 private:
  int width_;
  int height_;
  int bandHeight_;
  int bandTop_ = 0;
  int cell_ = 0;  // pixels per font cell; 0: no box
  int boxX_ = 0, boxY_ = 0, boxWidth_ = 0, boxHeight_ = 0;
  int ledX_ = 0, ledY_ = 0, ledSide_ = 0;
  std::array<int, kCounterDigits> digits_{};
};

// The grey of the band and the ink and box of the counter, in RGB.
std::uint8_t BandGrey(const SceneSettings& settings);
inline constexpr std::uint8_t kInk = 0;
inline constexpr std::uint8_t kBox = 255;

// The still part of the scene (gradient and LED, or the bars) at (x, y).
void BackgroundRgb(const SceneLayout& layout, const SceneSettings& settings, int x, int y,
                   std::uint8_t* rgb);
// The whole scene over columns x0 .. x0+w of row y, three bytes a pixel.
void SceneRowRgb(const SceneLayout& layout, const SceneSettings& settings, int y, int x0, int w,
                 std::uint8_t* rgb);

}  // namespace qel::sim
