// gadget_camera: a camera's command interface as a real USB device. It makes
// a configfs USB gadget with the model as its product string, a serial string
// and one HID function (vendor page, 64-byte reports without IDs), binds it
// to a device controller (dummy_hcd's, in the lab), and answers every report
// the host writes with the rig's firmware simulator, so that the host's usbhid
// and hidraw drivers carry the library's commands to a firmware that answers
// as a camera does.
//
//   gadget_camera [--model QEL5] [--serial 0000ABCD] [--udc NAME] [--name lab]
//                 [--unplug-on CODE]
//
// Prints "ready /dev/hidgN" once bound. --unplug-on takes the first request
// with that command code (hexadecimal) and unbinds the gadget before it
// answers: the camera is unplugged in the middle of that command. SIGTERM or
// SIGINT unbinds and removes the gadget.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/virtual/firmware_sim.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kReportBytes = 64;  // on the wire: no report ID
constexpr std::size_t kReportLength = kReportBytes + 1;
// Vendor page 0xFF00: one collection with a 64-byte input and a 64-byte
// output report, no report IDs.
constexpr unsigned char kReportDescriptor[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00,
                                               0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x09, 0x01,
                                               0x81, 0x02, 0x09, 0x01, 0x91, 0x02, 0xC0};

volatile std::sig_atomic_t stopRequested = 0;
void OnStop(int) { stopRequested = 1; }

struct Options {
  std::string model = "QEL5";
  std::string serial = "0000ABCD";
  std::string udc;
  std::string name = "lab";
  int unplugOn = -1;
};

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "gadget_camera: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

void Put(const fs::path& file, const std::string& text) {
  std::ofstream out(file);
  out << text;
  out.flush();
  if (!out) Die("cannot write " + file.string());
}

void PutBytes(const fs::path& file, const unsigned char* bytes, std::size_t size) {
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
  out.flush();
  if (!out) Die("cannot write " + file.string());
}

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

Options Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const std::string value = argv[i + 1];
    if (key == "--model") {
      options.model = value;
    } else if (key == "--serial") {
      options.serial = value;
    } else if (key == "--udc") {
      options.udc = value;
    } else if (key == "--name") {
      options.name = value;
    } else if (key == "--unplug-on") {
      options.unplugOn = static_cast<int>(std::strtol(value.c_str(), nullptr, 16));
    } else {
      std::fprintf(stderr, "gadget_camera: unknown option %s\n", key.c_str());
      std::exit(2);
    }
  }
  if ((argc - 1) % 2 != 0) {
    std::fprintf(stderr, "gadget_camera: %s needs a value\n", argv[argc - 1]);
    std::exit(2);
  }
  return options;
}

// The first device controller, when none was named.
std::string FirstUdc() {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/sys/class/udc", error)) {
    return entry.path().filename().string();
  }
  errno = ENODEV;
  Die("no USB device controller (is dummy_hcd loaded?)");
}

class Gadget {
 public:
  Gadget(const Options& options) : root_(fs::path("/sys/kernel/config/usb_gadget") / options.name) {
    fs::create_directory(root_);
    Put(root_ / "idVendor", "0x1d6b");  // Linux Foundation, multifunction gadget
    Put(root_ / "idProduct", "0x0104");
    Put(root_ / "bcdUSB", "0x0200");
    fs::create_directory(root_ / "strings/0x409");
    Put(root_ / "strings/0x409/serialnumber", options.serial);
    Put(root_ / "strings/0x409/manufacturer", "qel lab");
    Put(root_ / "strings/0x409/product", options.model);
    fs::create_directories(root_ / "configs/c.1/strings/0x409");
    Put(root_ / "configs/c.1/strings/0x409/configuration", "camera");
    const fs::path hid = root_ / "functions/hid.usb0";
    fs::create_directory(hid);
    Put(hid / "protocol", "0");
    Put(hid / "subclass", "0");
    Put(hid / "report_length", std::to_string(kReportBytes));
    PutBytes(hid / "report_desc", kReportDescriptor, sizeof kReportDescriptor);
    fs::create_directory_symlink(hid, root_ / "configs/c.1/hid.usb0");
    Put(root_ / "UDC", options.udc.empty() ? FirstUdc() : options.udc);
  }

  ~Gadget() {
    Unbind();
    std::error_code ignored;
    fs::remove(root_ / "configs/c.1/hid.usb0", ignored);
    fs::remove(root_ / "configs/c.1/strings/0x409", ignored);
    fs::remove(root_ / "configs/c.1", ignored);
    fs::remove(root_ / "functions/hid.usb0", ignored);
    fs::remove(root_ / "strings/0x409", ignored);
    fs::remove(root_, ignored);
  }

  // The gadget's HID device file, named by its device number.
  std::string HidNode() const {
    const std::string number = FirstLine(root_ / "functions/hid.usb0/dev");
    const std::string uevent = "/sys/dev/char/" + number + "/uevent";
    std::ifstream in(uevent);
    for (std::string line; std::getline(in, line);) {
      if (line.starts_with("DEVNAME=")) return "/dev/" + line.substr(8);
    }
    errno = ENOENT;
    Die("no device name in " + uevent);
  }

  void Unbind() {
    std::ofstream out(root_ / "UDC");
    out << "\n";
  }

 private:
  fs::path root_;
};

// Hands every report the host writes to the firmware and writes its replies
// back, until asked to stop or the request the unplug waits for arrives.
void Serve(int node, qel::sim::Firmware& firmware, Gadget& gadget) {
  while (!stopRequested) {
    pollfd entry{node, POLLIN, 0};
    if (poll(&entry, 1, 100) <= 0) continue;
    std::uint8_t report[kReportLength] = {0};
    const ssize_t got = read(node, report + 1, kReportBytes);
    if (got <= 0) continue;
    std::vector<qel::sim::Report> replies;
    if (!firmware.HandleOutputReport(report, kReportLength, kReportLength, replies)) {
      gadget.Unbind();
      std::printf("unplugged at command 0x%02X\n", report[2]);
      std::fflush(stdout);
      return;
    }
    for (const qel::sim::Report& reply : replies) {
      if (write(node, reply.data() + 1, kReportBytes) != static_cast<ssize_t>(kReportBytes)) {
        std::fprintf(stderr, "gadget_camera: reply not taken: %s\n", std::strerror(errno));
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = Parse(argc, argv);
  std::signal(SIGTERM, OnStop);
  std::signal(SIGINT, OnStop);
  qel::sim::Firmware firmware(
      static_cast<std::uint32_t>(std::strtoul(options.serial.c_str(), nullptr, 16)));
  if (options.unplugOn >= 0) {
    firmware.AddFault(options.unplugOn, qel::sim::FirmwareFaultKind::kUnplug, 0, 0, 1);
  }
  Gadget gadget(options);
  const std::string path = gadget.HidNode();
  const int node = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (node < 0) Die("cannot open " + path);
  std::printf("ready %s\n", path.c_str());
  std::fflush(stdout);
  Serve(node, firmware, gadget);
  while (!stopRequested) usleep(50'000);
  close(node);
  return 0;
}
