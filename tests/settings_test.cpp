// The settings by name: what each model has, and that getting and setting
// by name is the named export, with its ranges and reasons.
#include <string>
#include <vector>

#include "support/rig_fixture.h"

namespace qel::test {
namespace {

class SettingsTest : public EveryModelRigTest {
 protected:
  void SetUp() override {
    EveryModelRigTest::SetUp();
    OpenFamily();
    ASSERT_EQ(QelOpen(kWebcam, 640, 480, 30.0, "YUY2"), 1);
  }
  static std::vector<QelSetting> List(int key) {
    const int count = QelGetSettingList(key, nullptr, 0);
    std::vector<QelSetting> settings(count > 0 ? count : 0);
    EXPECT_EQ(QelGetSettingList(key, settings.data(), count), count);
    return settings;
  }
  static std::string Names(int key) {
    std::string names;
    for (const QelSetting& s : List(key)) names += std::string(names.empty() ? "" : " ") + s.name;
    return names;
  }
  static const QelSetting* Find(const std::vector<QelSetting>& list, const std::string& name) {
    for (const QelSetting& s : list) {
      if (name == s.name) return &s;
    }
    return nullptr;
  }
  static std::string LastError() {
    char text[512] = {};
    QelLastError(text, sizeof text);
    return text;
  }
};

TEST_F(SettingsTest, EachModelListsItsOwnSettingsWithTheirRangesAndValues) {
  EXPECT_EQ(Names(kQel5),
            "led gain xgain exposure shutter shutter-time analog-gain digital-gain xdigital-gain "
            "camera-number colorbar defect-correction");
  EXPECT_EQ(Names(kQel2),
            "led gain xgain exposure shutter shutter-time digital-gain xdigital-gain "
            "camera-number colorbar defect-correction");
  EXPECT_EQ(Names(kQel),
            "led gain xgain exposure shutter shutter-time digital-gain xdigital-gain "
            "camera-number colorbar gpio-direction gpio-output gpio-input");
  EXPECT_EQ(Names(kWebcam), "exposure");
  EXPECT_EQ(QelGetSettingList(9, nullptr, 0), -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NO_CAMERA);

  ASSERT_TRUE(QelSetShutter(kQel5, 1234));
  ASSERT_TRUE(QelSetDigitalGain(kQel5, 400, 800, 1200, 1600));
  const std::vector<QelSetting> qel5 = List(kQel5);
  // Ranges as the exports answer them for this model.
  const QelSetting* shutter = Find(qel5, "shutter");
  ASSERT_NE(shutter, nullptr);
  EXPECT_EQ(shutter->kind, QEL_SETTING_INTEGER);
  EXPECT_EQ(shutter->minimum, 1);
  EXPECT_EQ(shutter->maximum, 10000);
  EXPECT_STREQ(shutter->unit, "lines");
  EXPECT_STREQ(shutter->call, "QelSetShutter");
  EXPECT_EQ(shutter->flags & QEL_SETTING_HAS_VALUE, QEL_SETTING_HAS_VALUE);
  EXPECT_EQ(shutter->value[0], 1234);
  EXPECT_EQ(Find(qel5, "xgain")->maximum, 4095);
  EXPECT_EQ(Find(List(kQel2), "xgain")->maximum, 240);
  const QelSetting* gains = Find(qel5, "digital-gain");
  EXPECT_EQ(gains->kind, QEL_SETTING_GROUP);
  EXPECT_EQ(gains->valueCount, 4);
  EXPECT_EQ(std::vector<double>(gains->value, gains->value + 4),
            (std::vector<double>{400, 800, 1200, 1600}));
  EXPECT_EQ(Find(qel5, "shutter-time")->kind, QEL_SETTING_REAL);
  EXPECT_EQ(Find(qel5, "colorbar")->kind, QEL_SETTING_BOOLEAN);
  const QelSetting* number = Find(qel5, "camera-number");
  EXPECT_EQ(number->kind, QEL_SETTING_CHOICE);
  ASSERT_EQ(number->choiceCount, 2);
  EXPECT_EQ(number->choices[1].value, 2);
  // The video-class controls have the device's default; command settings
  // have none. Write-only settings have no value.
  EXPECT_EQ(Find(qel5, "led")->flags & QEL_SETTING_HAS_DEFAULT, QEL_SETTING_HAS_DEFAULT);
  EXPECT_EQ(shutter->flags & QEL_SETTING_HAS_DEFAULT, 0u);
  const std::vector<QelSetting> qel = List(kQel);
  EXPECT_EQ(Find(qel, "gpio-direction")->access, QEL_SETTING_WRITE);
  EXPECT_EQ(Find(qel, "gpio-direction")->flags & QEL_SETTING_HAS_VALUE, 0u);
  EXPECT_EQ(Find(qel, "gpio-input")->access, QEL_SETTING_READ);
  // A short list gets what fits and the whole count.
  QelSetting two[2];
  EXPECT_EQ(QelGetSettingList(kQel5, two, 2), 12);
  EXPECT_STREQ(two[1].name, "gain");
}

TEST_F(SettingsTest, GetAndSetByNameAreTheNamedExports) {
  const double led = 32;
  ASSERT_TRUE(QelSetSetting(kQel5, "led", &led, 1));
  std::int32_t level = 0;
  ASSERT_TRUE(QelGetLed(kQel5, &level));
  EXPECT_EQ(level, 32);
  double value = 0;
  ASSERT_TRUE(QelGetSetting(kQel5, "led", &value, 1));
  EXPECT_EQ(value, 32);

  // The export's range and reason.
  const double lines = 20000;
  EXPECT_FALSE(QelSetSetting(kQel5, "shutter", &lines, 1));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_OUT_OF_RANGE);
  EXPECT_NE(LastError().find("20000 lines is outside 1..10000"), std::string::npos) << LastError();
  // The classic export cuts a count to 16 bits (65537 would be 1 line); by
  // name it is outside the range.
  for (const double cut : {65537.0, -65535.0}) {
    EXPECT_FALSE(QelSetSetting(kQel5, "shutter", &cut, 1)) << cut;
    EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_OUT_OF_RANGE);
  }
  const double seconds = 0.02;
  ASSERT_TRUE(QelSetSetting(kQel5, "shutter-time", &seconds, 1));
  // One value sets a whole group; four set each member.
  const double one = 400, four[4] = {400, 800, 1200, 1600};
  ASSERT_TRUE(QelSetSetting(kQel5, "digital-gain", &one, 1));
  double gains[4] = {};
  ASSERT_TRUE(QelGetSetting(kQel5, "digital-gain", gains, 4));
  EXPECT_EQ(gains[3], 400);
  ASSERT_TRUE(QelSetSetting(kQel5, "digital-gain", four, 4));
  ASSERT_TRUE(QelGetSetting(kQel5, "digital-gain", gains, 4));
  EXPECT_EQ(std::vector<double>(gains, gains + 4), (std::vector<double>{400, 800, 1200, 1600}));
  EXPECT_FALSE(QelGetSetting(kQel5, "digital-gain", gains, 1));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BAD_ARGUMENT);

  // Refusals of the settings' own.
  const double half = 1.5;
  EXPECT_FALSE(QelSetSetting(kQel5, "gain", &half, 1));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BAD_ARGUMENT);
  EXPECT_FALSE(QelSetSetting(kQel5, "brightness", &led, 1));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BAD_ARGUMENT);
  EXPECT_NE(LastError().find("led, gain"), std::string::npos) << LastError();
  EXPECT_FALSE(QelSetSetting(kQel2, "analog-gain", &one, 1));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NOT_SUPPORTED);
  EXPECT_FALSE(QelSetSetting(kWebcam, "led", &led, 1));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NOT_SUPPORTED);
  EXPECT_FALSE(QelSetSetting(kQel, "gpio-input", &one, 1));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NOT_SUPPORTED);
  EXPECT_FALSE(QelGetSetting(kQel, "gpio-direction", &value, 1));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NOT_SUPPORTED);
  // The GPIO export sends a low byte; by name, what is no byte is refused.
  const double notAByte = 0x1FF;
  EXPECT_FALSE(QelSetSetting(kQel, "gpio-output", &notAByte, 1));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_OUT_OF_RANGE);
  const double exposure = -5;
  EXPECT_TRUE(QelSetSetting(kWebcam, "exposure", &exposure, 1));
  QelSetting described{};
  ASSERT_TRUE(QelDescribeSetting(kWebcam, "exposure", &described));
  EXPECT_EQ(described.value[0], -5);
  EXPECT_EQ(described.minimum, -13);
}

}  // namespace
}  // namespace qel::test
