#include "platform/win32/hid_services.h"

#include <cstddef>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/win32/hid_api.h"

namespace qel::platform::win32 {

namespace {

// ---- the information set ------------------------------------------------

class Win32HidInterfaceSet final : public HidInterfaceSet {
 public:
  Win32HidInterfaceSet(HDEVINFO set, const GUID& hidGuid) : set_(set), hidGuid_(hidGuid) {}
  ~Win32HidInterfaceSet() override { Hid().SetupDiDestroyDeviceInfoList(set_); }
  Win32HidInterfaceSet(const Win32HidInterfaceSet&) = delete;
  Win32HidInterfaceSet& operator=(const Win32HidInterfaceSet&) = delete;

  bool EnumDeviceInfo(std::uint32_t member, std::uint32_t& devInst) override {
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    if (!Hid().SetupDiEnumDeviceInfo(set_, member, &info)) return false;
    devInst = info.DevInst;
    return true;
  }

  bool EnumDeviceInterface(std::uint32_t member) override {
    haveInterface_ = false;
    interface_ = SP_DEVICE_INTERFACE_DATA{};
    interface_.cbSize = sizeof interface_;
    if (!Hid().SetupDiEnumDeviceInterfaces(set_, nullptr, &hidGuid_, member, &interface_)) {
      return false;
    }
    haveInterface_ = true;
    interfaceMember_ = member;
    return true;
  }

  std::uint32_t DeviceInterfaceDetailSize(std::uint32_t member) override {
    if (!InterfaceAt(member)) return 0;
    DWORD required = 0;
    Hid().SetupDiGetDeviceInterfaceDetailA(set_, &interface_, nullptr, 0, &required, nullptr);
    return required;
  }

  bool GetDeviceInterfacePath(std::uint32_t member, std::uint32_t recordSize, char* path,
                              std::uint32_t pathSize) override {
    constexpr std::size_t kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    if (path == nullptr || pathSize == 0 || recordSize <= kPathOffset) return false;
    if (!InterfaceAt(member)) return false;
    std::unique_ptr<unsigned char[]> record(new (std::nothrow) unsigned char[recordSize]);
    if (!record) return false;
    std::memset(record.get(), 0, recordSize);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(record.get());
    // The size of the record's fixed part as this build lays it out (8 on
    // x64, 5 on 32-bit Windows).
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!Hid().SetupDiGetDeviceInterfaceDetailA(set_, &interface_, detail, recordSize, nullptr,
                                                nullptr)) {
      return false;
    }
    // The path ends at its terminator or at the end of the record; a path
    // that does not fit is refused rather than cut (a cut path names another
    // device or none).
    const std::size_t length = strnlen(detail->DevicePath, recordSize - kPathOffset);
    if (length >= pathSize) return false;
    std::memcpy(path, detail->DevicePath, length);
    path[length] = '\0';
    return true;
  }

 private:
  // The interface data of member, enumerating it when the last enumeration
  // was of another member.
  bool InterfaceAt(std::uint32_t member) {
    if (haveInterface_ && interfaceMember_ == member) return true;
    return EnumDeviceInterface(member);
  }

  HDEVINFO set_;
  GUID hidGuid_;
  SP_DEVICE_INTERFACE_DATA interface_{};
  std::uint32_t interfaceMember_ = 0;
  bool haveInterface_ = false;
};

// ---- bounded transfers --------------------------------------------------

// A command-channel handle is opened for synchronous I/O, where ReadFile
// returns only when the device sends its next input report, and WriteFile
// only when the device has taken the output report (a camera whose firmware
// is busy or wedged may not). To bound the wait, a timer of the system's
// timer queue cancels the calling thread's synchronous I/O
// (CancelSynchronousIo) once the time is up, and again every
// kReadCancelRetryMs while the transfer is still under way, in case the first
// cancel came before it reached the driver. The transfer then fails with
// ERROR_OPERATION_ABORTED; no report is lost, as a report that the driver has
// not handed to a read stays in its queue for the next one.
//
// Every transfer ends before Read or Write returns. That matters beyond the
// time bound: the system serialises I/O on a synchronous handle, so a
// transfer left pending would hold up the next one.
//
// The cancel can reach only this transfer: the timer callback cancels only
// while `busy` is set, under the lock, and the thread clears it (taking the
// lock) before it does anything else once the call has returned; disarming
// also waits for a callback already running.
class IoDeadline {
 public:
  explicit IoDeadline(std::uint32_t timeoutMs) {
    // A real handle of the calling thread (GetCurrentThread gives a pseudo
    // handle that would name the timer's thread in the callback).
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread_, 0,
                         FALSE, DUPLICATE_SAME_ACCESS)) {
      thread_ = nullptr;
      return;
    }
    if (!CreateTimerQueueTimer(&timer_, nullptr, &IoDeadline::Expired, this, timeoutMs,
                               kReadCancelRetryMs, WT_EXECUTEDEFAULT)) {
      timer_ = nullptr;
    }
  }
  ~IoDeadline() {
    {
      std::lock_guard lock(mutex_);
      busy_ = false;
    }
    // INVALID_HANDLE_VALUE: wait for a callback that is running.
    if (timer_ != nullptr) DeleteTimerQueueTimer(nullptr, timer_, INVALID_HANDLE_VALUE);
    if (thread_ != nullptr) CloseHandle(thread_);
  }
  IoDeadline(const IoDeadline&) = delete;
  IoDeadline& operator=(const IoDeadline&) = delete;

  bool armed() const { return timer_ != nullptr; }

  // Ends the thread's part in the transfer: after this no cancel reaches it.
  void Returned() {
    std::lock_guard lock(mutex_);
    busy_ = false;
  }

 private:
  static VOID CALLBACK Expired(PVOID self, BOOLEAN) {
    auto* deadline = static_cast<IoDeadline*>(self);
    std::lock_guard lock(deadline->mutex_);
    if (deadline->busy_) Hid().CancelSynchronousIo(deadline->thread_);
  }

  std::mutex mutex_;
  bool busy_ = true;
  HANDLE thread_ = nullptr;
  HANDLE timer_ = nullptr;
};

