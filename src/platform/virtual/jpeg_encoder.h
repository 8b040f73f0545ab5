// Baseline JPEG encoding of RGB pixels (stb's image writer), for the rig's
// MJPG frames.
#pragma once

#include <cstdint>
#include <vector>

namespace qel::sim {

// The quality the rig encodes at; below 91 the encoder subsamples chroma
// 2x2, so that its units (MCUs) are 16x16 pixels.
inline constexpr int kJpegQuality = 80;
inline constexpr int kJpegUnit = 16;

// Encodes width x height pixels (three bytes each) as a whole JPEG file into
// out; false when the encoder fails.
bool EncodeJpeg(const std::uint8_t* rgb, int width, int height, std::vector<std::uint8_t>& out);

}  // namespace qel::sim
