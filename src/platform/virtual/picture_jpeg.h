// Renders the test scene as JPEG images, as an MJPG camera delivers them,
// stamped with the frame check in an APP15 segment after the start marker.
//
// The image is coded in restart intervals of a few 16x16 units each (one
// strip of 16 rows holds a whole number of them), so that every interval is
// coded on its own: an interval is encoded only when its part of the scene
// changed (the band's edges, a changed digit), and the others are reused.
// Each slot keeps its last two codings, as the band's passing turns a strip
// into band and back.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/virtual/scene.h"

namespace qel::sim {

class PictureJpeg {
 public:
  PictureJpeg(int width, int height);

  // Renders frame counter into out; false when the encoder failed.
  bool Render(std::vector<std::uint8_t>& out, std::uint32_t counter, const SceneSettings& settings);

 private:
  struct Coding {
    std::uint64_t key = 0;
    bool used = false;
    std::vector<std::uint8_t> scan;  // the interval's entropy-coded bytes
  };
  struct Slot {
    Coding codings[2];
    int next = 0;  // the coding to replace next
  };

  std::uint64_t KeyOf(int strip, int segment) const;
  const std::vector<std::uint8_t>* Interval(int strip, int segment);
  bool Encode(int strip, int segment, std::vector<std::uint8_t>& scan);

  SceneLayout layout_;
  SceneSettings settings_;
  int strips_;
  int unitsPerInterval_;
  int segments_;  // intervals per strip
  std::vector<Slot> slots_;
  std::vector<std::uint8_t> header_;  // the markers between the stamp and the data
  std::vector<std::uint8_t> rgb_;
  std::vector<std::uint8_t> encoded_;
};

}  // namespace qel::sim
