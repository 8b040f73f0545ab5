// The byte encoding of the API fuzzer's inputs: a reader that the harness
// draws its arguments from, a writer that builds the seed inputs, and the
// value pickers both share, so that a seed decodes to the calls it was
// written as.
//
// Every picker reads one selector byte. Small selectors name a value from a
// table of edge cases; the largest selector is followed by a raw value; the
// selectors in between stand for small plain values. An input that runs out
// reads as zeros.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace qelfuzz {

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool AtEnd() const { return offset_ >= size_; }
  std::uint8_t Byte() { return offset_ < size_ ? data_[offset_++] : 0; }
  std::uint16_t U16() {
    const std::uint16_t low = Byte();
    const std::uint16_t high = Byte();
    return static_cast<std::uint16_t>(low | high << 8);
  }
  std::uint32_t U32() {
    const std::uint32_t low = U16();
    const std::uint32_t high = U16();
    return low | high << 16;
  }
  std::uint64_t U64() {
    const std::uint64_t low = U32();
    const std::uint64_t high = U32();
    return low | high << 32;
  }
  // Copies the next n bytes; what the input lacks reads as zeros.
  void Bytes(std::uint8_t* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = Byte();
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

class Writer {
 public:
  void Byte(std::uint8_t value) { bytes_.push_back(value); }
  void U16(std::uint16_t value) {
    Byte(static_cast<std::uint8_t>(value));
    Byte(static_cast<std::uint8_t>(value >> 8));
  }
  void U32(std::uint32_t value) {
    U16(static_cast<std::uint16_t>(value));
    U16(static_cast<std::uint16_t>(value >> 16));
  }
  void U64(std::uint64_t value) {
    U32(static_cast<std::uint32_t>(value));
    U32(static_cast<std::uint32_t>(value >> 32));
  }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();

// Index of value in table, or -1.
template <typename T, std::size_t N>
int IndexOf(const std::array<T, N>& table, T value) {
  for (std::size_t i = 0; i < N; ++i) {
    if (std::memcmp(&table[i], &value, sizeof value) == 0) return static_cast<int>(i);
  }
  return -1;
}

// ---- keys: the table, else one of the keys 0..3 the rig's cameras take ----

inline constexpr std::array<std::int32_t, 20> kKeys = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 15, 16, -1, kMax32, kMin32, -2, 100, 65536};

inline std::int32_t ReadKey(Reader& r) {
  const std::uint8_t b = r.Byte();
  return b < kKeys.size() ? kKeys[b] : static_cast<std::int32_t>(b % 4);
}
inline void WriteKey(Writer& w, std::int32_t key) {
  const int index = IndexOf(kKeys, key);
  w.Byte(static_cast<std::uint8_t>(index < 0 ? 0 : index));
}

// ---- general 32-bit values ----

inline constexpr std::array<std::int32_t, 32> kInts = {
    -1,     kMax32, kMin32, 255,   256,   4095, 4096, 65535, 65536, 0x7FFF, 0x8000,
    -32768, 65530,  65531,  10000, 10001, 240,  241,  64,    65,    -13,    -14,
    -2,     0xFFFF, 1023,   1024,  960,   961,  1000, 15,    16,    0x10000};
inline constexpr std::uint8_t kIntPlainLimit = 255 - kInts.size();  // plain values 0..222

inline std::int32_t ReadInt(Reader& r) {
  const std::uint8_t b = r.Byte();
  if (b < kInts.size()) return kInts[b];
  if (b == 255) return static_cast<std::int32_t>(r.U32());
  return b - static_cast<std::int32_t>(kInts.size());
}
inline void WriteInt(Writer& w, std::int32_t value) {
  const int index = IndexOf(kInts, value);
  if (index >= 0) {
    w.Byte(static_cast<std::uint8_t>(index));
  } else if (value >= 0 && value < kIntPlainLimit) {
    w.Byte(static_cast<std::uint8_t>(value + kInts.size()));
  } else {
    w.Byte(255);
    w.U32(static_cast<std::uint32_t>(value));
  }
}

// ---- buffer sizes ----

inline constexpr std::array<std::int32_t, 16> kSizes = {
    0, -1, kMax32, kMin32, 1, 2, -2, kMax32 - 1, 52, 53, 54, 62, 63, 64, 26, 27};

inline std::int32_t ReadSize(Reader& r) {
  const std::uint8_t b = r.Byte();
  if (b < kSizes.size()) return kSizes[b];
  if (b == 255) return r.U16();
  return b - static_cast<std::int32_t>(kSizes.size());
}
inline void WriteSize(Writer& w, std::int32_t size) {
  const int index = IndexOf(kSizes, size);
  if (index >= 0) {
    w.Byte(static_cast<std::uint8_t>(index));
  } else if (size >= 0 && size < 255 - static_cast<std::int32_t>(kSizes.size())) {
    w.Byte(static_cast<std::uint8_t>(size + kSizes.size()));
  } else {
    w.Byte(255);
    w.U16(static_cast<std::uint16_t>(size));
  }
}

// ---- rates and times ----

inline constexpr std::array<double, 26> kDoubles = {
    std::numeric_limits<double>::quiet_NaN(),
    -std::numeric_limits<double>::quiet_NaN(),
    std::numeric_limits<double>::infinity(),
    -std::numeric_limits<double>::infinity(),
    0.0,
    -0.0,
    std::numeric_limits<double>::denorm_min(),
    std::numeric_limits<double>::min(),
    std::numeric_limits<double>::max(),
    -std::numeric_limits<double>::max(),
    1e-300,
    29.97,
    59.94,
    0.5,
    0.0001,
    0.00009999,
    1.0,
    1.0000001,
    1e9,
    -1.0,
    0.1,
    1e-5,
    2147483648.0,
    4294967296.0,
    30.000030,
    0.016,
};

inline double ReadDouble(Reader& r) {
  const std::uint8_t b = r.Byte();
  if (b < kDoubles.size()) return kDoubles[b];
  if (b == 255) {
    const std::uint64_t bits = r.U64();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  return b - static_cast<double>(kDoubles.size());
}
inline void WriteDouble(Writer& w, double value) {
  const int index = IndexOf(kDoubles, value);
  const double plain = value - 0.0;
  if (index >= 0) {
    w.Byte(static_cast<std::uint8_t>(index));
  } else if (plain >= 0 && plain < 255 - static_cast<double>(kDoubles.size()) &&
             plain == static_cast<int>(plain)) {
    w.Byte(static_cast<std::uint8_t>(static_cast<int>(plain) + kDoubles.size()));
  } else {
    w.Byte(255);
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    w.U64(bits);
  }
}

// ---- frame sizes: the cameras' own, their neighbours and nonsense ----

struct Size2 {
  std::int32_t width;
  std::int32_t height;
};
inline constexpr std::array<Size2, 16> kFrameSizes = {{
    {1920, 1080},
    {960, 540},
    {480, 270},
    {1280, 720},
    {656, 408},
    {328, 204},
    {640, 480},
    {0, 0},
    {-1, -1},
    {1920, -1080},
    {kMax32, kMax32},
    {1, 1},
    {16384, 16384},
    {1920, 1081},
    {kMin32, 480},
    {328, 0},
}};

inline Size2 ReadFrameSize(Reader& r) {
  const std::uint8_t b = r.Byte();
  if (b < kFrameSizes.size()) return kFrameSizes[b];
  if (b == 255) {
    const std::int32_t width = ReadInt(r);
    return Size2{width, ReadInt(r)};
  }
  return kFrameSizes[b % 7];  // mostly the sizes the rig offers
}
inline void WriteFrameSize(Writer& w, std::int32_t width, std::int32_t height) {
  for (std::size_t i = 0; i < kFrameSizes.size(); ++i) {
    if (kFrameSizes[i].width == width && kFrameSizes[i].height == height) {
      w.Byte(static_cast<std::uint8_t>(i));
      return;
    }
  }
  w.Byte(255);
  WriteInt(w, width);
  WriteInt(w, height);
}

// ---- rig device ids: -1 (every device) and 0..16 ----

inline int ReadDevice(Reader& r) { return r.Byte() % 18 - 1; }
inline void WriteDevice(Writer& w, int device) { w.Byte(static_cast<std::uint8_t>(device + 1)); }

// ---- defect coordinates: both sides of every size's middle and edge ----

inline constexpr std::array<std::uint16_t, 48> kCoordinates = {
    0,   1,   2,   3,   239, 240,  241,  269,  270,  271, 134, 135,    136,    479,    480,  959,
    960, 961, 539, 540, 541, 1079, 1080, 1919, 1920, 163, 164, 165,    101,    102,    203,  204,
    327, 328, 655, 656, 407, 408,  359,  360,  639,  640, 719, 0xFFFF, 0xFFFE, 0x8000, 1278, 1279};

inline std::uint16_t ReadCoordinate(Reader& r) {
  const std::uint8_t b = r.Byte();
  if (b < kCoordinates.size()) return kCoordinates[b];
  if (b == 255) return r.U16();
  return static_cast<std::uint16_t>(b - kCoordinates.size());
}
inline void WriteCoordinate(Writer& w, std::uint16_t value) {
  const int index = IndexOf(kCoordinates, value);
  if (index >= 0) {
    w.Byte(static_cast<std::uint8_t>(index));
  } else {
    w.Byte(255);
    w.U16(value);
  }
}

}  // namespace qelfuzz
