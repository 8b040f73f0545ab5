/**
 * \file qel.hpp
 * \brief A small C++17 wrapper over the C functions of qel.h, header only.
 *
 * \defgroup cpp C++ wrapper
 * \brief qel::Camera, qel::Frame, qel::Error and settings by name over qel.h (header only).
 *
 * \code
 * qel::Camera camera = qel::Camera::Open(0, 1920, 1080, 30.0, "YUY2");
 * camera.Set("led", 32);
 * if (std::optional<qel::Frame> frame = camera.Wait(std::chrono::seconds(1))) {
 *   use(frame->bytes.data(), frame->bytes.size(), frame->info.width, frame->info.height);
 * }
 * \endcode
 *
 * Ownership: a Camera owns its open key and closes it in its destructor; it
 * moves but does not copy. A Frame owns its bytes. A frame handler installed
 * with OnFrame is owned by its Camera and stays alive until it is replaced,
 * removed or the camera closes (the library waits for a running call before
 * any of these returns).
 *
 * Failures throw qel::Error, which carries the library's QEL_ERROR_* code and
 * its reason (QelLastError). Threads: as the C functions; one Camera object is
 * not to be used from two threads at once without a lock of the caller's,
 * except Wait and the frame handler, which the library serialises itself.
 * Costs are those of the C functions each member names. */
#ifndef QEL_QEL_HPP
#define QEL_QEL_HPP

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "qel/qel.h"

/** The wrapper's namespace. */
namespace qel {

/** \addtogroup cpp
 *  @{ */

/** A failed call: code() is the QEL_ERROR_* value, what() the reason (QelLastError()). */
class Error : public std::runtime_error {
 public:
  /** \param code a QEL_ERROR_* value \param reason the sentence what() returns */
  Error(int32_t code, const std::string& reason) : std::runtime_error(reason), code_(code) {}
  /** The QEL_ERROR_* value. */
  int32_t code() const noexcept { return code_; }

 private:
  int32_t code_;
};

/// \cond detail
namespace detail {

/** Throws the calling thread's last reason, naming call when there is none. */
[[noreturn]] inline void ThrowLastError(const char* call) {
  char text[512] = {};
  QelLastError(text, static_cast<int32_t>(sizeof text));
  const int32_t code = QelLastErrorCode();
  throw Error(code != QEL_OK ? code : QEL_ERROR_PLATFORM,
              text[0] != '\0' ? std::string(text) : std::string(call) + " failed");
}

inline void Check(bool ok, const char* call) {
  if (!ok) ThrowLastError(call);
}

// The count entries of a listing. A device without a name is an empty entry,
// so that every entry stays at its device's position.
inline std::vector<std::string> SplitList(const char* text, int32_t count) {
  std::vector<std::string> items(1);
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == ',') {
      items.emplace_back();
    } else {
      items.back() += *c;
    }
  }
  items.resize(static_cast<std::size_t>(count));
  return items;
}

inline std::vector<std::string> Listing(bool withSerial) {
  for (int32_t size = 4096; size <= (1 << 20); size *= 4) {
    std::vector<char> buffer(static_cast<std::size_t>(size), '\0');
    const int32_t count = withSerial ? QelGetDeviceWithSerialNo(buffer.data(), size)
                                     : QelGetDevice(buffer.data(), size);
    if (count >= 0) return SplitList(buffer.data(), count);
    if (QelLastErrorCode() != QEL_ERROR_BUFFER_TOO_SMALL) break;
  }
  ThrowLastError(withSerial ? "QelGetDeviceWithSerialNo" : "QelGetDevice");
}

}  // namespace detail
/// \endcond

/** A video device at its listing position (the key it opens under). */
struct Device {
  int32_t position = 0;   /**< the listing position: the key it opens under */
  std::string name;       /**< "QEL5", "USB Camera" */
  std::string serialText; /**< "QEL5#0000ABCD" for a camera of the family, else "" */

  /** The device as QelGetDeviceWithSerialNo() lists it: serialText, else name. */
  const std::string& listed() const { return serialText.empty() ? name : serialText; }
};

