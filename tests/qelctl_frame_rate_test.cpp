// The frame rate an interval or a listed rate stands for.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "frame_rate.h"

namespace {

std::string Written(const qelctl::NominalRate& rate) {
  return rate.text + " = " + std::to_string(rate.numerator) + "/" +
         std::to_string(rate.denominator);
}

TEST(NominalRate, IntervalsSnapToWholeAndVideoRates) {
  EXPECT_EQ(Written(qelctl::NominalRateOfInterval(333333)), "30 = 30/1");
  EXPECT_EQ(Written(qelctl::NominalRateOfInterval(166667)), "60 = 60/1");
  EXPECT_EQ(Written(qelctl::NominalRateOfInterval(166833)), "59.94 = 60000/1001");
  EXPECT_EQ(Written(qelctl::NominalRateOfInterval(333667)), "29.97 = 30000/1001");
  EXPECT_EQ(Written(qelctl::NominalRateOfInterval(417083)), "23.976 = 24000/1001");
  EXPECT_EQ(Written(qelctl::NominalRateOfInterval(41667)), "240 = 240/1");
  // Neither form: the interval's own fraction.
  EXPECT_EQ(Written(qelctl::NominalRateOfInterval(1333333)), "7.5 = 10000000/1333333");
  EXPECT_EQ(Written(qelctl::NominalRateOfInterval(20000000)), "0.5 = 1/2");
  EXPECT_EQ(Written(qelctl::NominalRateOfInterval(0)), "0 = 0/1");
  EXPECT_EQ(Written(qelctl::NominalRateOfInterval(-1)), "0 = 0/1");
}

TEST(NominalRate, ListedRatesSnapWithinAHairAndKeepThousandthsOtherwise) {
  // As devices list them: 10^7 / interval with six decimals.
  EXPECT_EQ(Written(qelctl::NominalRateOf(30.000030)), "30 = 30/1");
  EXPECT_EQ(Written(qelctl::NominalRateOf(59.999880)), "60 = 60/1");
  EXPECT_EQ(Written(qelctl::NominalRateOf(14.999993)), "15 = 15/1");
  EXPECT_EQ(Written(qelctl::NominalRateOf(239.998080)), "240 = 240/1");
  EXPECT_EQ(Written(qelctl::NominalRateOf(59.940171)), "59.94 = 60000/1001");
  EXPECT_EQ(Written(qelctl::NominalRateOf(119.88)), "119.88 = 120000/1001");
  // More than 0.05 % off both 60 and 59.94.
  EXPECT_EQ(Written(qelctl::NominalRateOf(59.9)), "59.9 = 599/10");
  EXPECT_EQ(Written(qelctl::NominalRateOf(7.5)), "7.5 = 15/2");
  EXPECT_EQ(Written(qelctl::NominalRateOf(12.3456)), "12.346 = 6173/500");
  EXPECT_DOUBLE_EQ(qelctl::NominalRateOf(29.97).fps(), 30000.0 / 1001.0);
  for (double none :
       {0.0, -30.0, 0.0001, 1e-300, 2e7, std::nan(""), std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(Written(qelctl::NominalRateOf(none)), "0 = 0/1") << none;
  }
}

}  // namespace
