// The simulated firmware with arbitrary output reports and reply lengths:
// it must never read or write outside its memory or the reports.
#include <cstdint>
#include <vector>

#include "platform/virtual/firmware_sim.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static qel::sim::Firmware firmware(0x0000ABCD);
  const std::size_t inputLength = data[0] % 80;
  std::vector<std::uint8_t> report(data + 1, data + size);
  std::vector<qel::sim::Report> replies;
  firmware.HandleOutputReport(report.data(), report.size(), inputLength, replies);
  for (const auto& reply : replies) {
    if (reply.size() > inputLength) __builtin_trap();
  }
  return 0;
}
