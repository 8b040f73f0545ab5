#include "format_caps.h"

#include <cmath>
#include <cstring>

namespace qel_gst {
namespace {

constexpr const char* kRawMedia = "video/x-raw";
constexpr const char* kJpegMedia = "image/jpeg";

// The media type a format is offered as; nullptr for one not offered.
const char* MediaOf(const char* format) {
  if (std::strcmp(format, "YUY2") == 0) return kRawMedia;
  if (std::strcmp(format, "MJPG") == 0) return kJpegMedia;
  return nullptr;
}

struct Rate {
  int32_t numerator = 0;  // 0: no rate
  int32_t denominator = 1;
};

// The listed rate as the library means it: from the frame interval, or
// from the listed rate where the device gives no interval.
Rate RateOf(const QelFormatEx& format) {
  int64_t interval = format.frameInterval;
  if (interval <= 0 && std::isfinite(format.frameRate) && format.frameRate > 0.0) {
    interval = std::llround(1e7 / format.frameRate);
  }
  Rate rate;
  if (!QelNominalFrameRate(interval, &rate.numerator, &rate.denominator, nullptr, 0)) return {};
  return rate;
}

GstStructure* StructureOf(const QelFormatEx& format, const char* media, const Rate& rate) {
  GstStructure* s = gst_structure_new(media, "width", G_TYPE_INT, format.width, "height",
                                      G_TYPE_INT, format.height, "framerate", GST_TYPE_FRACTION,
                                      rate.numerator, rate.denominator, nullptr);
  if (media == kRawMedia) gst_structure_set(s, "format", G_TYPE_STRING, "YUY2", nullptr);
  return s;
}

}  // namespace

std::size_t Mode::FrameBytes() const {
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 2;
}

GstClockTime Mode::FrameDuration() const {
  if (rateNumerator <= 0) return GST_CLOCK_TIME_NONE;
  return gst_util_uint64_scale_int(GST_SECOND, rateDenominator, rateNumerator);
}

GstCaps* CapsOfFormats(const std::vector<QelFormatEx>& formats) {
  GstCaps* caps = gst_caps_new_empty();
  for (const QelFormatEx& format : formats) {
    const char* media = MediaOf(format.format);
    const Rate rate = RateOf(format);
    if (media == nullptr || format.width <= 0 || format.height <= 0 || rate.numerator <= 0) {
      continue;
    }
    caps = gst_caps_merge_structure(caps, StructureOf(format, media, rate));
  }
  return caps;
}

std::optional<Mode> ModeOfCaps(const GstCaps* caps, const std::vector<QelFormatEx>& formats) {
  if (caps == nullptr || gst_caps_get_size(caps) < 1) return std::nullopt;
  const GstStructure* asked = gst_caps_get_structure(caps, 0);
  int width = 0, height = 0, numerator = 0, denominator = 0;
  if (!gst_structure_get_int(asked, "width", &width) ||
      !gst_structure_get_int(asked, "height", &height) ||
      !gst_structure_get_fraction(asked, "framerate", &numerator, &denominator)) {
    return std::nullopt;
  }
  const char* media = gst_structure_get_name(asked);
  if (gst_structure_has_name(asked, kRawMedia)) {
    const char* raw = gst_structure_get_string(asked, "format");
    if (raw == nullptr || std::strcmp(raw, "YUY2") != 0) return std::nullopt;
  } else if (!gst_structure_has_name(asked, kJpegMedia)) {
    return std::nullopt;
  }
  for (const QelFormatEx& format : formats) {
    const char* offered = MediaOf(format.format);
    if (offered == nullptr || std::strcmp(offered, media) != 0 || format.width != width ||
        format.height != height) {
      continue;
    }
    const Rate rate = RateOf(format);
    // Fractions are reduced on both sides, so equal rates have equal terms.
    if (rate.numerator != numerator || rate.denominator != denominator) continue;
    Mode mode;
    mode.format = format.format;
    mode.width = width;
    mode.height = height;
    mode.frameRate = format.frameRate;
    mode.rateNumerator = numerator;
    mode.rateDenominator = denominator;
    return mode;
  }
  return std::nullopt;
}

GstCaps* TemplateCaps() {
  return gst_caps_from_string(
      "video/x-raw, format=(string)YUY2, width=(int)[1, MAX], height=(int)[1, MAX], "
      "framerate=(fraction)[0/1, MAX]; "
      "image/jpeg, width=(int)[1, MAX], height=(int)[1, MAX], framerate=(fraction)[0/1, MAX]");
}

}  // namespace qel_gst