/** The name of every video device present, in position order ("QEL5", "USB
 *  Camera"), without opening any camera's command interface (QelGetDevice()).
 *  \throws Error with the listing's reason */
inline std::vector<std::string> ListDeviceNames() { return detail::Listing(false); }

/** Every video device present, in position order (QelGetDevice() and
 *  QelGetDeviceWithSerialNo(): the second opens each camera's command
 *  interface). A camera whose serial could not be read has serialText "".
 *  \throws Error with the listing's reason */
inline std::vector<Device> ListDevices() {
  const std::vector<std::string> names = ListDeviceNames();
  const std::vector<std::string> serials = detail::Listing(true);
  std::vector<Device> devices;
  for (std::size_t i = 0; i < names.size(); ++i) {
    Device device;
    device.position = static_cast<int32_t>(i);
    device.name = names[i];
    if (i < serials.size() && serials[i] != names[i]) device.serialText = serials[i];
    devices.push_back(device);
  }
  return devices;
}

/** Every capture format of the device at position (QelGetFormatListEx()).
 *  \throws Error with #QEL_ERROR_NO_DEVICE, #QEL_ERROR_PLATFORM */
inline std::vector<QelFormatEx> Formats(int32_t position) {
  std::vector<QelFormatEx> formats;
  for (;;) {
    const int32_t count =
        QelGetFormatListEx(position, formats.data(), static_cast<int32_t>(formats.size()));
    if (count < 0) detail::ThrowLastError("QelGetFormatListEx");
    if (static_cast<std::size_t>(count) <= formats.size()) {
      formats.resize(static_cast<std::size_t>(count));
      return formats;
    }
    formats.resize(static_cast<std::size_t>(count));
  }
}

/** One received frame: its bytes (info.bytes of them) and what is known of it. */
struct Frame {
  /** The frame, info.bytes of them, defect-corrected as the library delivers it. */
  std::vector<unsigned char> bytes;
  QelFrameInfo info{}; /**< what is known of it */
};

/** A camera's setting as the library describes it (QelSetting). */
struct Setting {
  std::string name;                   /**< as Get and Set take it: "led", "digital-gain" */
  std::string label;                  /**< for people */
  std::string unit;                   /**< "s", "lines"; "" for none */
  int32_t kind = 0;                   /**< #QEL_SETTING_INTEGER ... #QEL_SETTING_GROUP */
  int32_t access = 0;                 /**< #QEL_SETTING_READ | #QEL_SETTING_WRITE */
  int32_t valueCount = 1;             /**< 1, or the size of a group */
  double minimum = 0;                 /**< this camera's range (of each member of a group) */
  double maximum = 0;                 /**< the top of the range */
  double step = 0;                    /**< 1 for integers; the resolution of a real */
  std::optional<double> defaultValue; /**< the camera's default, where the library knows it */
  std::vector<double> value;          /**< empty when it could not be read (or is write-only) */
  std::vector<std::pair<double, std::string>> choices; /**< value and label of each choice */

  /** Copies the library's description. */
  explicit Setting(const QelSetting& s)
      : name(s.name),
        label(s.label),
        unit(s.unit),
        kind(s.kind),
        access(s.access),
        valueCount(s.valueCount),
        minimum(s.minimum),
        maximum(s.maximum),
        step(s.step) {
    if ((s.flags & QEL_SETTING_HAS_DEFAULT) != 0) defaultValue = s.defaultValue;
    if ((s.flags & QEL_SETTING_HAS_VALUE) != 0) value.assign(s.value, s.value + s.valueCount);
    for (int32_t i = 0; i < s.choiceCount && i < QEL_SETTING_MAX_CHOICES; ++i) {
      choices.emplace_back(s.choices[i].value, s.choices[i].label);
    }
  }
};

/** An open camera: closes in its destructor, moves but does not copy.
 *  Every member but key() and captureOnly() throws Error when its C function fails. */
