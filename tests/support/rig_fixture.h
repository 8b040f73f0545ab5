// Test fixture: every test starts with the rig's default population on the
// virtual clock, and ends with every camera closed and the rig emptied.
#pragma once

#include <gtest/gtest.h>

#include "qel/qel.h"
#include "qel/qelsim.h"

namespace qel::test {

class RigTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// Same, but the rig starts empty.
class EmptyRigTest : public RigTest {
 protected:
  void SetUp() override;
};

}  // namespace qel::test
