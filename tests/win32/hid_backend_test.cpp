// The HID side of the Windows backend against a stand-in for the device
// setup, HID and file functions, put in place through the backend's function
// table: what the walk and the opens pass to the system, the path copy, the
// release of every system object, and the bounded reads on a synchronous
// handle. The last tests use the system's own HID devices (Wine's virtual
// mouse and keyboard in CI).
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_context.h"
#include "core/last_error.h"
#include "discovery/hid_discovery.h"
#include "hid/hid_channel.h"
#include "platform/win32/hid_api.h"
#include "platform/win32/win32_platform.h"

namespace qel::test {
namespace {

using namespace std::chrono_literals;
using platform::HidOpenMode;
using platform::win32::Hid;
using platform::win32::SystemHidApi;

constexpr GUID kHidGuid = {
    0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
HDEVINFO const kSet = reinterpret_cast<HDEVINFO>(0x5e7);
HANDLE const kFirstHandle = reinterpret_cast<HANDLE>(0x100);
// The preparsed data of interface i is kPreparsed + i.
constexpr std::uintptr_t kPreparsed = 0x9a90;
// The report lengths of the camera's command interface.
const platform::HidCaps kCommandCaps = {1, 0xFF00, 65, 65, 0};

// The display name of the video function of the camera AddInterfaces lists.
constexpr char kCameraDisplayName[] =
    "@device:pnp:\\\\?\\usb#vid_1d6b&pid_0102&mi_00#7&2f3e4d5c&0&0000#{65e8}\\global";

struct FakeInterface {
  DWORD devInst;
  CONFIGRET parentResult;
  std::string parentId;
  std::string path;
  bool openable;
  std::wstring serial;
  // Another process holds the device without sharing reads or writes: an
  // open asking for either access fails with a sharing violation.
  bool heldUnshared = false;
  USAGE usagePage = 0xFF00;
  USHORT inputLength = 65;
  USHORT outputLength = 65;
};

// The stand-in: a list of HID interfaces, handles that count their closes, a
// queue of input reports, a ReadFile that waits for a report and a WriteFile
// that waits while the device takes no report, each until
// CancelSynchronousIo of its thread, as synchronous transfers on a device do.
struct FakeHid {
  std::vector<FakeInterface> interfaces;
  std::mutex mutex;
  std::condition_variable changed;

  DWORD classFlags = 0;
  GUID classGuid{};
  int setsDestroyed = 0;
  struct Open {
    std::string path;
    DWORD access, share, disposition, flags;
    bool security;
    DWORD securityLength;
    BOOL inherit;
  };
  std::vector<Open> opens;
  std::vector<int> closes;  // per handle number
  int preparsedTaken = 0, preparsedFreed = 0;
  NTSTATUS capsStatus = HIDP_STATUS_SUCCESS;

  std::deque<std::vector<BYTE>> reports;
  std::vector<std::vector<BYTE>> written;
  bool answerWrites = false;  // queue a reply echoing each written request
  bool writesWedged = false;  // the device takes no report (busy firmware)
  DWORD unplugError = 0;      // the device is gone: transfers fail with this error
  bool ioBlocked = false;     // a ReadFile or WriteFile is waiting
  bool cancelPending = false;
  DWORD ioThreadId = 0;
  std::chrono::milliseconds readerLateBy{0};  // time a read takes to reach the "driver"
  int reads = 0, cancels = 0, cancelsThatHit = 0, cancelsOfOtherThreads = 0;

  static FakeHid& Instance() {
    static FakeHid fake;
    return fake;
  }
  void Reset() {
    std::lock_guard lock(mutex);
    interfaces.clear();
    classFlags = 0;
    setsDestroyed = 0;
    opens.clear();
    closes.clear();
    preparsedTaken = preparsedFreed = 0;
    capsStatus = HIDP_STATUS_SUCCESS;
    reports.clear();
    written.clear();
    answerWrites = writesWedged = false;
    unplugError = 0;
    ioBlocked = cancelPending = false;
    readerLateBy = 0ms;
    reads = cancels = cancelsThatHit = cancelsOfOtherThreads = 0;
  }
};

FakeHid& F() { return FakeHid::Instance(); }

const FakeInterface* InterfaceOf(HANDLE handle) {
  const auto index =
      reinterpret_cast<std::uintptr_t>(handle) - reinterpret_cast<std::uintptr_t>(kFirstHandle);
  return index < F().interfaces.size() ? &F().interfaces[index] : nullptr;
}

void WINAPI FakeGetHidGuid(LPGUID guid) { *guid = kHidGuid; }
HDEVINFO WINAPI FakeGetClassDevs(const GUID* guid, PCSTR, HWND, DWORD flags) {
  F().classGuid = *guid;
  F().classFlags = flags;
  return kSet;
}
BOOL WINAPI FakeEnumDeviceInfo(HDEVINFO set, DWORD member, PSP_DEVINFO_DATA info) {
  if (set != kSet || info->cbSize != sizeof(SP_DEVINFO_DATA)) return FALSE;
  if (member >= F().interfaces.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  info->DevInst = F().interfaces[member].devInst;
  return TRUE;
}
BOOL WINAPI FakeEnumInterfaces(HDEVINFO set, PSP_DEVINFO_DATA filter, const GUID* guid,
                               DWORD member, PSP_DEVICE_INTERFACE_DATA data) {
  if (set != kSet || filter != nullptr || *guid != kHidGuid ||
      data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || member >= F().interfaces.size()) {
    return FALSE;
  }
  data->Reserved = member;
  return TRUE;
}
BOOL WINAPI FakeInterfaceDetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size,
                                PDWORD required, PSP_DEVINFO_DATA) {
  if (set != kSet) return FALSE;
  const std::string& path = F().interfaces.at(data->Reserved).path;
  const DWORD needed =
      static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
  if (required != nullptr) *required = needed;
  if (detail == nullptr || size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return FALSE;
  std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
  return TRUE;
}
BOOL WINAPI FakeDestroyList(HDEVINFO set) {
  if (set == kSet) ++F().setsDestroyed;
  return TRUE;
}
// Interfaces with the same parent ID are collections of one parent device,
// numbered 1000 + the position of the first of them.
CONFIGRET WINAPI FakeGetParent(PDEVINST parent, DEVINST devInst, ULONG flags) {
  const auto& all = F().interfaces;
  for (const FakeInterface& each : all) {
    if (each.devInst != devInst || flags != 0) continue;
    std::size_t first = 0;
    while (all[first].parentId != each.parentId) ++first;
    *parent = static_cast<DEVINST>(1000 + first);
    return each.parentResult;
  }
  return CR_NO_SUCH_DEVNODE;
}
CONFIGRET WINAPI FakeGetDeviceId(DEVINST devInst, PSTR buffer, ULONG size, ULONG) {
  if (devInst < 1000 || devInst - 1000 >= F().interfaces.size()) return CR_NO_SUCH_DEVNODE;
  const std::string& id = F().interfaces[devInst - 1000].parentId;
  if (id.size() + 1 > size) return CR_BUFFER_SMALL;
  std::memcpy(buffer, id.c_str(), id.size() + 1);
  return CR_SUCCESS;
}
HANDLE WINAPI FakeCreateFile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE) {
  F().opens.push_back({path, access, share, disposition, flags, security != nullptr,
                       security != nullptr ? security->nLength : 0,
                       security != nullptr ? security->bInheritHandle : TRUE});
  for (std::size_t i = 0; i < F().interfaces.size(); ++i) {
    const FakeInterface& device = F().interfaces[i];
    if (device.path != path || !device.openable) continue;
    if (device.heldUnshared && (access & (GENERIC_READ | GENERIC_WRITE)) != 0) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HANDLE>(reinterpret_cast<std::uintptr_t>(kFirstHandle) + i);
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return INVALID_HANDLE_VALUE;
}
BOOL WINAPI FakeCloseHandle(HANDLE handle) {
  const auto index =
      reinterpret_cast<std::uintptr_t>(handle) - reinterpret_cast<std::uintptr_t>(kFirstHandle);
  if (F().closes.size() <= index) F().closes.resize(index + 1);
  ++F().closes[index];
  return TRUE;
}
const FakeInterface* InterfaceOf(PHIDP_PREPARSED_DATA data) {
  const auto index = reinterpret_cast<std::uintptr_t>(data) - kPreparsed;
  return index < F().interfaces.size() ? &F().interfaces[index] : nullptr;
}
BOOLEAN WINAPI FakeGetPreparsed(HANDLE handle, PHIDP_PREPARSED_DATA* data) {
  const FakeInterface* device = InterfaceOf(handle);
  if (device == nullptr) return FALSE;
  ++F().preparsedTaken;
  *data = reinterpret_cast<PHIDP_PREPARSED_DATA>(kPreparsed + (device - F().interfaces.data()));
  return TRUE;
}
BOOLEAN WINAPI FakeFreePreparsed(PHIDP_PREPARSED_DATA data) {
  if (InterfaceOf(data) != nullptr) ++F().preparsedFreed;
  return TRUE;
}
NTSTATUS WINAPI FakeGetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
  const FakeInterface* device = InterfaceOf(data);
  if (device == nullptr) return HIDP_STATUS_INVALID_PREPARSED_DATA;
  *caps = HIDP_CAPS{};
  caps->UsagePage = device->usagePage;
  caps->Usage = 1;
  caps->InputReportByteLength = device->inputLength;
  caps->OutputReportByteLength = device->outputLength;
  return F().capsStatus;
}
BOOLEAN WINAPI FakeGetSerial(HANDLE handle, PVOID buffer, ULONG bytes) {
  const FakeInterface* device = InterfaceOf(handle);
  if (device == nullptr || device->serial.empty()) return FALSE;
  const std::size_t size = (device->serial.size() + 1) * sizeof(wchar_t);
  if (size > bytes) return FALSE;
  std::memcpy(buffer, device->serial.c_str(), size);
  return TRUE;
}
// Waits, as a synchronous transfer does, until done() or a cancel of this
// thread; false for the cancel. The stand-in gives up after a while, so that
// a test of a library that never cancels ends.
template <class Done>
bool WaitAsTransfer(std::unique_lock<std::mutex>& lock, Done done) {
  F().ioThreadId = GetCurrentThreadId();
  F().ioBlocked = true;
  F().cancelPending = false;
  const bool ended = F().changed.wait_for(lock, 3s, [&] { return done() || F().cancelPending; });
  F().ioBlocked = false;
  const bool cancelled = F().cancelPending || !ended;
  F().cancelPending = false;
  return !cancelled || done();
}

BOOL WINAPI FakeWriteFile(HANDLE, LPCVOID data, DWORD length, LPDWORD written, LPOVERLAPPED) {
  const auto* bytes = static_cast<const BYTE*>(data);
  std::unique_lock lock(F().mutex);
  if (F().unplugError != 0) {
    SetLastError(F().unplugError);
    return FALSE;
  }
  if (F().writesWedged && !WaitAsTransfer(lock, [] { return !F().writesWedged; })) {
    SetLastError(ERROR_OPERATION_ABORTED);
    return FALSE;
  }
  F().written.emplace_back(bytes, bytes + length);
  if (F().answerWrites) {
    std::vector<BYTE> reply(65, 0);
    reply[1] = bytes[1];
    reply[2] = bytes[2];
    reply[3] = 0x42;
    F().reports.push_back(reply);
    F().changed.notify_all();
  }
  *written = length;
  return TRUE;
}
BOOL WINAPI FakeReadFile(HANDLE, LPVOID data, DWORD length, LPDWORD read, LPOVERLAPPED overlapped) {
  if (overlapped != nullptr) return FALSE;
  std::this_thread::sleep_for(F().readerLateBy);  // on its way to the driver
  std::unique_lock lock(F().mutex);
  ++F().reads;
  if (!WaitAsTransfer(lock, [] { return !F().reports.empty() || F().unplugError != 0; })) {
    SetLastError(ERROR_OPERATION_ABORTED);
    return FALSE;
  }
  if (F().unplugError != 0) {
    SetLastError(F().unplugError);
    return FALSE;
  }
  const std::vector<BYTE> report = F().reports.front();
  F().reports.pop_front();
  const DWORD copied = std::min<DWORD>(length, static_cast<DWORD>(report.size()));
  std::memcpy(data, report.data(), copied);
  *read = copied;
  return TRUE;
}
BOOL WINAPI FakeCancelSynchronousIo(HANDLE thread) {
  std::lock_guard lock(F().mutex);
  ++F().cancels;
  const bool otherThread = GetThreadId(thread) != F().ioThreadId;
  if (otherThread) ++F().cancelsOfOtherThreads;
  if (!F().ioBlocked || otherThread) {
    SetLastError(ERROR_NOT_FOUND);
    return FALSE;
  }
  ++F().cancelsThatHit;
  F().cancelPending = true;
  F().changed.notify_all();
  return TRUE;
}

class HidBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    F().Reset();
    auto& api = Hid();
    api.HidD_GetHidGuid = &FakeGetHidGuid;
    api.SetupDiGetClassDevsA = &FakeGetClassDevs;
    api.SetupDiEnumDeviceInfo = &FakeEnumDeviceInfo;
    api.SetupDiEnumDeviceInterfaces = &FakeEnumInterfaces;
    api.SetupDiGetDeviceInterfaceDetailA = &FakeInterfaceDetail;
    api.SetupDiDestroyDeviceInfoList = &FakeDestroyList;
    api.CM_Get_Parent = &FakeGetParent;
    api.CM_Get_Device_IDA = &FakeGetDeviceId;
    api.CreateFileA = &FakeCreateFile;
    api.CloseHandle = &FakeCloseHandle;
    api.HidD_GetPreparsedData = &FakeGetPreparsed;
    api.HidD_FreePreparsedData = &FakeFreePreparsed;
    api.HidP_GetCaps = &FakeGetCaps;
    api.HidD_GetSerialNumberString = &FakeGetSerial;
    api.WriteFile = &FakeWriteFile;
    api.ReadFile = &FakeReadFile;
    api.CancelSynchronousIo = &FakeCancelSynchronousIo;
  }
  void TearDown() override { Hid() = SystemHidApi(); }

