// The calling thread's last error, and the log lines at each level.
#include <cstdlib>
#include <string>
#include <thread>

#include "core/log.h"
#include "support/rig_fixture.h"

namespace qel::test {
namespace {

using LastError = RigTest;

void SetLogLevel(const char* level) {
#ifdef _WIN32
  _putenv_s("QEL_LOG", level);
#else
  setenv("QEL_LOG", level, 1);
#endif
  ReloadLogLevel();
}

std::string LastText() {
  char text[256];
  const int32_t length = QelLastError(text, sizeof text);
  EXPECT_EQ(static_cast<std::size_t>(length), std::string(text).size());
  return text;
}

TEST_F(LastError, FailuresTellTheirReasonAndSuccessClearsIt) {
  EXPECT_FALSE(QelSetShutter(5, 100));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NO_CAMERA);
  EXPECT_EQ(LastText(), "QelSetShutter: no camera is open under key 5");
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NO_CAMERA) << "reading it leaves it";

  // Short buffers are cut but the full length is told.
  char cut[8];
  EXPECT_EQ(QelLastError(cut, sizeof cut), 44);
  EXPECT_STREQ(cut, "QelSetS");
  EXPECT_EQ(QelLastError(nullptr, 0), 44);
  std::thread other([] { EXPECT_EQ(QelLastErrorCode(), QEL_OK) << "per thread"; });
  other.join();

  EXPECT_EQ(QelOpen(0, 960, 540, 30.0, "XYZ"), -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BAD_ARGUMENT);
  EXPECT_EQ(LastText(), "QelOpen: \"XYZ\" is not a format name");
  EXPECT_EQ(QelOpen(0, 960, 540, 0.001, "YUY2"), -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_OUT_OF_RANGE);
  EXPECT_EQ(LastText(),
            "QelOpen: the capture graph failed with status 12 (the device refused the size, rate "
            "or format)");

  ASSERT_EQ(QelOpen(0, 960, 540, 30.0, "YUY2"), 0);
  EXPECT_EQ(QelLastErrorCode(), QEL_OK);
  EXPECT_EQ(LastText(), "");
  EXPECT_EQ(QelOpen(0, 960, 540, 30.0, "YUY2"), -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BUSY);
  EXPECT_TRUE(QelSetShutter(0, 100));
  EXPECT_EQ(QelLastErrorCode(), QEL_OK);

  // A reason is kept to 767 characters after the export's name.
  const std::string path(1000, 'p');
  EXPECT_FALSE(QelSoftRewrite(0, path.c_str()));
  char longest[1024];
  ASSERT_EQ(QelLastError(longest, sizeof longest), 16 + 767);
  EXPECT_EQ(std::string(longest), "QelSoftRewrite: \"" + std::string(766, 'p'));
}

TEST_F(LastError, LogLinesFollowTheLevel) {
  const auto run = [](const char* level) {
    SetLogLevel(level);
    testing::internal::CaptureStderr();
    EXPECT_EQ(QelOpen(0, 960, 540, 30.0, "YUY2"), 0);
    EXPECT_TRUE(QelSetShutter(0, 100));
    EXPECT_FALSE(QelSetShutter(6, 100));
    QelClose(0);
    return testing::internal::GetCapturedStderr();
  };
  const std::string debug = run("debug");
  EXPECT_NE(debug.find("qel info: open of key 0 (960x540 at 30, YUY2): capture status 0"),
            std::string::npos)
      << debug;
  EXPECT_NE(debug.find("qel debug: HID command 0x32 sequence"), std::string::npos) << debug;
  EXPECT_NE(debug.find("qel error: QelSetShutter: no camera is open under key 6"),
            std::string::npos);
  EXPECT_NE(debug.find("qel info: close of key 0"), std::string::npos);

  const std::string error = run("error");
  EXPECT_EQ(error, "qel error: QelSetShutter: no camera is open under key 6\n");
  EXPECT_EQ(run("off"), "");
  SetLogLevel("");
}

}  // namespace
}  // namespace qel::test
