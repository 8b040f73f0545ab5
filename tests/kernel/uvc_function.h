// The gadget camera's video function: a configfs UVC function with the
// model's frame sizes, and the user-space half that answers the host's class
// requests (format negotiation, and the brightness, contrast, hue and
// auto-exposure controls the library's properties use).
//
// The function connects to the host only while its video node is open, so
// the responder is made before the gadget is plugged in. When the host starts
// streaming, the responder starts the node's stream with a few blank frames
// queued, which completes the host's request; more are not fed: the lab's
// device controllers carry no isochronous transfers, so none would arrive
// (see the lab's notes). Format negotiation and controls travel over the
// control endpoint and work.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <linux/usb/video.h>

namespace qel::lab {

struct UvcFrameSize {
  std::uint16_t width;
  std::uint16_t height;
};

// Adds functions/uvc.usb0 to the gadget at root and links it into config
// c.1: one uncompressed (YUYV) format with every size and one MJPEG format
// with the first, each at 30 frames per second.
void AddUvcFunction(const std::filesystem::path& root, const std::vector<UvcFrameSize>& sizes);

class UvcResponder {
 public:
  // Opens the gadget's video node (the g_uvc driver's) and subscribes to the
  // request events; fd() is -1 when there is none.
  UvcResponder(std::vector<UvcFrameSize> sizes, int streamingInterface);
  ~UvcResponder();
  UvcResponder(const UvcResponder&) = delete;
  UvcResponder& operator=(const UvcResponder&) = delete;

  int fd() const { return fd_; }
  // Answers the pending event (poll fd() for POLLPRI).
  void Answer();

 private:
  struct Control {
    std::uint8_t entity;
    std::uint8_t selector;
    std::uint8_t length;
    std::int32_t min, max, resolution, fallback, current;
  };

  void Respond(const void* data, int length);
  void Stall(std::uint8_t code);
  void StreamingRequest(std::uint8_t request, std::uint8_t selector, std::uint16_t length);
  void ControlRequest(std::uint8_t request, std::uint8_t entity, std::uint8_t selector,
                      std::uint16_t length);
  void DataStage(const std::uint8_t* data, int length);
  const UvcFrameSize& CommittedSize() const;
  void SetNodeFormat();
  void StreamOn();
  void StreamOff();
  uvc_streaming_control Negotiated(unsigned format, unsigned frame) const;

  int fd_ = -1;
  std::vector<UvcFrameSize> sizes_;
  int streamingInterface_;
  uvc_streaming_control probe_{};
  uvc_streaming_control commit_{};
  int pendingSelector_ = -1;           // the streaming SET_CUR whose data comes next
  Control* pendingControl_ = nullptr;  // the control SET_CUR whose data comes next
  std::uint8_t errorCode_ = 0;         // the request error code control
  std::vector<Control> controls_;
  std::vector<std::pair<void*, std::size_t>> buffers_;  // mapped while streaming
  bool streaming_ = false;
};

// The gadget's UVC video node ("/dev/videoN" of the g_uvc driver), if any.
std::string GadgetVideoNode();

}  // namespace qel::lab
