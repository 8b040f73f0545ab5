#include "platform/linux/sysfs.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/linux/sys_api.h"

namespace qel::platform::linux_hw {

namespace fs = std::filesystem;

namespace {

std::optional<std::uint32_t> ParseNumber(std::string_view text, int base) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return value;
}

std::string DevNameOf(const fs::path& node) {
  const std::optional<std::string> uevent = ReadAttribute(node, "uevent");
  if (!uevent) return std::string();
  constexpr std::string_view kKey = "DEVNAME=";
  std::size_t start = 0;
  while (start < uevent->size()) {
    std::size_t end = uevent->find('\n', start);
    if (end == std::string::npos) end = uevent->size();
    const std::string_view line(uevent->data() + start, end - start);
    if (line.starts_with(kKey)) return std::string(line.substr(kKey.size()));
    start = end + 1;
  }
  return std::string();
}

std::optional<ClassNode> MakeClassNode(const fs::path& directory, std::string_view prefix) {
  const std::string name = directory.filename().string();
  if (!name.starts_with(prefix)) return std::nullopt;
  const std::optional<std::uint32_t> number = ParseNumber(name.substr(prefix.size()), 10);
  if (!number) return std::nullopt;
  return ClassNode{name, *number, directory, DevNameOf(directory)};
}

}  // namespace

fs::path SysfsPath(const std::string& relative) { return fs::path(Sys().sysfsRoot) / relative; }

std::optional<std::string> ReadAttribute(const fs::path& directory, const char* name) {
  std::ifstream file(directory / name, std::ios::binary);
  if (!file) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return std::nullopt;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
  return text;
}

std::optional<std::uint32_t> ReadNumber(const fs::path& directory, const char* name, int base) {
  const std::optional<std::string> text = ReadAttribute(directory, name);
  if (!text) return std::nullopt;
  return ParseNumber(*text, base);
}

std::optional<fs::path> Canonical(const fs::path& path) {
  std::error_code error;
  fs::path resolved = fs::canonical(path, error);
  if (error) return std::nullopt;
  return resolved;
}

std::optional<std::vector<ClassNode>> ListClassNodes(const char* className, const char* prefix) {
  std::error_code error;
  fs::directory_iterator entries(SysfsPath("class") / className, error);
  if (error) return std::nullopt;
  std::vector<ClassNode> nodes;
  for (const fs::directory_entry& entry : entries) {
    if (std::optional<ClassNode> node = MakeClassNode(entry.path(), prefix)) {
      nodes.push_back(std::move(*node));
    }
  }
  std::sort(nodes.begin(), nodes.end(),
            [](const ClassNode& a, const ClassNode& b) { return a.number < b.number; });
  return nodes;
}

std::optional<ClassNode> FindClassNode(const char* className, const char* prefix,
                                       std::uint32_t number) {
  const fs::path directory =
      SysfsPath("class") / className / (std::string(prefix) + std::to_string(number));
  std::error_code error;
  if (!fs::exists(directory, error)) return std::nullopt;
  return MakeClassNode(directory, prefix);
}

std::optional<UsbParent> FindUsbParent(const fs::path& classNode) {
  const std::optional<fs::path> node = Canonical(classNode);
  const std::optional<fs::path> root = Canonical(SysfsPath("devices"));
  if (!node || !root) return std::nullopt;
  // The walk stays inside the device tree: a node elsewhere has no parent.
  for (fs::path at = node->parent_path(); at != at.root_path() && at != *root;
       at = at.parent_path()) {
    const std::optional<std::uint32_t> interfaceNumber = ReadNumber(at, "bInterfaceNumber", 16);
    if (!interfaceNumber) continue;
    const fs::path device = at.parent_path();
    const std::optional<std::uint32_t> vendor = ReadNumber(device, "idVendor", 16);
    const std::optional<std::uint32_t> product = ReadNumber(device, "idProduct", 16);
    const std::optional<std::uint32_t> bus = ReadNumber(device, "busnum", 10);
    const std::optional<std::uint32_t> address = ReadNumber(device, "devnum", 10);
    if (!vendor || !product || !bus || !address || *vendor > 0xFFFF || *product > 0xFFFF ||
        *interfaceNumber > 0xFF) {
      return std::nullopt;
    }
    UsbParent parent;
    parent.interfaceDirectory = at;
    parent.deviceDirectory = device;
    parent.vendor = static_cast<std::uint16_t>(*vendor);
    parent.product = static_cast<std::uint16_t>(*product);
    parent.interfaceNumber = static_cast<std::uint8_t>(*interfaceNumber);
    parent.bus = *bus;
    parent.address = *address;
    parent.portPath = device.filename().string();
    parent.serial = ReadAttribute(device, "serial").value_or(std::string());
    parent.productName = ReadAttribute(device, "product").value_or(std::string());
    return parent;
  }
  return std::nullopt;
}

}  // namespace qel::platform::linux_hw
