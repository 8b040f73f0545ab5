// Which platform the library talks to: the hardware backend where one is
// built, the rig once chosen by qelsim_enable(1) or QEL_PLATFORM=rig.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/platform.h"
#include "platform/virtual/virtual_platform.h"
#include "qel/qelsim.h"

namespace {

using qel::platform::ActivePlatform;

void SetPlatformVariable(const char* value) {
#ifdef _WIN32
  _putenv_s("QEL_PLATFORM", value == nullptr ? "" : value);
#else
  if (value != nullptr) {
    setenv("QEL_PLATFORM", value, 1);
  } else {
    unsetenv("QEL_PLATFORM");
  }
#endif
}

TEST(PlatformSelection, EnableSwitchesToTheRigAndBackWhereHardwareIsBuilt) {
  qel::platform::Platform& rig = qel::sim::TheVirtualPlatform();
  qelsim_enable(0);
#ifdef QEL_HAS_HARDWARE_BACKEND
  EXPECT_NE(&ActivePlatform(), &rig);
  EXPECT_EQ(qelsim_enabled(), 0);
#else
  // The rig is the only platform built, so it stays.
  EXPECT_EQ(&ActivePlatform(), &rig);
  EXPECT_EQ(qelsim_enabled(), 1);
#endif
  qelsim_enable(1);
  EXPECT_EQ(&ActivePlatform(), &rig);
  EXPECT_EQ(qelsim_enabled(), 1);
}

TEST(PlatformSelection, OnlyQelPlatformRigChoosesTheRig) {
  SetPlatformVariable("rig");
  EXPECT_TRUE(qel::platform::EnvironmentChoosesRig());
  for (const char* other : {"hardware", "", "RIG", "rig2"}) {
    SetPlatformVariable(other);
    EXPECT_FALSE(qel::platform::EnvironmentChoosesRig()) << other;
  }
  SetPlatformVariable(nullptr);
  EXPECT_FALSE(qel::platform::EnvironmentChoosesRig());
}

}  // namespace
