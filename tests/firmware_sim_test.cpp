#include "platform/virtual/firmware_sim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using qel::sim::Firmware;
using qel::sim::FirmwareFaultKind;
using qel::sim::Report;

constexpr std::uint32_t kSerial = 0x01020304;

Report Request(std::uint8_t code, std::initializer_list<std::uint8_t> args = {},
               std::uint8_t seq = 7) {
  Report r(65, 0);
  r[1] = seq;
  r[2] = code;
  std::copy(args.begin(), args.end(), r.begin() + 3);
  return r;
}

Report MemoryRequest(std::uint8_t code, std::uint32_t address, std::uint8_t fill = 0) {
  Report r = Request(
      code, {std::uint8_t(address >> 16), std::uint8_t(address >> 8), std::uint8_t(address)});
  std::fill(r.begin() + 6, r.begin() + 62, fill);
  return r;
}

std::vector<Report> Send(Firmware& fw, const Report& r, std::size_t inputLength = 65) {
  std::vector<Report> replies;
  fw.HandleOutputReport(r.data(), r.size(), inputLength, replies);
  return replies;
}

// Sends a request that must get exactly one reply, echoing sequence and code.
Report One(Firmware& fw, const Report& r) {
  auto replies = Send(fw, r);
  EXPECT_EQ(replies.size(), 1u);
  if (replies.size() != 1) return Report(65, 0xEE);
  EXPECT_EQ(replies[0].size(), 65u);
  EXPECT_EQ(replies[0][1], r[1]);
  EXPECT_EQ(replies[0][2], r[2]);
  return replies[0];
}

Report Slice(const Report& r, std::size_t from, std::size_t n) {
  return Report(r.begin() + from, r.begin() + from + n);
}

std::uint8_t ByteAt(const Firmware& fw, std::uint32_t address) {
  std::uint8_t b = 0;
  fw.ReadMemory(address, &b, 1);
  return b;
}

TEST(FirmwareSim, DataBlockDefaultsReadThroughMemoryCommands) {
  Firmware fw(kSerial);
  std::vector<std::uint8_t> block;
  for (std::uint32_t a = 0x070000; a < 0x070000 + 1232; a += 56) {
    Report reply = One(fw, MemoryRequest(0x21, a));
    ASSERT_EQ(reply[64], 0);
    ASSERT_EQ(Slice(reply, 3, 3), Slice(MemoryRequest(0x21, a), 3, 3));
    block.insert(block.end(), reply.begin() + 6, reply.begin() + 62);
  }
  ASSERT_EQ(block.size(), 1232u);
  EXPECT_EQ(block[0], 1);
  EXPECT_EQ(block[3], 4);
  for (int i = 4; i < 1232; ++i) ASSERT_EQ(block[i], (i >= 16 && i < 496) ? 0xFF : 0x00) << i;
  EXPECT_EQ(Slice(One(fw, Request(0xE0)), 3, 4), (Report{1, 2, 3, 4}));
}

TEST(FirmwareSim, EraseWriteAndReadBack) {
  Firmware fw(kSerial);
  const std::uint8_t zero = 0;
  for (std::uint32_t a : {0x05FFFFu, 0x060000u, 0x08FFFFu, 0x090000u}) fw.WriteMemory(a, &zero, 1);
  EXPECT_NE(One(fw, Request(0x22, {8, 6}))[64], 0);  // first > last: refused
  EXPECT_EQ(ByteAt(fw, 0x070000), 1);
  EXPECT_EQ(One(fw, Request(0x22, {6, 8}))[64], 0);
  EXPECT_EQ((Report{ByteAt(fw, 0x05FFFF), ByteAt(fw, 0x060000), ByteAt(fw, 0x070000),
                    ByteAt(fw, 0x08FFFF), ByteAt(fw, 0x090000)}),
            (Report{0, 0xFF, 0xFF, 0xFF, 0}));

  Report write = One(fw, MemoryRequest(0x20, 0x070038, 0xA5));
  EXPECT_EQ(write[64], 0);
  EXPECT_EQ(Slice(write, 3, 3), (Report{0x07, 0x00, 0x38}));
  Report read = One(fw, MemoryRequest(0x21, 0x070038));
  EXPECT_EQ(read[64], 0);
  EXPECT_EQ(std::count(read.begin() + 6, read.begin() + 62, 0xA5), 56);
  EXPECT_EQ(ByteAt(fw, 0x070038 + 56), 0xFF);
}

