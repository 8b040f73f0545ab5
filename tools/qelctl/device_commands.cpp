// version and list.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "qel/qel.h"

namespace qelctl {
namespace {

int ShowVersion() {
  char text[64];
  if (!QelDLLVersion(text, sizeof text)) {
    std::fprintf(stderr, "qelctl: the library gave no version\n");
    return 1;
  }
  std::printf("%s\n", text);
  return 0;
}

// Splits a listing the way the library positions its entries.
std::vector<std::string> SplitListing(const std::string& listing) {
  std::vector<std::string> entries;
  std::size_t start = 0;
  while (start <= listing.size()) {
    const std::size_t comma = listing.find(',', start);
    const std::string entry = listing.substr(start, comma - start);
    if (!entry.empty()) entries.push_back(entry);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return entries;
}

int ListDevices(bool withSerial) {
  std::vector<char> buffer(4096);
  const int32_t count = withSerial
                            ? QelGetDeviceWithSerialNo(buffer.data(), static_cast<int32_t>(buffer.size()))
                            : QelGetDevice(buffer.data(), static_cast<int32_t>(buffer.size()));
  if (count < 0) {
    std::fprintf(stderr, "qelctl: the device list did not fit\n");
    return 1;
  }
  std::printf("%d video device(s)\n", count);
  const std::vector<std::string> entries = SplitListing(buffer.data());
  for (std::size_t key = 0; key < entries.size(); ++key) {
    std::printf("  key %zu: %s\n", key, entries[key].c_str());
  }
  return 0;
}

}  // namespace

void AddDeviceCommands(CLI::App& app, int& exitCode) {
  app.add_subcommand("version", "show the library's version and build stamp")
      ->callback([&exitCode] { exitCode = ShowVersion(); });

  auto* list = app.add_subcommand("list", "list the video devices; the position is the key");
  static bool withSerial = false;
  list->add_flag("-s,--serial", withSerial, "append the serial text of each camera");
  list->callback([&exitCode] { exitCode = ListDevices(withSerial); });
}

}  // namespace qelctl
