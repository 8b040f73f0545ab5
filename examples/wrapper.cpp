// The C++ wrapper: a camera that closes itself, settings by name, a frame
// handler, frames that own their bytes, and failures as exceptions.
// Run with QEL_PLATFORM=rig for the virtual cameras.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <qel/qel.hpp>

int main() {
  try {
    for (const qel::Device& device : qel::ListDevices()) {
      std::printf("%d: %s %s\n", device.position, device.name.c_str(), device.serialText.c_str());
    }
    qel::Camera camera = qel::Camera::Open(0, 480, 270, 30.0, "YUY2");
    for (const qel::Setting& setting : camera.Settings()) {
      std::printf("%-18s %g..%g %s\n", setting.name.c_str(), setting.minimum, setting.maximum,
                  setting.unit.c_str());
    }
    camera.Set("led", 32);
    std::atomic<int> frames{0};
    camera.OnFrame([&frames](const unsigned char*, const QelFrameInfo&) { ++frames; });
    if (std::optional<qel::Frame> frame = camera.Wait(std::chrono::seconds(2))) {
      std::printf("frame %llu: %dx%d %s, %lu bytes\n",
                  static_cast<unsigned long long>(frame->info.sequence), frame->info.width,
                  frame->info.height, frame->info.formatName,
                  static_cast<unsigned long>(frame->bytes.size()));
    }
    camera.Set("shutter", 1e9);  // outside the camera's range: throws
  } catch (const qel::Error& error) {
    // The library's code and reason: "QelSetSetting: 1000000000 lines is outside 1..10000 ..."
    std::printf("refused (code %d): %s\n", error.code(), error.what());
    return error.code() == QEL_ERROR_OUT_OF_RANGE ? 0 : 1;
  }
  return 1;
}
