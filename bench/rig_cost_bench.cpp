// What the virtual rig costs in CPU time, printed as figures:
//   - a 1 MiB firmware rewrite while a 1920x1080 YUY2 stream is open, on the
//     virtual clock (the rig renders only the frames delivered at a wait);
//   - a 1920x1080 YUY2 stream on the real-time clock for a few seconds, as a
//     share of one core (each frame rendered from what did not change, and
//     copied once by the library);
//   - the same for MJPG, whose frames are real JPEG images.
// Targets: the rewrite under 0.2 s of CPU, the YUY2 stream under 10 % of a core.
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "qel/qel.h"
#include "qel/qelsim.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double RewriteCpu(const std::string& image) {
  qelsim_reset(1);
  qelsim_set_virtual_time(1);
  if (QelOpen(0, 1920, 1080, 30.0, "YUY2") != 0) return -1.0;
  const double start = CpuSeconds();
  if (!QelSoftRewrite(0, image.c_str())) return -1.0;
  int32_t seconds = 0;
  float percent = 0.0f;
  while (QelSoftRewriteState(0, &seconds, &percent) > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const double used = CpuSeconds() - start;
  QelClose(0);
  return used;
}

// Share of one core used while a real-time stream runs and a reader takes
// every frame, as an application would.
double StreamShare(const char* format, double seconds, int& frames) {
  qelsim_reset(1);
  qelsim_set_virtual_time(0);
  if (QelOpenEx(0, 1920, 1080, 30.0, format, QEL_OPEN_FAST) != 0) return -1.0;
  std::vector<unsigned char> buffer(1920 * 1080 * 4);
  QelFrameInfo info{};
  info.size = sizeof info;
  frames = 0;
  const double startCpu = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (QelWaitImage(0, buffer.data(), static_cast<int32_t>(buffer.size()), &info, 200) == 1) {
      ++frames;
    }
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double share = (CpuSeconds() - startCpu) / wall;
  QelClose(0);
  return share;
}

}  // namespace

int main() {
  const std::string image =
      (std::filesystem::temp_directory_path() / "qel_rig_cost_1MiB.bin").string();
  {
    std::vector<char> bytes(1u << 20);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 + 7);
    std::ofstream(image, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
  }
  const double rewrite = RewriteCpu(image);
  std::filesystem::remove(image);
  std::printf(
      "1 MiB rewrite, 1920x1080 YUY2 stream open, virtual clock: %.3f s of CPU "
      "(target under 0.2 s)\n",
      rewrite);
  int frames = 0;
  const double yuy2 = StreamShare("YUY2", 5.0, frames);
  std::printf(
      "1920x1080 YUY2 stream, real time, every frame received: %.1f %% of one core, "
      "%d frames in 5 s (target under 10 %%)\n",
      yuy2 * 100.0, frames);
  const double mjpg = StreamShare("MJPG", 5.0, frames);
  std::printf(
      "1920x1080 MJPG stream, real time, every frame received: %.1f %% of one core, "
      "%d frames in 5 s\n",
      mjpg * 100.0, frames);
  return rewrite >= 0.0 && yuy2 >= 0.0 && mjpg >= 0.0 ? 0 : 1;
}
