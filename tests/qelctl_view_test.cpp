// qelctl view's HTTP server, in this process on the rig, through Beast's own
// client: the Host and token checks, bad and oversized requests, every
// route, the picture with several clients and one that never reads, an
// unplug mid-stream, and the preview encoder.
#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <chrono>
#include <cstring>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "image_writer.h"
#include "preview_encoder.h"
#include "support/rig_fixture.h"
#include "view_server.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;
using qelctl::view::ServerOptions;
using qelctl::view::ViewServer;

struct Answer {
  int status = 0;
  std::string body;
  std::map<std::string, std::string> headers;
  std::string Header(const std::string& name) const {
    const auto at = headers.find(name);
    return at == headers.end() ? "" : at->second;
  }
};

class ViewServerTest : public qel::test::RigTest {
 protected:
  void SetUp() override {
    RigTest::SetUp();
    qelsim_set_virtual_time(0);  // frames flow by themselves
  }
  void TearDown() override {
    server_.reset();
    RigTest::TearDown();
  }

  void StartServer(ServerOptions options = {}) {
    options.rig = options.rig || !noRig_;
    server_ = std::make_unique<ViewServer>(options);
    server_->Start();
    port_ = server_->port();
  }

  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string WithToken(const std::string& target) const {
    return target + (target.find('?') == std::string::npos ? "?" : "&") +
           "token=" + server_->token();
  }

