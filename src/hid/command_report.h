// The command report exchanged with a camera's firmware over its HID
// interface, and the blocks the command functions fill and read.
//
// Output report: byte 0 report ID 0, byte 1 sequence number, byte 2 command
// code, bytes 3.. arguments. Input report: byte 1 and 2 echo sequence and
// code, reply data follow, byte 64 is the status (0x00 carried out).
// Command block byte k travels in output byte k + 2; reply block byte k is
// input byte k + 2. Numbers are big-endian.
#pragma once

#include <array>
#include <cstdint>

namespace qel {

inline constexpr std::uint32_t kReportLength = 65;
inline constexpr std::size_t kCommandBlockSize = 64;
inline constexpr std::size_t kReplyBlockSize = 63;
inline constexpr std::size_t kReplyStatus = 62;  // reply byte of input byte 64

using CommandBlock = std::array<std::uint8_t, kCommandBlockSize>;
using ReplyBlock = std::array<std::uint8_t, kReplyBlockSize>;

// The firmware simulator (platform/virtual/firmware_sim.cpp) keeps its own
// copy of these codes on purpose: it plays the camera, and a code changed on
// one side only must show up as a failing test, not pass unnoticed.
enum class CommandCode : std::uint8_t {
  kGpioDirection = 0x01,
  kGpioOutput = 0x02,
  kGpioInput = 0x03,
  kTemperature = 0x10,
  kMemoryWrite = 0x20,
  kMemoryRead = 0x21,
  kMemoryErase = 0x22,
  kSetDigitalGain = 0x30,
  kGetDigitalGain = 0x31,
  kSetShutter = 0x32,
  kGetShutter = 0x33,
  kGetSerialNo = 0xE0,
  kCameraRecognition = 0xF0,
  kUsbMode = 0xF1,
  kSetRegister = 0xF2,
  kGetRegister = 0xF3,
  kSetRegisterW = 0xF4,
  kGetRegisterW = 0xF5,
  kVersion = 0xFF,
};

// A zeroed command block carrying code. Report byte n is block byte n - 2.
inline CommandBlock MakeCommand(CommandCode code) {
  CommandBlock block{};
  block[0] = static_cast<std::uint8_t>(code);
  return block;
}

// Writers and readers addressed by report byte number.
inline void PutReportByte(CommandBlock& block, int reportByte, std::uint32_t value) {
  block[static_cast<std::size_t>(reportByte - 2)] = static_cast<std::uint8_t>(value);
}
inline void PutReportBE16(CommandBlock& block, int reportByte, std::uint32_t value) {
  PutReportByte(block, reportByte, value >> 8);
  PutReportByte(block, reportByte + 1, value);
}
inline void PutReportBE24(CommandBlock& block, int reportByte, std::uint32_t value) {
  PutReportByte(block, reportByte, value >> 16);
  PutReportBE16(block, reportByte + 1, value);
}
inline std::uint8_t ReplyByte(const ReplyBlock& reply, int reportByte) {
  return reply[static_cast<std::size_t>(reportByte - 2)];
}
inline std::uint16_t ReplyBE16(const ReplyBlock& reply, int reportByte) {
  return static_cast<std::uint16_t>(ReplyByte(reply, reportByte) << 8 |
                                    ReplyByte(reply, reportByte + 1));
}
inline std::uint32_t ReplyBE32(const ReplyBlock& reply, int reportByte) {
  return static_cast<std::uint32_t>(ReplyBE16(reply, reportByte)) << 16 |
         ReplyBE16(reply, reportByte + 2);
}
inline bool ReplyStatusOk(const ReplyBlock& reply) { return reply[kReplyStatus] == 0x00; }

}  // namespace qel
