#include "uvc_function.h"

#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/g_uvc.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "attribute_file.h"

namespace qel::lab {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kInterval30 = 333333;  // 100 ns units
constexpr std::uint32_t kMaxPacket = 1024;
constexpr unsigned kFormats = 2;  // 1: YUYV, every size; 2: MJPEG, the first size
// Processing unit and camera terminal, as the function numbers them.
constexpr std::uint8_t kCameraTerminal = 1;
constexpr std::uint8_t kProcessingUnit = 2;
// Request error codes (UVC 1.1, 4.2.1.2).
constexpr std::uint8_t kInvalidControl = 0x06;
constexpr std::uint8_t kInvalidRequest = 0x07;

void AddFrame(const fs::path& directory, const UvcFrameSize& size) {
  fs::create_directories(directory);
  const std::uint32_t bytes = std::uint32_t{size.width} * size.height * 2;
  const std::string bitRate = std::to_string(bytes * 8 * 30);
  WriteAttribute(directory / "wWidth", std::to_string(size.width));
  WriteAttribute(directory / "wHeight", std::to_string(size.height));
  WriteAttribute(directory / "dwMaxVideoFrameBufferSize", std::to_string(bytes));
  WriteAttribute(directory / "dwDefaultFrameInterval", std::to_string(kInterval30));
  WriteAttribute(directory / "dwFrameInterval", std::to_string(kInterval30));
  WriteAttribute(directory / "dwMinBitRate", bitRate);
  WriteAttribute(directory / "dwMaxBitRate", bitRate);
}

void PutLittleEndian(std::uint8_t* bytes, std::int32_t value, int length) {
  for (int i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::int32_t LittleEndian(const std::uint8_t* bytes, int length) {
  std::uint32_t value = 0;
  for (int i = 0; i < length; ++i) value |= std::uint32_t{bytes[i]} << (8 * i);
  // Two-byte controls are signed (brightness and hue may be negative).
  if (length == 2) return static_cast<std::int16_t>(value);
  return static_cast<std::int32_t>(value);
}

}  // namespace

void AddUvcFunction(const fs::path& root, const std::vector<UvcFrameSize>& sizes) {
  const fs::path uvc = root / "functions/uvc.usb0";
  fs::create_directory(uvc);
  fs::create_directories(uvc / "control/header/h");
  fs::create_directory_symlink(uvc / "control/header/h", uvc / "control/class/fs/h");
  fs::create_directory_symlink(uvc / "control/header/h", uvc / "control/class/ss/h");
  // Brightness, contrast and hue. Kernels before 6.4 keep brightness alone
  // (the attribute cannot be written there).
  WriteAttribute(uvc / "control/processing/default/bmControls", "7");
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    AddFrame(uvc / "streaming/uncompressed/u" / ("f" + std::to_string(i)), sizes[i]);
  }
  AddFrame(uvc / "streaming/mjpeg/m/f0", sizes.front());
  fs::create_directories(uvc / "streaming/header/h");
  fs::create_directory_symlink(uvc / "streaming/uncompressed/u", uvc / "streaming/header/h/u");
  fs::create_directory_symlink(uvc / "streaming/mjpeg/m", uvc / "streaming/header/h/m");
  for (const char* speed : {"fs", "hs", "ss"}) {
    fs::create_directory_symlink(uvc / "streaming/header/h", uvc / "streaming/class" / speed / "h");
  }
  WriteAttribute(uvc / "streaming_maxpacket", std::to_string(kMaxPacket));
  fs::create_directory_symlink(uvc, root / "configs/c.1/uvc.usb0");
}

std::string GadgetVideoNode() {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/sys/class/video4linux", error)) {
    const std::string node = "/dev/" + entry.path().filename().string();
    const int fd = open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    v4l2_capability capability{};
    const bool gadget = ioctl(fd, VIDIOC_QUERYCAP, &capability) == 0 &&
                        std::strcmp(reinterpret_cast<char*>(capability.driver), "g_uvc") == 0;
    close(fd);
    if (gadget) return node;
  }
  return "";
}

UvcResponder::UvcResponder(std::vector<UvcFrameSize> sizes, int streamingInterface)
    : sizes_(std::move(sizes)),
      streamingInterface_(streamingInterface),
      controls_{{kProcessingUnit, UVC_PU_BRIGHTNESS_CONTROL, 2, 0, 255, 1, 128, 128},
                {kProcessingUnit, UVC_PU_CONTRAST_CONTROL, 2, 0, 255, 1, 32, 32},
                // The family's firmware keeps the camera number in hue.
                {kProcessingUnit, UVC_PU_HUE_CONTROL, 2, 0, 2, 1, 1, 1},
                // Resolution of the mode control: the modes offered, manual | auto.
                {kCameraTerminal, UVC_CT_AE_MODE_CONTROL, 1, 1, 2, 3, 2, 2}} {
  probe_ = commit_ = Negotiated(1, 1);
  const std::string node = GadgetVideoNode();
  if (node.empty()) return;
  fd_ = open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  for (unsigned type : {UVC_EVENT_CONNECT, UVC_EVENT_DISCONNECT, UVC_EVENT_SETUP, UVC_EVENT_DATA,
                        UVC_EVENT_STREAMON, UVC_EVENT_STREAMOFF}) {
    v4l2_event_subscription subscription{};
    subscription.type = type;
    if (fd_ >= 0 && ioctl(fd_, VIDIOC_SUBSCRIBE_EVENT, &subscription) != 0) {
      std::perror("gadget_camera: VIDIOC_SUBSCRIBE_EVENT");
    }
  }
}