  // A connection; a small receive window keeps the server's writes to it
  // under way for longer.
  tcp::socket Connect(int receiveBuffer = 0) {
    tcp::socket socket(io_);
    socket.open(tcp::v4());
    if (receiveBuffer > 0) {
      socket.set_option(asio::socket_base::receive_buffer_size(receiveBuffer));
    }
    socket.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port_));
    return socket;
  }

  Answer Send(http::verb verb, const std::string& target, const std::string& host = "",
              const std::string& body = "") {
    tcp::socket socket = Connect();
    http::request<http::string_body> request(verb, target, 11);
    request.set(http::field::host, host.empty() ? Host() : host);
    request.set(http::field::origin, "http://elsewhere.example");
    request.body() = body;
    request.prepare_payload();
    http::write(socket, request);
    return ReadAnswer(socket);
  }
  Answer Get(const std::string& target) { return Send(http::verb::get, WithToken(target)); }
  Answer Post(const std::string& target) { return Send(http::verb::post, WithToken(target)); }

  static Answer ReadAnswer(tcp::socket& socket) {
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    http::read(socket, buffer, response);
    Answer answer{static_cast<int>(response.result_int()), response.body(), {}};
    for (const auto& field : response) {
      answer.headers[std::string(field.name_string())] = std::string(field.value());
    }
    return answer;
  }

  // Writes text as it is and reads the answer up to the server's close.
  Answer SendRaw(const std::string& text) {
    tcp::socket socket = Connect();
    asio::write(socket, asio::buffer(text));
    return ReadAnswer(socket);
  }

  // Waits until the status's text holds what.
  bool StatusShows(const std::string& what, std::chrono::milliseconds within = 3s) {
    const auto end = std::chrono::steady_clock::now() + within;
    while (std::chrono::steady_clock::now() < end) {
      if (Get("/api/status").body.find(what) != std::string::npos) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  asio::io_context io_;
  std::unique_ptr<ViewServer> server_;
  std::uint16_t port_ = 0;
  bool noRig_ = false;
};

// A picture client: the multipart stream read part by part.
class PictureClient {
 public:
  PictureClient(tcp::socket socket, const std::string& target, const std::string& host)
      : socket_(std::move(socket)) {
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
    asio::write(socket_, asio::buffer(request));
    const std::size_t end = asio::read_until(socket_, asio::dynamic_buffer(data_), "\r\n\r\n");
    head_ = data_.substr(0, end);
    data_.erase(0, end);
  }
  const std::string& head() const { return head_; }

  // The next part: its sequence and JPEG bytes.
  std::pair<std::uint64_t, std::string> Next() {
    const std::size_t end = asio::read_until(socket_, asio::dynamic_buffer(data_), "\r\n\r\n");
    const std::string header = data_.substr(0, end);
    data_.erase(0, end);
    const std::size_t length = std::stoul(Field(header, "Content-Length: "));
    if (data_.size() < length + 2) {
      std::string more(length + 2 - data_.size(), '\0');
      asio::read(socket_, asio::buffer(more));
      data_ += more;
    }
    std::string jpeg = data_.substr(0, length);
    data_.erase(0, length + 2);
    return {std::stoull(Field(header, "X-Sequence: ")), jpeg};
  }

 private:
  static std::string Field(const std::string& header, const std::string& name) {
    const std::size_t at = header.find(name);
    if (at == std::string::npos) return "0";
    return header.substr(at + name.size(), header.find("\r\n", at) - at - name.size());
  }
  tcp::socket socket_;
  std::string data_;
  std::string head_;
};

TEST_F(ViewServerTest, RefusesForeignHostsMissingTokensAndStateChangesByGet) {
  StartServer();
  const std::string port = std::to_string(port_);
  // DNS rebinding: a name that is not the server's, or another port.
  for (const std::string& host :
       std::vector<std::string>{"attacker.example:" + port, "127.0.0.1:1", "localhost"}) {
    const Answer answer = Send(http::verb::get, WithToken("/api/status"), host);
    EXPECT_EQ(answer.status, 403) << host;
    EXPECT_NE(answer.body.find("Host"), std::string::npos) << host;
  }
  EXPECT_EQ(SendRaw("GET " + WithToken("/api/status") + " HTTP/1.1\r\n\r\n").status, 403);
  EXPECT_EQ(Send(http::verb::get, WithToken("/api/status"), "localhost:" + port).status, 200);
  // Every route needs the token, the page and the picture included.
  for (const std::string target : {"/", "/stream", "/api/devices", "/api/status?token=wrong"}) {
    EXPECT_EQ(Send(http::verb::get, target).status, 403) << target;
  }
  // A state change by GET changes nothing.
  EXPECT_EQ(Get("/api/open?device=0").status, 405);
  EXPECT_EQ(Get("/api/rig/unplug?device=0").status, 405);
  EXPECT_NE(Get("/api/status").body.find("\"open\":false"), std::string::npos);
  EXPECT_EQ(Get("/api/devices").body.find("USB Camera") != std::string::npos, true);
  EXPECT_EQ(Post("/api/status").status, 405);
  EXPECT_EQ(Send(http::verb::put, WithToken("/api/status")).status, 405);
  // No CORS, whoever asks; and no referrer carries the token away.
  const Answer page = Get("/");
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("<title>qelctl view</title>"), std::string::npos);
  EXPECT_EQ(page.headers.count("Access-Control-Allow-Origin"), 0u);
  EXPECT_EQ(page.Header("Referrer-Policy"), "no-referrer");
}

TEST_F(ViewServerTest, ListeningOnEveryAddressTakesAddressesButNoOtherNames) {
  ServerOptions options;
  options.listen = "0.0.0.0";
  StartServer(options);
  EXPECT_TRUE(server_->BeyondLoopback());
  const std::string port = ":" + std::to_string(port_);
  EXPECT_EQ(Send(http::verb::get, WithToken("/api/status"), "192.0.2.7" + port).status, 200);
  EXPECT_EQ(Send(http::verb::get, WithToken("/api/status"), "[2001:db8::7]" + port).status, 200);
  EXPECT_EQ(Send(http::verb::get, WithToken("/api/status"), "camera.example" + port).status, 403);
}

