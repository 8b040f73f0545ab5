// qelctl as a user runs it: its exit codes, what it reads back, the files it
// saves; and the parsing of numbers given on its command line.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "command_support.h"
#include "qel/qel.h"
#include "setting_text.h"

#include "support/stb_image_decoder.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int exitCode = -1;
  std::string output;  // standard output and standard error
};

// Runs a shell command line and gathers its output.
ToolRun RunShell(const std::string& command) {
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

// Runs qelctl on the rig's virtual clock with the arguments; standard error
// joins standard output unless only the latter is wanted.
ToolRun Qelctl(const std::string& arguments, bool stdoutOnly = false) {
  return RunShell(std::string("'") + QELCTL_PATH + "' --rig --virtual-time " + arguments +
                  (stdoutOnly ? " 2>/dev/null" : " 2>&1"));
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A picture file decoded with stb's reader; width 0 when it is none.
struct Decoded {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;

  // Whether the pixel at x, y is r, g, b, give or take what YUY2 loses.
  bool Shows(int x, int y, int r, int g, int b) const {
    const std::size_t i = 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                               static_cast<std::size_t>(x));
    return i + 2 < rgb.size() && std::abs(rgb[i] - r) <= 8 && std::abs(rgb[i + 1] - g) <= 8 &&
           std::abs(rgb[i + 2] - b) <= 8;
  }
};
Decoded DecodeFile(const std::string& path) {
  Decoded d;
  int components = 0;
  stbi_uc* pixels = stbi_load(path.c_str(), &d.width, &d.height, &components, 3);
  if (pixels == nullptr) return Decoded{};
  d.rgb.assign(pixels, pixels + 3 * d.width * d.height);
  stbi_image_free(pixels);
  return d;
}

// qelctl started in the background, to be interrupted: its output (both
// streams) is read as it comes.
class Background {
 public:
  explicit Background(const std::vector<std::string>& arguments) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 1);
      dup2(fds[1], 2);
      close(fds[0]);
      close(fds[1]);
      std::vector<char*> argv{const_cast<char*>(QELCTL_PATH)};
      for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(QELCTL_PATH, argv.data());
      _exit(127);
    }
    close(fds[1]);
    fd_ = fds[0];
  }
  ~Background() {
    if (pid_ > 0 && exitCode_ == -2) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) close(fd_);
  }

  // Reads until the output holds text (true) or the tool ended (false).
  bool WaitFor(const std::string& text) {
    char chunk[4096];
    while (!Contains(output_, text)) {
      const ssize_t n = read(fd_, chunk, sizeof chunk);
      if (n <= 0) return false;
      output_.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
  }
  void Interrupt() { kill(pid_, SIGINT); }
  // Reads the rest and returns the exit code.
  int Finish() {
    WaitFor("\x01never");
    int status = 0;
    waitpid(pid_, &status, 0);
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return exitCode_;
  }
  const std::string& output() const { return output_; }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  int exitCode_ = -2;
  std::string output_;
};

class QelctlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Other builds on the machine run the same tests in the same temporary
    // directory.
    dir_ = fs::path(testing::TempDir()) /
           ("qelctl_cli_" +
            std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
            std::to_string(getpid()));
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

  const ToolRun refused = Qelctl("defects set 1 --camera 2 --size-index 1 656,0");
  EXPECT_EQ(refused.exitCode, 1) << refused.output;
  EXPECT_TRUE(Contains(refused.output, "QelSetPixelDefect failed")) << refused.output;

  // Wrong command lines never reach the camera.
  for (const char* usage :
       {"set 0 led", "set", "register 0 0x10000", "register 0 0x12 0x1FF", "frobnicate",
        "grab 0 --format RGB24 --save x.png", "grab 0 --timeout -1", "grab 0 --save x.bmp"}) {
    const ToolRun run = Qelctl(usage);
    EXPECT_EQ(run.exitCode, 2) << usage << "\n" << run.output;
    EXPECT_FALSE(Contains(run.output, "opened key")) << usage << "\n" << run.output;
  }
  // Names and values are judged by the camera's own list, before any change.
  for (const char* usage : {"set 0 brightness=3", "set 0 led=ten", "set 0 led=65"}) {
    const ToolRun run = Qelctl(usage);
    EXPECT_EQ(run.exitCode, 2) << usage << "\n" << run.output;
    EXPECT_TRUE(Contains(run.output, "; nothing was changed")) << usage << "\n" << run.output;
  }

  // A setting for another model.
  const ToolRun gpio = Qelctl("set 1 gpio-output=0xA5");
  EXPECT_EQ(gpio.exitCode, 1);
  EXPECT_TRUE(Contains(gpio.output, "a QEL2 has no gpio-output setting; nothing was changed"))
      << gpio.output;
}

