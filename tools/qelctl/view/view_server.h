// The viewer's HTTP server: the page, the /api/ routes and the live picture
// (/stream, multipart JPEG). It listens on loopback unless told otherwise,
// answers only requests whose Host header names it (against DNS rebinding)
// and whose target carries the run's random token, takes state changes only
// by POST, sends no CORS headers, and bounds what it reads. A request it
// refuses gets a 4xx status and the reason as text.
//
// Threads: one I/O thread serves every connection; one camera thread runs
// the routes that call the library (an open may take seconds without
// holding up the pictures); the camera's frame thread feeds the hub.
// Thread safety: construct, Start, Open and Stop from one thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "camera_controller.h"

namespace qelctl::view {

struct ServerOptions {
  std::string listen = "127.0.0.1";
  std::uint16_t port = 0;  // 0: a free port
  bool rig = false;        // offer the rig routes
  int quality = 80;        // of the preview JPEGs
  // How long a picture client may take to accept one frame before it is
  // dropped; how long a request may take to arrive.
  std::chrono::milliseconds writeTimeout{10000};
  std::chrono::milliseconds readTimeout{30000};
  int maxConnections = 64;
  std::string token;  // "": a random one
};

class ViewServer {
 public:
  // Binds the address; throws CommandError when it cannot.
  explicit ViewServer(const ServerOptions& options);
  ~ViewServer();
  ViewServer(const ViewServer&) = delete;
  ViewServer& operator=(const ViewServer&) = delete;

  // Starts serving on the server's threads.
  void Start();
  // Opens a camera on the camera thread, after whatever it is doing; a
  // failure is printed on standard error.
  void OpenInBackground(const OpenRequest& request);
  // Stops serving and closes the camera; waits for the threads.
  void Stop();

  std::uint16_t port() const;
  // Whether the address listened on reaches beyond this machine.
  bool BeyondLoopback() const;
  const std::string& token() const;
  // The page's address with the token: "http://127.0.0.1:PORT/?token=...".
  std::string Url() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A random token of 32 hexadecimal digits.
std::string RandomToken();

}  // namespace qelctl::view
