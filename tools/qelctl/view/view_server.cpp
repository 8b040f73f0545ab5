#include "view_server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "command_support.h"
#include "frame_hub.h"
#include "http_error.h"
#include "query.h"
#include "view_api.h"
#include "view_page.h"

namespace qelctl::view {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr std::size_t kHeaderLimit = 8 * 1024;
constexpr std::size_t kBodyLimit = 4 * 1024;
constexpr const char* kBoundary = "qelframe";

// Whether host (without its port) is an IP address literal: "10.0.0.5" or
// "[fe80::1]". A DNS-rebinding page reaches the server under its own
// domain name, never under an address literal.
bool IsAddressLiteral(const std::string& host) {
  std::string bare = host;
  if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') {
    bare = bare.substr(1, bare.size() - 2);
  }
  boost::system::error_code ec;
  asio::ip::make_address(bare, ec);
  return !ec;
}

}  // namespace

std::string RandomToken() {
  std::random_device random;
  std::string token;
  static const char kHex[] = "0123456789abcdef";
  for (int i = 0; i < 8; ++i) {
    const unsigned value = random();
    for (int nibble = 0; nibble < 4; ++nibble) token += kHex[(value >> (nibble * 4)) & 0xF];
  }
  return token;
}

class StreamClient;

// What the sessions share: the options, the hub and the routes, the I/O
// context and the camera thread.
struct Server {
  ServerOptions options;
  FrameHub hub;
  ViewApi api;
  asio::io_context io{1};
  tcp::acceptor acceptor{io};
  asio::thread_pool camera{1};
  std::thread ioThread;
  std::string token;
  std::uint16_t port = 0;
  bool listenAny = false;
  std::string listenHost;  // the Host form of a specific --listen address
  std::atomic<int> connections{0};
  std::vector<std::weak_ptr<StreamClient>> streams;  // on the I/O thread
  std::atomic<bool> wakePending{false};
  std::atomic<bool> stopping{false};

  explicit Server(const ServerOptions& o) : options(o), api(hub, o.rig, o.quality) {}

  void Accept();
  void WakeStreams();
  bool HostAllowed(const std::string& host) const;
};

// A picture client: the multipart response, one JPEG part per preview
// frame. Only the latest preview is ever sent: a client still taking the
// last one skips those that came meanwhile.
class StreamClient : public std::enable_shared_from_this<StreamClient> {
 public:
  StreamClient(Server& server, tcp::socket socket, int scaleIndex)
      : server_(server), socket_(std::move(socket)), timer_(server.io), scaleIndex_(scaleIndex) {
    server_.hub.AddWatcher(scaleIndex_);
  }
  ~StreamClient() { Release(); }

  void Start() {
    // A small send buffer: a client that falls behind is seen soon, and
    // what it is sent is not many frames old.
    boost::system::error_code ignored;
    socket_.set_option(asio::socket_base::send_buffer_size(512 * 1024), ignored);
    header_ = "HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=" +
              std::string(kBoundary) +
              "\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n"
              "Referrer-Policy: no-referrer\r\nConnection: close\r\n\r\n";
    Send(asio::buffer(header_));
    // The client never sends more; a read ends when it goes away.
    socket_.async_read_some(asio::buffer(sink_),
                            [self = shared_from_this()](boost::system::error_code ec, std::size_t) {
                              if (ec) self->Finish();
                            });
  }

  // A new preview may be there.
  void Pump() {
    if (writing_ || done_) return;
    std::shared_ptr<const PreviewFrame> latest = server_.hub.LatestPreview(scaleIndex_);
    if (!latest || latest == current_) return;
    current_ = std::move(latest);
    part_ = "--" + std::string(kBoundary) +
            "\r\nContent-Type: image/jpeg\r\nContent-Length: " + std::to_string(current_->size()) +
            "\r\nX-Sequence: " + std::to_string(current_->sequence) + "\r\n\r\n";
    const std::array<asio::const_buffer, 3> buffers = {
        asio::buffer(part_), asio::buffer(current_->data(), current_->size()),
        asio::buffer("\r\n", 2)};
    Send(buffers);
  }

  void Finish() {
    if (done_) return;
    done_ = true;
    // It stops counting at once, even where a platform completes the
    // cancelled write (and so frees the client) only later.
    Release();
    boost::system::error_code ignored;
    timer_.cancel();
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
  }

 private:
  void Release() {
    if (released_) return;
    released_ = true;
    server_.hub.RemoveWatcher(scaleIndex_);
    --server_.connections;
  }

  template <typename Buffers>
  void Send(const Buffers& buffers) {
    writing_ = true;
    // A client that takes nothing for this long is dropped.
    timer_.expires_after(server_.options.writeTimeout);
    timer_.async_wait([weak = weak_from_this()](boost::system::error_code ec) {
      if (auto self = weak.lock(); self && !ec) self->Finish();
    });
    asio::async_write(socket_, buffers,
                      [self = shared_from_this()](boost::system::error_code ec, std::size_t) {
                        self->writing_ = false;
                        self->timer_.cancel();
                        if (ec) {
                          self->Finish();
                        } else {
                          self->Pump();
                        }
                      });
  }