class Camera {
 public:
  /** Called on the streaming thread with each frame (valid during the call). */
  using FrameHandler = std::function<void(const unsigned char* data, const QelFrameInfo& info)>;

  /** Opens the device at position (QelOpenEx(); fast: as soon as the first
   *  frame arrived, not after the classic 3 s).
   *  \param position the device's listing position, its key from then on
   *  \param width, height the frame size
   *  \param frameRate frames per second
   *  \param format the format's name, as QelOpen() takes it
   *  \param fast QEL_OPEN_FAST: return at the first frame
   *  \throws Error with QelOpenEx()'s reasons */
  static Camera Open(int32_t position, int32_t width, int32_t height, double frameRate,
                     const std::string& format = "YUY2", bool fast = true) {
    const int32_t got =
        QelOpenEx(position, width, height, frameRate, format.c_str(), fast ? QEL_OPEN_FAST : 0);
    if (got == -1) detail::ThrowLastError("QelOpenEx");
    return Camera(position, got == 1);
  }
  /** Opens the camera listed as serialText in "YUY2" (QelOpenSerialNoEx()).
   *  \param serialText the listed text, e.g. "QEL5#0000ABCD"
   *  \param width, height the frame size
   *  \param frameRate frames per second
   *  \param fast QEL_OPEN_FAST: return at the first frame
   *  \throws Error with QelOpenSerialNoEx()'s reasons */
  static Camera OpenSerial(const std::string& serialText, int32_t width, int32_t height,
                           double frameRate, bool fast = true) {
    int32_t key = -1;
    detail::Check(QelOpenSerialNoEx(serialText.c_str(), &key, width, height, frameRate,
                                    fast ? QEL_OPEN_FAST : 0) == 0,
                  "QelOpenSerialNoEx");
    return Camera(key, false);
  }

  /** Takes over other's key and frame handler; other then holds no camera. */
  Camera(Camera&& other) noexcept
      : key_(std::exchange(other.key_, -1)),
        captureOnly_(other.captureOnly_),
        handler_(std::move(other.handler_)),
        buffer_(std::move(other.buffer_)) {}
  /** Closes this camera, then takes over other's key and frame handler. */
  Camera& operator=(Camera&& other) noexcept {
    if (this != &other) {
      Close();
      key_ = std::exchange(other.key_, -1);
      captureOnly_ = other.captureOnly_;
      handler_ = std::move(other.handler_);
      buffer_ = std::move(other.buffer_);
    }
    return *this;
  }
  Camera(const Camera&) = delete;
  Camera& operator=(const Camera&) = delete;
  /** Removes the frame handler and closes the camera (QelClose()). */
  ~Camera() { Close(); }

  /** The key the camera is open under; -1 once moved from. */
  int32_t key() const noexcept { return key_; }
  /** A device that is not of the family, opened for frames only. */
  bool captureOnly() const noexcept { return captureOnly_; }

  /** The newest frame if one arrived since the last handed out; never waits
   *  (QelReceiveImageEx(); the buffer grows to a frame that does not fit). */
  std::optional<Frame> Receive() {
    return Take([this](Frame& frame) {
      return QelReceiveImageEx(key_, buffer_.data(), static_cast<int32_t>(buffer_.size()),
                               &frame.info);
    });
  }
  /** Waits up to timeout for a new frame; none when the time passed (QelWaitImage()).
   *  Not from the frame handler.
   *  \param timeout the longest wait; a negative one waits without limit */
  std::optional<Frame> Wait(std::chrono::milliseconds timeout) {
    const auto ms =
        static_cast<int32_t>(std::min<std::chrono::milliseconds::rep>(timeout.count(), INT32_MAX));
    return Take([this, ms](Frame& frame) {
      return QelWaitImage(key_, buffer_.data(), static_cast<int32_t>(buffer_.size()), &frame.info,
                          ms);
    });
  }

