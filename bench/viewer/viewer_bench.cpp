// qelctl view's costs at 1920 x 1080 on the rig, printed as ratios in one run:
// the server's work per YUY2 preview frame with one client, to one JPEG
// encode of that frame by the same encoder; per MJPG frame, to one memcpy of
// it; from a frame's arrival to its last byte at a local client, in frame
// intervals at 30 frames/s; and the streaming thread's time per frame with
// three clients watching, to none. The server's work per frame is what its
// threads do: the receive's copy, publishing, the encode (or none, for MJPG
// at full size) and the write of the part to the client's socket.
#include <benchmark/benchmark.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frame_hub.h"
#include "frame_pipeline.h"
#include "preview_encoder.h"
#include "qel/qel.h"
#include "qel/qelsim.h"
#include "support/paired_ratio.h"
#include "view_server.h"

namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using qel::bench::PrintRatio;
using qel::bench::Quantile;
using qel::bench::Summarise;
using qel::bench::TimedWork;
using qel::bench::TimePairs;
using qelctl::view::FrameHub;
using qelctl::view::FramePipeline;
using qelctl::view::RawFrame;

constexpr int kPairs = 300;
constexpr int kWarmUpPairs = 20;

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// One frame of the rig's picture (not the check pattern: a JPEG encoder's
// cost depends on what it encodes), grabbed on the real clock.
std::vector<std::uint8_t> GrabFrame(const char* format, int width, int height) {
  qelsim_reset(1);
  qelsim_set_virtual_time(0);
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * height * 2);
  if (QelOpenEx(0, width, height, 30.0, format, QEL_OPEN_FAST) < 0) {
    char why[256] = {};
    QelLastError(why, sizeof why);
    std::printf("%s\n", why);
    return {};
  }
  QelFrameInfo info{};
  info.size = sizeof info;
  const int got =
      QelWaitImage(0, frame.data(), static_cast<std::int32_t>(frame.size()), &info, 3000);
  char why[256] = {};
  QelLastError(why, sizeof why);
  QelClose(0);
  if (got != 1) {
    std::printf("%s\n", why);
    return {};
  }
  frame.resize(static_cast<std::size_t>(info.bytes));
  return frame;
}

// A loopback connection whose far end a thread drains, as a client reads.
class DrainedSocket {
 public:
  DrainedSocket() : acceptor_(io_, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
    client_.connect(acceptor_.local_endpoint());
    server_ = acceptor_.accept();
    drain_ = std::thread([this] {
      std::vector<char> sink(1 << 16);
      boost::system::error_code ec;
      while (!ec) client_.read_some(asio::buffer(sink), ec);
    });
  }
  ~DrainedSocket() {
    boost::system::error_code ignored;
    server_.shutdown(tcp::socket::shutdown_both, ignored);
    drain_.join();
  }
  // Writes one part as the server does: header, picture, line end.
  void WritePart(const std::uint8_t* data, std::size_t size, std::uint64_t sequence) {
    header_ = "--qelframe\r\nContent-Type: image/jpeg\r\nContent-Length: " + std::to_string(size) +
              "\r\nX-Sequence: " + std::to_string(sequence) + "\r\n\r\n";
    const std::array<asio::const_buffer, 3> buffers = {
        asio::buffer(header_), asio::buffer(data, size), asio::buffer("\r\n", 2)};
    asio::write(server_, buffers);
  }

 private:
  asio::io_context io_;
  tcp::acceptor acceptor_;
  tcp::socket client_{io_};
  tcp::socket server_{io_};
  std::thread drain_;
  std::string header_;
};

// The server's work on one frame, watched at full size by one client.
struct ServerWork {
  FrameHub hub;
  FramePipeline pipeline{hub, 80};
  DrainedSocket socket;
  std::uint64_t sequence = 0;

  ServerWork() { hub.AddWatcher(0); }
  TimedWork Work(const std::vector<std::uint8_t>& frame, const char* format, bool write = true) {
    return {{}, [this, &frame, format, write] {
              RawFrame& raw = pipeline.Buffer(frame.size());
              std::memcpy(raw.bytes.data(), frame.data(), frame.size());  // the receive
              raw.length = frame.size();
              raw.width = 1920;
              raw.height = 1080;
              raw.format = format;
              raw.sequence = ++sequence;
              pipeline.Publish(0, Now());
              const auto preview = hub.LatestPreview(0);
              if (write) socket.WritePart(preview->data(), preview->size(), preview->sequence);
            }};
  }
};

