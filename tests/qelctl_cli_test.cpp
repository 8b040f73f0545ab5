// qelctl as a user runs it: its exit codes, what it reads back, the files it
// saves; and the parsing of numbers given on its command line.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "command_support.h"

#if defined(QELCTL_HAVE_PNG)
#  include <png.h>
#endif

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int exitCode = -1;
  std::string output;  // standard output and standard error
};

// Runs qelctl on the rig's virtual clock with the arguments.
ToolRun Qelctl(const std::string& arguments) {
  const std::string command =
      std::string("'") + QELCTL_PATH + "' --virtual-time " + arguments + " 2>&1";
  ToolRun run;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) run.output.append(chunk, n);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class QelctlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) /
           ("qelctl_cli_" +
            std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string File(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(QelctlTest, ExitCodesTellUsageErrorsFromRefusedCalls) {
  const ToolRun ok = Qelctl("set 0 led=64");
  EXPECT_EQ(ok.exitCode, 0) << ok.output;

  const ToolRun refused = Qelctl("set 0 led=65");
  EXPECT_EQ(refused.exitCode, 1) << refused.output;
  EXPECT_TRUE(Contains(refused.output, "QelSetLed failed")) << refused.output;

  // Wrong command lines never reach the camera.
  for (const char* usage :
       {"set 0 brightness=3", "set 0 led", "set 0 led=ten", "set", "register 0 0x10000",
        "register 0 0x12 0x1FF", "frobnicate", "grab 0 --format RGB24 --save x.png"}) {
    const ToolRun run = Qelctl(usage);
    EXPECT_EQ(run.exitCode, 2) << usage << "\n" << run.output;
    EXPECT_FALSE(Contains(run.output, "opened key")) << usage << "\n" << run.output;
  }

  // A key that names no device, and a setting for another model.
  EXPECT_EQ(Qelctl("info 7").exitCode, 1);
  const ToolRun gpio = Qelctl("set 1 gpio-output=0xA5");
  EXPECT_EQ(gpio.exitCode, 1);
  EXPECT_TRUE(Contains(gpio.output, "QelGPIOOutput failed; gpio-output works on QEL cameras only"))
      << gpio.output;
}

TEST_F(QelctlTest, SetReadsBackWhatTheCameraNowReports) {
  const ToolRun run = Qelctl(
      "set QEL2#00C0FFEE led=32 exposure=-5 shutter=0x1F4 "
      "digital-gain=300,400,500,4095 defect-correction=off");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "opened key 1 (QEL2#00C0FFEE)")) << run.output;
  for (const char* row :
       {"led                32 ", "exposure           -5 ", "shutter            500 ",
        "digital-gain       300,400,500,4095 ", "defect-correction  off "}) {
    EXPECT_TRUE(Contains(run.output, row)) << row << "\n" << run.output;
  }
  // A value the library would cut to its low 16 bits is refused instead.
  EXPECT_EQ(Qelctl("set 1 shutter=65537").exitCode, 2);
}

TEST_F(QelctlTest, GetShowsTheSettingsOfTheCamerasKind) {
  const ToolRun qel5 = Qelctl("get 0");
  ASSERT_EQ(qel5.exitCode, 0) << qel5.output;
  EXPECT_TRUE(Contains(qel5.output, "analog-gain")) << qel5.output;
  EXPECT_FALSE(Contains(qel5.output, "gpio-input")) << qel5.output;

  const ToolRun webcam = Qelctl("get 2");
  ASSERT_EQ(webcam.exitCode, 0) << webcam.output;
  EXPECT_TRUE(Contains(webcam.output, "for frames only")) << webcam.output;
  EXPECT_FALSE(Contains(webcam.output, "shutter")) << webcam.output;
}

TEST_F(QelctlTest, GrabSavesYuy2AsPngAndMjpgAsDelivered) {
  const ToolRun png =
      Qelctl("grab 1 --size 328x204 --rate 60 -n 3 --save '" + File("frame.png") + "'");
  ASSERT_EQ(png.exitCode, 0) << png.output;
  EXPECT_TRUE(Contains(png.output, "received 3 frame(s) of 133824 bytes")) << png.output;
  EXPECT_TRUE(Contains(png.output, "60.0 frames/s")) << png.output;
#if defined(QELCTL_HAVE_PNG)
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, File("frame.png").c_str()));
  EXPECT_EQ(image.width, 328u);
  EXPECT_EQ(image.height, 204u);
  png_image_free(&image);
