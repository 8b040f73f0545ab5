#include "support/rig_fixture.h"

namespace qel::test {

void RigTest::SetUp() {
  qelsim_reset(1);
  qelsim_set_virtual_time(1);
}

void RigTest::TearDown() {
  qelsim_reset(0);
}

void EmptyRigTest::SetUp() {
  qelsim_reset(0);
  qelsim_set_virtual_time(1);
}

}  // namespace qel::test
