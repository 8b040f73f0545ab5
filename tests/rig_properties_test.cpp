// The video property interfaces of the rig's capture filters.
#include <memory>

#include "support/rig_fixture.h"
#include "support/rig_graph.h"

namespace qel::test {
namespace {

constexpr HResult kUnsupported = static_cast<HResult>(0x80070490);

class RigProperties : public ComRigTest {
 protected:
  std::unique_ptr<platform::BaseFilter> Filter(int position) {
    Monikers m = Enumerate();
    std::unique_ptr<platform::BaseFilter> filter;
    m.all.at(static_cast<std::size_t>(position))->BindToObject(filter);
    return filter;
  }
};

TEST_F(RigProperties, FamilyCamerasOfferTheirFiveProperties) {
  auto filter = Filter(1);
  std::unique_ptr<platform::VideoPropertySet> amp, control;
  ASSERT_EQ(filter->QueryVideoProcAmp(amp), kOk);
  ASSERT_EQ(filter->QueryCameraControl(control), kOk);
  long min, max, step, def, caps;
  struct Expected {
    platform::VideoPropertySet* set;
    long property, min, max, def;
  };
  for (const Expected& e : {Expected{amp.get(), 0, 0, 64, 0}, Expected{amp.get(), 1, 0, 1, 0},
                            Expected{amp.get(), 2, 1, 2, 1}, Expected{amp.get(), 9, 0, 4095, 0},
                            Expected{control.get(), 4, -13, 0, -6}}) {
    ASSERT_EQ(e.set->GetRange(e.property, min, max, step, def, caps), kOk) << e.property;
    EXPECT_EQ(min, e.min);
    EXPECT_EQ(max, e.max);
    EXPECT_EQ(def, e.def);
  }
  for (long p : {3L, 4L, 8L, 10L, -1L}) {
    EXPECT_EQ(amp->GetRange(p, min, max, step, def, caps), kUnsupported) << p;
  }
  EXPECT_EQ(control->GetRange(0, min, max, step, def, caps), kUnsupported);

  auto qel2 = Filter(2);
  std::unique_ptr<platform::VideoPropertySet> qel2Amp;
  ASSERT_EQ(qel2->QueryVideoProcAmp(qel2Amp), kOk);
  ASSERT_EQ(qel2Amp->GetRange(9, min, max, step, def, caps), kOk);
  EXPECT_EQ(max, 240);
}

TEST_F(RigProperties, SetStoresValuesWithinTheRangeAndEveryCallIsLogged) {
  auto filter = Filter(1);
  std::unique_ptr<platform::VideoPropertySet> amp, control;
  ASSERT_EQ(filter->QueryVideoProcAmp(amp), kOk);
  ASSERT_EQ(filter->QueryCameraControl(control), kOk);
  EXPECT_EQ(amp->Set(0, 64, 2), kOk);
  EXPECT_EQ(amp->Set(0, 65, 2), platform::kInvalidArg);
  EXPECT_EQ(control->Set(4, -13, 2), kOk);
  EXPECT_EQ(control->Set(4, -14, 2), platform::kInvalidArg);
  long value = 0, flags = 0;
  ASSERT_EQ(amp->Get(0, value, flags), kOk);
  EXPECT_EQ(value, 64);
  EXPECT_EQ(flags, 2);
  std::int32_t v = 0, f = 0;
  ASSERT_EQ(qelsim_get_property(kQel5Device, 14, &v, &f), 0);
  EXPECT_EQ(v, -13);

  ASSERT_EQ(qelsim_log_property_count(kQel5Device), 4);
  int property = 0;
  ASSERT_EQ(qelsim_log_property(kQel5Device, 3, &property, &v, &f), 0);
  EXPECT_EQ(property, 14);
  EXPECT_EQ(v, -14);
  EXPECT_EQ(qelsim_log_property(kQel5Device, 4, &property, &v, &f), -1);

  // Another filter instance of the same device sees the same properties.
  std::unique_ptr<platform::VideoPropertySet> again;
  ASSERT_EQ(Filter(1)->QueryVideoProcAmp(again), kOk);
  ASSERT_EQ(again->Get(0, value, flags), kOk);
  EXPECT_EQ(value, 64);
}

TEST_F(RigProperties, ConfiguredSupportInterfacesAndFaults) {
  qelsim_set_property(kWebcamDevice, 4, 1, 0, 7, 1, 3, 3, 1);
  qelsim_set_property_interfaces(kWebcamDevice, 1, 0);
  auto filter = Filter(3);
  std::unique_ptr<platform::VideoPropertySet> amp, control;
  EXPECT_EQ(filter->QueryCameraControl(control), platform::kNoInterface);
  ASSERT_EQ(filter->QueryVideoProcAmp(amp), kOk);
  long min, max, step, def, caps, value, flags;
  ASSERT_EQ(amp->GetRange(4, min, max, step, def, caps), kOk);
  EXPECT_EQ(max, 7);
  ASSERT_EQ(amp->Get(4, value, flags), kOk);
  EXPECT_EQ(flags, 1);

  qelsim_inject_fault(kWebcamDevice, "GetRange", 0, 1);
  qelsim_inject_fault(kWebcamDevice, "Set", 1, 1);
  EXPECT_NE(amp->GetRange(4, min, max, step, def, caps), kOk);
  EXPECT_EQ(amp->GetRange(4, min, max, step, def, caps), kOk);
  EXPECT_EQ(amp->Set(4, 5, 2), kOk);
  EXPECT_NE(amp->Set(4, 6, 2), kOk);
  ASSERT_EQ(amp->Get(4, value, flags), kOk);
  EXPECT_EQ(value, 5);

  auto software = Filter(0);
  EXPECT_EQ(software->QueryVideoProcAmp(amp), platform::kNoInterface);
}

}  // namespace
}  // namespace qel::test
