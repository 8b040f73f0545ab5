#include "platform/virtual/firmware_sim.h"

#include <algorithm>
#include <cstring>

namespace qel::sim {

namespace {

// Status bytes of the simulated firmware (byte 64 of every reply).
constexpr std::uint8_t kStatusOk = 0x00;
constexpr std::uint8_t kStatusUnknownCommand = 0x01;  // also the default refusal of a fault
constexpr std::uint8_t kStatusBadArgument = 0x02;     // temperature type, erase range
constexpr std::uint8_t kStatusOutOfRange = 0x03;      // memory access past the end

constexpr std::size_t kRequestLength = 65;
constexpr std::uint32_t kChunkSize = 56;  // data bytes of one memory read or write
constexpr std::uint32_t kEraseBlockSize = 64u * 1024;
constexpr std::size_t kRegisterCount = 64u * 1024;

// A fault of kStale or kForeign emits at most this many extra replies. With
// kStale more would wrap the sequence number round to the request's own.
constexpr int kMaxExtraReplies = 255;

constexpr std::uint8_t kDefaultRecognition = 0x5A;
constexpr std::uint8_t kDefaultUsbMode = 0x02;  // high speed
constexpr std::uint16_t kDefaultGain = 256;
constexpr std::uint16_t kDefaultShutter = 100;
constexpr int kDefaultTemperature1 = 45;
constexpr int kDefaultTemperature2 = 52;
constexpr const char* kDefaultVersion = "QEL FW 2.05";

// The camera's command codes, written out here again on purpose rather than
// taken from the library's hid/command_report.h: the simulator plays the
// camera, so a code changed on one side only must fail the tests.
enum Code : std::uint8_t {
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

// Replies are built through these helpers so that no field is ever written
// past the end of a short reply. The status is byte 64 whatever the reply's
// length (bytes after it stay zero); a reply too short to hold byte 64 gets
// the status in its last byte instead. Data bytes run from 3 up to the status,
// and whatever does not fit is dropped.
constexpr std::size_t kStatusByte = 64;

Report MakeReply(std::size_t length, std::uint8_t sequence, std::uint8_t code) {
  Report reply(length, 0);
  if (length > 1) reply[1] = sequence;
  if (length > 2) reply[2] = code;
  return reply;
}

std::size_t StatusIndex(const Report& reply) {
  return std::min(kStatusByte, reply.size() - 1);  // callers check size() > 3
}

bool IsDataByte(const Report& reply, std::size_t index) {
  return reply.size() > 3 && index >= 3 && index < StatusIndex(reply);
}

void PutByte(Report& reply, std::size_t index, std::uint8_t value) {
  if (IsDataByte(reply, index)) reply[index] = value;
}

void PutBigEndian(Report& reply, std::size_t index, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    PutByte(reply, index + i, static_cast<std::uint8_t>(value >> (8 * (bytes - 1 - i))));
  }
}

void SetStatus(Report& reply, std::uint8_t status) {
  if (reply.size() > 3) reply[StatusIndex(reply)] = status;
}

std::uint32_t GetBigEndian(const std::uint8_t* request, std::size_t index, int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | request[index + i];
  return value;
}

bool FitsInMemory(std::uint64_t address, std::uint64_t length) {
  return address <= Firmware::kMemorySize && length <= Firmware::kMemorySize - address;
}

}  // namespace

Firmware::Firmware(std::uint32_t serial)
    : memory_(kMemorySize, 0xFF),
      commandSerial_(serial),
      version_(kDefaultVersion),
      recognition_(kDefaultRecognition),
      usbMode_(kDefaultUsbMode),
      shutter_(kDefaultShutter),
      registers8_(kRegisterCount, 0),
      registers16_(kRegisterCount, 0) {
  temperature_[1] = kDefaultTemperature1;
  temperature_[2] = kDefaultTemperature2;
  gains_.fill(kDefaultGain);

  std::uint8_t* block = memory_.data() + kDataBlockAddress;
  std::fill(block, block + kDataBlockSize, 0x00);
  for (int i = 0; i < 4; ++i) block[i] = static_cast<std::uint8_t>(serial >> (24 - 8 * i));
  std::fill(block + 16, block + 496, 0xFF);  // six empty defect tables
}

bool Firmware::HandleOutputReport(const std::uint8_t* report, std::size_t length,
                                  std::size_t inputLength, std::vector<Report>& replies) {
  std::lock_guard lock(mutex_);
  // Without a command code there is nothing to answer or echo.
  if (report == nullptr || length < 3) return true;

  std::uint8_t request[kRequestLength] = {};
  std::memcpy(request, report, std::min(length, kRequestLength));
  const std::uint8_t sequence = request[1];
  const std::uint8_t code = request[2];

  Fault fault{};
  const bool faulted = TakeFault(code, fault);

  if (faulted && fault.kind == FirmwareFaultKind::kUnplug) return false;
  if (faulted && fault.kind == FirmwareFaultKind::kSilent) return true;
  if (faulted && fault.kind == FirmwareFaultKind::kStatus) {
    // Refused: the command is not carried out.
    Report reply = MakeReply(inputLength, sequence, code);
    const auto status = static_cast<std::uint8_t>(fault.value);
    SetStatus(reply, status != 0 ? status : kStatusUnknownCommand);
    replies.push_back(std::move(reply));
    return true;
  }

  Report reply = MakeReply(inputLength, sequence, code);
  SetStatus(reply, Execute(request, reply));

  if (!faulted) {
    replies.push_back(std::move(reply));
    return true;
  }
  const int extra = std::clamp(fault.value, 0, kMaxExtraReplies);
  switch (fault.kind) {
    case FirmwareFaultKind::kBadEcho: {
      // Memory reads and writes echo the address in bytes 3..5; spoil its
      // last byte. Every other reply gets byte 3 spoilt.
      const std::size_t index = (code == kMemoryWrite || code == kMemoryRead) ? 5 : 3;
      if (IsDataByte(reply, index)) reply[index] ^= 0x01;
      break;
    }
    case FirmwareFaultKind::kStale:
      // Left-overs of earlier requests with the same code: successful, no data.
      for (int i = 0; i < extra; ++i) {
        Report old = MakeReply(inputLength, static_cast<std::uint8_t>(sequence - 1 - i), code);
        SetStatus(old, kStatusOk);
        replies.push_back(std::move(old));
      }
      break;
    case FirmwareFaultKind::kForeign:
      for (int i = 0; i < extra; ++i) {
        Report other = MakeReply(inputLength, sequence, static_cast<std::uint8_t>(code ^ 0x80));
        SetStatus(other, kStatusOk);
        replies.push_back(std::move(other));
      }
      break;
    case FirmwareFaultKind::kCorrupt:
      // A memory read whose first data byte came back wrong.
      if (IsDataByte(reply, 6)) reply[6] ^= 0xFF;
      break;
    case FirmwareFaultKind::kStatus:
    case FirmwareFaultKind::kSilent:
    case FirmwareFaultKind::kUnplug:
      break;
  }
  replies.push_back(std::move(reply));
  return true;
}

// Every fault whose code matches counts the request against its `skip`, so a
// fault's skip counts all matching requests whatever other faults do. Among
// the faults past their skip, the first in insertion order takes effect and
// only it uses up one of its `count`; the others wait for the next request.
bool Firmware::TakeFault(int code, Fault& applied) {
  bool found = false;
  for (Fault& fault : faults_) {
    if (fault.count == 0 || (fault.code != -1 && fault.code != code)) continue;
    if (fault.skip > 0) {
      --fault.skip;
      continue;
    }
    if (found) continue;
    found = true;
    applied = fault;
    if (fault.count > 0) --fault.count;
  }
  std::erase_if(faults_, [](const Fault& fault) { return fault.count == 0; });
  return found;
}

std::uint8_t Firmware::Execute(const std::uint8_t* request, Report& reply) {
  switch (request[2]) {
    case kGpioDirection:
      gpioDirection_ = request[3];
      return kStatusOk;
    case kGpioOutput:
      gpioOutput_ = request[3];
      return kStatusOk;
    case kGpioInput:
      PutByte(reply, 3, static_cast<std::uint8_t>(gpioInput_));
      return kStatusOk;

    case kTemperature: {
      const int type = request[3];
      PutByte(reply, 3, request[3]);
      if (type != 1 && type != 2) return kStatusBadArgument;
      PutByte(reply, 4, static_cast<std::uint8_t>(temperature_[type]));
      return kStatusOk;
    }

    // Memory writes simply store the bytes; real flash could only clear bits
    // until the next erase, but the library always erases before it writes.
    case kMemoryWrite:
    case kMemoryRead: {
      const std::uint32_t address = GetBigEndian(request, 3, 3);
      PutBigEndian(reply, 3, address, 3);
      if (!FitsInMemory(address, kChunkSize)) return kStatusOutOfRange;
      std::uint8_t* chunk = memory_.data() + address;
      if (request[2] == kMemoryWrite) {
        std::memcpy(chunk, request + 6, kChunkSize);
      } else {
        for (std::uint32_t i = 0; i < kChunkSize; ++i) PutByte(reply, 6 + i, chunk[i]);
      }
      return kStatusOk;
    }
    case kMemoryErase: {
      const std::uint32_t first = request[3];
      const std::uint32_t last = request[4];
      if (first > last) return kStatusBadArgument;
      // Block numbers are 8 bits, so the range always lies within memory.
      std::fill(memory_.begin() + first * kEraseBlockSize,
                memory_.begin() + (last + 1) * kEraseBlockSize, 0xFF);
      return kStatusOk;
    }

    case kSetDigitalGain:
      for (int i = 0; i < 4; ++i) {
        gains_[i] = static_cast<std::uint16_t>(GetBigEndian(request, 3 + 2 * i, 2));
      }
      return kStatusOk;
    case kGetDigitalGain:
      for (int i = 0; i < 4; ++i) PutBigEndian(reply, 3 + 2 * i, gains_[i], 2);
      return kStatusOk;
    case kSetShutter:
      shutter_ = static_cast<std::uint16_t>(GetBigEndian(request, 3, 2));
      return kStatusOk;
    case kGetShutter:
      PutBigEndian(reply, 3, shutter_, 2);
      return kStatusOk;

    case kGetSerialNo:
      PutBigEndian(reply, 3, commandSerial_, 4);
      return kStatusOk;
    case kCameraRecognition:
      PutByte(reply, 3, static_cast<std::uint8_t>(recognition_));
      return kStatusOk;
    case kUsbMode:
      PutByte(reply, 3, static_cast<std::uint8_t>(usbMode_));
      return kStatusOk;

    case kSetRegister:
      registers8_[GetBigEndian(request, 3, 2)] = request[5];
      return kStatusOk;
    case kGetRegister: {
      const std::uint32_t address = GetBigEndian(request, 3, 2);
      PutBigEndian(reply, 3, address, 2);
      PutByte(reply, 5, registers8_[address]);
      return kStatusOk;
    }
    case kSetRegisterW:
      registers16_[GetBigEndian(request, 3, 2)] =
          static_cast<std::uint16_t>(GetBigEndian(request, 5, 2));
      return kStatusOk;
    case kGetRegisterW: {
      const std::uint32_t address = GetBigEndian(request, 3, 2);
      PutBigEndian(reply, 3, address, 2);
      PutBigEndian(reply, 5, registers16_[address], 2);
      return kStatusOk;
    }

    case kVersion: {
      // The text fills the data bytes at most; when it fills them all, the
      // status byte (0x00) that follows terminates it.
      std::size_t index = 3;
      for (char c : version_) {
        if (c == '\0' || !IsDataByte(reply, index)) break;
        reply[index++] = static_cast<std::uint8_t>(c);
      }
      PutByte(reply, index, 0);
      return kStatusOk;
    }

    default:
      return kStatusUnknownCommand;
  }
}

void Firmware::SetCommandSerial(std::uint32_t serial) {
  std::lock_guard lock(mutex_);
  commandSerial_ = serial;
}

std::uint32_t Firmware::CommandSerial() const {
  std::lock_guard lock(mutex_);
  return commandSerial_;
}

void Firmware::SetVersion(const std::string& text) {
  std::lock_guard lock(mutex_);
  version_ = text;
}

// Types other than 1 and 2 are ignored; the camera reports one byte, so only
// the low 8 bits of the value are kept.
void Firmware::SetTemperature(int type, int value) {
  std::lock_guard lock(mutex_);
  if (type == 1 || type == 2) temperature_[type] = value & 0xFF;
}

void Firmware::SetDeviceBytes(int recognition, int usbMode, int gpioInput) {
  std::lock_guard lock(mutex_);
  recognition_ = recognition & 0xFF;
  usbMode_ = usbMode & 0xFF;
  gpioInput_ = gpioInput & 0xFF;
}

void Firmware::GetState(int& gpioDirection, int& gpioOutput, std::array<std::uint16_t, 4>& gains,
                        std::uint16_t& shutter) const {
  std::lock_guard lock(mutex_);
  gpioDirection = gpioDirection_;
  gpioOutput = gpioOutput_;
  gains = gains_;
  shutter = shutter_;
}

// Addresses are taken modulo 64 Ki, as the command channel carries 16 bits.
// A width other than 8 or 16 reads as -1 and writes nothing.
int Firmware::GetRegister(int width, int address) const {
  std::lock_guard lock(mutex_);
  const auto index = static_cast<std::size_t>(address & 0xFFFF);
  if (width == 8) return registers8_[index];
  if (width == 16) return registers16_[index];
  return -1;
}

void Firmware::SetRegister(int width, int address, int value) {
  std::lock_guard lock(mutex_);
  const auto index = static_cast<std::size_t>(address & 0xFFFF);
  if (width == 8) registers8_[index] = static_cast<std::uint8_t>(value);
  if (width == 16) registers16_[index] = static_cast<std::uint16_t>(value);
}

// Bytes past the end of memory read as 0xFF, like erased memory.
void Firmware::ReadMemory(std::uint32_t address, std::uint8_t* data, std::uint32_t length) const {
  std::lock_guard lock(mutex_);
  if (data == nullptr) return;
  std::fill(data, data + length, 0xFF);
  if (address >= kMemorySize) return;
  const std::uint32_t inside = std::min(length, kMemorySize - address);
  std::memcpy(data, memory_.data() + address, inside);
}

// Bytes that would land past the end of memory are dropped.
void Firmware::WriteMemory(std::uint32_t address, const std::uint8_t* data, std::uint32_t length) {
  std::lock_guard lock(mutex_);
  if (data == nullptr || address >= kMemorySize) return;
  const std::uint32_t inside = std::min(length, kMemorySize - address);
  std::memcpy(memory_.data() + address, data, inside);
}

// A negative skip counts as 0 and any negative count as unlimited; a count of
// 0 gives a fault that is spent at once.
void Firmware::AddFault(int code, FirmwareFaultKind kind, int value, int skip, int count) {
  std::lock_guard lock(mutex_);
  if (count == 0) return;
  faults_.push_back(Fault{code, kind, value, std::max(skip, 0), count < 0 ? -1 : count});
}

void Firmware::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

}  // namespace qel::sim
