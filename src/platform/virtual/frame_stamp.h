// The check carried by the rig's pictures: a 16-byte stamp ("QELP", frame
// counter, length, checksum; little-endian) inside the frame, where a
// YUY2 picture keeps it in its first eight pixels and a JPEG image in an
// APP15 segment right after its start marker, which viewers skip. The
// checksum covers every byte of the frame (the checksum field counted as
// zero), word by word with the word's position mixed in, so that a frame
// torn between two pictures, cut short or changed anywhere fails the check.
//
// The sum is additive over 8-byte words numbered from the frame's start, so
// a renderer may keep the sums of parts that did not change.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qel::sim {

inline constexpr std::size_t kStampSize = 16;
// Where the stamp sits in a JPEG picture: after FF D8 and the APP15 marker
// and length (FF EF 00 12).
inline constexpr std::size_t kJpegStampOffset = 6;
inline constexpr std::size_t kJpegStampSegment = 4 + kStampSize;  // marker, length, stamp

// The sum of the words of bytes [0, length) of data, whose first byte is
// word firstWord of the frame (data must start on a word of the frame); a
// partial last word is padded with zeros.
std::uint64_t HashWords(const std::uint8_t* data, std::size_t length, std::size_t firstWord);

// Writes the stamp at offset with a zero checksum. The checksum field must
// lie within one word of the frame.
void PutStamp(std::uint8_t* frame, std::size_t offset, std::uint32_t counter, std::size_t length);
// Completes the stamp at offset from the sum of the whole frame (taken
// while the checksum field was zero).
void SealStamp(std::uint8_t* frame, std::size_t offset, std::uint64_t sum);

// True when the frame is a stamped picture (either layout); its counter then.
bool IsStampedPicture(const std::uint8_t* frame, std::size_t length);
bool CheckStampedPicture(const std::uint8_t* frame, std::size_t length, std::uint32_t& counter);

}  // namespace qel::sim
