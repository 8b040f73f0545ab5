// The C++ wrapper (qel/qel.hpp) over the exports: ownership of the key and
// the handler, frames that own their bytes, settings by name, and failures
// as exceptions with the library's code and reason.
#include "qel/qel.hpp"

#include <atomic>
#include <chrono>
#include <utility>

#include "support/rig_fixture.h"

namespace qel::test {
namespace {

using CppWrapper = EveryModelRigTest;
using CppWrapperListing = EmptyRigTest;
using std::chrono::milliseconds;

bool IsOpen(int32_t key) { return QelGetStreamFormat(key, nullptr, nullptr, nullptr, nullptr, 0); }

TEST_F(CppWrapper, CameraOwnsItsKeyHandlerAndFrames) {
  std::atomic<int> handled{0};
  {
    qel::Camera camera = qel::Camera::Open(kQel5, 480, 270, 30.0);
    EXPECT_FALSE(camera.captureOnly());
    camera.OnFrame([&](const unsigned char*, const QelFrameInfo& info) {
      if (info.width == 480) ++handled;
    });
    qelsim_advance_ms(34);
    std::optional<qel::Frame> frame = camera.Receive();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->bytes.size(), 480u * 270u * 2u);
    EXPECT_STREQ(frame->info.formatName, "YUY2");
    int64_t counter = 0;
    EXPECT_EQ(qelsim_check_frame(frame->bytes.data(), static_cast<int32_t>(frame->bytes.size()),
                                 &counter),
              1);
    EXPECT_FALSE(camera.Receive()) << "no new frame yet";
    EXPECT_GE(handled.load(), 1);

    // Moved: the new owner keeps the key and the handler; the old one closes nothing.
    qel::Camera moved = std::move(camera);
    EXPECT_EQ(camera.key(), -1);
    EXPECT_TRUE(IsOpen(kQel5));
    const int before = handled.load();
    qelsim_advance_ms(34);
    EXPECT_GT(handled.load(), before);
    EXPECT_TRUE(moved.Wait(milliseconds(0)));
  }
  EXPECT_FALSE(IsOpen(kQel5)) << "closed by the destructor";

  qel::Camera webcam = qel::Camera::Open(kWebcam, 640, 480, 30.0);
  EXPECT_TRUE(webcam.captureOnly());
  EXPECT_EQ(qel::ListDevices().at(kQel5).serialText, "QEL5#0000ABCD");
  EXPECT_EQ(qel::ListDevices().at(kWebcam).serialText, "");
  EXPECT_FALSE(qel::Formats(kQel5).empty());
}

TEST_F(CppWrapper, SettingsByNameAndFailuresAsExceptions) {
  qel::Camera camera = qel::Camera::Open(kQel5, 480, 270, 30.0);
  camera.Set("led", 32);
  EXPECT_EQ(camera.Get("led"), 32);
  camera.Set("digital-gain", {400, 800, 1200, 1600});
  EXPECT_EQ(camera.GetGroup("digital-gain"), (std::vector<double>{400, 800, 1200, 1600}));
  EXPECT_EQ(camera.Describe("shutter").maximum, 10000);
  EXPECT_EQ(camera.Settings().size(), 12u);
  try {
    camera.Set("shutter", 20000);
    FAIL() << "no exception";
  } catch (const qel::Error& error) {
    EXPECT_EQ(error.code(), QEL_ERROR_OUT_OF_RANGE);
    EXPECT_NE(std::string(error.what()).find("20000 lines"), std::string::npos) << error.what();
  }
  try {
    qel::Camera::Open(kQel5, 480, 270, 30.0);
    FAIL() << "opened twice";
  } catch (const qel::Error& error) {
    EXPECT_EQ(error.code(), QEL_ERROR_BUSY);
  }
  EXPECT_THROW(qel::Camera::OpenSerial("QEL5#FFFFFFFF", 480, 270, 30.0), qel::Error);
}

// A device without a name is an empty entry of the listing; the devices after
// it keep their positions, and so does a lone nameless one.
TEST_F(CppWrapperListing, NamelessDevicesKeepEveryPosition) {
  ASSERT_EQ(qelsim_add_webcam(""), 0);
  EXPECT_EQ(qel::ListDeviceNames(), std::vector<std::string>{""});
  ASSERT_EQ(qelsim_add_webcam(""), 1);
  ASSERT_EQ(qelsim_add_camera("QEL5", 0x0000ABCD), 2);
  const std::vector<qel::Device> devices = qel::ListDevices();
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[1].name, "");
  EXPECT_EQ(devices[2].position, 2);
  EXPECT_EQ(devices[2].serialText, "QEL5#0000ABCD");
  EXPECT_EQ(devices[2].listed(), "QEL5#0000ABCD");
  EXPECT_EQ(devices[1].listed(), "");
}

}  // namespace
}  // namespace qel::test