UvcResponder::~UvcResponder() {
  StreamOff();
  if (fd_ >= 0) close(fd_);
}

uvc_streaming_control UvcResponder::Negotiated(unsigned format, unsigned frame) const {
  format = format < 1 ? 1 : format > kFormats ? kFormats : format;
  const unsigned frames = format == 1 ? static_cast<unsigned>(sizes_.size()) : 1;
  frame = frame < 1 ? 1 : frame > frames ? frames : frame;
  const UvcFrameSize& size = sizes_[frame - 1];
  uvc_streaming_control control{};
  control.bmHint = 1;
  control.bFormatIndex = static_cast<std::uint8_t>(format);
  control.bFrameIndex = static_cast<std::uint8_t>(frame);
  control.dwFrameInterval = kInterval30;
  control.dwMaxVideoFrameSize = std::uint32_t{size.width} * size.height * 2;
  control.dwMaxPayloadTransferSize = kMaxPacket;
  control.bmFramingInfo = 3;
  control.bPreferedVersion = control.bMinVersion = control.bMaxVersion = 1;
  return control;
}

void UvcResponder::Respond(const void* data, int length) {
  uvc_request_data response{};
  response.length = length;
  if (data != nullptr && length > 0)
    std::memcpy(response.data, data, static_cast<std::size_t>(length));
  if (ioctl(fd_, UVCIOC_SEND_RESPONSE, &response) != 0) {
    std::perror("gadget_camera: UVCIOC_SEND_RESPONSE");
  }
}

// A stalled request; the host reads why from the request error code control.
void UvcResponder::Stall(std::uint8_t code) {
  errorCode_ = code;
  Respond(nullptr, -EL2HLT);
}

void UvcResponder::StreamingRequest(std::uint8_t request, std::uint8_t selector,
                                    std::uint16_t length) {
  if (selector != UVC_VS_PROBE_CONTROL && selector != UVC_VS_COMMIT_CONTROL) {
    return Stall(kInvalidControl);
  }
  uvc_streaming_control control{};
  switch (request) {
    case UVC_SET_CUR:
      pendingSelector_ = selector;  // the data stage follows as its own event
      return Respond(nullptr, length);
    case UVC_GET_CUR:
      control = selector == UVC_VS_PROBE_CONTROL ? probe_ : commit_;
      break;
    case UVC_GET_MIN:
    case UVC_GET_DEF:
      control = Negotiated(1, 1);
      break;
    case UVC_GET_MAX:
      control = Negotiated(kFormats, 255);
      break;
    case UVC_GET_LEN: {
      std::uint8_t bytes[2];
      PutLittleEndian(bytes, sizeof control, 2);
      return Respond(bytes, 2);
    }
    case UVC_GET_INFO: {
      const std::uint8_t info = 3;  // get and set
      return Respond(&info, 1);
    }
    default:
      return Stall(kInvalidRequest);
  }
  Respond(&control, length < sizeof control ? length : static_cast<int>(sizeof control));
}

void UvcResponder::ControlRequest(std::uint8_t request, std::uint8_t entity, std::uint8_t selector,
                                  std::uint16_t length) {
  if (entity == 0 && selector == UVC_VC_REQUEST_ERROR_CODE_CONTROL) {
    if (request == UVC_GET_INFO) {
      const std::uint8_t info = 1;
      return Respond(&info, 1);
    }
    if (request != UVC_GET_CUR) return Stall(kInvalidRequest);
    const std::uint8_t code = errorCode_;
    errorCode_ = 0;
    return Respond(&code, 1);
  }
  Control* control = nullptr;
  for (Control& candidate : controls_) {
    if (candidate.entity == entity && candidate.selector == selector) control = &candidate;
  }
  if (control == nullptr) return Stall(kInvalidControl);
  std::int32_t value = 0;
  switch (request) {
    case UVC_SET_CUR:
      pendingControl_ = control;
      return Respond(nullptr, control->length);
    case UVC_GET_CUR:
      value = control->current;
      break;
    case UVC_GET_MIN:
      value = control->min;
      break;
    case UVC_GET_MAX:
      value = control->max;
      break;
    case UVC_GET_RES:
      value = control->resolution;
      break;
    case UVC_GET_DEF:
      value = control->fallback;
      break;
    case UVC_GET_LEN: {
      std::uint8_t bytes[2];
      PutLittleEndian(bytes, control->length, 2);
      return Respond(bytes, 2);
    }
    case UVC_GET_INFO: {
      const std::uint8_t info = 3;
      return Respond(&info, 1);
    }
    default:
      return Stall(kInvalidRequest);
  }
  std::uint8_t bytes[4];
  PutLittleEndian(bytes, value, control->length);
  Respond(bytes, control->length < length ? control->length : length);
}

