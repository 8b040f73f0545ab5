// The viewer's JSON and picture routes under /api/: devices and formats,
// opening and closing, the stream's state, settings, device information,
// snapshots and, on the rig, unplugging and replugging a device. The server
// has already checked the Host header and the token.
//
// Thread safety: one thread (the server's camera thread) calls Handle and
// Close; the frame thread the controller runs touches only the hub. Status
// reads only the hub, so any thread may call it, also while an open runs.
#pragma once

#include <string>
#include <vector>

#include "camera_controller.h"
#include "frame_hub.h"
#include "query.h"

namespace qelctl::view {

struct Reply {
  int status = 200;
  std::string contentType = "application/json";
  std::string body;
  std::string filename;  // a download's name (Content-Disposition), else ""
};

class ViewApi {
 public:
  ViewApi(FrameHub& hub, bool rig, int quality) : hub_(hub), rig_(rig), camera_(hub, quality) {}

  // Answers the route query.path() for a GET or (post) a POST; throws
  // HttpError for a request it refuses.
  Reply Handle(bool post, const Query& query);
  void Open(const OpenRequest& request) { camera_.Open(request); }
  void Close() { camera_.Close(); }
  // /api/status: the stream's state and what is open.
  Reply Status() const;

 private:
  Reply Devices();
  Reply Formats(const Query& query);
  Reply OpenCamera(const Query& query);
  Reply Settings();
  Reply SetSetting(const Query& query);
  Reply Info();
  Reply Snapshot(const Query& query);
  Reply Unplug(const Query& query);
  Reply Replug();
  std::int32_t OpenKey() const;

  // A device the rig routes unplugged, to be added again by replug.
  struct Unplugged {
    std::string name;
    std::string serial;  // hexadecimal, "" for a webcam
  };

  FrameHub& hub_;
  const bool rig_;
  CameraController camera_;
  std::vector<Unplugged> unplugged_;
};

}  // namespace qelctl::view