// Browsers send the name alone for HTTP's own port 80.
TEST_F(ViewServerTest, OnPort80TheNameAloneIsTheHost) {
  ServerOptions options;
  options.port = 80;
  try {
    StartServer(options);
  } catch (const std::exception& e) {
    GTEST_SKIP() << "port 80 cannot be listened on here: " << e.what();
  }
  EXPECT_EQ(Send(http::verb::get, WithToken("/api/status"), "localhost").status, 200);
  EXPECT_EQ(Send(http::verb::get, WithToken("/api/status"), "localhost:80").status, 200);
  EXPECT_EQ(Send(http::verb::get, WithToken("/api/status"), "localhost:8080").status, 403);
  EXPECT_EQ(Send(http::verb::get, WithToken("/api/status"), "attacker.example").status, 403);
}

TEST_F(ViewServerTest, BadAndOversizedRequestsGetAReasonAndTheServerGoesOn) {
  StartServer();
  const std::string host = "Host: " + Host() + "\r\n";
  const std::string token = "token=" + server_->token();
  EXPECT_EQ(SendRaw("GARBAGE\r\n\r\n").status, 400);
  EXPECT_EQ(SendRaw("POST /api/close?" + token + " HTTP/1.1\r\n" + host +
                    "Content-Length: 100000\r\n\r\n")
                .status,
            413);
  EXPECT_EQ(SendRaw("GET /?" + token + " HTTP/1.1\r\n" + host + "X-Big: " + std::string(9000, 'a') +
                    "\r\n\r\n")
                .status,
            431);
  EXPECT_EQ(Get("/api/status?x=" + std::string(3000, 'a')).status, 414);
  for (const std::string target :
       {"/api/formats?device=%zz", "/api/formats?device=1&device=2", "/api/formats?device=one",
        "/api/formats?device=99999999999999999999", "/api/formats", "/api/formats?device=1%00"}) {
    const Answer answer = Get(target);
    EXPECT_EQ(answer.status, 400) << target;
    EXPECT_FALSE(answer.body.empty()) << target;
  }
  EXPECT_EQ(Get("/api/formats?device=7").status, 404);
  EXPECT_EQ(Get("/api/nothing").status, 404);
  EXPECT_EQ(Post("/api/open?device=0&width=640").status, 400);
  EXPECT_EQ(Post("/api/open?device=0&rate=nan").status, 400);
  EXPECT_EQ(Post("/api/open?device=0&format=H264").status, 422);
  EXPECT_EQ(Post("/api/setting?name=led&value=1").status, 409);  // nothing open
  EXPECT_EQ(Get("/api/status").status, 200);
}