// Without --rig, QEL_PLATFORM=rig chooses the rig; otherwise qelctl works
// with the attached cameras where the library has a hardware backend.
TEST_F(QelctlTest, TheRigIsChosenByTheOptionOrTheEnvironment) {
  const std::string tool = std::string("'") + QELCTL_PATH + "' --virtual-time list --serial 2>&1";
  const ToolRun chosen = RunShell("QEL_PLATFORM=rig " + tool);
  EXPECT_EQ(chosen.exitCode, 0) << chosen.output;
  EXPECT_TRUE(Contains(chosen.output, "QEL5#0000ABCD")) << chosen.output;

  const ToolRun unchosen = RunShell("env -u QEL_PLATFORM " + tool);
#ifdef QEL_HAS_HARDWARE_BACKEND
  EXPECT_EQ(unchosen.exitCode, 2) << unchosen.output;
  EXPECT_TRUE(Contains(unchosen.output, "--virtual-time needs --rig")) << unchosen.output;
#else
  // The rig is the only platform built.
  EXPECT_EQ(unchosen.exitCode, 0) << unchosen.output;
  EXPECT_TRUE(Contains(unchosen.output, "QEL5#0000ABCD")) << unchosen.output;
#endif
}

TEST_F(QelctlTest, DevicesAreNamedByKeyListedNameOrSerialTextInAnyCase) {
  const ToolRun missing = Qelctl("grab 5");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(Contains(missing.output, "no device 5; 3 are listed")) << missing.output;
  EXPECT_TRUE(Contains(missing.output, "key 2: USB Camera- HD")) << missing.output;

  // A listed name opens by position, for frames only.
  const ToolRun webcam = Qelctl("grab \"usb camera- hd\" -n 1");
  EXPECT_EQ(webcam.exitCode, 0) << webcam.output;
  EXPECT_TRUE(Contains(webcam.output, "opened key 2 (USB Camera- HD) for frames only"))
      << webcam.output;
  const ToolRun serial = Qelctl("grab qel5#0000abcd -n 1 --format yuy2");
  EXPECT_EQ(serial.exitCode, 0) << serial.output;
  EXPECT_TRUE(Contains(serial.output, "opening QEL5#0000ABCD")) << serial.output;
  EXPECT_TRUE(Contains(serial.output, "opened key 0 (QEL5#0000ABCD)")) << serial.output;
  const ToolRun mjpg = Qelctl("grab 0 --format mjpg --size 960x540 -n 1");
  EXPECT_EQ(mjpg.exitCode, 0) << mjpg.output;
  EXPECT_TRUE(Contains(mjpg.output, "960x540 at 30 fps, MJPG")) << mjpg.output;
}

TEST_F(QelctlTest, SetChecksEveryValueBeforeChangingAny) {
  const ToolRun run = Qelctl("set 0 led=5 shutter=0 exposure=-3");
  EXPECT_EQ(run.exitCode, 2) << run.output;
  EXPECT_TRUE(Contains(run.output,
                       "shutter accepts 1..10000 lines on this camera; nothing was "
                       "changed"))
      << run.output;
  EXPECT_FALSE(Contains(run.output, "QelSetLed")) << run.output;
  // Number errors name the setting's range, not the C type's.
  const ToolRun words = Qelctl("set 0 led=ten");
  EXPECT_TRUE(Contains(words.output, "led must be an integer in 0..64")) << words.output;
  EXPECT_FALSE(Contains(words.output, "2147483647")) << words.output;
}