  Server& server_;
  tcp::socket socket_;
  asio::steady_timer timer_;
  const int scaleIndex_;
  std::string header_;
  std::string part_;
  std::shared_ptr<const PreviewFrame> current_;
  std::array<char, 64> sink_{};
  bool writing_ = false;
  bool done_ = false;
  bool released_ = false;
};

namespace {

// One connection's requests, answered in turn.
class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(Server& server, tcp::socket socket) : server_(server), stream_(std::move(socket)) {}
  ~HttpSession() {
    if (!handedOver_) --server_.connections;
  }

  void Read() {
    parser_.emplace();
    parser_->header_limit(kHeaderLimit);
    parser_->body_limit(kBodyLimit);
    stream_.expires_after(server_.options.readTimeout);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->OnRead(ec); });
  }

 private:
  void OnRead(beast::error_code ec) {
    if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
        ec == asio::error::operation_aborted || ec == asio::error::eof ||
        ec == asio::error::connection_reset) {
      Close();
      return;
    }
    if (ec == http::error::body_limit) {
      Fail(413, "the request body is longer than " + std::to_string(kBodyLimit) + " bytes");
      return;
    }
    if (ec == http::error::header_limit) {
      Fail(431, "the request header is longer than " + std::to_string(kHeaderLimit) + " bytes");
      return;
    }
    if (ec) {
      Fail(400, "the request is no valid HTTP/1.1 request (" + ec.message() + ")");
      return;
    }
    request_ = parser_->release();
    try {
      Route();
    } catch (const HttpError& e) {
      Respond(Reply{e.status(), "text/plain; charset=utf-8", std::string(e.what()) + "\n", ""});
    }
  }

  void Route() {
    const std::string host(request_[http::field::host]);
    if (!server_.HostAllowed(host)) {
      throw HttpError(403, "the Host header \"" + host.substr(0, 64) +
                               "\" does not name this server; open the address qelctl printed");
    }
    const bool post = request_.method() == http::verb::post;
    if (!post && request_.method() != http::verb::get) {
      throw HttpError(405, "the viewer answers GET and POST only");
    }
    const Query query(std::string_view(request_.target().data(), request_.target().size()));
    if (!SameSecret(query.Text("token"), server_.token)) {
      throw HttpError(403, "the token is missing or wrong; open the address qelctl printed");
    }
    const std::string& path = query.path();
    if (path == "/" || path == "/index.html") {
      if (post) throw HttpError(405, "the page only reads: use GET");
      Respond(Reply{200, "text/html; charset=utf-8", std::string(ViewPage()), ""});
      return;
    }
    if (path == "/stream") {
      if (post) throw HttpError(405, "the picture only reads: use GET");
      const int scale = static_cast<int>(query.Integer("scale", 1, 4, 1));
      const int index = PreviewScaleIndex(scale);
      if (index < 0) throw HttpError(400, "the parameter scale is 1, 2 or 4");
      handedOver_ = true;
      stream_.expires_never();
      auto client = std::make_shared<StreamClient>(server_, stream_.release_socket(), index);
      server_.streams.push_back(client);
      client->Start();
      client->Pump();
      return;
    }
    if (path.rfind("/api/", 0) != 0) throw HttpError(404, "no page " + path.substr(0, 64));
    // The page polls the status: it is answered here, from the hub, and never
    // waits behind an open that takes seconds.
    if (path == "/api/status") {
      if (post) throw HttpError(405, "/api/status only reads: use GET");
      Respond(server_.api.Status());
      return;
    }
    // The library is called on the camera thread; the answer comes back here.
    asio::post(server_.camera, [self = shared_from_this(), post, query]() mutable {
      Reply reply;
      try {
        reply = self->server_.api.Handle(post, query);
      } catch (const HttpError& e) {
        reply = Reply{e.status(), "text/plain; charset=utf-8", std::string(e.what()) + "\n", ""};
      } catch (const std::exception& e) {
        reply = Reply{500, "text/plain; charset=utf-8", std::string(e.what()) + "\n", ""};
      }
      asio::post(self->server_.io,
                 [self, reply = std::move(reply)]() mutable { self->Respond(std::move(reply)); });
    });
  }

  // Answers a request that cannot be read on, and closes the connection.
  void Fail(int status, const std::string& reason) {
    request_ = {};
    request_.keep_alive(false);
    Respond(Reply{status, "text/plain; charset=utf-8", reason + "\n", ""});
  }

  void Respond(Reply reply) {
    auto response = std::make_shared<http::response<http::string_body>>(
        static_cast<http::status>(reply.status), 11);
    response->set(http::field::server, "qelctl");
    response->set(http::field::content_type, reply.contentType);
    response->set(http::field::cache_control, "no-store");
    // The token travels in addresses: no page may learn it from a referrer,
    // frame the viewer or guess a type.
    response->set("Referrer-Policy", "no-referrer");
    response->set("X-Content-Type-Options", "nosniff");
    response->set("X-Frame-Options", "DENY");
    if (reply.contentType.rfind("text/html", 0) == 0) {
      response->set("Content-Security-Policy",
                    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                    "img-src 'self' blob:; connect-src 'self'; frame-ancestors 'none'");
    }
    if (!reply.filename.empty()) {
      response->set(http::field::content_disposition,
                    "attachment; filename=\"" + reply.filename + "\"");
    }
    if (reply.status == 405) response->set(http::field::allow, "GET, POST");
    response->body() = std::move(reply.body);
    response->keep_alive(request_.keep_alive());
    response->prepare_payload();
    stream_.expires_after(server_.options.writeTimeout);
    http::async_write(stream_, *response,
                      [self = shared_from_this(), response](beast::error_code ec, std::size_t) {
                        if (ec || !response->keep_alive()) {
                          self->Close();
                        } else {
                          self->Read();
                        }
                      });
  }

  void Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
  }

  Server& server_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  http::request<http::string_body> request_;
  bool handedOver_ = false;
};

}  // namespace