void PrintServerRatios(const std::vector<std::uint8_t>& yuy2,
                       const std::vector<std::uint8_t>& mjpg) {
  qelctl::view::PreviewEncoder encoder(80);
  std::string jpeg, error;
  const TimedWork encode{{}, [&] {
                           encoder.Encode(yuy2.data(), yuy2.size(), 1920, 1080, "YUY2", 1, jpeg,
                                          error);
                           benchmark::DoNotOptimize(jpeg.data());
                         }};
  ServerWork yuy2Server;
  PrintRatio("server per YUY2 frame, one client / one JPEG encode",
             Summarise(TimePairs(encode, yuy2Server.Work(yuy2, "YUY2"), kPairs, kWarmUpPairs)),
             1.3);
  std::vector<std::uint8_t> copy(mjpg.size());
  const TimedWork memcpyWork{{}, [&] {
                               std::memcpy(copy.data(), mjpg.data(), mjpg.size());
                               benchmark::DoNotOptimize(copy.data());
                               benchmark::ClobberMemory();
                             }};
  ServerWork mjpgServer;
  PrintRatio(
      "server per MJPG frame, one client / one memcpy",
      Summarise(TimePairs(memcpyWork, mjpgServer.Work(mjpg, "MJPG"), kPairs * 4, kWarmUpPairs)),
      2.0);
  // The same without the write to the socket: the part of the cost that is
  // the viewer's own, apart from the kernel's loopback send.
  ServerWork mjpgUserSpace;
  PrintRatio("  the same without the socket write",
             Summarise(TimePairs(memcpyWork, mjpgUserSpace.Work(mjpg, "MJPG", false), kPairs * 4,
                                 kWarmUpPairs)),
             2.0);
}

// ---- the whole viewer on the rig's real clock --------------------------

std::string Request(std::uint16_t port, const std::string& method, const std::string& target) {
  asio::io_context io;
  tcp::socket socket(io);
  socket.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
  const std::string text = method + " " + target +
                           " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                           "\r\nConnection: close\r\n\r\n";
  asio::write(socket, asio::buffer(text));
  std::string answer;
  boost::system::error_code ec;
  asio::read(socket, asio::dynamic_buffer(answer), ec);
  return answer;
}

// A picture client on its own thread, noting when each part's last byte
// arrived.
class Watcher {
 public:
  Watcher(std::uint16_t port, const std::string& target) {
    socket_.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
    const std::string text =
        "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
    asio::write(socket_, asio::buffer(text));
    thread_ = std::thread([this] { Read(); });
  }
  ~Watcher() {
    boost::system::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    thread_.join();
  }
  std::map<std::uint64_t, double> Arrivals() {
    std::lock_guard lock(mutex_);
    return arrivals_;
  }

 private:
  void Read() {
    std::string data;
    boost::system::error_code ec;
    asio::read_until(socket_, asio::dynamic_buffer(data), "\r\n\r\n", ec);
    data.erase(0, data.find("\r\n\r\n") + 4);
    while (!ec) {
      const std::size_t end = asio::read_until(socket_, asio::dynamic_buffer(data), "\r\n\r\n", ec);
      if (ec) break;
      const std::string header = data.substr(0, end);
      data.erase(0, end);
      const std::size_t length = std::stoul(header.substr(header.find("Content-Length: ") + 16));
      const std::uint64_t sequence = std::stoull(header.substr(header.find("X-Sequence: ") + 12));
      if (data.size() < length + 2) {
        std::string more(length + 2 - data.size(), '\0');
        asio::read(socket_, asio::buffer(more), ec);
        data += more;
      }
      data.erase(0, length + 2);
      std::lock_guard lock(mutex_);
      arrivals_[sequence] = Now();
    }
  }
  asio::io_context io_;
  tcp::socket socket_{io_};
  std::thread thread_;
  std::mutex mutex_;
  std::map<std::uint64_t, double> arrivals_;
};

// The stream's frames as the camera delivers them: when each arrived, and
// the streaming thread's CPU time at that moment.
struct Delivery {
  std::mutex mutex;
  std::map<std::uint64_t, double> arrivals;
  std::vector<double> cpu;  // the streaming thread's CPU time at each frame, seconds
};

