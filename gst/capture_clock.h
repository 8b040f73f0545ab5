// A frame's timestamp: the pipeline's running time at which it was captured,
// derived from the camera's sample time (seconds since its stream started) so
// that the spacing of the timestamps is the camera's, not that of the threads
// which passed the frame on.
//
// The offset between the two clocks is the smallest seen between a frame's
// receipt and its sample time, since a frame cannot arrive before it was
// taken; it starts again when the stream's clock restarts or the camera's
// clock has fallen behind by more than kMaxLag (a pause, drift). Timestamps
// always rise. Not thread-safe: the streaming thread owns it.
#pragma once

#include <gst/gst.h>

namespace qel_gst {

class CaptureClock {
 public:
  static constexpr GstClockTime kMaxLag = 200 * GST_MSECOND;

  // The timestamp of a frame with the camera's sampleTime, received at the
  // running time receivedAt.
  GstClockTime TimestampOf(double sampleTime, GstClockTime receivedAt);
  void Reset() { *this = CaptureClock{}; }

 private:
  bool anchored_ = false;
  GstClockTimeDiff offset_ = 0;  // running time minus sample time
  GstClockTime lastSample_ = 0;
  GstClockTime lastTimestamp_ = GST_CLOCK_TIME_NONE;
};

}  // namespace qel_gst