TEST_F(QelctlTest, JsonAndVersionAreForScripts) {
  for (const char* command :
       {"--json list", "formats 1 --json", "get 0 --json", "info 0 --json", "grab 0 -n 2 --json",
        "version --json", "set 0 led=3 --json", "register 0 0x0D --word --json"}) {
    const ToolRun run = Qelctl(command, true);
    EXPECT_EQ(run.exitCode, 0) << command << "\n" << run.output;
    // One document on standard output, nothing else.
    EXPECT_EQ(run.output.front(), '{') << command << "\n" << run.output;
    EXPECT_EQ(run.output.substr(run.output.size() - 2), "}\n") << command << "\n" << run.output;
  }
  EXPECT_TRUE(Contains(Qelctl("--json list", true).output,
                       "{\"key\":2,\"name\":\"USB Camera- HD\",\"serial\":null}"));
  EXPECT_TRUE(Contains(Qelctl("get 0 --json", true).output,
                       "\"exposure\":{\"value\":-6,\"accepts\":\"-13..0 log2 s\"}"));
  EXPECT_TRUE(Contains(Qelctl("grab 0 -n 3 --json", true).output, "\"frames\":3,"));
  EXPECT_TRUE(Contains(Qelctl("set 1 led=7 --json", true).output,
                       "\"led\":{\"value\":7,\"read_back\":true,"));
  EXPECT_TRUE(Contains(Qelctl("--json register 0 0x0D 0x0007 --word", true).output,
                       "\"address\":13,\"bits\":16,\"value\":7,\"written\":7}"));
  // What prints no JSON refuses --json.
  for (const char* textOnly : {"--json defects show 0", "rewrite 0 /dev/null --json"}) {
    const ToolRun run = Qelctl(textOnly);
    EXPECT_EQ(run.exitCode, 2) << textOnly;
    EXPECT_TRUE(Contains(run.output, "--json is not supported by")) << run.output;
  }

  const ToolRun option = Qelctl("--version");
  const ToolRun command = Qelctl("version");
  EXPECT_EQ(option.exitCode, 0);
  EXPECT_TRUE(Contains(option.output, "qelctl " QEL_VERSION_STRING "\n")) << option.output;
  EXPECT_TRUE(Contains(option.output, command.output)) << "and the library's version";
  EXPECT_TRUE(Contains(command.output, "Version")) << command.output;
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
  // Only what the webcam has: its exposure; no LED, no failures.
  EXPECT_TRUE(Contains(webcam.output, "exposure")) << webcam.output;
  for (const char* absent : {"shutter", "led", "colorbar", "failed", " - "}) {
    EXPECT_FALSE(Contains(webcam.output, absent)) << absent << "\n" << webcam.output;
  }
  const ToolRun info = Qelctl("info 2");
  EXPECT_EQ(info.exitCode, 0) << info.output;
  EXPECT_TRUE(Contains(info.output, "frames only (no command channel)")) << info.output;
  EXPECT_FALSE(Contains(info.output, "failed")) << info.output;
}

TEST_F(QelctlTest, SettingsListsWhatTheCameraHas) {
  const ToolRun qel2 = Qelctl("settings 1");
  ASSERT_EQ(qel2.exitCode, 0) << qel2.output;
  for (
      const char* row :
      {"shutter            Shutter            100                  1..65530     lines   read-write",
       "exposure           Exposure           -6                   -13..0       log2 s  read-write",
       "camera-number      Camera number      1                    1 or 2       -       read-write",
       "defect-correction  Defect correction  on                   on or off    -       "
       "read-write"}) {
    EXPECT_TRUE(Contains(qel2.output, row)) << row << "\n" << qel2.output;
  }
  EXPECT_FALSE(Contains(qel2.output, "analog-gain")) << qel2.output;
  const ToolRun webcam = Qelctl("settings 2 --json", true);
  ASSERT_EQ(webcam.exitCode, 0) << webcam.output;
  EXPECT_TRUE(
      Contains(webcam.output,
               "\"settings\":[{\"name\":\"exposure\",\"label\":\"Exposure\","
               "\"kind\":\"integer\",\"value\":-6,\"minimum\":-13,\"maximum\":0,"
               "\"step\":1,\"default\":-6,\"unit\":\"log2 s\",\"access\":\"read-write\"}]}"))
      << webcam.output;
  EXPECT_TRUE(Contains(Qelctl("settings 0 --json", true).output,
                       "\"choices\":[{\"value\":1,\"label\":\"Camera 1\"},"))
      << "camera-number's choices";
}

