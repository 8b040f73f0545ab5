#include "capture_clock.h"

#include <cmath>

namespace qel_gst {

GstClockTime CaptureClock::TimestampOf(double sampleTime, GstClockTime receivedAt) {
  const GstClockTime sample = std::isfinite(sampleTime) && sampleTime > 0.0
                                  ? static_cast<GstClockTime>(sampleTime * GST_SECOND)
                                  : 0;
  const GstClockTimeDiff delay = GST_CLOCK_DIFF(sample, receivedAt);
  if (!anchored_ || sample < lastSample_ || delay < offset_ ||
      delay - offset_ > static_cast<GstClockTimeDiff>(kMaxLag)) {
    offset_ = delay;
    anchored_ = true;
  }
  lastSample_ = sample;
  const GstClockTimeDiff derived = static_cast<GstClockTimeDiff>(sample) + offset_;
  GstClockTime timestamp = derived > 0 ? static_cast<GstClockTime>(derived) : 0;
  if (GST_CLOCK_TIME_IS_VALID(lastTimestamp_) && timestamp <= lastTimestamp_) {
    timestamp = lastTimestamp_ + 1;
  }
  lastTimestamp_ = timestamp;
  return timestamp;
}

}  // namespace qel_gst