// ---- open devices -------------------------------------------------------

// The errors with which a transfer on the handle of an unplugged HID device
// fails: the device is no longer connected, or its driver refuses every
// request (ERROR_BAD_COMMAND, ERROR_GEN_FAILURE) once it is gone.
bool MeansDeviceGone(DWORD error) {
  return error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_BAD_COMMAND ||
         error == ERROR_GEN_FAILURE;
}

class Win32HidDevice final : public HidDevice {
 public:
  Win32HidDevice(HANDLE handle, HidOpenMode mode) : handle_(handle), mode_(mode) {}
  ~Win32HidDevice() override { Hid().CloseHandle(handle_); }
  Win32HidDevice(const Win32HidDevice&) = delete;
  Win32HidDevice& operator=(const Win32HidDevice&) = delete;

  bool GetCaps(HidCaps& caps) override {
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!Hid().HidD_GetPreparsedData(handle_, &preparsed)) return false;
    HIDP_CAPS system{};
    const NTSTATUS status = Hid().HidP_GetCaps(preparsed, &system);
    Hid().HidD_FreePreparsedData(preparsed);
    if (status != HIDP_STATUS_SUCCESS) return false;
    caps.usage = system.Usage;
    caps.usagePage = system.UsagePage;
    caps.inputReportByteLength = system.InputReportByteLength;
    caps.outputReportByteLength = system.OutputReportByteLength;
    caps.featureReportByteLength = system.FeatureReportByteLength;
    return true;
  }

  bool GetSerialNumberString(char16_t* buffer, std::uint32_t bufferBytes) override {
    if (buffer == nullptr) return false;
    return Hid().HidD_GetSerialNumberString(handle_, buffer, bufferBytes) != FALSE;
  }

  // Reports move only over the command channel's synchronous handle: the
  // serial query's handle is overlapped, where a transfer without an
  // OVERLAPPED record is not allowed. Without a deadline a transfer could
  // wait for ever; none is better.
  bool Write(const std::uint8_t* report, std::uint32_t length, std::uint32_t timeoutMs) override {
    gone_ = false;
    if (mode_ != HidOpenMode::kCommandChannel || report == nullptr) return false;
    IoDeadline deadline(timeoutMs);
    if (!deadline.armed()) return false;
    DWORD written = 0;
    const BOOL wrote = Hid().WriteFile(handle_, report, length, &written, nullptr);
    gone_ = wrote == FALSE && MeansDeviceGone(GetLastError());
    deadline.Returned();
    return wrote != FALSE;
  }

  bool Read(std::uint8_t* report, std::uint32_t length, std::uint32_t timeoutMs) override {
    gone_ = false;
    if (mode_ != HidOpenMode::kCommandChannel || report == nullptr) return false;
    IoDeadline deadline(timeoutMs);
    if (!deadline.armed()) return false;
    DWORD received = 0;
    const BOOL read = Hid().ReadFile(handle_, report, length, &received, nullptr);
    gone_ = read == FALSE && MeansDeviceGone(GetLastError());
    deadline.Returned();
    return read != FALSE;
  }

  bool DeviceGone() override { return gone_; }

 private:
  const HANDLE handle_;
  const HidOpenMode mode_;
  bool gone_ = false;  // the last transfer failed with the device gone
};

}  // namespace

std::unique_ptr<HidInterfaceSet> OpenHidInterfaceSet() {
  GUID hidGuid{};
  Hid().HidD_GetHidGuid(&hidGuid);
  HDEVINFO set =
      Hid().SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == nullptr || set == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32HidInterfaceSet>(set, hidGuid);
}

std::uint32_t GetParentDevInst(std::uint32_t devInst, std::uint32_t& parent) {
  DEVINST found = 0;
  const CONFIGRET result = Hid().CM_Get_Parent(&found, devInst, 0);
  if (result == CR_SUCCESS) parent = found;
  return result;
}

std::uint32_t GetDeviceId(std::uint32_t devInst, char* buffer, std::uint32_t size) {
  return Hid().CM_Get_Device_IDA(devInst, buffer, size, 0);
}

std::unique_ptr<HidDevice> OpenHidDevice(const char* path, HidOpenMode mode) {
  if (path == nullptr) return nullptr;
  // The command channel: read and write access, a handle that no child
  // process inherits, synchronous I/O. The serial query: no access rights
  // (the HID information calls need none, and so an application holding the
  // device without sharing it does not hide its serial), default security,
  // overlapped.
  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof security;
  security.lpSecurityDescriptor = nullptr;
  security.bInheritHandle = FALSE;
  const bool channel = mode == HidOpenMode::kCommandChannel;
  HANDLE handle = Hid().CreateFileA(
      path, channel ? GENERIC_READ | GENERIC_WRITE : 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
      channel ? &security : nullptr, OPEN_EXISTING, channel ? 0 : FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32HidDevice>(handle, mode);
}

}  // namespace qel::platform::win32