TEST_F(ViewServerTest, EveryRouteAnswersOnAnOpenCamera) {
  StartServer();
  const Answer devices = Get("/api/devices");
  EXPECT_NE(devices.body.find("\"serial\":\"QEL5#0000ABCD\""), std::string::npos);
  EXPECT_NE(devices.body.find("\"name\":\"USB Camera- HD\",\"serial\":null"), std::string::npos);
  EXPECT_NE(Get("/api/formats?device=1")
                .body.find("\"format\":\"YUY2\",\"width\":656,\"height\":408,\"fps\":120"),
            std::string::npos);

  ASSERT_EQ(Post("/api/open?device=1&format=YUY2&width=656&height=408&rate=30").status, 200);
  ASSERT_TRUE(StatusShows("\"camera\":\"streaming\""));
  EXPECT_NE(Get("/api/status").body.find("\"width\":656,\"height\":408,\"rate\":\"30\""),
            std::string::npos);

  const Answer settings = Get("/api/settings");
  EXPECT_NE(settings.body.find("{\"name\":\"led\""), std::string::npos);
  EXPECT_EQ(settings.body.find("\"name\":\"analog-gain\""), std::string::npos);  // not a QEL2's
  const Answer set = Post("/api/setting?name=led&value=32");
  EXPECT_EQ(set.status, 200);
  EXPECT_NE(set.body.find("\"value\":[32]"), std::string::npos);
  const Answer refused = Post("/api/setting?name=led&value=9999");
  EXPECT_EQ(refused.status, 422);
  EXPECT_NE(refused.body.find("0..64"), std::string::npos);
  EXPECT_EQ(Post("/api/setting?name=led&value=1,2,3,4,5").status, 400);
  // A value is decoded once, as sent: "+16" is 16, and "2&x=3" is no number.
  EXPECT_NE(Post("/api/setting?name=led&value=%2B16").body.find("\"value\":[16]"),
            std::string::npos);
  EXPECT_EQ(Post("/api/setting?name=led&value=2%26x%3D3").status, 400);
  EXPECT_EQ(Post("/api/setting?name=nosuch&value=1").status, 400);

  const Answer info = Get("/api/info");
  EXPECT_NE(info.body.find("\"serial_number\":\"0x00C0FFEE\""), std::string::npos);
  EXPECT_NE(info.body.find("\"temperature_1\":"), std::string::npos);
  EXPECT_EQ(info.body.find("\"temperature_1\":null"), std::string::npos);  // read, not failed
  EXPECT_NE(info.body.find("\"usb_mode\":\"0x02\",\"recognition\":\"0x5A\""), std::string::npos);

  const Answer raw = Get("/api/snapshot?kind=raw");
  EXPECT_EQ(raw.body.size(), 656u * 408u * 2u);
  std::int64_t counter = 0;
  EXPECT_EQ(qelsim_check_frame(reinterpret_cast<const unsigned char*>(raw.body.data()),
                               static_cast<std::int32_t>(raw.body.size()), &counter),
            1);
  const Answer png = Get("/api/snapshot?kind=png");
  EXPECT_EQ(png.Header("Content-Type"), "image/png");
  ASSERT_GT(png.body.size(), 24u);
  EXPECT_EQ(png.body.substr(1, 3), "PNG");
  EXPECT_EQ(static_cast<unsigned char>(png.body[19]), 656 & 0xFF);  // IHDR width, low byte
  EXPECT_NE(png.Header("Content-Disposition").find(".png"), std::string::npos);
  EXPECT_EQ(Get("/api/snapshot?kind=gif").status, 400);

  // MJPG: the snapshot is the frame as delivered (its stamp intact).
  ASSERT_EQ(Post("/api/open?device=0&format=MJPG&width=960&height=540").status, 200);
  ASSERT_TRUE(StatusShows("\"format\":\"MJPG\"") && StatusShows("\"camera\":\"streaming\""));
  const Answer jpeg = Get("/api/snapshot?kind=jpeg");
  EXPECT_EQ(jpeg.Header("Content-Type"), "image/jpeg");
  EXPECT_EQ(qelsim_check_frame(reinterpret_cast<const unsigned char*>(jpeg.body.data()),
                               static_cast<std::int32_t>(jpeg.body.size()), &counter),
            1);

  EXPECT_EQ(Post("/api/close").status, 200);
  EXPECT_NE(Get("/api/status").body.find("\"camera\":\"closed\",\"message\":\"\",\"open\":false"),
            std::string::npos);
  EXPECT_EQ(Get("/api/snapshot").status, 409);
}

// The page polls the status every half second: it is answered while an open
// is held up in the camera's firmware, and says the camera is starting.
TEST_F(ViewServerTest, StatusAnswersWhileAnOpenWaits) {
  StartServer();
  ASSERT_EQ(qelsim_hold_firmware(qel::test::kQel5Device, -1, 0), 0);
  auto opened = std::async(std::launch::async, [this] {
    return Post("/api/open?device=0&format=YUY2&width=960&height=540").status;
  });
  for (int i = 0; i < 300 && qelsim_firmware_held(qel::test::kQel5Device) == 0; ++i)
    std::this_thread::sleep_for(10ms);
  ASSERT_EQ(qelsim_firmware_held(qel::test::kQel5Device), 1)
      << "the open never reached the firmware";
  auto status = std::async(std::launch::async, [this] { return Get("/api/status"); });
  const bool answered = status.wait_for(5s) == std::future_status::ready;
  qelsim_release_firmware(qel::test::kQel5Device);
  ASSERT_TRUE(answered) << "the status waited for the open";
  EXPECT_NE(status.get().body.find("\"camera\":\"starting\",\"message\":\"\",\"open\":false"),
            std::string::npos);
  EXPECT_EQ(opened.get(), 200);
  EXPECT_TRUE(StatusShows("\"camera\":\"streaming\",\"message\":\"\",\"open\":true"));
}