TEST_F(QelctlTest, GrabSavesInTheFormatTheExtensionNames) {
  const ToolRun png =
      Qelctl("grab 1 --size 328x204 --rate 60 -n 3 --save '" + File("frame.png") + "'");
  ASSERT_EQ(png.exitCode, 0) << png.output;
  EXPECT_TRUE(Contains(png.output, "received 3 frame(s) of 133824 bytes")) << png.output;
  EXPECT_EQ(DecodeFile(File("frame.png")).width, 328);

  // MJPG as delivered: a JPEG file; MJPG as PNG: decoded; YUY2 as JPEG: encoded.
  const ToolRun jpeg =
      Qelctl("grab 0 --format MJPG --size 960x540 -n 2 --save '" + File("mjpg.JPG") + "'");
  ASSERT_EQ(jpeg.exitCode, 0) << jpeg.output;
  EXPECT_TRUE(Contains(
      jpeg.output, std::to_string(fs::file_size(File("mjpg.JPG"))) + " bytes of MJPG as delivered"))
      << jpeg.output;
  EXPECT_EQ(DecodeFile(File("mjpg.JPG")).height, 540);
  ASSERT_EQ(
      Qelctl("grab 0 --format MJPG --size 960x540 -n 1 --save '" + File("m.png") + "'").exitCode,
      0);
  EXPECT_EQ(DecodeFile(File("m.png")).width, 960);
  ASSERT_EQ(Qelctl("grab 1 --size 328x204 -n 1 --save '" + File("y.jpg") + "'").exitCode, 0);
  EXPECT_EQ(DecodeFile(File("y.jpg")).width, 328);

  // Raw bytes as delivered, and a directory gets a name made from the capture.
  ASSERT_EQ(Qelctl("grab 1 --size 328x204 -n 1 --save '" + File("y.yuv") + "'").exitCode, 0);
  EXPECT_EQ(fs::file_size(File("y.yuv")), 328u * 204u * 2u);
  const ToolRun directory = Qelctl("grab 1 --size 328x204 -n 1 --save '" + dir_.string() + "'");
  ASSERT_EQ(directory.exitCode, 0) << directory.output;
  EXPECT_EQ(DecodeFile(File("key1-328x204-YUY2.png")).height, 204) << directory.output;
  EXPECT_FALSE(fs::exists(dir_.string() + ".png"));
}

TEST_F(QelctlTest, GrabTellsTheFrameRateOnlyFromEnoughFrames) {
  const ToolRun few = Qelctl("grab 1 --size 328x204 --rate 60 -n 9");
  ASSERT_EQ(few.exitCode, 0) << few.output;
  EXPECT_TRUE(Contains(few.output, "received 9 frame(s) of 133824 bytes in 0.133 s (too few"))
      << few.output;
  EXPECT_FALSE(Contains(few.output, "frames/s")) << few.output;
  EXPECT_TRUE(Contains(Qelctl("grab 1 --size 328x204 -n 2 --json", true).output, "\"fps\":null"));

  const ToolRun enough = Qelctl("grab 1 --size 328x204 --rate 60 -n 10");
  EXPECT_TRUE(Contains(enough.output, "60.0 frames/s (asked for 60)")) << enough.output;
}

TEST_F(QelctlTest, GrabMakesItsSettingsBeforeTheFirstFrame) {
  // The LED's square in the top right corner of a 328x204 picture, and the
  // first and last of the colour bars.
  ASSERT_EQ(
      Qelctl("grab 1 --size 328x204 -n 1 --set led=64 --save '" + File("led.png") + "'").exitCode,
      0);
  EXPECT_TRUE(DecodeFile(File("led.png")).Shows(311, 15, 255, 24, 24));
  const ToolRun bars = Qelctl("grab 1 --size 328x204 -n 1 --set colorbar=on --set led=0 --save '" +
                              File("bars.png") + "'");
  ASSERT_EQ(bars.exitCode, 0) << bars.output;
  EXPECT_TRUE(Contains(bars.output, "set colorbar=on, led=0")) << bars.output;
  const Decoded picture = DecodeFile(File("bars.png"));
  EXPECT_TRUE(picture.Shows(20, 100, 255, 255, 255));
  EXPECT_TRUE(picture.Shows(320, 100, 0, 0, 0));

  // Checked as set checks them, against the camera's list before any change.
  const ToolRun wrong = Qelctl("grab 1 -n 1 --set led=65");
  EXPECT_EQ(wrong.exitCode, 2) << wrong.output;
  EXPECT_TRUE(Contains(wrong.output, "led accepts 0..64 on this camera; nothing was changed"))
      << wrong.output;
  const ToolRun webcam = Qelctl("grab 2 -n 1 --set exposure=-3 --set led=1");
  EXPECT_EQ(webcam.exitCode, 1) << webcam.output;
  EXPECT_TRUE(Contains(webcam.output, "a webcam has no led setting; nothing was changed"))
      << webcam.output;
}

