#include "platform/virtual/frame_stamp.h"

#include <cstring>

namespace qel::sim {

namespace {

constexpr std::uint8_t kMagic[4] = {'Q', 'E', 'L', 'P'};
constexpr std::uint8_t kJpegLead[kJpegStampOffset] = {0xFF, 0xD8, 0xFF,
                                                      0xEF, 0x00, kJpegStampSegment - 2};
constexpr std::size_t kChecksumField = 12;  // within the stamp
constexpr std::uint64_t kPositionStep = 0x9E3779B97F4A7C15ull;

std::uint64_t Mixed(std::uint64_t word, std::uint64_t position) {
  std::uint64_t x = (word ^ position) * 0xBF58476D1CE4E5B9ull;
  return x ^ (x >> 31);
}

void PutLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint32_t Fold(std::uint64_t sum) { return static_cast<std::uint32_t>(sum ^ (sum >> 32)); }

// The stamp's offset in the frame, or -1 when the frame carries none.
long StampOffset(const std::uint8_t* frame, std::size_t length) {
  if (frame == nullptr) return -1;
  if (length >= kStampSize && std::memcmp(frame, kMagic, 4) == 0) return 0;
  if (length >= kJpegStampOffset + kStampSize &&
      std::memcmp(frame, kJpegLead, kJpegStampOffset) == 0 &&
      std::memcmp(frame + kJpegStampOffset, kMagic, 4) == 0) {
    return static_cast<long>(kJpegStampOffset);
  }
  return -1;
}

}  // namespace

std::uint64_t HashWords(const std::uint8_t* data, std::size_t length, std::size_t firstWord) {
  std::uint64_t sum = 0;
  std::uint64_t position = firstWord * kPositionStep;
  const std::size_t words = length / 8;
  for (std::size_t i = 0; i < words; ++i, position += kPositionStep) {
    std::uint64_t w;
    std::memcpy(&w, data + 8 * i, 8);
    sum += Mixed(w, position);
  }
  if (const std::size_t tail = length % 8) {
    std::uint64_t w = 0;
    std::memcpy(&w, data + 8 * words, tail);
    sum += Mixed(w, position);
  }
  return sum;
}

void PutStamp(std::uint8_t* frame, std::size_t offset, std::uint32_t counter, std::size_t length) {
  std::uint8_t* stamp = frame + offset;
  std::memcpy(stamp, kMagic, 4);
  PutLe32(stamp + 4, counter);
  PutLe32(stamp + 8, static_cast<std::uint32_t>(length));
  PutLe32(stamp + kChecksumField, 0);
}

void SealStamp(std::uint8_t* frame, std::size_t offset, std::uint64_t sum) {
  PutLe32(frame + offset + kChecksumField, Fold(sum));
}

bool IsStampedPicture(const std::uint8_t* frame, std::size_t length) {
  return StampOffset(frame, length) >= 0;
}

bool CheckStampedPicture(const std::uint8_t* frame, std::size_t length, std::uint32_t& counter) {
  const long at = StampOffset(frame, length);
  if (at < 0) return false;
  const std::uint8_t* stamp = frame + at;
  if (GetLe32(stamp + 8) != static_cast<std::uint32_t>(length)) return false;
  // The sum as it was taken: the word holding the checksum field counted
  // with that field zero.
  const std::size_t field = static_cast<std::size_t>(at) + kChecksumField;
  const std::size_t word = field / 8;
  std::uint8_t original[8] = {};
  const std::size_t inWord = length - word * 8 < 8 ? length - word * 8 : 8;
  std::memcpy(original, frame + word * 8, inWord);
  std::uint8_t zeroed[8];
  std::memcpy(zeroed, original, 8);
  std::memset(zeroed + (field - word * 8), 0, 4);
  std::uint64_t sum =
      HashWords(frame, length, 0) - HashWords(original, 8, word) + HashWords(zeroed, 8, word);
  if (GetLe32(stamp + kChecksumField) != Fold(sum)) return false;
  counter = GetLe32(stamp + 4);
  return true;
}

}  // namespace qel::sim