TEST_F(ViewServerTest, PictureClientsShareEncodingsAndOneThatNeverReadsIsDropped) {
  ServerOptions options;
  options.writeTimeout = 300ms;
  StartServer(options);
  ASSERT_EQ(Post("/api/open?device=0&format=YUY2&width=1920&height=1080&rate=30").status, 200);

  // A client that never reads, with a small window, so that it stalls soon.
  tcp::socket stalled = Connect(4096);
  const std::string request =
      "GET " + WithToken("/stream") + " HTTP/1.1\r\nHost: " + Host() + "\r\n\r\n";
  asio::write(stalled, asio::buffer(request));

  PictureClient a(Connect(), WithToken("/stream"), Host());
  PictureClient b(Connect(), WithToken("/stream"), Host());
  PictureClient half(Connect(), WithToken("/stream?scale=2"), Host());
  EXPECT_NE(a.head().find("multipart/x-mixed-replace"), std::string::npos);

  // Every client keeps receiving newer frames while the stalled one waits.
  std::uint64_t last = 0;
  for (int i = 0; i < 20; ++i) {
    const auto [sequence, jpeg] = a.Next();
    EXPECT_GT(sequence, last);
    last = sequence;
    std::vector<std::uint8_t> rgb;
    int width = 0, height = 0;
    std::string error;
    if (i == 0) {
      ASSERT_TRUE(qelctl::DecodeJpeg(reinterpret_cast<const std::uint8_t*>(jpeg.data()),
                                     jpeg.size(), rgb, width, height, error))
          << error;
      EXPECT_EQ(width, 1920);
      const auto [halfSequence, halfJpeg] = half.Next();
      ASSERT_TRUE(qelctl::DecodeJpeg(reinterpret_cast<const std::uint8_t*>(halfJpeg.data()),
                                     halfJpeg.size(), rgb, width, height, error));
      EXPECT_EQ(width, 960);
    }
    b.Next();
  }
  // Two scales watched: two encodings per frame, however many clients.
  const std::string status = Get("/api/status").body;
  const auto number = [&](const std::string& name) {
    const std::size_t at = status.find("\"" + name + "\":");
    return std::stoull(status.substr(at + name.size() + 3));
  };
  EXPECT_LE(number("previews"), 2 * number("sequence") + 2);
  // The stalled client has been dropped; the others still watch.
  EXPECT_TRUE(StatusShows("\"watchers\":3", 10s)) << Get("/api/status").body;
}

TEST_F(ViewServerTest, MjpgPartsAreTheFramesAsDelivered) {
  StartServer();
  ASSERT_EQ(Post("/api/open?device=0&format=MJPG&width=960&height=540").status, 200);
  PictureClient client(Connect(), WithToken("/stream"), Host());
  // Every part is an intact frame as delivered (its stamp checks), though
  // buffers are used again while the stream runs and snapshots hold some.
  std::int64_t last = -1;
  for (int i = 0; i < 30; ++i) {
    const auto [sequence, jpeg] = client.Next();
    std::int64_t counter = 0;
    ASSERT_EQ(qelsim_check_frame(reinterpret_cast<const unsigned char*>(jpeg.data()),
                                 static_cast<std::int32_t>(jpeg.size()), &counter),
              1)
        << "part " << i;
    EXPECT_GT(counter, last);
    last = counter;
    if (i % 10 == 0) {
      EXPECT_EQ(Get("/api/snapshot?kind=raw").status, 200);
    }
  }
}

