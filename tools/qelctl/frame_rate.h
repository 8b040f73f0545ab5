// The frame rate a frame interval stands for, as a person writes it: a
// device lists 10^7 / interval (30.000030 for an interval of 333333), which
// means 30; an interval of 166833 means 59.94, the 60000/1001 of video. The
// rule is the library's (QelNominalFrameRate), so that the tool, the Python
// package and the GStreamer element agree.
#pragma once

#include <cstdint>
#include <string>

namespace qelctl {

struct NominalRate {
  // The rate as a reduced fraction of frames per second: 30/1, 60000/1001,
  // 15/2. 0/1 for no rate (an interval of 0, a rate of 0, negative or not
  // finite).
  std::int64_t numerator = 0;
  std::int64_t denominator = 1;
  // The rate as written: "30", "59.94", "23.976", "7.5".
  std::string text = "0";

  double fps() const { return static_cast<double>(numerator) / static_cast<double>(denominator); }
};

// A rate within 0.05 % of a whole number n, or of n * 1000/1001, is that
// rate; any other is kept to a thousandth of a frame per second.
NominalRate NominalRateOf(double fps);
// The same for a frame interval in units of 100 ns; a rate that snaps to
// neither form keeps the interval's exact fraction 10^7 / interval.
NominalRate NominalRateOfInterval(std::int64_t interval100ns);

}  // namespace qelctl
