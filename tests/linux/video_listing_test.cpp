// Listing and formats of video nodes through the exports.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/linux/linux_platform.h"
#include "qel/qel.h"
#include "video_fixture.h"

namespace qel::test {
namespace {

using VideoListing = LinuxVideoTest;

TEST_F(VideoListing, CaptureNodesListInMinorOrderAndPairWithTheirOwnHid) {
  AddCamera(2, 1, {.port = "1-2.3", .address = 50, .serial = "00C0FFEE", .productName = "QEL2"});
  AddCamera(0, 0, {.port = "1-2", .address = 5, .serial = "0000ABCD", .productName = "QEL5"});
  sysfs.AddPlatformVideo(4);  // off USB: named by the driver's card
  v4l2.Node("/dev/video4").card = "Virtual, Camera";
  sysfs.AddPlatformVideo(5);  // a converter
  v4l2.Node("/dev/video5").deviceCaps = V4L2_CAP_VIDEO_M2M | V4L2_CAP_STREAMING;
  sysfs.AddPlatformVideo(6);  // capture without streaming
  v4l2.Node("/dev/video6").deviceCaps = V4L2_CAP_VIDEO_CAPTURE;

  int count = 0;
  EXPECT_EQ(List(false, &count), "QEL5,QEL2,Virtual- Camera");
  EXPECT_EQ(count, 3);
  EXPECT_EQ(v4l2.Node("/dev/video0").openFlags, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  // Each camera shows its own serial: 1-2 is not taken for 1-2.3.
  EXPECT_EQ(List(true), "QEL5#0000ABCD,QEL2#00C0FFEE,Virtual- Camera");
  EXPECT_EQ(v4l2.opened, v4l2.closed);
  EXPECT_EQ(system.opened, system.closed);
}

TEST_F(VideoListing, NamesFallBackAndNoCameraListsEmpty) {
  EXPECT_EQ(List(false), "");
  AddCamera(0, 0, {.address = 5, .productName = ""});  // no product string
  v4l2.Node("/dev/video0").card = "";
  sysfs.AddPlatformVideo(3);
  v4l2.Node("/dev/video3").card = "Card Three";
  EXPECT_EQ(List(false), "node video0,Card Three");
}

TEST_F(VideoListing, NodeGivenToAnotherDeviceIsNotBound) {
  AddCamera(0, 0, {.address = 5});
  std::unique_ptr<platform::CreateDevEnum> devEnum;
  std::unique_ptr<platform::EnumMoniker> monikers;
  std::unique_ptr<platform::Moniker> moniker;
  ASSERT_EQ(platform::linux_hw::HardwarePlatform().CreateSystemDeviceEnum(devEnum), platform::kOk);
  ASSERT_EQ(devEnum->CreateVideoInputEnumerator(monikers), platform::kOk);
  ASSERT_EQ(monikers->Next(moniker), platform::kOk);
  std::u16string name;
  ASSERT_EQ(moniker->GetDisplayName(name), platform::kOk);
  EXPECT_NE(name.find(u"#b001&d005&0&0000#"), std::u16string::npos);
  std::unique_ptr<platform::BaseFilter> filter;
  EXPECT_EQ(monikers->Next(moniker), platform::kFalse);  // the twin is not listed

  ASSERT_EQ(devEnum->CreateVideoInputEnumerator(monikers), platform::kOk);
  ASSERT_EQ(monikers->Next(moniker), platform::kOk);
  // Between the listing and the binding another device took the minor.
  v4l2.Node("/dev/video0").busInfo = "usb-0000:00:14.0-4";
  EXPECT_EQ(moniker->BindToObject(filter), platform::kFail);
  EXPECT_FALSE(filter);
  v4l2.Node("/dev/video0").busInfo = "usb-0000:00:14.0-1-2";
  EXPECT_EQ(moniker->BindToObject(filter), platform::kOk);
  filter.reset();
  EXPECT_EQ(v4l2.opened, v4l2.closed);
}

TEST_F(VideoListing, FormatsComeFromEveryFormatSizeAndInterval) {
  AddCamera(0, 0, {.address = 5});
  char text[512] = {};
  ASSERT_EQ(QelGetFormat(0, text, sizeof text), 1);
  EXPECT_STREQ(text,
               "0,640,480,30.000030,YUY2,1,320,240,30.000030,YUY2,2,1280,720,30.000030,MJPG,");
  QelFormatEx formats[4] = {};
  ASSERT_EQ(QelGetFormatListEx(0, formats, 4), 3);
  EXPECT_EQ(formats[0].frameInterval, 333333);  // the first listed interval, rounded
  EXPECT_STREQ(formats[2].format, "MJPG");

  // A stepwise range is listed at its largest size; a pixel format the
  // framework names its own way keeps its name.
  v4l2.Node("/dev/video0").formats = {
      {V4L2_PIX_FMT_YUYV, {{160, 120, {{1, 60}}}, {800, 600, {{1, 60}}}}, true},
      {V4L2_PIX_FMT_BGR24, {{64, 48, {{2, 25}}}}, false}};
  ASSERT_EQ(QelGetFormatListEx(0, formats, 4), 2);
  EXPECT_EQ(formats[0].width, 800);
  EXPECT_EQ(formats[0].height, 600);
  EXPECT_EQ(formats[1].frameInterval, 800000);
  EXPECT_STREQ(formats[1].format, "RGB24");
}

}  // namespace
}  // namespace qel::test
