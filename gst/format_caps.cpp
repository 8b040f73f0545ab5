#include "format_caps.h"

#include <cstring>

#include "frame_rate.h"

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

// The listed rate as a fraction: from the frame interval where the device
// gives one, else from the rounded rate.
qelctl::NominalRate RateOf(const QelFormatEx& format) {
  return format.frameInterval > 0 ? qelctl::NominalRateOfInterval(format.frameInterval)
                                  : qelctl::NominalRateOf(format.frameRate);
}

bool FitsCapsFraction(const qelctl::NominalRate& rate) {
  return rate.numerator > 0 && rate.numerator <= G_MAXINT && rate.denominator <= G_MAXINT;
}

GstStructure* StructureOf(const QelFormatEx& format, const char* media,
                          const qelctl::NominalRate& rate) {
  GstStructure* s = gst_structure_new(media, "width", G_TYPE_INT, format.width, "height",
                                      G_TYPE_INT, format.height, "framerate", GST_TYPE_FRACTION,
                                      static_cast<int>(rate.numerator),
                                      static_cast<int>(rate.denominator), nullptr);
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
    const qelctl::NominalRate rate = RateOf(format);
    if (media == nullptr || format.width <= 0 || format.height <= 0 || !FitsCapsFraction(rate)) {
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
    const qelctl::NominalRate rate = RateOf(format);
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
