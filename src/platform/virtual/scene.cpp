#include "platform/virtual/scene.h"

#include <algorithm>
#include <cmath>

#include "platform/virtual/device.h"

namespace qel::sim {

namespace {

// Digits 0..9 in a 3x5 font, one row per three bits (leftmost the highest).
constexpr std::uint8_t kFont[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 2, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};

// Property indices of the video-class settings the scene shows.
constexpr int kLedProperty = 0;        // brightness, carrying the LED on the family
constexpr int kColourBarProperty = 1;  // contrast, carrying the colour bar
constexpr int kGainProperty = 9;
constexpr int kExposureProperty = 14;
constexpr double kNominalShutterLines = 100.0;

std::uint8_t Scale(int value, int brightness) {
  return static_cast<std::uint8_t>(std::min(255, value * brightness / 256));
}

}  // namespace

const std::array<std::array<std::uint8_t, 3>, 8> kColourBars = {{
    {255, 255, 255},
    {255, 255, 0},
    {0, 255, 255},
    {0, 255, 0},
    {255, 0, 255},
    {255, 0, 0},
    {0, 0, 255},
    {0, 0, 0},
}};

SceneSettings SceneSettingsOfLocked(const Device& device) {
  SceneSettings s;
  double factor = 1.0;
  const PropertyState& exposure = device.properties[kExposureProperty];
  if (exposure.supported) factor *= std::exp2(exposure.value - exposure.defaultValue);
  const PropertyState& gain = device.properties[kGainProperty];
  if (gain.supported && gain.max > gain.min) {
    factor *= 1.0 + 3.0 * (gain.value - gain.min) / (gain.max - gain.min);
  }
  if (device.kind == DeviceKind::kCamera) {
    s.led = std::clamp(device.properties[kLedProperty].value, 0, 64);
    s.colourBars = device.properties[kColourBarProperty].value != 0;
    if (device.firmware) {
      int direction = 0, output = 0;
      std::array<std::uint16_t, 4> gains{};
      std::uint16_t shutter = 0;
      device.firmware->GetState(direction, output, gains, shutter);
      factor *= shutter / kNominalShutterLines;
    }
  }
  s.brightness = static_cast<int>(std::clamp(factor, 0.0, 16.0) * 256.0 + 0.5);
  return s;
}

SceneLayout::SceneLayout(int width, int height) : width_(width), height_(height) {
  bandHeight_ = kStripRows * std::max(1, height / (kStripRows * 8));
  const int cell = std::min(height / 24, width / 30);
  if (cell >= 1) {
    cell_ = cell;
    boxWidth_ = (4 * kCounterDigits + 1) * cell;
    boxHeight_ = 7 * cell;
    boxX_ = (width - boxWidth_) / 2 & ~1;
    boxY_ = (height - boxHeight_) / 2;
    ledSide_ = 2 * cell;
    ledX_ = width - ledSide_ - cell;
    ledY_ = cell;
  }
}

void SceneLayout::SetFrame(std::uint32_t counter) {
  const int strips = (height_ + kStripRows - 1) / kStripRows;
  bandTop_ = kStripRows * static_cast<int>(counter % static_cast<std::uint32_t>(strips));
  std::uint32_t n = counter;
  for (int d = kCounterDigits - 1; d >= 0; --d, n /= 10) {
    digits_[static_cast<std::size_t>(d)] = static_cast<int>(n % 10);
  }
}

bool SceneLayout::Ink(int d, int x, int y) const {
  const int col = (x - DigitX(d)) / cell_;
  const int row = (y - boxY_ - cell_) / cell_;
  if (col < 0 || col > 2 || row < 0 || row > 4 || y < boxY_ + cell_) return false;
  return (kFont[Digit(d)][row] >> (2 - col) & 1) != 0;
}

std::uint8_t BandGrey(const SceneSettings& settings) { return Scale(230, settings.brightness); }

void BackgroundRgb(const SceneLayout& layout, const SceneSettings& settings, int x, int y,
                   std::uint8_t* rgb) {
  const int w = layout.width();
  const int h = layout.height();
  if (settings.colourBars) {
    const auto& bar = kColourBars[static_cast<std::size_t>(x * 8 / w)];
    rgb[0] = bar[0];
    rgb[1] = bar[1];
    rgb[2] = bar[2];
    return;
  }
  if (settings.led >= 0 && layout.ledSide() > 0 && x >= layout.ledX() &&
      x < layout.ledX() + layout.ledSide() && y >= layout.ledY() &&
      y < layout.ledY() + layout.ledSide()) {
    // Dark grey when off, a red that brightens with the level when on.
    rgb[0] = static_cast<std::uint8_t>(settings.led == 0 ? 48 : 80 + 175 * settings.led / 64);
    rgb[1] = static_cast<std::uint8_t>(settings.led == 0 ? 48 : 24);
    rgb[2] = static_cast<std::uint8_t>(settings.led == 0 ? 48 : 24);
    return;
  }
  const int across = w > 1 ? 200 * x / (w - 1) : 0;
  const int down = h > 1 ? 160 * y / (h - 1) : 0;
  rgb[0] = Scale(across, settings.brightness);
  rgb[1] = Scale(40 + down, settings.brightness);
  rgb[2] = Scale(200 - across, settings.brightness);
}

void SceneRowRgb(const SceneLayout& layout, const SceneSettings& settings, int y, int x0, int w,
                 std::uint8_t* rgb) {
  const bool band = !settings.colourBars && layout.InBand(y);
  const bool box = !settings.colourBars && layout.InBoxRows(y);
  const std::uint8_t grey = BandGrey(settings);
  for (int i = 0; i < w; ++i) {
    const int x = x0 + i;
    std::uint8_t* p = rgb + 3 * i;
    if (box && x >= layout.boxX() && x < layout.boxX() + layout.boxWidth()) {
      std::uint8_t value = kBox;
      for (int d = 0; d < kCounterDigits; ++d) {
        if (x >= layout.DigitX(d) && x < layout.DigitX(d) + layout.DigitWidth() &&
            layout.Ink(d, x, y)) {
          value = kInk;
        }
      }
      p[0] = p[1] = p[2] = value;
    } else if (band) {
      p[0] = p[1] = p[2] = grey;
    } else {
      BackgroundRgb(layout, settings, x, y, p);
    }
  }
}

}  // namespace qel::sim
