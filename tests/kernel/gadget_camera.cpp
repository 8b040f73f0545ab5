// gadget_camera: a camera's command interface as a real USB device. It makes
// a configfs USB gadget with the model as its product string, a serial string
// and one HID function (vendor page, 64-byte reports without IDs), binds it
// to a device controller (dummy_hcd's, in the lab), and answers every report
// the host writes with the rig's firmware simulator, so that the host's usbhid
// and hidraw drivers carry the library's commands to a firmware that answers
// as a camera does.
//
//   gadget_camera [--model QEL5] [--serial 0000ABCD] [--udc NAME] [--name lab]
//                 [--unplug-on CODE] [--uvc] [--usbip]
//
// Prints "ready /dev/hidgN" once bound. --unplug-on takes the first request
// with that command code (hexadecimal) and unbinds the gadget before it
// answers: the camera is unplugged in the middle of that command. --uvc adds
// the video function (uvc_function.h), making the composite a camera is;
// --usbip binds to usbip-vudc.0 and attaches the gadget to this machine's
// vhci_hcd over loopback USB/IP. SIGTERM or SIGINT unplugs and removes it.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "attribute_file.h"
#include "platform/virtual/firmware_sim.h"
#include "uvc_function.h"

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
  bool uvc = false;
  bool usbip = false;
};

// The models' frame sizes, largest first, as the cameras' video functions
// offer them.
std::vector<qel::lab::UvcFrameSize> ModelSizes(const std::string& model) {
  if (model == "QEL5") return {{1920, 1080}, {960, 540}, {480, 270}};
  return {{1280, 720}, {656, 408}, {328, 204}};
}

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "gadget_camera: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

