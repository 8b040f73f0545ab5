// Reading a firmware image file whole, for writing to the camera's memory
// from address 0 in 56-byte blocks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "hid/data_block.h"

namespace qel {

// Addresses are 24 bits wide: the largest image whose last 56-byte block
// still ends inside the address space (a longer one would wrap onto 0).
inline constexpr std::uint32_t kLargestImage =
    (1u << 24) / kMemoryChunkSize * kMemoryChunkSize;  // 16,777,208
inline constexpr std::size_t kImagePadding =
    64;  // the last block may run past the image into zeros

// Opens the image file for reading and accepts it only when it is a regular
// file; null otherwise, with the reason recorded (core/last_error.h). The
// open does not wait: a FIFO would otherwise hold it until a writer came,
// and a directory or device has no image to read.
std::FILE* OpenImageFile(const char* path);

// The rest of file from its start, in a buffer of size + 64 zero-padded bytes.
// None for a file whose size cannot be told, an empty one, one larger than
// kLargestImage, or one from which fewer bytes can be read than its size,
// with the reason recorded (core/last_error.h); name is the file's name there.
std::unique_ptr<std::vector<std::uint8_t>> ReadImage(std::FILE* file, std::uint32_t& size,
                                                     const char* name = "the image file");

}  // namespace qel