struct ViewServer::Impl : Server {
  using Server::Server;
};

bool Server::HostAllowed(const std::string& hostHeader) const {
  // The Host header is the name and this server's port; browsers leave out
  // the port when it is 80, HTTP's own.
  std::string host = hostHeader;
  const std::size_t colon = hostHeader.rfind(':');
  const std::size_t bracket = hostHeader.rfind(']');
  if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
    if (hostHeader.substr(colon + 1) != std::to_string(port)) return false;
    host = hostHeader.substr(0, colon);
  } else if (port != 80) {
    return false;
  }
  host = Lower(host);
  if (host == "127.0.0.1" || host == "localhost" || host == "[::1]") return true;
  if (listenAny) return IsAddressLiteral(host);
  return !listenHost.empty() && host == listenHost;
}

void Server::Accept() {
  acceptor.async_accept([this](boost::system::error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted || stopping) return;
    if (!ec) {
      if (connections >= options.maxConnections) {
        boost::system::error_code ignored;
        socket.close(ignored);
      } else {
        ++connections;
        std::make_shared<HttpSession>(*this, std::move(socket))->Read();
      }
    }
    Accept();
  });
}

void Server::WakeStreams() {
  wakePending = false;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < streams.size(); ++i) {
    if (auto client = streams[i].lock()) {
      client->Pump();
      streams[kept++] = streams[i];
    }
  }
  streams.resize(kept);
}

ViewServer::ViewServer(const ServerOptions& options) : impl_(std::make_unique<Impl>(options)) {
  Impl& s = *impl_;
  s.token = options.token.empty() ? RandomToken() : options.token;
  boost::system::error_code ec;
  const asio::ip::address address = asio::ip::make_address(options.listen, ec);
  if (ec) throw UsageError("--listen takes an IP address, not \"" + options.listen + "\"");
  const tcp::endpoint endpoint(address, options.port);
  s.acceptor.open(endpoint.protocol(), ec);
  if (!ec) s.acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec) s.acceptor.bind(endpoint, ec);
  if (!ec) s.acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    throw CommandError(kExitFailed, "cannot listen on " + options.listen + " port " +
                                        std::to_string(options.port) + ": " + ec.message());
  }
  s.port = s.acceptor.local_endpoint().port();
  s.listenAny = address.is_unspecified();
  if (!s.listenAny && !address.is_loopback()) {
    s.listenHost = address.is_v6() ? "[" + Lower(address.to_string()) + "]" : address.to_string();
  }
  s.hub.SetPreviewListener([&s] {
    // One wake-up for however many previews arrived meanwhile.
    if (!s.wakePending.exchange(true)) asio::post(s.io, [&s] { s.WakeStreams(); });
  });
}

ViewServer::~ViewServer() { Stop(); }

void ViewServer::Start() {
  impl_->Accept();
  impl_->ioThread = std::thread([this] { impl_->io.run(); });
}

void ViewServer::OpenInBackground(const OpenRequest& request) {
  asio::post(impl_->camera, [this, request] {
    try {
      impl_->api.Open(request);
    } catch (const HttpError& e) {
      std::fprintf(stderr, "qelctl: view: cannot open device %d: %s\n", request.device, e.what());
    }
  });
}

void ViewServer::Stop() {
  Impl& s = *impl_;
  if (s.stopping) return;
  s.stopping = true;
  asio::post(s.io, [&s] {
    boost::system::error_code ignored;
    s.acceptor.close(ignored);
  });
  s.io.stop();
  if (s.ioThread.joinable()) s.ioThread.join();
  s.camera.join();
  // The frame thread ends before anything it reaches goes.
  s.api.Close();
  s.hub.SetPreviewListener(nullptr);
}

std::uint16_t ViewServer::port() const { return impl_->port; }

bool ViewServer::BeyondLoopback() const { return impl_->listenAny || !impl_->listenHost.empty(); }

const std::string& ViewServer::token() const { return impl_->token; }

std::string ViewServer::Url() const {
  std::string host = impl_->options.listen;
  if (impl_->listenAny)
    host = "127.0.0.1";
  else if (host.find(':') != std::string::npos)
    host = "[" + host + "]";
  return "http://" + host + ":" + std::to_string(impl_->port) + "/?token=" + impl_->token;
}

}  // namespace qelctl::view
