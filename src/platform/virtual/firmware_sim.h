// The simulated firmware of one camera of the family: what answers the
// 65-byte command reports that the library writes to the camera's HID
// interface. Pure logic, no threads and no clock: the virtual HID device hands
// every output report to HandleOutputReport and queues the input reports it
// produces for the library to read.
//
// Thread safety: every member function may be called from any thread; an
// internal mutex serialises them.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace qel::sim {

using Report = std::vector<std::uint8_t>;

// Kinds of firmware faults (the QELSIM_FW_* values of the control API).
enum class FirmwareFaultKind {
  kStatus = 1,   // reply with status byte `value` (non-zero)
  kSilent = 2,   // send no reply at all
  kBadEcho = 3,  // reply with a wrong address echo in bytes 3..5
  kStale = 4,    // `value` replies carrying an older sequence number, then the real one
  kForeign = 5,  // `value` replies carrying another command code, then the real one
  kCorrupt = 6,  // the command is carried out; reply data byte 6 is inverted
  kUnplug = 7,   // the request is taken, and the camera is unplugged before it answers
};

class Firmware {
 public:
  static constexpr std::uint32_t kMemorySize = 16u << 20;  // 16 MiB
  static constexpr std::uint32_t kDataBlockAddress = 0x070000;
  static constexpr std::uint32_t kDataBlockSize = 1232;

  // Memory is erased (0xFF) except the data block at 0x070000, which holds
  // the serial number big-endian in bytes 0..3, zeros in 4..15, six empty
  // defect tables (all 0xFF) in 16..495, and zeros in 496..1231. The command
  // channel reports the same serial number.
  explicit Firmware(std::uint32_t serial);

  // Handles one output report (byte 0 report ID, 1 sequence, 2 command code,
  // 3.. arguments) and appends the input reports to send back, each
  // inputLength bytes long (byte 0 report ID 0, byte 1 sequence echo, byte 2
  // code echo, reply data, status in byte 64, or in the last byte of a reply
  // too short to hold byte 64). False when a kUnplug fault took the request:
  // nothing answers it, and the camera is to be unplugged.
  bool HandleOutputReport(const std::uint8_t* report, std::size_t length, std::size_t inputLength,
                          std::vector<Report>& replies);

  // State the control API reads and writes.
  void SetCommandSerial(std::uint32_t serial);
  std::uint32_t CommandSerial() const;
  void SetVersion(const std::string& text);
  void SetTemperature(int type, int value);
  void SetDeviceBytes(int recognition, int usbMode, int gpioInput);
  void GetState(int& gpioDirection, int& gpioOutput, std::array<std::uint16_t, 4>& gains,
                std::uint16_t& shutter) const;
  int GetRegister(int width, int address) const;  // width 8 or 16
  void SetRegister(int width, int address, int value);
  void ReadMemory(std::uint32_t address, std::uint8_t* data, std::uint32_t length) const;
  void WriteMemory(std::uint32_t address, const std::uint8_t* data, std::uint32_t length);

  // code -1 matches every command code.
  void AddFault(int code, FirmwareFaultKind kind, int value, int skip, int count);
  void ClearFaults();

 private:
  struct Fault {
    int code;
    FirmwareFaultKind kind;
    int value;
    int skip;
    int count;  // -1: unlimited
  };

  // Advances the schedule of every fault whose code matches and copies into
  // `applied` the first one (in insertion order) that takes effect on this
  // request; false when none does. Caller holds mutex_.
  bool TakeFault(int code, Fault& applied);
  // Carries out one request (65 bytes, missing bytes zero) and fills the
  // reply data; returns the status byte. Caller holds mutex_.
  std::uint8_t Execute(const std::uint8_t* request, Report& reply);

  mutable std::mutex mutex_;
  std::vector<std::uint8_t> memory_;
  std::uint32_t commandSerial_;
  std::string version_;
  std::array<int, 3> temperature_{};  // by type 1, 2 (index 0 unused)
  int recognition_ = 0;
  int usbMode_ = 0;
  int gpioInput_ = 0;
  int gpioDirection_ = 0;
  int gpioOutput_ = 0;
  std::array<std::uint16_t, 4> gains_{};
  std::uint16_t shutter_ = 0;
  std::vector<std::uint8_t> registers8_;    // 64 Ki entries
  std::vector<std::uint16_t> registers16_;  // 64 Ki entries
  std::vector<Fault> faults_;
};

}  // namespace qel::sim