#endif

  // The name gets the extension of what is written.
  const ToolRun jpeg =
      Qelctl("grab 0 --format MJPG --size 960x540 -n 2 --save '" + File("frame.png") + "'");
  ASSERT_EQ(jpeg.exitCode, 0) << jpeg.output;
  ASSERT_TRUE(fs::exists(File("frame.jpg"))) << jpeg.output;
  EXPECT_TRUE(Contains(jpeg.output, std::to_string(fs::file_size(File("frame.jpg"))) +
                                        " bytes of MJPG as delivered"))
      << jpeg.output;
}

TEST_F(QelctlTest, DefectTablesAreSetAndReadBack) {
  const ToolRun run = Qelctl("defects set 1 --camera 2 --size-index 1 -- 0,0 655,407 -,5");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "camera 2, size index 1 (656x408): 3 point(s)")) << run.output;
  EXPECT_TRUE(Contains(run.output, "0: 0,0")) << run.output;
  EXPECT_TRUE(Contains(run.output, "1: 655,407")) << run.output;
  EXPECT_TRUE(Contains(run.output, "2: -,5")) << run.output;

  // A point outside the 656x408 frame is the library's refusal.
  const ToolRun outside = Qelctl("defects set 1 --camera 2 --size-index 1 656,0");
  EXPECT_EQ(outside.exitCode, 1) << outside.output;
  EXPECT_TRUE(Contains(outside.output, "QelSetPixelDefect failed")) << outside.output;
}

TEST_F(QelctlTest, RewriteFollowsTheProgressToTheEnd) {
  {
    std::ofstream image(File("firmware.bin"), std::ios::binary);
    image << std::string(100, 'f');
  }
  const ToolRun run = Qelctl("rewrite 0 '" + File("firmware.bin") + "'");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  // The library ends a 100-byte image at 106 %; the bar stops at 100.
  EXPECT_TRUE(Contains(run.output, "100.0%  done")) << run.output;
  EXPECT_FALSE(Contains(run.output, "106")) << run.output;
  EXPECT_TRUE(Contains(run.output, "written and verified")) << run.output;

  // An image that reaches the camera's data block is refused unless forced.
  fs::resize_file(File("firmware.bin"), 0x70000);
  const ToolRun large = Qelctl("rewrite 0 '" + File("firmware.bin") + "'");
  EXPECT_EQ(large.exitCode, 2) << large.output;
  EXPECT_FALSE(Contains(large.output, "opened key")) << large.output;
}

TEST(ParseInteger, TakesDecimalAndHexadecimalWithinTheRange) {
  EXPECT_EQ(qelctl::ParseInteger("010", 0, 100, "v"), 10);  // not octal
  EXPECT_EQ(qelctl::ParseInteger("0x1A", 0, 100, "v"), 26);
  EXPECT_EQ(qelctl::ParseInteger("-13", -13, 0, "v"), -13);
  EXPECT_EQ(qelctl::ParseInteger("0XFFFF", 0, 0xFFFF, "v"), 0xFFFF);
  for (const char* bad : {"", "-", "0x", "1.5", "12a", "0x1G", " 1", "65536", "-14",
                          "99999999999999999999", "0x10000000000000000"}) {
    EXPECT_THROW(qelctl::ParseInteger(bad, -13, 0xFFFF, "v"), qelctl::CommandError) << bad;
  }
}

TEST(ParseNumber, RefusesWhatIsNotAPlainDecimal) {
  EXPECT_DOUBLE_EQ(qelctl::ParseNumber("0.0003", "v"), 0.0003);
  EXPECT_DOUBLE_EQ(qelctl::ParseNumber("1e-3", "v"), 0.001);
  for (const char* bad : {"", "nan", "inf", "0x1p-3", "1s", "1e999"}) {
    EXPECT_THROW(qelctl::ParseNumber(bad, "v"), qelctl::CommandError) << bad;
  }
}

}  // namespace