TEST_F(QelctlTest, FormatsShowTheRateAPersonWrites) {
  const ToolRun run = Qelctl("formats 1");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "    8    328     204      240  YUY2\n")) << run.output;
  EXPECT_TRUE(Contains(run.output, "    7    656     408       15  YUY2\n")) << run.output;
  EXPECT_FALSE(Contains(run.output, ".0")) << run.output;
  // Scripts get the listed value beside it.
  EXPECT_TRUE(
      Contains(Qelctl("formats 1 --json", true).output, "\"fps\":239.99808,\"rate\":\"240\""));
}

TEST_F(QelctlTest, GrabStopsCleanlyOnCtrlC) {
  Background grab({"--rig", "--virtual-time", "grab", "1", "--size", "328x204", "-n", "100000000",
                   "--save", File("last.png")});
  ASSERT_TRUE(grab.WaitFor("opened key 1")) << grab.output();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  grab.Interrupt();
  EXPECT_EQ(grab.Finish(), 130) << grab.output();
  EXPECT_TRUE(Contains(grab.output(), "interrupted: received")) << grab.output();
  EXPECT_TRUE(Contains(grab.output(), "saved the last frame")) << grab.output();
  EXPECT_EQ(DecodeFile(File("last.png")).width, 328);
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
  // A 100-byte image ends at 100 % (its last block runs past the image).
  EXPECT_TRUE(Contains(run.output, "100.0%  done")) << run.output;
  EXPECT_FALSE(Contains(run.output, "106.0%")) << run.output;
  EXPECT_TRUE(Contains(run.output, "written and verified")) << run.output;

  // An image that reaches the camera's data block is refused unless forced.
  fs::resize_file(File("firmware.bin"), 0x70000);
  const ToolRun large = Qelctl("rewrite 0 '" + File("firmware.bin") + "'");
  EXPECT_EQ(large.exitCode, 2) << large.output;
  EXPECT_FALSE(Contains(large.output, "opened key")) << large.output;
  // So is an empty image, which would leave the camera erased.
  fs::resize_file(File("firmware.bin"), 0);
  const ToolRun empty = Qelctl("rewrite 0 '" + File("firmware.bin") + "'");
  EXPECT_EQ(empty.exitCode, 2) << empty.output;
  EXPECT_TRUE(Contains(empty.output, "is empty")) << empty.output;
  EXPECT_FALSE(Contains(empty.output, "opened key")) << empty.output;
}

