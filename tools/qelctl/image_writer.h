// Saving frames: YUY2 converted to RGB, written as PNG or JPEG; MJPG frames
// written as delivered or decoded for PNG; any frame's bytes as they are.
// One writer (stb's) serves the native and the Windows build alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qelctl {

// Converts a top-down YUY2 frame (Y0 U Y1 V for each pair of pixels,
// studio-range BT.601) to 8-bit RGB, three bytes per pixel. The width must
// be even and the frame at least width x height x 2 bytes long; false with
// the reason in error otherwise.
bool Yuy2ToRgb(const std::uint8_t* frame, std::size_t length, int width, int height,
               std::vector<std::uint8_t>& rgb, std::string& error);

// Decodes a JPEG image to 8-bit RGB; false with the reason in error.
bool DecodeJpeg(const std::uint8_t* data, std::size_t length, std::vector<std::uint8_t>& rgb,
                int& width, int& height, std::string& error);

// A YUY2 frame converted, or an MJPG frame decoded, to 8-bit RGB; width and
// height are the frame's (a JPEG's own replace them). False with the reason
// for another format or a frame that does not convert.
bool FrameToRgb(const std::uint8_t* frame, std::size_t length, const std::string& format,
                int& width, int& height, std::vector<std::uint8_t>& rgb, std::string& error);

// Writes width x height 8-bit RGB pixels as a PNG file.
bool WritePng(const std::string& path, const std::uint8_t* rgb, int width, int height,
              std::string& error);
// The same as a baseline JPEG file of the quality (1..100).
bool WriteJpeg(const std::string& path, const std::uint8_t* rgb, int width, int height, int quality,
               std::string& error);

// The same two encoders into memory: out holds the whole file afterwards.
bool EncodePng(const std::uint8_t* rgb, int width, int height, std::vector<std::uint8_t>& out,
               std::string& error);
bool EncodeJpeg(const std::uint8_t* rgb, int width, int height, int quality,
                std::vector<std::uint8_t>& out, std::string& error);

// Writes length bytes to a file as they are.
bool WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t length,
                std::string& error);

}  // namespace qelctl