  /** Installs handler (an empty one removes it); the old one is released
   *  once the library no longer calls it (QelSetFrameCallback()). The handler
   *  runs on the streaming thread under #QelFrameCallback's rules; what it
   *  throws is swallowed. */
  void OnFrame(FrameHandler handler) {
    std::unique_ptr<FrameHandler> next;
    if (handler) next = std::make_unique<FrameHandler>(std::move(handler));
    detail::Check(QelSetFrameCallback(key_, next ? &Camera::Trampoline : nullptr, next.get()) != 0,
                  "QelSetFrameCallback");
    handler_ = std::move(next);
  }

  /** Every setting of the camera with its current value (QelGetSettingList()). */
  std::vector<Setting> Settings() const {
    std::vector<QelSetting> list;
    for (;;) {
      const int32_t count = QelGetSettingList(key_, list.data(), static_cast<int32_t>(list.size()));
      if (count < 0) detail::ThrowLastError("QelGetSettingList");
      if (static_cast<std::size_t>(count) <= list.size()) {
        list.resize(static_cast<std::size_t>(count));
        break;
      }
      list.resize(static_cast<std::size_t>(count));
    }
    return std::vector<Setting>(list.begin(), list.end());
  }
  /** One setting by name (QelDescribeSetting()). */
  Setting Describe(const std::string& name) const {
    QelSetting s{};
    detail::Check(QelDescribeSetting(key_, name.c_str(), &s) != 0, "QelDescribeSetting");
    return Setting(s);
  }
  /** A setting's value (a group's members need GetGroup; QelGetSetting()). */
  double Get(const std::string& name) const {
    double value = 0;
    detail::Check(QelGetSetting(key_, name.c_str(), &value, 1) != 0, "QelGetSetting");
    return value;
  }
  /** A group's values ("digital-gain": four); one description and one read. */
  std::vector<double> GetGroup(const std::string& name) const {
    std::vector<double> values(static_cast<std::size_t>(Describe(name).valueCount));
    detail::Check(
        QelGetSetting(key_, name.c_str(), values.data(), static_cast<int32_t>(values.size())) != 0,
        "QelGetSetting");
    return values;
  }
  /** Changes a setting (a group: every member; QelSetSetting()). */
  void Set(const std::string& name, double value) { Set(name, std::vector<double>{value}); }
  /** Changes a group's members. */
  void Set(const std::string& name, const std::vector<double>& values) {
    detail::Check(
        QelSetSetting(key_, name.c_str(), values.data(), static_cast<int32_t>(values.size())) != 0,
        "QelSetSetting");
  }

 private:
  Camera(int32_t key, bool captureOnly) : key_(key), captureOnly_(captureOnly) {
    int32_t width = 0, height = 0;
    if (QelGetStreamFormat(key, &width, &height, nullptr, nullptr, 0) && width > 0 && height > 0) {
      buffer_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 2);
    }
  }

  static void QEL_CALL Trampoline(int32_t, const unsigned char* data, const QelFrameInfo* info,
                                  void* user) {
    try {
      (*static_cast<FrameHandler*>(user))(data, *info);
    } catch (...) {  // nothing may unwind into the library's streaming thread
    }
  }

  // One receive: a frame longer than the buffer grows it and is taken again.
  template <typename Call>
  std::optional<Frame> Take(Call call) {
    for (;;) {
      Frame frame;
      frame.info.size = sizeof frame.info;
      const int32_t got = call(frame);
      if (got == 1) {
        frame.bytes.assign(buffer_.begin(), buffer_.begin() + frame.info.bytes);
        return frame;
      }
      if (got == 0) return std::nullopt;
      if (QelLastErrorCode() != QEL_ERROR_BUFFER_TOO_SMALL) detail::ThrowLastError("receive");
      buffer_.resize(static_cast<std::size_t>(frame.info.bytes));
    }
  }

  void Close() noexcept {
    if (key_ < 0) return;
    if (handler_) QelSetFrameCallback(key_, nullptr, nullptr);
    QelClose(key_);
    handler_.reset();
    key_ = -1;
  }

  int32_t key_ = -1;
  bool captureOnly_ = false;
  std::unique_ptr<FrameHandler> handler_;
  std::vector<unsigned char> buffer_;
};

/** @} */

}  // namespace qel

#endif
