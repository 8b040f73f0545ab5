#include "platform/virtual/picture_jpeg.h"

#include <algorithm>

#include "platform/virtual/frame_stamp.h"
#include "platform/virtual/jpeg_encoder.h"

namespace qel::sim {

namespace {

constexpr std::uint8_t kMarkerSof0 = 0xC0;
constexpr std::uint8_t kMarkerSos = 0xDA;
constexpr std::uint8_t kMarkerDri = 0xDD;
constexpr std::uint8_t kMarkerRst0 = 0xD0;
constexpr int kMostUnitsPerInterval = 8;

std::uint64_t Mix(std::uint64_t h, std::uint64_t v) {
  h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
  h *= 0xBF58476D1CE4E5B9ull;
  return h ^ (h >> 29);
}

int BigEndian16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] << 8 | b[at + 1];
}

void PutBigEndian16(std::uint8_t* p, int v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

// The offset of the entropy-coded data of a whole JPEG file (just after its
// SOS segment), or 0 when the markers are not as expected.
std::size_t ScanStart(const std::vector<std::uint8_t>& jpeg) {
  std::size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
    const std::size_t next = at + 2 + static_cast<std::size_t>(BigEndian16(jpeg, at + 2));
    if (jpeg[at + 1] == kMarkerSos) return next <= jpeg.size() ? next : 0;
    at = next;
  }
  return 0;
}

}  // namespace

PictureJpeg::PictureJpeg(int width, int height) : layout_(width, height) {
  strips_ = (height + kJpegUnit - 1) / kJpegUnit;
  const int units = (width + kJpegUnit - 1) / kJpegUnit;
  // The longest interval up to eight units that divides a strip evenly.
  unitsPerInterval_ = 1;
  for (int n = kMostUnitsPerInterval; n > 1; --n) {
    if (units % n == 0) {
      unitsPerInterval_ = n;
      break;
    }
  }
  segments_ = units / unitsPerInterval_;
  slots_.resize(static_cast<std::size_t>(strips_) * static_cast<std::size_t>(segments_));
}

std::uint64_t PictureJpeg::KeyOf(int strip, int segment) const {
  std::uint64_t key = Mix(Mix(Mix(0, settings_.colourBars), settings_.led + 1),
                          static_cast<std::uint64_t>(settings_.brightness));
  if (settings_.colourBars) return key;
  const int y0 = strip * kJpegUnit;
  const int y1 = std::min(y0 + kJpegUnit, layout_.height());
  // The band covers whole strips.
  key = Mix(key, layout_.InBand(y0));
  const int x0 = segment * unitsPerInterval_ * kJpegUnit;
  const int x1 = x0 + unitsPerInterval_ * kJpegUnit;
  if (layout_.InBoxRows(y0) || layout_.InBoxRows(y1 - 1)) {
    for (int d = 0; d < kCounterDigits; ++d) {
      const int dx = layout_.DigitX(d);
      if (dx < x1 && dx + layout_.DigitWidth() > x0) key = Mix(key, 10u * d + layout_.Digit(d));
    }
  }
  return key;
}

bool PictureJpeg::Encode(int strip, int segment, std::vector<std::uint8_t>& scan) {
  const int x0 = segment * unitsPerInterval_ * kJpegUnit;
  const int w = std::min(unitsPerInterval_ * kJpegUnit, layout_.width() - x0);
  const int y0 = strip * kJpegUnit;
  const int h = std::min(kJpegUnit, layout_.height() - y0);
  rgb_.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3);
  for (int r = 0; r < h; ++r) {
    SceneRowRgb(layout_, settings_, y0 + r, x0, w,
                rgb_.data() + static_cast<std::size_t>(r) * w * 3);
  }
  if (!EncodeJpeg(rgb_.data(), w, h, encoded_)) return false;
  const std::size_t start = ScanStart(encoded_);
  // The data ends with the end marker FF D9.
  if (start == 0 || encoded_.size() < start + 2) return false;
  if (header_.empty()) {
    // Every interval is encoded with the same tables: the first one's
    // markers serve the whole image, with its size and the restart interval.
    header_.assign(encoded_.begin() + 2, encoded_.begin() + static_cast<long>(start));
    std::size_t at = 0;
    while (at + 4 <= header_.size()) {
      const std::uint8_t marker = header_[at + 1];
      if (marker == kMarkerSof0) {
        PutBigEndian16(&header_[at + 5], layout_.height());
        PutBigEndian16(&header_[at + 7], layout_.width());
      }
      if (marker == kMarkerSos) {
        const std::uint8_t dri[6] = {0xFF,
                                     kMarkerDri,
                                     0,
                                     4,
                                     static_cast<std::uint8_t>(unitsPerInterval_ >> 8),
                                     static_cast<std::uint8_t>(unitsPerInterval_)};
        header_.insert(header_.begin() + static_cast<long>(at), dri, dri + 6);
        break;
      }
      at += 2 + static_cast<std::size_t>(BigEndian16(header_, at + 2));
    }
  }
  scan.assign(encoded_.begin() + static_cast<long>(start), encoded_.end() - 2);
  return true;
}

const std::vector<std::uint8_t>* PictureJpeg::Interval(int strip, int segment) {
  Slot& slot = slots_[static_cast<std::size_t>(strip) * segments_ + segment];
  const std::uint64_t key = KeyOf(strip, segment);
  for (const Coding& coding : slot.codings) {
    if (coding.used && coding.key == key) return &coding.scan;
  }
  Coding& coding = slot.codings[slot.next];
  slot.next ^= 1;
  coding.used = false;
  if (!Encode(strip, segment, coding.scan)) return nullptr;
  coding.key = key;
  coding.used = true;
  return &coding.scan;
}

bool PictureJpeg::Render(std::vector<std::uint8_t>& out, std::uint32_t counter,
                         const SceneSettings& settings) {
  settings_ = settings;
  layout_.SetFrame(counter);
  out.assign(kJpegStampOffset + kStampSize, 0);
  const std::uint8_t lead[kJpegStampOffset] = {
      0xFF, 0xD8, 0xFF, 0xEF, 0, static_cast<std::uint8_t>(kJpegStampSegment - 2)};
  std::copy(lead, lead + kJpegStampOffset, out.begin());
  const int intervals = strips_ * segments_;
  std::vector<const std::vector<std::uint8_t>*> scans;
  scans.reserve(static_cast<std::size_t>(intervals));
  for (int s = 0; s < strips_; ++s) {
    for (int j = 0; j < segments_; ++j) {
      const std::vector<std::uint8_t>* scan = Interval(s, j);
      if (scan == nullptr) return false;
      scans.push_back(scan);
    }
  }
  out.insert(out.end(), header_.begin(), header_.end());
  for (int i = 0; i < intervals; ++i) {
    const std::vector<std::uint8_t>& scan = *scans[static_cast<std::size_t>(i)];
    out.insert(out.end(), scan.begin(), scan.end());
    if (i + 1 < intervals) {
      out.push_back(0xFF);
      out.push_back(static_cast<std::uint8_t>(kMarkerRst0 + (i & 7)));
    }
  }
  out.push_back(0xFF);
  out.push_back(0xD9);
  PutStamp(out.data(), kJpegStampOffset, counter, out.size());
  SealStamp(out.data(), kJpegStampOffset, HashWords(out.data(), out.size(), 0));
  return true;
}

}  // namespace qel::sim