TEST(FirmwareSim, MemoryAccessPastTheEndIsRefused) {
  Firmware fw(kSerial);
  EXPECT_EQ(One(fw, MemoryRequest(0x20, 0xFFFFC8, 0x11))[64], 0);  // last full chunk
  EXPECT_EQ(ByteAt(fw, 0xFFFFFF), 0x11);
  EXPECT_NE(One(fw, MemoryRequest(0x20, 0xFFFFC9, 0x22))[64], 0);
  EXPECT_EQ(ByteAt(fw, 0xFFFFC9), 0x11);
  Report read = One(fw, MemoryRequest(0x21, 0xFFFFFF));
  EXPECT_NE(read[64], 0);
  EXPECT_EQ(Slice(read, 3, 3), (Report{0xFF, 0xFF, 0xFF}));

  std::uint8_t data[4] = {1, 2, 3, 4};
  fw.WriteMemory(Firmware::kMemorySize - 2, data, 4);
  fw.ReadMemory(Firmware::kMemorySize - 2, data, 4);
  EXPECT_EQ((Report{data, data + 4}), (Report{1, 2, 0xFF, 0xFF}));
}

TEST(FirmwareSim, SettingsRoundTripBigEndian) {
  Firmware fw(kSerial);
  EXPECT_EQ(One(fw, Request(0x30, {0x12, 0x34, 0xAB, 0xCD, 0x00, 0x01, 0xFF, 0x00}))[64], 0);
  EXPECT_EQ(Slice(One(fw, Request(0x31)), 3, 8),
            (Report{0x12, 0x34, 0xAB, 0xCD, 0x00, 0x01, 0xFF, 0x00}));
  One(fw, Request(0x32, {0x27, 0x10}));
  One(fw, Request(0x01, {0x0F}));
  One(fw, Request(0x02, {0xA5}));
  int direction = 0, output = 0;
  std::array<std::uint16_t, 4> g{};
  std::uint16_t shutter = 0;
  fw.GetState(direction, output, g, shutter);
  EXPECT_EQ(direction, 0x0F);
  EXPECT_EQ(output, 0xA5);
  EXPECT_EQ(Slice(One(fw, Request(0x33)), 3, 2), (Report{0x27, 0x10}));

  EXPECT_EQ(One(fw, Request(0xF5, {0x00, 0x0D}))[6], 0);  // analog gain starts at 0
  One(fw, Request(0xF4, {0x12, 0x34, 0xAB, 0xCD}));
  One(fw, Request(0xF2, {0x12, 0x34, 0x77}));
  EXPECT_EQ(Slice(One(fw, Request(0xF5, {0x12, 0x34})), 5, 2), (Report{0xAB, 0xCD}));
  EXPECT_EQ(One(fw, Request(0xF3, {0x12, 0x34}))[5], 0x77);
  EXPECT_EQ(fw.GetRegister(16, 0x1234), 0xABCD);
  EXPECT_EQ(fw.GetRegister(8, 0x1234), 0x77);
  fw.SetDeviceBytes(0x5A, 0x02, 0x3C);
  EXPECT_EQ(One(fw, Request(0x03))[3], 0x3C);
}

TEST(FirmwareSim, DeviceInformation) {
  Firmware fw(kSerial);
  Report v = One(fw, Request(0xFF));
  EXPECT_LE(std::string(reinterpret_cast<const char*>(&v[3])).size(), 61u);

  fw.SetVersion(std::string(70, 'x'));  // longer than the reply can carry
  v = One(fw, Request(0xFF));
  EXPECT_EQ(std::count(v.begin() + 3, v.begin() + 64, 'x'), 61);
  EXPECT_EQ(v[64], 0);

  EXPECT_EQ(One(fw, Request(0x10, {1}))[4], 45);
  EXPECT_EQ(One(fw, Request(0x10, {2}))[4], 52);
  EXPECT_NE(One(fw, Request(0x10, {0}))[64], 0);
  EXPECT_NE(One(fw, Request(0x10, {3}))[64], 0);
  EXPECT_NE(One(fw, Request(0x77))[64], 0);  // unknown code, still echoed
}

TEST(FirmwareSim, ShortAndMalformedReportsStayInBounds) {
  Firmware fw(kSerial);
  for (std::uint8_t code : {0x21, 0xFF, 0x31, 0xE0}) {
    auto replies = Send(fw, Request(code), 9);
    ASSERT_EQ(replies.size(), 1u);
    ASSERT_EQ(replies[0].size(), 9u);
    EXPECT_EQ(replies[0][2], code);
    EXPECT_EQ(replies[0][8], 0) << "status in the last byte, code " << int(code);
  }
  EXPECT_EQ(Send(fw, Request(0xE0), 2).at(0).size(), 2u);

  // Longer replies keep the status in byte 64; the bytes after it stay zero.
  fw.AddFault(0xF0, FirmwareFaultKind::kStatus, 0x7E, 0, 1);
  const Report refused = Send(fw, Request(0xF0), 80).at(0);
  ASSERT_EQ(refused.size(), 80u);
  EXPECT_EQ(refused[64], 0x7E);
  EXPECT_EQ(std::count(refused.begin() + 65, refused.end(), 0), 15);
  fw.SetVersion(std::string(70, 'x'));
  const Report version = Send(fw, Request(0xFF), 80).at(0);
  EXPECT_EQ(std::count(version.begin(), version.end(), 'x'), 61) << "data bytes end at 63";

  Report r = MemoryRequest(0x20, 0x000000, 0x33);
  std::vector<Report> replies;
  fw.HandleOutputReport(r.data(), 6, 65, replies);  // data bytes missing: zeros
  EXPECT_EQ(ByteAt(fw, 0), 0x00);
  fw.HandleOutputReport(r.data(), 2, 65, replies);
  fw.HandleOutputReport(nullptr, 65, 65, replies);
  EXPECT_EQ(replies.size(), 1u);
}