void QEL_CALL OnFrame(std::int32_t, const unsigned char*, const QelFrameInfo* info, void* user) {
  auto* delivery = static_cast<Delivery*>(user);
  timespec cpu{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
  std::lock_guard lock(delivery->mutex);
  delivery->arrivals[info->sequence] = Now();
  delivery->cpu.push_back(static_cast<double>(cpu.tv_sec) + cpu.tv_nsec * 1e-9);
}

// The streaming thread's CPU time per frame over the frames of a phase.
double CpuPerFrame(Delivery& delivery, double seconds) {
  std::size_t first = 0;
  {
    std::lock_guard lock(delivery.mutex);
    first = delivery.cpu.size();
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  std::lock_guard lock(delivery.mutex);
  const std::size_t last = delivery.cpu.size();
  if (last < first + 2) return 0.0;
  return (delivery.cpu[last - 1] - delivery.cpu[first]) / static_cast<double>(last - 1 - first);
}

void PrintViewerFigures() {
  qelsim_reset(1);
  qelsim_set_virtual_time(0);
  qelctl::view::ServerOptions options;
  options.rig = true;
  qelctl::view::ViewServer server(options);
  server.Start();
  const std::string token = "token=" + server.token();
  Request(server.port(), "POST",
          "/api/open?device=0&format=YUY2&width=1920&height=1080&rate=30&" + token);
  Delivery delivery;
  QelSetFrameCallback(0, OnFrame, &delivery);

  // Latency, one client at full size.
  {
    Watcher watcher(server.port(), "/stream?" + token);
    std::this_thread::sleep_for(std::chrono::seconds(4));
    const auto received = watcher.Arrivals();
    std::vector<double> latencies;
    std::lock_guard lock(delivery.mutex);
    for (const auto& [sequence, at] : received) {
      const auto arrival = delivery.arrivals.find(sequence);
      if (arrival != delivery.arrivals.end()) latencies.push_back(at - arrival->second);
    }
    const double interval = 1.0 / 30.0;
    std::printf(
        "\nFrom a frame's arrival to its last byte at a local client, 1080p YUY2 at 30 fps\n"
        "(%zu frames): median %.1f ms = %.2f frame intervals (target <= 1.5), 90th "
        "percentile %.1f ms\n",
        latencies.size(), Quantile(latencies, 0.5) * 1e3, Quantile(latencies, 0.5) / interval,
        Quantile(latencies, 0.9) * 1e3);
  }

  // The streaming thread with three clients and with none, in alternating
  // phases (the rig's rendering is on that thread in both, its pattern
  // frames keep it small).
  qelsim_set_frame_mode(qelsim_device_id(1), QELSIM_FRAMES_CHECK_PATTERN);
  std::vector<double> none, three;
  for (int phase = 0; phase < 6; ++phase) {
    none.push_back(CpuPerFrame(delivery, 1.5));
    {
      Watcher a(server.port(), "/stream?" + token);
      Watcher b(server.port(), "/stream?" + token);
      Watcher c(server.port(), "/stream?" + token);
      three.push_back(CpuPerFrame(delivery, 1.5));
    }
  }
  const double withNone = Quantile(none, 0.5);
  const double withThree = Quantile(three, 0.5);
  std::printf(
      "\nThe streaming thread's CPU time per frame, three clients / none (medians of 6\n"
      "alternating phases of 1.5 s): %.1f us / %.1f us = %.2f (target <= 1.1)\n",
      withThree * 1e6, withNone * 1e6, withNone > 0 ? withThree / withNone : 0.0);
  QelSetFrameCallback(0, nullptr, nullptr);
  server.Stop();
}

}  // namespace

int main() {
  const std::vector<std::uint8_t> yuy2 = GrabFrame("YUY2", 1920, 1080);
  const std::vector<std::uint8_t> mjpg = GrabFrame("MJPG", 1920, 1080);
  if (yuy2.empty() || mjpg.empty()) {
    std::printf("the rig's camera gave no frame\n");
    return 1;
  }
  std::printf(
      "qelctl view at 1920 x 1080 (preview encoder: %s; MJPG frame %zu bytes).\n"
      "Ratios, each from pairs timed alternately: the subject's and the baseline's median\n"
      "time, the median ratio over blocks of two pairs in opposite order, and the middle\n"
      "half of those ratios.\n",
      qelctl::view::PreviewEncoder::Name(), mjpg.size());
  PrintServerRatios(yuy2, mjpg);
  PrintViewerFigures();
  return 0;
}
