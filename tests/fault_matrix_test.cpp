// Every named fault point of the rig, injected once into every export call
// that reaches it. Whatever the export answers, a success it reports must
// be true, and afterwards the library must be whole: every camera closes,
// nothing keeps running, the rig's books balance, and the next open works.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_context.h"
#include "core/camera_table.h"
#include "hid/data_block.h"
#include "support/rig_fixture.h"

namespace qel::test {
namespace {

constexpr int kCameraKey = 0;  // the QEL5 of the default population
constexpr int kWebcamKey = 2;

struct Scenario {
  const char* name;
  bool openCamera;  // the QEL5 is opened before the call
  // The call; returns whether the export reported success.
  std::function<bool()> call;
  // Whether that success is true, read from the rig (or, with the faults
  // gone, through the library).
  std::function<bool()> holds;
  // Whether the call succeeds without faults; one that fails by design must
  // fail with them too.
  bool succeeds = true;
  // The fault points to inject, when not every point the call reaches (the
  // rest are another scenario's).
  std::vector<std::string> only = {};
};

std::string ImagePath() {
  return (std::filesystem::temp_directory_path() /
          ("qel-fault-matrix-" + std::to_string(::getpid()) + ".bin"))
      .string();
}

std::vector<unsigned char> Image() {
  std::vector<unsigned char> image(300);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<unsigned char>(i * 7);
  return image;
}

int32_t AwaitRewrite() {
  for (int poll = 0; poll < 100000; ++poll) {
    int32_t seconds = 0;
    float percent = 0.0f;
    const int32_t state = QelSoftRewriteState(kCameraKey, &seconds, &percent);
    if (state != 1 && state != 2 && state != 3) return state;
    qelsim_advance_ms(10);
  }
  return 99;
}

bool MemoryEquals(uint32_t address, const std::vector<unsigned char>& bytes) {
  std::vector<unsigned char> memory(bytes.size());
  qelsim_read_memory(kQel5Device, address, memory.data(), static_cast<uint32_t>(memory.size()));
  return memory == bytes;
}

// Reads the defect table back from the camera itself: a new open reads the
// data block afresh.
bool CameraHoldsDefect(int32_t x, int32_t y) {
  QelClose(kCameraKey);
  if (QelOpen(kCameraKey, 480, 270, 30.0, "YUY2") != 0) return false;
  QelDefectPoint points[20] = {};
  return QelGetPixelDefect(kCameraKey, 1, 0, points) && points[0].x == x && points[0].y == y;
}

std::vector<Scenario> Scenarios() {
  static char text[512];
  static int32_t value = 0;
  static uint16_t word = 0;
  static QelFormat formats[64];
  return {
      {"QelGetDevice", false, [] { return QelGetDevice(text, sizeof text) >= 0; },
       [] { return true; }},
      {"QelGetDeviceWithSerialNo", false,
       [] { return QelGetDeviceWithSerialNo(text, sizeof text) >= 0; }, [] { return true; }},
      {"QelGetFormat", false, [] { return QelGetFormat(0, text, sizeof text) == 1; },
       [] { return std::string(text).find("YUY2") != std::string::npos; }},
      {"QelOpen", false, [] { return QelOpen(kCameraKey, 480, 270, 30.0, "YUY2") == 0; },
       [] {
         uint32_t read = 0;
         return QelGetBufferSize(kCameraKey) > 0 && QelGetSerialNo(kCameraKey, &read);
       }},
      {"QelOpen.webcam", false, [] { return QelOpen(kWebcamKey, 640, 480, 30.0, "YUY2") == 1; },
       [] { return QelGetBufferSize(kWebcamKey) > 0; }},
      {"QelOpenSerialNo", false,
       [] { return QelOpenSerialNo("QEL5#0000ABCD", &value, 480, 270, 30.0) == 0; },
       [] { return value == kCameraKey && QelGetBufferSize(kCameraKey) > 0; }},
      {"QelClose", true,
       [] {
         QelClose(kCameraKey);
         return true;
       },
       [] { return !CameraTable::Instance().FindSlot(kCameraKey); }},
      {"QelSetLed", true, [] { return QelSetLed(kCameraKey, 7) == 1; },
       [] {
         int32_t led = 0, flags = 0;
         return qelsim_get_property(kQel5Device, 0, &led, &flags) == 0 && led == 7;
       }},
      {"QelGetCameraNo", true, [] { return QelGetCameraNo(kCameraKey, &value) == 1; },
       [] { return value == 1; }},
      {"QelSetShutter", true, [] { return QelSetShutter(kCameraKey, 777) == 1; },
       [] {
         int direction = 0, output = 0;
         uint16_t gains[4] = {}, shutter = 0;
         qelsim_get_firmware_state(kQel5Device, &direction, &output, gains, &shutter);
         return shutter == 777;
       }},
      {"QelSetSerialNo", true, [] { return QelSetSerialNo(kCameraKey, 0x01020304) == 1; },
       [] {
         const auto slot = CameraTable::Instance().FindSlot(kCameraKey);
         return MemoryEquals(0x070000, {0x01, 0x02, 0x03, 0x04}) && slot &&
                slot->dataBlock->bytes[0] == 0x01 && slot->dataBlock->bytes[3] == 0x04;
       }},
      {"QelSoftRewrite", true,
       [] {
         const std::vector<unsigned char> image = Image();
         std::FILE* file = std::fopen(ImagePath().c_str(), "wb");
         std::fwrite(image.data(), 1, image.size(), file);
         std::fclose(file);
         return QelSoftRewrite(kCameraKey, ImagePath().c_str()) == 1 && AwaitRewrite() == 0;
       },
       [] { return MemoryEquals(0, Image()); }},
      {"QelOpenEx.fast", false,
       [] { return QelOpenEx(kCameraKey, 480, 270, 30.0, "YUY2", QEL_OPEN_FAST) == 0; },
       [] { return QelGetBufferSize(kCameraKey) > 0; }},
      {"QelOpenSerialNoEx", false,
       [] { return QelOpenSerialNoEx("QEL5#0000ABCD", &value, 480, 270, 30.0, 0) == 0; },
       [] { return value == kCameraKey && QelGetBufferSize(kCameraKey) > 0; }},
      // A camera that delivers nothing: every attempt's graph is stopped
      // again, and the clean-up's calls fail too.
      {"QelOpen.silent",
       false,
       [] {
         qelsim_set_frame_mode(kQel5Device, QELSIM_FRAMES_NONE);
         const bool opened = QelOpen(kCameraKey, 480, 270, 30.0, "YUY2") == 0;
         qelsim_set_frame_mode(kQel5Device, QELSIM_FRAMES_PATTERN);
         return opened;
       },
       [] { return false; },
       false,
       {"QueryInterface.MediaControl", "Stop", "WaitForCompletion", "SetCallback"}},
      {"QelGetFormatList", false, [] { return QelGetFormatList(0, formats, 64) > 0; },
       [] { return formats[0].width > 0 && std::string(formats[0].format) == "YUY2"; }},
      {"QelSetExposure", true, [] { return QelSetExposure(kCameraKey, -5) == 1; },
       [] { return QelGetExposure(kCameraKey, &value) && value == -5; }},
      {"QelSetDigitalGain", true, [] { return QelSetDigitalGain(kCameraKey, 300, 304, 308, 312); },
       [] {
         uint16_t gains[4] = {};
         return QelGetDigitalGain(kCameraKey, &gains[0], &gains[1], &gains[2], &gains[3]) &&
                gains[0] == 300 && gains[3] == 312;
       }},
      {"Qel5SetAnalogGain", true, [] { return Qel5SetAnalogGain(kCameraKey, 3) == 1; },
       [] { return Qel5GetAnalogGain(kCameraKey, &value) && value == 3; }},
      {"QelSetRegisterW", true, [] { return QelSetRegisterW(kCameraKey, 0x3012, 0x1234) == 1; },
       [] { return QelGetRegisterW(kCameraKey, 0x3012, &word) && word == 0x1234; }},
      {"QelSetPixelDefect", true,
       [] {
         QelDefectPoint points[20] = {};
         points[0] = {12, 34};
         return QelSetPixelDefect(kCameraKey, 1, 0, points) == 1;
       },
       [] { return CameraHoldsDefect(12, 34); }},
      {"QelVersion", true,
       [] {
         qelsim_set_version(kQel5Device, "9.8.7");
         return QelVersion(kCameraKey, text, sizeof text) == 1;
       },
       [] { return std::string(text) == "9.8.7"; }},
  };
}

// The library is whole: it closes everything, leaves nothing running or
// open in the rig's books, and opens again.
void ExpectWhole(const std::string& where) {
  AwaitRewrite();
  for (int key = 0; key < 4; ++key) QelClose(key);
  EXPECT_EQ(qelsim_open_hid_handles(), 0) << where;
  // A graph whose stop failed in the close is stopped by the next open.
  ASSERT_EQ(QelOpen(kCameraKey, 480, 270, 30.0, "YUY2"), 0) << where << ": the next open";
  QelClose(kCameraKey);
  for (int index = 0; index < kCaptureContexts; ++index) {
    EXPECT_FALSE(ContextAt(index)->IsRunning()) << where << ": capture " << index;
  }
  EXPECT_EQ(qelsim_running_streams(), 0) << where;
  EXPECT_EQ(qelsim_open_hid_handles(), 0) << where;
  EXPECT_EQ(qelsim_com_depth(), 0) << where;
}

// The process's threads, where the system tells them reliably: on Windows
// the system's thread pool keeps idle workers for a while after the work that
// made them, so no count there says whether the library left one behind.
std::optional<int> ThreadCount() {
#ifdef _WIN32
  return std::nullopt;
#else
  int threads = 0;
  for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    ++threads;
  }
  return threads;
#endif
}

// The count once it holds still: threads of a run that just ended may still
// be on their way out, and a sanitizer's runtime may have started its own.
std::optional<int> SettledThreadCount() {
  std::optional<int> count = ThreadCount();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (count && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::optional<int> now = ThreadCount();
    if (now == count) break;
    count = now;
  }
  return count;
}

// No thread is left behind: streaming and rewrite threads end soon after
// their camera is closed, so the count may take a moment to come down.
void ExpectNoThreadLeft(std::optional<int> baseline, const std::string& where) {
  if (!baseline) return;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (ThreadCount() > baseline && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_LE(ThreadCount(), baseline) << where << ": a thread is left behind";
}

class FaultMatrix : public RigTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(FaultMatrix, EveryFaultPointTheCallReaches) {
  const Scenario scenario = Scenarios()[GetParam()];
  // Which fault points the call reaches, and how often, found by a run
  // without faults. Each is made to fail at its first call and at its last.
  std::vector<std::pair<std::string, int>> reached;
  qelsim_reset(1);
  qelsim_set_virtual_time(1);
  if (scenario.openCamera) {
    ASSERT_EQ(QelOpen(kCameraKey, 480, 270, 30.0, "YUY2"), 0);
  }
  qelsim_clear_faults();
  ASSERT_EQ(scenario.call(), scenario.succeeds) << scenario.name << " without faults";
  for (int index = 0; const char* point = qelsim_fault_point(index); ++index) {
    if (!scenario.only.empty() &&
        std::find(scenario.only.begin(), scenario.only.end(), point) == scenario.only.end()) {
      continue;
    }
    const int calls = qelsim_operation_calls(point);
    if (calls > 0) reached.emplace_back(point, 0);
    if (calls > 1) reached.emplace_back(point, calls - 1);
  }
  if (scenario.succeeds) {
    EXPECT_TRUE(scenario.holds()) << scenario.name << " without faults";
  }
  ExpectWhole(scenario.name);
  ASSERT_FALSE(reached.empty()) << scenario.name;
  const std::optional<int> threads = SettledThreadCount();  // with nothing open, after a whole run

  for (const auto& [point, skip] : reached) {
    const std::string where =
        std::string(scenario.name) + " / " + point + " after " + std::to_string(skip);
    qelsim_reset(1);
    qelsim_set_virtual_time(1);
    if (scenario.openCamera) {
      ASSERT_EQ(QelOpen(kCameraKey, 480, 270, 30.0, "YUY2"), 0);
    }
    qelsim_clear_faults();
    qelsim_inject_fault(-1, point.c_str(), skip, 1);
    const bool success = scenario.call();
    EXPECT_EQ(qelsim_faults_fired(), 1) << where;
    if (success) {
      EXPECT_TRUE(scenario.succeeds && scenario.holds()) << where << ": success reported, not true";
    }
    qelsim_clear_faults();
    ExpectWhole(where);
    ExpectNoThreadLeft(threads, where);
  }
  std::filesystem::remove(ImagePath());
  std::printf("%s: %zu faults\n", scenario.name, reached.size());
}

INSTANTIATE_TEST_SUITE_P(EveryCall, FaultMatrix,
                         ::testing::Range<std::size_t>(0, Scenarios().size()),
                         [](const auto& info) {
                           std::string name = Scenarios()[info.param].name;
                           for (char& c : name) {
                             if (c == '.') c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace qel::test
