// The report-descriptor parser on arbitrary bytes: it must read nothing past
// the descriptor, and report lengths it accepts must be whole reports.
#include <cstdint>
#include <cstdlib>

#include "platform/linux/hid_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qel::platform::linux_hw::HidDescription description;
  if (qel::platform::linux_hw::ParseHidDescriptor(data, size, description)) {
    // A length counts the ID byte, so a kind with reports is never 1 byte.
    const auto& caps = description.caps;
    if (caps.inputReportByteLength == 1 || caps.outputReportByteLength == 1 ||
        caps.featureReportByteLength == 1) {
      std::abort();
    }
  }
  return 0;
}