TEST(FirmwareSim, StatusAndSilentFaultsSkipThenCount) {
  Firmware fw(kSerial);
  fw.AddFault(0x22, FirmwareFaultKind::kStatus, 0x7E, 1, 2);
  EXPECT_EQ(One(fw, Request(0x22, {7, 7}))[64], 0);
  fw.WriteMemory(0x070000, std::vector<std::uint8_t>{9}.data(), 1);
  EXPECT_EQ(One(fw, Request(0xF0))[64], 0);  // other codes do not count
  EXPECT_EQ(One(fw, Request(0x22, {7, 7}))[64], 0x7E);
  EXPECT_EQ(One(fw, Request(0x22, {7, 7}))[64], 0x7E);
  EXPECT_EQ(ByteAt(fw, 0x070000), 9);  // refused erases erased nothing
  EXPECT_EQ(One(fw, Request(0x22, {7, 7}))[64], 0);

  fw.AddFault(0x20, FirmwareFaultKind::kStatus, 0, 0, 1);
  EXPECT_EQ(One(fw, MemoryRequest(0x20, 0x100, 0x55))[64], 1);
  EXPECT_EQ(ByteAt(fw, 0x100), 0xFF);

  fw.AddFault(-1, FirmwareFaultKind::kSilent, 0, 0, -1);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Send(fw, Request(0x32, {0, 9})).empty());
  fw.ClearFaults();
  EXPECT_EQ(One(fw, Request(0x33))[4], 100);  // silent requests were not carried out
}

TEST(FirmwareSim, EchoFaults) {
  Firmware fw(kSerial);
  fw.AddFault(0x20, FirmwareFaultKind::kBadEcho, 0, 0, 1);
  Report w = One(fw, MemoryRequest(0x20, 0x123456, 0x66));
  EXPECT_NE(Slice(w, 3, 3), (Report{0x12, 0x34, 0x56}));
  EXPECT_EQ(ByteAt(fw, 0x123456), 0x66);  // carried out all the same
  fw.AddFault(0xF0, FirmwareFaultKind::kBadEcho, 0, 0, 1);
  EXPECT_NE(One(fw, Request(0xF0))[3], 0x5A);

  fw.AddFault(0x31, FirmwareFaultKind::kStale, 3, 0, 1);
  auto replies = Send(fw, Request(0x31, {}, 1));
  ASSERT_EQ(replies.size(), 4u);
  EXPECT_EQ((Report{replies[0][1], replies[1][1], replies[2][1], replies[3][1]}),
            (Report{0, 255, 254, 1}));
  for (const Report& r : replies) EXPECT_EQ(r[2], 0x31);
  EXPECT_EQ(Slice(replies[3], 3, 2), (Report{0x01, 0x00}));  // the real reply: gain 256

  fw.AddFault(0x31, FirmwareFaultKind::kStale, 100000, 0, 1);
  replies = Send(fw, Request(0x31, {}, 9));
  for (std::size_t i = 0; i + 1 < replies.size(); ++i) ASSERT_NE(replies[i][1], 9) << i;

  fw.AddFault(0x33, FirmwareFaultKind::kForeign, 2, 0, 1);
  replies = Send(fw, Request(0x33, {}, 5));
  ASSERT_EQ(replies.size(), 3u);
  EXPECT_NE(replies[0][2], 0x33);
  EXPECT_EQ(replies[1][1], 5);
  EXPECT_EQ(replies[2][2], 0x33);
  EXPECT_EQ(replies[2][4], 100);
}

TEST(FirmwareSim, FirstActiveFaultWinsAndOthersWait) {
  Firmware fw(kSerial);
  fw.AddFault(-1, FirmwareFaultKind::kStatus, 2, 0, 1);
  fw.AddFault(0xF0, FirmwareFaultKind::kStatus, 3, 0, 1);
  fw.AddFault(0xF0, FirmwareFaultKind::kStatus, 4, 3, 1);  // skips three 0xF0 requests
  EXPECT_EQ(One(fw, Request(0xF0))[64], 2);
  EXPECT_EQ(One(fw, Request(0xF0))[64], 3);
  EXPECT_EQ(One(fw, Request(0xF0))[64], 0);
  EXPECT_EQ(One(fw, Request(0xF0))[64], 4);
  EXPECT_EQ(One(fw, Request(0xF0))[64], 0);
}

}  // namespace