void Put(const fs::path& file, const std::string& text) {
  if (!qel::lab::WriteAttribute(file, text)) Die("cannot write " + file.string());
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

// Runs a program to its end; true when it exited with 0.
bool Run(std::vector<std::string> arguments) {
  const pid_t child = fork();
  if (child == 0) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

Options Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string key = argv[i];
    if (key == "--uvc" || key == "--usbip") {
      (key == "--uvc" ? options.uvc : options.usbip) = true;
      continue;
    }
    if (i + 1 == argc) {
      std::fprintf(stderr, "gadget_camera: %s needs a value\n", key.c_str());
      std::exit(2);
    }
    const std::string value = argv[++i];
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
  if (options.usbip && options.udc.empty()) options.udc = "usbip-vudc.0";
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
    if (options.uvc) {
      // Miscellaneous class with interface associations: the video
      // function's interfaces are grouped by one.
      Put(root_ / "bDeviceClass", "0xEF");
      Put(root_ / "bDeviceSubClass", "0x02");
      Put(root_ / "bDeviceProtocol", "0x01");
    }
    fs::create_directory(root_ / "strings/0x409");
    Put(root_ / "strings/0x409/serialnumber", options.serial);
    Put(root_ / "strings/0x409/manufacturer", "qel lab");
    Put(root_ / "strings/0x409/product", options.model);
    fs::create_directories(root_ / "configs/c.1/strings/0x409");
    Put(root_ / "configs/c.1/strings/0x409/configuration", "camera");
    if (options.uvc) qel::lab::AddUvcFunction(root_, ModelSizes(options.model));
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
    RemoveUvcFunction();
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

  void Unbind() { qel::lab::WriteAttribute(root_ / "UDC", "\n"); }

  // The video function's streaming interface number; -1 without one.
  int StreamingInterface() const {
    const std::string number = FirstLine(root_ / "functions/uvc.usb0/streaming/bInterfaceNumber");
    return number.empty() ? -1 : std::stoi(number);
  }

 private:
  // configfs removes a directory only when what it holds is removed first,
  // innermost first; links before what they point to.
  void RemoveUvcFunction() {
    const fs::path uvc = root_ / "functions/uvc.usb0";
    std::error_code ignored;
    if (!fs::exists(uvc, ignored)) return;
    fs::remove(root_ / "configs/c.1/uvc.usb0", ignored);
    for (const char* link : {"streaming/class/fs/h", "streaming/class/hs/h", "streaming/class/ss/h",
                             "streaming/header/h/u", "streaming/header/h/m", "control/class/fs/h",
                             "control/class/ss/h"}) {
      fs::remove(uvc / link, ignored);
    }
    for (const char* directory :
         {"streaming/header/h", "streaming/mjpeg/m/f0", "streaming/mjpeg/m", "control/header/h"}) {
      fs::remove(uvc / directory, ignored);
    }
    for (int i = 0; i < 3; ++i) {
      fs::remove(uvc / "streaming/uncompressed/u" / ("f" + std::to_string(i)), ignored);
    }
    fs::remove(uvc / "streaming/uncompressed/u", ignored);
    fs::remove(uvc, ignored);
  }

  fs::path root_;
};

// The gadget bound to usbip-vudc, exported by usbipd and attached to this
// machine's virtual host controller: the host sees a USB device on
// vhci_hcd. Detached and the daemon ended on destruction.
class UsbipLink {
 public:
  explicit UsbipLink(const std::string& udc) {
    Run({"ip", "link", "set", "lo", "up"});
    if (!Run({"usbipd", "--device", "--daemon", "--pid=" + std::string(kPidFile)})) {
      Die("usbipd did not start");
    }
    // The daemon listens a moment after it forked.
    for (int attempt = 0; attempt < 50 && !attached_; ++attempt) {
      attached_ = Run({"usbip", "attach", "-r", "127.0.0.1", "-d", udc});
      if (!attached_) usleep(100'000);
    }
    if (!attached_) Die("usbip attach failed");
  }
  ~UsbipLink() {
    Run({"usbip", "detach", "-p", "0"});
    const std::string pid = FirstLine(kPidFile);
    if (!pid.empty()) kill(static_cast<pid_t>(std::stoi(pid)), SIGTERM);
  }

 private:
  static constexpr const char* kPidFile = "/run/qel-lab-usbipd.pid";
  bool attached_ = false;
};

// Hands every report the host writes to the firmware and writes its replies
// back, and answers the video function's requests, until asked to stop or
// the request the unplug waits for arrives.
void Serve(int node, qel::sim::Firmware& firmware, Gadget& gadget, qel::lab::UvcResponder* uvc) {
  while (!stopRequested) {
    pollfd entries[2] = {{node, POLLIN, 0}, {uvc ? uvc->fd() : -1, POLLPRI, 0}};
    if (poll(entries, 2, 100) <= 0) continue;
    if (entries[1].revents & POLLPRI) uvc->Answer();
    if (!(entries[0].revents & POLLIN)) continue;
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
  // Without SA_RESTART: a reply write that the host never takes (it is gone)
  // ends with EINTR, and the stop goes ahead.
  struct sigaction stop {};
  stop.sa_handler = OnStop;
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGINT, &stop, nullptr);
  qel::sim::Firmware firmware(
      static_cast<std::uint32_t>(std::strtoul(options.serial.c_str(), nullptr, 16)));
  if (options.unplugOn >= 0) {
    firmware.AddFault(options.unplugOn, qel::sim::FirmwareFaultKind::kUnplug, 0, 0, 1);
  }
  Gadget gadget(options);
  // The video function connects once its node is open.
  std::unique_ptr<qel::lab::UvcResponder> uvc;
  if (options.uvc) {
    uvc = std::make_unique<qel::lab::UvcResponder>(ModelSizes(options.model),
                                                   gadget.StreamingInterface());
    if (uvc->fd() < 0) Die("the video function has no node");
  }
  const std::string path = gadget.HidNode();
  const int node = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (node < 0) Die("cannot open " + path);
  std::unique_ptr<UsbipLink> link;
  if (options.usbip) link = std::make_unique<UsbipLink>(options.udc);
  std::printf("ready %s\n", path.c_str());
  std::fflush(stdout);
  Serve(node, firmware, gadget, uvc.get());
  while (!stopRequested) usleep(50'000);
  close(node);
  return 0;
}