  // A camera's HID interface and a foreign one.
  void AddInterfaces() {
    F().interfaces = {
        {7, CR_SUCCESS, "HID\\VID_045E&PID_0040\\5&11112222&0&0000",
         "\\\\?\\hid#vid_045e&pid_0040#5&11112222&0&0000#{4d1e55b2}", true, L"MOUSE"},
        {8, CR_SUCCESS, "USB\\VID_1D6B&PID_0102&MI_02\\7&2F3E4D5C&0&0002",
         "\\\\?\\hid#vid_1d6b&pid_0102&mi_02#8&aaaa&0&0000#{4d1e55b2}", true, L"0000ABCD"},
    };
  }

  platform::Platform& backend_ = platform::win32::HardwarePlatform();
};

// The walk of the library over the backend finds the paired interface and
// reads its serial text; every handle it opened is closed, the information
// set destroyed, the preparsed data freed.
TEST_F(HidBackendTest, SerialWalkReachesThePairedInterfaceAndReleasesEverything) {
  AddInterfaces();
  char serial[9] = {};
  ASSERT_TRUE(ReadControlSerial(kCameraDisplayName, serial));
  EXPECT_STREQ(serial, "0000ABCD");

  EXPECT_EQ(F().classGuid, kHidGuid);
  EXPECT_EQ(F().classFlags, static_cast<DWORD>(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  EXPECT_EQ(F().setsDestroyed, 1);
  ASSERT_EQ(F().opens.size(), 1u);  // the mouse's parent carries another prefix
  EXPECT_EQ(F().opens[0].path, F().interfaces[1].path);
  EXPECT_EQ(F().preparsedTaken, 1);
  EXPECT_EQ(F().preparsedFreed, 1);
  ASSERT_EQ(F().closes.size(), 2u);
  EXPECT_EQ(F().closes[1], 1);
}

// A device another application holds without sharing cannot become a
// command channel, but its serial can still be read for the listing.
TEST_F(HidBackendTest, SerialIsReadWhileAnotherApplicationHoldsTheDevice) {
  AddInterfaces();
  F().interfaces[1].heldUnshared = true;
  EXPECT_FALSE(
      backend_.OpenHidDevice(F().interfaces[1].path.c_str(), HidOpenMode::kCommandChannel));
  char serial[9] = {};
  ASSERT_TRUE(ReadControlSerial(kCameraDisplayName, serial));
  EXPECT_STREQ(serial, "0000ABCD");
}

// A camera whose composite device also carries a consumer-control
// collection (a snapshot button) under the same parent: the control channel
// is the collection whose reports carry a command, though the other comes
// first.
TEST_F(HidBackendTest, ControlChannelPassesOverACollectionWithShortReports) {
  AddInterfaces();
  FakeInterface button = F().interfaces[1];
  button.devInst = 9;
  button.path = "\\\\?\\hid#vid_1d6b&pid_0102&mi_02&col01#8&aaaa&0&0000#{4d1e55b2}";
  button.usagePage = 0x0C;
  button.inputLength = 3;
  button.outputLength = 0;
  F().interfaces.insert(F().interfaces.begin() + 1, button);

  // The capture that names the camera's video device, as an open makes it.
  CaptureContext& capture = *ContextAt(0);
  std::snprintf(capture.devicePath, sizeof capture.devicePath, "%s", kCameraDisplayName);
  capture.running = 1;
  std::shared_ptr<HidChannel> channel = OpenControlInterface(0);
  capture.running = 0;
  ASSERT_TRUE(channel);
  EXPECT_EQ(channel->InputReportLength(), 65);
  F().answerWrites = true;
  CommandBlock command{};
  command[0] = 0xF0;
  ReplyBlock reply{};
  EXPECT_TRUE(channel->Exchange(command, reply));
}

TEST_F(HidBackendTest, OpenModesPassTheirAttributes) {
  AddInterfaces();
  const char* path = F().interfaces[1].path.c_str();
  {
    auto channel = backend_.OpenHidDevice(path, HidOpenMode::kCommandChannel);
    ASSERT_TRUE(channel);
    auto query = backend_.OpenHidDevice(path, HidOpenMode::kSerialQuery);
    ASSERT_TRUE(query);
  }
  ASSERT_EQ(F().opens.size(), 2u);
  const FakeHid::Open& channel = F().opens[0];
  EXPECT_EQ(channel.access, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
  EXPECT_EQ(channel.share, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
  EXPECT_EQ(channel.disposition, static_cast<DWORD>(OPEN_EXISTING));
  EXPECT_EQ(channel.flags, 0u);  // synchronous I/O
  EXPECT_TRUE(channel.security);
  EXPECT_EQ(channel.securityLength, sizeof(SECURITY_ATTRIBUTES));
  EXPECT_EQ(channel.inherit, FALSE);
  const FakeHid::Open& query = F().opens[1];
  EXPECT_EQ(query.access, 0u);  // the information calls need no access rights
  EXPECT_EQ(query.flags, static_cast<DWORD>(FILE_FLAG_OVERLAPPED));
  EXPECT_FALSE(query.security);
  EXPECT_EQ(F().closes[1], 2);  // each handle closed with its device

  EXPECT_FALSE(backend_.OpenHidDevice("\\\\?\\no-such-device", HidOpenMode::kCommandChannel));
  EXPECT_FALSE(backend_.OpenHidDevice(nullptr, HidOpenMode::kCommandChannel));
}

TEST_F(HidBackendTest, CapsFailureStillFreesThePreparsedData) {
  AddInterfaces();
  auto device = backend_.OpenHidDevice(F().interfaces[1].path.c_str(), HidOpenMode::kSerialQuery);
  ASSERT_TRUE(device);
  platform::HidCaps caps;
  ASSERT_TRUE(device->GetCaps(caps));
  EXPECT_EQ(caps.inputReportByteLength, 65);
  EXPECT_EQ(caps.usagePage, 0xFF00);
  F().capsStatus = HIDP_STATUS_INVALID_PREPARSED_DATA;
  EXPECT_FALSE(device->GetCaps(caps));
  EXPECT_EQ(F().preparsedTaken, 2);
  EXPECT_EQ(F().preparsedFreed, 2);
}

TEST_F(HidBackendTest, InterfacePathIsCopiedWholeOrNotAtAll) {
  AddInterfaces();
  auto set = backend_.GetHidInterfaceSet();
  ASSERT_TRUE(set);
  std::uint32_t devInst = 0;
  ASSERT_TRUE(set->EnumDeviceInfo(1, devInst));
  EXPECT_EQ(devInst, 8u);
  EXPECT_FALSE(set->EnumDeviceInfo(2, devInst));
  ASSERT_TRUE(set->EnumDeviceInterface(1));
  const std::uint32_t size = set->DeviceInterfaceDetailSize(1);
  const std::string& path = F().interfaces[1].path;
  EXPECT_EQ(size, offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);

  std::vector<char> buffer(path.size() + 1, 'x');
  ASSERT_TRUE(set->GetDeviceInterfacePath(1, size, buffer.data(), buffer.size()));
  EXPECT_EQ(std::string(buffer.data()), path);
  // One byte short: refused, and nothing written past the buffer.
  std::vector<char> small(path.size() + 1, 'x');
  EXPECT_FALSE(set->GetDeviceInterfacePath(1, size, small.data(), small.size() - 1));
  EXPECT_EQ(small.back(), 'x');
  // A member other than the last enumerated one is enumerated first.
  EXPECT_TRUE(set->GetDeviceInterfacePath(0, set->DeviceInterfaceDetailSize(0), buffer.data(),
                                          buffer.size()));
  EXPECT_EQ(std::string(buffer.data()), F().interfaces[0].path);

  std::uint32_t parent = 0;
  EXPECT_EQ(backend_.GetParentDevInst(8, parent), CR_SUCCESS);
  char id[200];
  EXPECT_EQ(backend_.GetDeviceId(parent, id, sizeof id), CR_SUCCESS);
  EXPECT_STREQ(id, F().interfaces[1].parentId.c_str());
  set.reset();
  EXPECT_EQ(F().setsDestroyed, 1);
}

// A read on the synchronous handle that no report answers ends at its time,
// cancelled on the reading thread; a report waiting is read at once.
TEST_F(HidBackendTest, ReadEndsAtItsTimeWhenNoReportComes) {
  AddInterfaces();
  auto device =
      backend_.OpenHidDevice(F().interfaces[1].path.c_str(), HidOpenMode::kCommandChannel);
  ASSERT_TRUE(device);
  std::vector<std::uint8_t> report(65, 0);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(device->Read(report.data(), 65, 150));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 140ms);
  EXPECT_LT(waited, 1000ms);
  EXPECT_GE(F().cancelsThatHit, 1);
  EXPECT_EQ(F().cancelsOfOtherThreads, 0);
  EXPECT_FALSE(F().ioBlocked);  // no read outlives the call

  F().reports.push_back(std::vector<BYTE>(65, 0x5a));
  const int cancels = F().cancels;
  EXPECT_TRUE(device->Read(report.data(), 65, 1000));
  EXPECT_EQ(report[64], 0x5a);
  // No cancel reaches the thread after its read returned.
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(F().cancels, cancels);
}

// A cancel that comes before the read has reached the driver finds nothing
// to cancel; the next one ends the read.
TEST_F(HidBackendTest, EarlyCancelIsRepeatedUntilTheReadEnds) {
  AddInterfaces();
  auto device =
      backend_.OpenHidDevice(F().interfaces[1].path.c_str(), HidOpenMode::kCommandChannel);
  ASSERT_TRUE(device);
  F().readerLateBy = 60ms;
  std::vector<std::uint8_t> report(65, 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(device->Read(report.data(), 65, 5));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
  // Usually the first cancels find nothing; on a loaded machine the
  // cancelling thread may only come after the read reached the driver. Either
  // way the read ends, by a cancel that hit.
  EXPECT_GE(F().cancels, F().cancelsThatHit);
  EXPECT_GE(F().cancelsThatHit, 1);
}

TEST_F(HidBackendTest, ReportsMoveOnlyOverTheCommandChannel) {
  AddInterfaces();
  auto query = backend_.OpenHidDevice(F().interfaces[1].path.c_str(), HidOpenMode::kSerialQuery);
  ASSERT_TRUE(query);
  std::vector<std::uint8_t> report(65, 0);
  EXPECT_FALSE(query->Write(report.data(), 65, 10));
  EXPECT_FALSE(query->Read(report.data(), 65, 10));
  EXPECT_TRUE(F().written.empty());
  EXPECT_EQ(F().reads, 0);
}

// The library's exchange over the backend: a reply after a stale report, and
// a device that never answers, where the channel's deadline holds although
// the handle is synchronous (a short deadline here; the library's is 5000 ms).
TEST_F(HidBackendTest, ExchangeKeepsItsDeadlineOverTheSynchronousHandle) {
  AddInterfaces();
  HidChannel channel(
      backend_.OpenHidDevice(F().interfaces[1].path.c_str(), HidOpenMode::kCommandChannel),
      kCommandCaps, 300);
  CommandBlock command{};
  command[0] = 0xF0;
  ReplyBlock reply{};

  F().reports.push_back(std::vector<BYTE>(65, 0));  // left over, answers nothing
  F().answerWrites = true;
  ASSERT_TRUE(channel.Exchange(command, reply));
  EXPECT_EQ(reply[0], 0xF0);
  EXPECT_EQ(reply[1], 0x42);
  ASSERT_EQ(F().written.size(), 1u);
  EXPECT_EQ(F().written[0].size(), 65u);

  F().answerWrites = false;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(channel.Exchange(command, reply));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 290ms);
  EXPECT_LT(waited, 1500ms);
  EXPECT_FALSE(F().ioBlocked);
}

// An unplugged camera fails its transfers with one of the errors the system
// gives for a device that is gone; the exchange then ends at once with the
// device-lost reason, whether the camera was gone before it or went while it
// waited for the reply.
TEST_F(HidBackendTest, UnpluggedCameraEndsTheExchangeAtOnce) {
  AddInterfaces();
  HidChannel channel(
      backend_.OpenHidDevice(F().interfaces[1].path.c_str(), HidOpenMode::kCommandChannel),
      kCommandCaps, 2500);
  CommandBlock command{};
  command[0] = 0x32;
  ReplyBlock reply{};
  const auto exchangeTime = [&] {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(channel.Exchange(command, reply));
    EXPECT_EQ(LastErrorCode(), ErrorCode::kDeviceLost);
    return std::chrono::steady_clock::now() - start;
  };
  for (DWORD error : {ERROR_DEVICE_NOT_CONNECTED, ERROR_GEN_FAILURE, ERROR_BAD_COMMAND}) {
    F().unplugError = error;
    EXPECT_LT(exchangeTime(), 1000ms) << "gone before the call, error " << error;
  }
  EXPECT_TRUE(F().written.empty());

  F().unplugError = 0;
  std::thread unplug([] {
    for (int i = 0; i < 400 && !F().ioBlocked; ++i) std::this_thread::sleep_for(5ms);
    std::lock_guard lock(F().mutex);
    F().unplugError = ERROR_DEVICE_NOT_CONNECTED;
    F().changed.notify_all();
  });
  EXPECT_LT(exchangeTime(), 1500ms) << "gone while the reply was awaited";
  unplug.join();
  EXPECT_EQ(F().written.size(), 1u);
}

// A camera that takes no report (its firmware busy or wedged): the write
// counts against the exchange's one deadline, and a close from another thread
// meanwhile waits no longer than that deadline.
TEST_F(HidBackendTest, WriteTheCameraTakesLateOrNeverEndsWithinOneDeadlineAndSoDoesAClose) {
  AddInterfaces();
  const char* path = F().interfaces[1].path.c_str();
  // Closes the channel while an exchange is under way; the time from the
  // exchange's start to the end of the close. takeAfter: when the device
  // takes the report at last (never: zero).
  const auto closeDuringExchange = [&](std::chrono::milliseconds takeAfter) {
    HidChannel channel(backend_.OpenHidDevice(path, HidOpenMode::kCommandChannel), kCommandCaps,
                       600);
    F().writesWedged = true;
    const auto start = std::chrono::steady_clock::now();
    std::thread exchange([&channel] {
      CommandBlock command{};
      command[0] = 0xF0;
      ReplyBlock reply{};
      EXPECT_FALSE(channel.Exchange(command, reply));
    });
    for (int i = 0; i < 200 && !F().ioBlocked; ++i) std::this_thread::sleep_for(5ms);
    if (takeAfter > 0ms) {
      std::this_thread::sleep_for(takeAfter);
      std::lock_guard lock(F().mutex);
      F().writesWedged = false;
      F().changed.notify_all();
    }
    channel.Close();
    const auto closed = std::chrono::steady_clock::now() - start;
    exchange.join();
    return closed;
  };

  EXPECT_LT(closeDuringExchange(0ms), 800ms) << "the stand-in's device stays wedged for 3 s";
  EXPECT_TRUE(F().written.empty());
  EXPECT_GE(F().cancelsThatHit, 1);

  // Taken after 400 ms, then no reply: the deadline runs from the write.
  const auto closed = closeDuringExchange(400ms);
  EXPECT_GE(closed, 590ms);
  EXPECT_LT(closed, 800ms);
  EXPECT_EQ(F().written.size(), 1u);
  EXPECT_FALSE(F().ioBlocked);
}

// The system's own HID devices: the walk finds no parent for them (Wine
// answers CR_NO_SUCH_DEVNODE), and a read on one that sends nothing ends at
// its time.
TEST(SystemHid, ReadOnASilentDeviceEndsAtItsTime) {
  Hid() = SystemHidApi();
  platform::Platform& backend = platform::win32::HardwarePlatform();
  auto set = backend.GetHidInterfaceSet();
  ASSERT_TRUE(set);
  std::vector<std::string> paths;
  std::uint32_t devInst = 0;
  for (std::uint32_t member = 0; set->EnumDeviceInfo(member, devInst); ++member) {
    if (!set->EnumDeviceInterface(member)) continue;
    const std::uint32_t size = set->DeviceInterfaceDetailSize(member);
    std::vector<char> path(size + 1, '\0');
    if (size > 0 && set->GetDeviceInterfacePath(member, size, path.data(), size + 1)) {
      paths.emplace_back(path.data());
    }
  }
  if (paths.empty()) GTEST_SKIP() << "no HID device on this system";

  std::unique_ptr<platform::HidDevice> device;
  for (const std::string& path : paths) {
    device = backend.OpenHidDevice(path.c_str(), HidOpenMode::kCommandChannel);
    if (device) break;
  }
  if (!device) GTEST_SKIP() << "no HID device could be opened";
  platform::HidCaps caps;
  ASSERT_TRUE(device->GetCaps(caps));
  std::vector<std::uint8_t> report(std::max<std::size_t>(caps.inputReportByteLength, 1), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(device->Read(report.data(), static_cast<std::uint32_t>(report.size()), 200));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 190ms);
  EXPECT_LT(waited, 2000ms);
}

// The records the walk passes to the device setup functions carry their own
// size, which the system checks: 28, 28 and 5 bytes in a 32-bit process, 32,
// 32 and 8 in a 64-bit one.
TEST(SetupRecords, SizesFollowTheArchitecture) {
  constexpr bool x86 = sizeof(void*) == 4;
  EXPECT_EQ(sizeof(SP_DEVINFO_DATA), x86 ? 28u : 32u);
  EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DATA), x86 ? 28u : 32u);
  EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), x86 ? 5u : 8u);
}

}  // namespace
}  // namespace qel::test
