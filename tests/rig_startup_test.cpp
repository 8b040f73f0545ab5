// A program of its own: the rig's state at process start is what it checks.
#include <gtest/gtest.h>

#include <cstring>

#include "qel/qel.h"
#include "qel/qelsim.h"

TEST(RigStartup, ProcessStartsWithTheDefaultPopulation) {
  qelsim_enable(1);
  EXPECT_EQ(qelsim_device_count(), 4);
  char list[256];
  ASSERT_EQ(QelGetDeviceWithSerialNo(list, sizeof list), 3);
  EXPECT_STREQ(list, "QEL5#0000ABCD,QEL2#00C0FFEE,USB Camera- HD");
}