void UvcResponder::DataStage(const std::uint8_t* data, int length) {
  if (pendingControl_ != nullptr) {
    const std::int32_t value = LittleEndian(data, pendingControl_->length);
    if (value >= pendingControl_->min && value <= pendingControl_->max) {
      pendingControl_->current = value;
    }
    pendingControl_ = nullptr;
    return;
  }
  uvc_streaming_control asked{};
  std::memcpy(&asked, data, length < static_cast<int>(sizeof asked) ? length : sizeof asked);
  if (pendingSelector_ == UVC_VS_PROBE_CONTROL) {
    probe_ = Negotiated(asked.bFormatIndex, asked.bFrameIndex);
  } else if (pendingSelector_ == UVC_VS_COMMIT_CONTROL) {
    commit_ = Negotiated(asked.bFormatIndex, asked.bFrameIndex);
    SetNodeFormat();
  }
  pendingSelector_ = -1;
}

void UvcResponder::Answer() {
  v4l2_event event{};
  if (fd_ < 0 || ioctl(fd_, VIDIOC_DQEVENT, &event) != 0) return;
  const auto* uvc = reinterpret_cast<const uvc_event*>(&event.u.data);
  if (event.type == UVC_EVENT_SETUP) {
    const usb_ctrlrequest& request = uvc->req;
    if ((request.bRequestType & USB_TYPE_MASK) != USB_TYPE_CLASS) return Stall(kInvalidRequest);
    const auto interface = static_cast<std::uint8_t>(request.wIndex & 0xFF);
    const auto entity = static_cast<std::uint8_t>(request.wIndex >> 8);
    const auto selector = static_cast<std::uint8_t>(request.wValue >> 8);
    if (interface == streamingInterface_) {
      StreamingRequest(request.bRequest, selector, request.wLength);
    } else {
      ControlRequest(request.bRequest, entity, selector, request.wLength);
    }
  } else if (event.type == UVC_EVENT_DATA) {
    DataStage(uvc->data.data, uvc->data.length);
  } else if (event.type == UVC_EVENT_STREAMON) {
    StreamOn();
  } else if (event.type == UVC_EVENT_STREAMOFF || event.type == UVC_EVENT_DISCONNECT) {
    StreamOff();
  }
}

const UvcFrameSize& UvcResponder::CommittedSize() const {
  return sizes_[commit_.bFormatIndex == 1 ? commit_.bFrameIndex - 1 : 0];
}

// The node takes the committed format, which sizes its buffers.
void UvcResponder::SetNodeFormat() {
  const UvcFrameSize& size = CommittedSize();
  v4l2_format format{};
  format.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
  format.fmt.pix.width = size.width;
  format.fmt.pix.height = size.height;
  format.fmt.pix.pixelformat = commit_.bFormatIndex == 1 ? V4L2_PIX_FMT_YUYV : V4L2_PIX_FMT_MJPEG;
  format.fmt.pix.field = V4L2_FIELD_NONE;
  format.fmt.pix.sizeimage = std::uint32_t{size.width} * size.height * 2;
  if (ioctl(fd_, VIDIOC_S_FMT, &format) != 0) std::perror("gadget_camera: VIDIOC_S_FMT");
}

// The host's request to start (its interface setting) waits until the
// node's stream is on.
void UvcResponder::StreamOn() {
  StreamOff();
  v4l2_requestbuffers request{};
  request.count = 4;
  request.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
  request.memory = V4L2_MEMORY_MMAP;
  // The driver answers with the number of buffers made, not 0.
  if (ioctl(fd_, VIDIOC_REQBUFS, &request) < 0) return std::perror("gadget_camera: VIDIOC_REQBUFS");
  const UvcFrameSize& size = CommittedSize();
  for (unsigned i = 0; i < request.count; ++i) {
    v4l2_buffer buffer{};
    buffer.type = request.type;
    buffer.memory = request.memory;
    buffer.index = i;
    if (ioctl(fd_, VIDIOC_QUERYBUF, &buffer) < 0) break;
    void* memory =
        mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, buffer.m.offset);
    if (memory == MAP_FAILED) break;
    buffers_.emplace_back(memory, buffer.length);
    std::memset(memory, 0x80, buffer.length);  // mid grey
    buffer.bytesused = std::uint32_t{size.width} * size.height * 2;
    ioctl(fd_, VIDIOC_QBUF, &buffer);
  }
  int type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
  if (ioctl(fd_, VIDIOC_STREAMON, &type) < 0) std::perror("gadget_camera: VIDIOC_STREAMON");
  streaming_ = true;
}

void UvcResponder::StreamOff() {
  if (!streaming_ && buffers_.empty()) return;
  int type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
  ioctl(fd_, VIDIOC_STREAMOFF, &type);
  for (const auto& [memory, length] : buffers_) munmap(memory, length);
  buffers_.clear();
  v4l2_requestbuffers release{};
  release.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
  release.memory = V4L2_MEMORY_MMAP;
  ioctl(fd_, VIDIOC_REQBUFS, &release);
  streaming_ = false;
}

}  // namespace qel::lab
