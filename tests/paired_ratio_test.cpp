// The benchmarks' paired timing: the order within a pair alternates, warm-up
// pairs are dropped, and the ratio is the median over blocks of two pairs in
// opposite order, so that neither a drift of the machine's speed, nor one
// disturbed block, nor which side ran first moves it.
#include "support/paired_ratio.h"

#include <gtest/gtest.h>

#include <string>

namespace qel::bench {
namespace {

TEST(PairedRatio, PairsAlternateTheirOrderAfterAnUnkeptWarmUp) {
  std::string order;
  const TimedWork baseline{[&] { order += 'p'; }, [&] { order += 'b'; }};
  const TimedWork subject{{}, [&] { order += 's'; }};
  const PairedTimes times = TimePairs(baseline, subject, 3, 1);
  EXPECT_EQ(order,
            "spb"
            "pbs"
            "spb"
            "pbs")
      << "each side prepared just before its timing";
  EXPECT_EQ(times.baselineNs.size(), 3u);
  EXPECT_EQ(times.subjectNs.size(), 3u);
}

TEST(PairedRatio, RatioIsTheMedianOverBlocksOfTwoPairsInOppositeOrder) {
  // Each block: a baseline-first pair at 2.0 and a subject-first pair at
  // 1.25, together 1.5. The machine's speed drifts from block to block and
  // one block is disturbed.
  PairedTimes times;
  for (const double scale : {1.0, 4.0, 2.0, 8.0, 16.0}) {
    const double disturbed = scale == 16.0 ? 10.0 : 1.0;
    times.baselineNs.insert(times.baselineNs.end(), {100 * scale, 200 * scale});
    times.subjectNs.insert(times.subjectNs.end(),
                           {200 * scale * disturbed, 250 * scale * disturbed});
  }
  const RatioSummary summary = Summarise(times);
  EXPECT_EQ(summary.blocks, 5);
  EXPECT_DOUBLE_EQ(summary.median, 1.5);
  EXPECT_DOUBLE_EQ(summary.lowQuartile, 1.5);
  EXPECT_DOUBLE_EQ(summary.highQuartile, 1.5);
  EXPECT_DOUBLE_EQ(summary.differenceNs, 300.0) << "per run, half a block's difference";
  EXPECT_DOUBLE_EQ(Quantile({3, 1, 2, 4}, 0.5), 2.5);
}

}  // namespace
}  // namespace qel::bench
