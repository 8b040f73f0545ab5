#include "lab_devices.h"

#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace qel::lab {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// The same report layout as the gadget camera's: vendor page, 64-byte input
// and output reports without IDs.
constexpr unsigned char kCameraDescriptor[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00,
                                               0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x09, 0x01,
                                               0x81, 0x02, 0x09, 0x01, 0x91, 0x02, 0xC0};

// The hidraw nodes with the resolved directory of the HID device each hangs
// under (.../2-1:1.0/0003:1D6B:0104.0001 for a USB one).
std::vector<std::pair<std::string, fs::path>> HidrawNodes() {
  std::vector<std::pair<std::string, fs::path>> nodes;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/sys/class/hidraw", error)) {
    const fs::path device = fs::canonical(entry.path() / "device", error);
    if (error) continue;
    nodes.emplace_back(entry.path().filename().string(), device);
  }
  return nodes;
}

bool DeviceFileExists(const std::string& name) { return fs::exists("/dev/" + name); }

}  // namespace

bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  for (;;) {
    if (ready()) return true;
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string Attribute(const std::string& directory, const char* name) {
  std::ifstream in(fs::path(directory) / name);
  std::string line;
  std::getline(in, line);
  return line;
}

std::optional<std::string> UsbDeviceOfSerial(const std::string& serial) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/sys/bus/usb/devices", error)) {
    const fs::path device = fs::canonical(entry.path(), error);
    if (!error && fs::exists(device / "idVendor") && Attribute(device, "serial") == serial) {
      return device.string();
    }
  }
  return std::nullopt;
}

std::optional<std::string> HidrawOfSerial(const std::string& serial) {
  for (const auto& [name, device] : HidrawNodes()) {
    // HID device, USB interface, USB device.
    const fs::path usb = device.parent_path().parent_path();
    if (Attribute(usb.string(), "serial") == serial && DeviceFileExists(name))
      return "/dev/" + name;
  }
  return std::nullopt;
}

GadgetCamera::GadgetCamera(const std::string& serial, const std::vector<std::string>& options) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return;
  std::vector<std::string> arguments{GADGET_CAMERA_PATH, "--serial", serial};
  arguments.insert(arguments.end(), options.begin(), options.end());
  pid_ = fork();
  if (pid_ == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  output_ = pipeEnds[0];
  fcntl(output_, F_SETFL, O_NONBLOCK);
  if (pid_ < 0) return;
  const bool ready = WaitUntil([this] { return Output().find("ready ") != std::string::npos; },
                               std::chrono::seconds(10));
  if (!ready) return;
  // The host enumerates the device on its own time: under emulation, seconds.
  WaitUntil(
      [&] {
        const std::optional<std::string> node = HidrawOfSerial(serial);
        if (node) hidraw_ = *node;
        return node.has_value();
      },
      std::chrono::seconds(30));
}

GadgetCamera::~GadgetCamera() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (output_ >= 0) close(output_);
}

std::string GadgetCamera::Output() {
  char buffer[512];
  ssize_t got;
  while (output_ >= 0 && (got = read(output_, buffer, sizeof buffer)) > 0) {
    text_.append(buffer, static_cast<std::size_t>(got));
  }
  return text_;
}

UhidDevice::UhidDevice(std::uint16_t vendor, std::uint16_t product) {
  fd_ = open("/dev/uhid", O_RDWR | O_CLOEXEC);
  if (fd_ < 0) return;
  uhid_event event{};
  event.type = UHID_CREATE2;
  std::snprintf(reinterpret_cast<char*>(event.u.create2.name), sizeof event.u.create2.name,
                "qel lab uhid");
  std::snprintf(reinterpret_cast<char*>(event.u.create2.uniq), sizeof event.u.create2.uniq,
                "0000ABCE");
  std::memcpy(event.u.create2.rd_data, kCameraDescriptor, sizeof kCameraDescriptor);
  event.u.create2.rd_size = sizeof kCameraDescriptor;
  event.u.create2.bus = 0x03;  // claims USB: only its place in sysfs tells otherwise
  event.u.create2.vendor = vendor;
  event.u.create2.product = product;
  if (write(fd_, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) return;
  char id[32];
  std::snprintf(id, sizeof id, "0003:%04X:%04X.", vendor, product);
  WaitUntil(
      [&] {
        for (const auto& [name, device] : HidrawNodes()) {
          if (device.filename().string().starts_with(id) && DeviceFileExists(name)) {
            hidraw_ = "/dev/" + name;
            return true;
          }
        }
        return false;
      },
      std::chrono::seconds(10));
}

UhidDevice::~UhidDevice() {
  if (fd_ < 0) return;
  uhid_event event{};
  event.type = UHID_DESTROY;
  (void)!write(fd_, &event, sizeof event);
  close(fd_);
}

}  // namespace qel::lab