TEST_F(ViewServerTest, AnUnpluggedCameraIsShownAndCanBeReplugged) {
  StartServer();
  ASSERT_EQ(Post("/api/open?device=1&format=YUY2&width=328&height=204").status, 200);
  PictureClient client(Connect(), WithToken("/stream?scale=4"), Host());
  client.Next();

  const Answer unplug = Post("/api/rig/unplug?device=1");
  ASSERT_EQ(unplug.status, 200) << unplug.body;
  EXPECT_TRUE(StatusShows("\"camera\":\"unplugged\""));
  EXPECT_EQ(Get("/api/devices").body.find("QEL2#00C0FFEE"), std::string::npos);
  EXPECT_EQ(Post("/api/rig/unplug?device=9").status, 404);

  ASSERT_EQ(Post("/api/rig/replug").status, 200);
  EXPECT_EQ(Post("/api/rig/replug").status, 409);
  const std::string devices = Get("/api/devices").body;
  EXPECT_NE(devices.find("{\"key\":2,\"name\":\"QEL2\",\"serial\":\"QEL2#00C0FFEE\""),
            std::string::npos)
      << devices;
  ASSERT_EQ(Post("/api/open?device=2&format=YUY2&width=656&height=408").status, 200);
  EXPECT_TRUE(StatusShows("\"camera\":\"streaming\""));
  // The same picture connection carries the new stream: its pictures come
  // in the new size.
  bool newStream = false;
  for (int part = 0; part < 200 && !newStream; ++part) {
    const std::string jpeg = client.Next().second;
    std::vector<std::uint8_t> rgb;
    int width = 0, height = 0;
    std::string error;
    ASSERT_TRUE(qelctl::DecodeJpeg(reinterpret_cast<const std::uint8_t*>(jpeg.data()), jpeg.size(),
                                   rgb, width, height, error))
        << error;
    newStream = width == 656 / 4 && height == 408 / 4;
  }
  EXPECT_TRUE(newStream);
}

TEST_F(ViewServerTest, RigRoutesExistOnlyOnTheRig) {
  noRig_ = true;
  StartServer();
  EXPECT_EQ(Post("/api/rig/unplug?device=0").status, 404);
  EXPECT_EQ(Post("/api/rig/replug").status, 404);
}

TEST(PreviewEncoder, EncodesYuy2ScalesDownAndPassesMjpgThrough) {
  qelctl::view::PreviewEncoder encoder;
  std::vector<std::uint8_t> yuy2(64 * 32 * 2, 128);
  std::string jpeg, error;
  std::vector<std::uint8_t> rgb;
  int width = 0, height = 0;
  for (const int scale : {1, 2, 4}) {
    ASSERT_TRUE(encoder.Encode(yuy2.data(), yuy2.size(), 64, 32, "YUY2", scale, jpeg, error))
        << error;
    ASSERT_TRUE(qelctl::DecodeJpeg(reinterpret_cast<const std::uint8_t*>(jpeg.data()), jpeg.size(),
                                   rgb, width, height, error));
    EXPECT_EQ(width, 64 / scale);
    EXPECT_EQ(height, 32 / scale);
  }
  const std::string full = jpeg;
  ASSERT_TRUE(encoder.Encode(reinterpret_cast<const std::uint8_t*>(full.data()), full.size(), 16, 8,
                             "MJPG", 1, jpeg, error));
  EXPECT_EQ(jpeg, full);  // as delivered
  EXPECT_FALSE(encoder.Encode(yuy2.data(), yuy2.size() - 1, 64, 32, "YUY2", 1, jpeg, error));
  EXPECT_FALSE(encoder.Encode(yuy2.data(), yuy2.size(), 63, 32, "YUY2", 1, jpeg, error));
  EXPECT_FALSE(encoder.Encode(yuy2.data(), yuy2.size(), 64, 32, "H264", 1, jpeg, error));
  EXPECT_FALSE(encoder.Encode(yuy2.data(), yuy2.size(), 64, 32, "YUY2", 3, jpeg, error));
}

}  // namespace
