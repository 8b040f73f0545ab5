#include "platform/virtual/frame_pattern.h"

#include <cstring>

namespace qel::sim {

namespace {

constexpr std::uint8_t kMagic[4] = {'Q', 'E', 'L', 'F'};

std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Body word i is base + i * stride.
struct Derivation {
  std::uint64_t base;
  std::uint64_t stride;
};

Derivation Derive(std::uint32_t counter) {
  return Derivation{Mix(counter), Mix(counter ^ 0xA5A5A5A5F00Dull) | 1};
}

void PutLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The word of a partial tail: its first `bytes` bytes, the rest zero.
std::uint64_t TailWord(std::uint64_t word, std::size_t bytes) {
  std::uint8_t raw[8] = {};
  std::memcpy(raw, &word, bytes);
  std::uint64_t out;
  std::memcpy(&out, raw, 8);
  return out;
}

// The checksum of a body of bodyLength bytes, in closed form: the 64-bit sum
// of its words (a partial tail word padded with zeros), folded to 32 bits.
std::uint32_t BodyChecksum(const Derivation& d, std::size_t bodyLength) {
  std::uint64_t n = bodyLength / 8;
  std::uint64_t pairs = (n % 2 == 0) ? (n / 2) * (n - 1) : n * ((n - 1) / 2);  // n(n-1)/2
  std::uint64_t sum = n * d.base + pairs * d.stride;
  if (std::size_t tail = bodyLength % 8) sum += TailWord(d.base + n * d.stride, tail);
  return static_cast<std::uint32_t>(sum ^ (sum >> 32));
}

std::uint8_t ShortByte(std::uint8_t low, std::size_t j) {
  return static_cast<std::uint8_t>(Mix(low * 131u + j) >> 17);
}

}  // namespace

void FillFrame(std::uint8_t* frame, std::size_t length, std::uint32_t counter) {
  if (frame == nullptr || length == 0) return;
  if (length < kFrameHeaderSize) {
    auto low = static_cast<std::uint8_t>(counter);
    frame[0] = low;
    for (std::size_t j = 1; j < length; ++j) frame[j] = ShortByte(low, j);
    return;
  }
  Derivation d = Derive(counter);
  std::size_t body = length - kFrameHeaderSize;
  std::memcpy(frame, kMagic, 4);
  PutLe32(frame + 4, counter);
  PutLe32(frame + 8, static_cast<std::uint32_t>(length));
  PutLe32(frame + 12, BodyChecksum(d, body));
  std::uint8_t* p = frame + kFrameHeaderSize;
  std::size_t words = body / 8;
  std::uint64_t w = d.base;
  for (std::size_t i = 0; i < words; ++i, w += d.stride) std::memcpy(p + 8 * i, &w, 8);
  if (std::size_t tail = body % 8) std::memcpy(p + 8 * words, &w, tail);
}

bool CheckFrame(const std::uint8_t* frame, std::size_t length, std::uint32_t& counter) {
  if (frame == nullptr || length == 0) return false;
  if (length < kFrameHeaderSize) {
    for (std::size_t j = 1; j < length; ++j) {
      if (frame[j] != ShortByte(frame[0], j)) return false;
    }
    counter = frame[0];
    return true;
  }
  if (std::memcmp(frame, kMagic, 4) != 0) return false;
  std::uint32_t c = GetLe32(frame + 4);
  if (GetLe32(frame + 8) != static_cast<std::uint32_t>(length)) return false;
  Derivation d = Derive(c);
  std::size_t body = length - kFrameHeaderSize;
  if (GetLe32(frame + 12) != BodyChecksum(d, body)) return false;
  const std::uint8_t* p = frame + kFrameHeaderSize;
  std::size_t words = body / 8;
  std::uint64_t w = d.base;
  for (std::size_t i = 0; i < words; ++i, w += d.stride) {
    std::uint64_t got;
    std::memcpy(&got, p + 8 * i, 8);
    if (got != w) return false;
  }
  if (std::size_t tail = body % 8) {
    if (std::memcmp(p + 8 * words, &w, tail) != 0) return false;
  }
  counter = c;
  return true;
}

}  // namespace qel::sim
