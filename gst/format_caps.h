// The camera's capture formats as GStreamer caps, and back: which listed
// format a negotiated caps structure stands for. Only YUY2 (video/x-raw) and
// MJPG (image/jpeg) are offered; rates are the fractions people mean (30/1,
// 60000/1001), by the library's rule (QelNominalFrameRate).
#pragma once

#include <gst/gst.h>
#include <qel/qel.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qel_gst {

// A format the element can open: the library's name, size and rate as the
// device lists it, and the rate as negotiated.
struct Mode {
  std::string format;  // "YUY2" or "MJPG"
  int width = 0;
  int height = 0;
  double frameRate = 0.0;  // what QelOpenEx is given: the listed rate
  int rateNumerator = 0;
  int rateDenominator = 1;

  // The longest frame the mode delivers in one piece: a YUY2 frame exactly,
  // an MJPG frame nearly always (its length varies; a longer one is handled).
  std::size_t FrameBytes() const;
  // One frame's duration in nanoseconds; GST_CLOCK_TIME_NONE for no rate.
  GstClockTime FrameDuration() const;
};

// Every YUY2 and MJPG format of the list, in the device's order, each as a
// fixed structure; duplicates are merged. An empty caps when none is offered.
// The caller owns the result.
GstCaps* CapsOfFormats(const std::vector<QelFormatEx>& formats);

// The listed format a fixed caps structure names; nothing when the device does
// not list it.
std::optional<Mode> ModeOfCaps(const GstCaps* caps, const std::vector<QelFormatEx>& formats);

// The caps the element may ever produce: its pad template.
GstCaps* TemplateCaps();

}  // namespace qel_gst