TEST_F(QelctlTest, RewriteGoesOnAfterOneCtrlCAndStopsAfterTwo) {
  {
    std::ofstream image(File("firmware.bin"), std::ios::binary);
    image << std::string(1 << 20, 'f');
  }
  const std::vector<std::string> arguments{"--rig", "--virtual-time",     "rewrite",
                                           "0",     File("firmware.bin"), "--force"};
  Background once(arguments);
  ASSERT_TRUE(once.WaitFor("writing ")) << once.output();
  once.Interrupt();
  EXPECT_EQ(once.Finish(), 0) << once.output();
  EXPECT_TRUE(Contains(once.output(), "would leave the camera without working firmware"))
      << once.output();
  EXPECT_TRUE(Contains(once.output(), "written and verified")) << once.output();

  Background twice(arguments);
  ASSERT_TRUE(twice.WaitFor("writing ")) << twice.output();
  twice.Interrupt();
  ASSERT_TRUE(twice.WaitFor("goes on")) << twice.output();
  twice.Interrupt();
  EXPECT_EQ(twice.Finish(), 130) << twice.output();
  EXPECT_TRUE(Contains(twice.output(), "stopped at")) << twice.output();
  EXPECT_FALSE(Contains(twice.output(), "written and verified")) << twice.output();
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

// A description as the library fills it, for the fields the tool reads.
QelSetting Described(const char* name, const char* unit, int kind, double min, double max,
                     int count = 1) {
  QelSetting s{};
  std::snprintf(s.name, sizeof s.name, "%s", name);
  std::snprintf(s.unit, sizeof s.unit, "%s", unit);
  s.kind = kind;
  s.access = QEL_SETTING_READ | QEL_SETTING_WRITE;
  s.valueCount = count;
  s.minimum = min;
  s.maximum = max;
  return s;
}

// Values are written and shown as the description's kind and range say.
TEST(SettingText, FollowsTheDescription) {
  const QelSetting gpio = Described("gpio-output", "", QEL_SETTING_INTEGER, 0, 0xFF);
  const double bits = 0x0A;
  EXPECT_EQ(qelctl::FormatSettingValue(gpio, &bits), "0x0A");  // a byte is a bit mask
  EXPECT_EQ(qelctl::AcceptsText(gpio), "0x00..0xFF");
  EXPECT_EQ(qelctl::ParseSettingValue(gpio, "0xA5").v[0], 0xA5);
  EXPECT_THROW(qelctl::ParseSettingValue(gpio, "256"), qelctl::CommandError);

  const QelSetting gains = Described("digital-gain", "", QEL_SETTING_GROUP, 0, 4095, 4);
  const qelctl::SettingValue one = qelctl::ParseSettingValue(gains, "7");
  EXPECT_EQ(one.count, 4);
  EXPECT_EQ(one.v[3], 7);
  const qelctl::SettingValue four = qelctl::ParseSettingValue(gains, "1,2,3,0x10");
  EXPECT_EQ(qelctl::FormatSettingValue(gains, four.v), "1,2,3,16");
  EXPECT_EQ(qelctl::AcceptsText(gains), "0..4095 each");
  for (const char* bad : {"1,2", "1,2,3,4096", "1.5"}) {
    EXPECT_THROW(qelctl::ParseSettingValue(gains, bad), qelctl::CommandError) << bad;
  }

  const QelSetting time = Described("shutter-time", "s", QEL_SETTING_REAL, 0.0001, 1);
  EXPECT_EQ(qelctl::ParseSettingValue(time, "0.5").v[0], 0.5);
  EXPECT_THROW(qelctl::ParseSettingValue(time, "2"), qelctl::CommandError);
  EXPECT_EQ(qelctl::FormatSettingValue(time, &time.maximum), "1 s");
  EXPECT_EQ(qelctl::AcceptsText(time), "0.0001..1 s");

  QelSetting number = Described("camera-number", "", QEL_SETTING_CHOICE, 1, 3);
  number.choiceCount = 2;
  number.choices[0].value = 1;
  number.choices[1].value = 3;
  EXPECT_EQ(qelctl::AcceptsText(number), "1 or 3");
  EXPECT_THROW(qelctl::ParseSettingValue(number, "2"), qelctl::CommandError);
}

TEST(ParseNumber, RefusesWhatIsNotAPlainDecimal) {
  EXPECT_DOUBLE_EQ(qelctl::ParseNumber("0.0003", "v"), 0.0003);
  EXPECT_DOUBLE_EQ(qelctl::ParseNumber("1e-3", "v"), 0.001);
  for (const char* bad : {"", "nan", "inf", "0x1p-3", "1s", "1e999"}) {
    EXPECT_THROW(qelctl::ParseNumber(bad, "v"), qelctl::CommandError) << bad;
  }
}

TEST_F(QelctlTest, ManualAndCompletionDescribeEveryCommand) {
  ASSERT_EQ(Qelctl("--write-man '" + File("qelctl.1") + "'").exitCode, 0);
  ASSERT_EQ(Qelctl("--write-completion '" + File("qelctl.bash") + "'").exitCode, 0);
  std::ifstream manFile(File("qelctl.1"));
  const std::string man((std::istreambuf_iterator<char>(manFile)), {});
  // Every command --help lists has its section, which is its own --help.
  const std::string help = Qelctl("--help", true).output;
  std::istringstream lines(help.substr(help.find("Subcommands:")));
  std::string line;
  int sections = 0;
  std::getline(lines, line);
  while (std::getline(lines, line) && line.size() > 2) {
    const std::string name = line.substr(2, line.find(' ', 2) - 2);
    EXPECT_TRUE(Contains(man, ".SS " + name + "\n")) << name;
    ++sections;
  }
  EXPECT_GE(sections, 10);
  EXPECT_TRUE(Contains(man, "\\-\\-frames")) << "grab's options, from its --help";

  // Completion: a command's name, a subcommand, an option, and the listed keys.
  const auto complete = [&](const std::string& words, int current) {
    return RunShell("PATH='" + fs::path(QELCTL_PATH).parent_path().string() +
                    "':$PATH bash -c 'source \"" + File("qelctl.bash") + "\"; COMP_WORDS=(" +
                    words + "); COMP_CWORD=" + std::to_string(current) +
                    "; _qelctl; echo \"${COMPREPLY[*]}\"' 2>&1")
        .output;
  };
  EXPECT_EQ(complete("qelctl gr", 1), "grab\n");
  EXPECT_EQ(complete("qelctl defects s", 2), "show set\n");
  EXPECT_EQ(complete("qelctl grab --fr", 2), "--frames\n");
  EXPECT_EQ(complete("qelctl --rig grab \"\"", 3), "0 1 2\n");
}

}  // namespace
