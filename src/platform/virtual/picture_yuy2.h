// Renders the test scene as YUY2 frames (studio-range BT.601), stamped with
// the frame check in the first eight pixels. Between frames it redraws only
// the rows that changed (the band's edges, the counter's changed digits) and
// keeps the sums of the others, so that a frame costs a small part of its
// size; the frame buffer must keep what the previous call wrote.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/virtual/scene.h"

namespace qel::sim {

class PictureYuy2 {
 public:
  PictureYuy2(int width, int height);

  std::size_t length() const { return stride_ * static_cast<std::size_t>(layout_.height()); }
  // Renders frame counter into frame (length() bytes).
  void Render(std::uint8_t* frame, std::uint32_t counter, const SceneSettings& settings);
  // The frame buffer was written by someone else: draw everything next time.
  void Forget();

 private:
  enum class Base : std::uint8_t { kUnknown, kBackground, kBand };
  struct Row {
    Base base = Base::kUnknown;
    bool box = false;
    std::uint64_t sum = 0;
  };

  void RebuildBackground();
  void DrawBox(std::uint8_t* row, int y, bool onlyChangedDigits) const;

  SceneLayout layout_;
  std::size_t stride_;
  bool rowsOnWords_;  // every row starts on a word of the frame
  SceneSettings settings_;
  bool built_ = false;                    // background_ holds settings_
  std::vector<std::uint8_t> background_;  // the still part, whole frame
  std::vector<std::uint64_t> backgroundSums_;
  std::vector<Row> rows_;
  std::array<int, kCounterDigits> drawnDigits_{};
};

}  // namespace qel::sim
