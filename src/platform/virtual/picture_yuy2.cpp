#include "platform/virtual/picture_yuy2.h"

#include <algorithm>
#include <cstring>

#include "platform/virtual/frame_stamp.h"

namespace qel::sim {

namespace {

// BT.601 studio range, 8.8 fixed point.
std::uint8_t Luma(const std::uint8_t* p) {
  return static_cast<std::uint8_t>(16 + ((66 * p[0] + 129 * p[1] + 25 * p[2] + 128) >> 8));
}
std::uint8_t ChromaU(const std::uint8_t* p) {
  return static_cast<std::uint8_t>(128 + ((-38 * p[0] - 74 * p[1] + 112 * p[2] + 128) >> 8));
}
std::uint8_t ChromaV(const std::uint8_t* p) {
  return static_cast<std::uint8_t>(128 + ((112 * p[0] - 94 * p[1] - 18 * p[2] + 128) >> 8));
}
std::uint8_t GreyLuma(std::uint8_t grey) {
  return static_cast<std::uint8_t>(16 + (grey * 219 + 127) / 255);
}

// Converts a row of RGB pixels; a pair shares the mean of its chroma.
void RgbRowToYuy2(const std::uint8_t* rgb, int width, std::uint8_t* out) {
  for (int x = 0; x < width; x += 2) {
    const std::uint8_t* a = rgb + 3 * x;
    const std::uint8_t* b = x + 1 < width ? a + 3 : a;
    out[2 * x] = Luma(a);
    out[2 * x + 1] = static_cast<std::uint8_t>((ChromaU(a) + ChromaU(b) + 1) / 2);
    if (x + 1 < width) {
      out[2 * x + 2] = Luma(b);
      out[2 * x + 3] = static_cast<std::uint8_t>((ChromaV(a) + ChromaV(b) + 1) / 2);
    }
  }
}

// Neutral pixels x0 .. x1 of a YUY2 row with one luma.
void FillGrey(std::uint8_t* row, int x0, int x1, std::uint8_t luma) {
  for (int x = x0; x < x1; ++x) {
    row[2 * x] = luma;
    row[2 * x + 1] = 128;
  }
}

}  // namespace

PictureYuy2::PictureYuy2(int width, int height)
    : layout_(width, height),
      stride_(static_cast<std::size_t>(width) * 2),
      rowsOnWords_(stride_ % 8 == 0),
      rows_(static_cast<std::size_t>(height)) {}

void PictureYuy2::RebuildBackground() {
  const int w = layout_.width();
  background_.resize(length());
  backgroundSums_.resize(rows_.size());
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * 3);
  for (int y = 0; y < layout_.height(); ++y) {
    for (int x = 0; x < w; ++x) BackgroundRgb(layout_, settings_, x, y, rgb.data() + 3 * x);
    std::uint8_t* row = background_.data() + stride_ * static_cast<std::size_t>(y);
    RgbRowToYuy2(rgb.data(), w, row);
    if (rowsOnWords_) {
      backgroundSums_[static_cast<std::size_t>(y)] = HashWords(row, stride_, stride_ * y / 8);
    }
  }
}

void PictureYuy2::Forget() {
  for (Row& row : rows_) row.base = Base::kUnknown;
}

void PictureYuy2::DrawBox(std::uint8_t* row, int y, bool onlyChangedDigits) const {
  const SceneLayout& l = layout_;
  if (!onlyChangedDigits) FillGrey(row, l.boxX(), l.boxX() + l.boxWidth(), GreyLuma(kBox));
  for (int d = 0; d < kCounterDigits; ++d) {
    if (onlyChangedDigits && drawnDigits_[static_cast<std::size_t>(d)] == l.Digit(d)) continue;
    for (int x = l.DigitX(d); x < l.DigitX(d) + l.DigitWidth(); ++x) {
      row[2 * x] = GreyLuma(l.Ink(d, x, y) ? kInk : kBox);
      row[2 * x + 1] = 128;
    }
  }
}

void PictureYuy2::Render(std::uint8_t* frame, std::uint32_t counter,
                         const SceneSettings& settings) {
  if (!built_ || !(settings == settings_)) {
    settings_ = settings;
    RebuildBackground();
    Forget();
    built_ = true;
  }
  layout_.SetFrame(counter);
  const bool bars = settings_.colourBars;
  const std::uint8_t bandLuma = GreyLuma(BandGrey(settings_));
  std::uint64_t total = 0;
  for (int y = 0; y < layout_.height(); ++y) {
    Row& state = rows_[static_cast<std::size_t>(y)];
    std::uint8_t* row = frame + stride_ * static_cast<std::size_t>(y);
    const Base base = !bars && layout_.InBand(y) ? Base::kBand : Base::kBackground;
    const bool box = !bars && layout_.InBoxRows(y);
    bool changed = y == 0;  // the stamp
    if (state.base != base || state.box != box) {
      if (base == Base::kBand) {
        FillGrey(row, 0, layout_.width(), bandLuma);
      } else {
        std::memcpy(row, background_.data() + stride_ * static_cast<std::size_t>(y), stride_);
      }
      if (box) DrawBox(row, y, false);
      state.base = base;
      state.box = box;
      changed = true;
      // A plain background row has its sum already.
      if (base == Base::kBackground && !box && y != 0 && rowsOnWords_) {
        state.sum = backgroundSums_[static_cast<std::size_t>(y)];
        changed = false;
      }
    } else if (box && layout_.Digits() != drawnDigits_) {
      DrawBox(row, y, true);
      changed = true;
    }
    if (y == 0) PutStamp(frame, 0, counter, length());
    if (changed && rowsOnWords_) state.sum = HashWords(row, stride_, stride_ * y / 8);
    total += state.sum;
  }
  drawnDigits_ = layout_.Digits();
  if (!rowsOnWords_) total = HashWords(frame, length(), 0);
  SealStamp(frame, 0, total);
}

}  // namespace qel::sim
