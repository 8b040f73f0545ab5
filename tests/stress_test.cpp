// Ten cameras streaming while several threads receive frames, change
// controls, replace defect tables, and close and reopen cameras, for a
// bounded time. Run under the sanitizers it shows that no frame is torn or
// read after free and that no reply goes to the wrong caller.
#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/rig_fixture.h"

namespace qel::test {
namespace {

struct Camera {
  const char* name;
  int32_t width;
  int32_t height;
  double frameRate;
  int expected;  // QelOpen's result
};

// Small frames keep the sanitizer builds quick; the sizes are real rows.
constexpr Camera kCameras[10] = {{"QEL5", 480, 270, 30.0, 0},     {"QEL2", 328, 204, 60.0, 0},
                                 {"QEL", 328, 204, 60.0, 0},      {"QEL5", 480, 270, 60.0, 0},
                                 {"QEL2", 328, 204, 40.0, 0},     {"Webcam A", 640, 480, 30.0, 1},
                                 {"QEL5", 480, 270, 30.0, 0},     {"QEL2", 328, 204, 120.0, 0},
                                 {"Webcam B", 640, 480, 30.0, 1}, {"QEL5", 480, 270, 30.0, 0}};

int32_t Open(int key) {
  const Camera& camera = kCameras[key];
  return QelOpen(key, camera.width, camera.height, camera.frameRate, "YUY2");
}

TEST_F(EmptyRigTest, TenCamerasUnderConcurrentUse) {
  for (int key = 0; key < 10; ++key) {
    const Camera& camera = kCameras[key];
    if (camera.expected == 0) {
      qelsim_add_camera(camera.name, 0x1000u + static_cast<uint32_t>(key));
    } else {
      qelsim_add_webcam(camera.name);
    }
  }
  for (int key = 0; key < 10; ++key) ASSERT_EQ(Open(key), kCameras[key].expected) << key;

  std::atomic<bool> stop{false};
  std::atomic<int64_t> framesChecked{0}, tornFrames{0}, controlCalls{0}, reopens{0},
      wrongSerials{0};

  std::vector<std::thread> threads;
  // The clock: frames arrive as it advances.
  threads.emplace_back([&] {
    while (!stop) qelsim_advance_ms(5);
  });
  for (int reader = 0; reader < 3; ++reader) {
    threads.emplace_back([&, reader] {
      std::vector<unsigned char> buffer(640 * 480 * 2);
      std::mt19937 random(static_cast<unsigned>(reader));
      while (!stop) {
        const int key = static_cast<int>(random() % 10);
        const int32_t size = QelGetBufferSize(key);
        if (size <= 0 || !QelReceiveImage(key, buffer.data())) continue;
        if (qelsim_check_frame(buffer.data(), size, nullptr) == 1) {
          ++framesChecked;
        } else {
          ++tornFrames;
        }
      }
    });
  }
  threads.emplace_back([&] {
    std::mt19937 random(7);
    QelDefectPoint empty[QEL_DEFECT_POINTS];
    for (auto& point : empty) point = {0xFFFF, 0xFFFF};
    while (!stop) {
      const int key = static_cast<int>(random() % 10);
      int32_t value = 0;
      uint16_t lines = 0;
      uint32_t serial = 0;
      QelSetLed(key, static_cast<int32_t>(random() % 65));
      QelGetLed(key, &value);
      QelSetExposure(key, -5);
      QelSetShutter(key, 100);
      QelGetShutter(key, &lines);
      QelSetPixelDefect(key, 1, 2, empty);  // empty tables keep the frames intact
      if (QelGetSerialNo(key, &serial) && serial != 0x1000u + static_cast<uint32_t>(key)) {
        ++wrongSerials;
      }
      ++controlCalls;
    }
  });
  threads.emplace_back([&] {
    std::mt19937 random(11);
    while (!stop) {
      const int key = static_cast<int>(random() % 10);
      QelClose(key);
      if (Open(key) == kCameras[key].expected) ++reopens;
    }
  });

  std::this_thread::sleep_for(std::chrono::seconds(3));
  stop = true;
  for (std::thread& thread : threads) thread.join();
  for (int key = 0; key < 10; ++key) QelClose(key);

  EXPECT_EQ(tornFrames.load(), 0);
  EXPECT_EQ(wrongSerials.load(), 0);
  EXPECT_GT(framesChecked.load(), 0);
  EXPECT_GT(controlCalls.load(), 0);
  EXPECT_GT(reopens.load(), 0);
  RecordProperty("frames", std::to_string(framesChecked.load()));
  RecordProperty("reopens", std::to_string(reopens.load()));
}

}  // namespace
}  // namespace qel::test

namespace qel::test {
namespace {

// Threads racing to open and close the same cameras, by key and by serial
// text: each open either wins or fails cleanly, and when the race is over
// every camera can be opened and the rig's books balance.
TEST_F(RigTest, OpensAndClosesOfOneCameraRaceSafely) {
  std::atomic<int> opened{0};
  std::vector<std::thread> threads;
  for (int worker = 0; worker < 4; ++worker) {
    threads.emplace_back([&, worker] {
      for (int round = 0; round < 6; ++round) {
        int32_t key = -1;
        const int32_t result = worker % 2 == 0
                                   ? QelOpen(0, 480, 270, 30.0, "YUY2")
                                   : QelOpenSerialNo("QEL5#0000ABCD", &key, 480, 270, 30.0);
        EXPECT_TRUE(result == 0 || result == -1) << result;
        if (result == 0) ++opened;
        if (round % 2 == 1) QelClose(0);
      }
    });
  }
  threads.emplace_back([] {
    for (int round = 0; round < 6; ++round) {
      if (QelOpen(2, 640, 480, 30.0, "YUY2") == 1) QelClose(2);
    }
  });
  for (std::thread& thread : threads) thread.join();
  EXPECT_GT(opened.load(), 0);
  QelClose(0);
  EXPECT_EQ(qelsim_running_streams(), 0);
  EXPECT_EQ(qelsim_open_hid_handles(), 0);
  ASSERT_EQ(QelOpen(0, 480, 270, 30.0, "YUY2"), 0);
  QelClose(0);
}

}  // namespace
}  // namespace qel::test
