#include "platform/virtual/hid_devices.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "platform/virtual/clock.h"
#include "platform/virtual/rig.h"
#include "platform/virtual/rig_codes.h"
#include "qel/qelsim.h"

namespace qel::sim {

std::atomic<int>& OpenHidHandles() {
  static std::atomic<int> count{0};
  return count;
}

using platform::kCrSuccess;

namespace {

// The detail record: a 32-bit size field followed by the path text.
constexpr std::uint32_t kDetailHeader = 4;

struct Member {
  DevicePtr device;
  std::shared_ptr<HidInterface> hid;
};

class VirtualHidInterfaceSet : public platform::HidInterfaceSet {
 public:
  explicit VirtualHidInterfaceSet(std::vector<Member> members) : members_(std::move(members)) {}

  bool EnumDeviceInfo(std::uint32_t member, std::uint32_t& devInst) override {
    if (member >= members_.size()) return false;
    devInst = members_[member].hid->devInst;
    return true;
  }

  bool EnumDeviceInterface(std::uint32_t member) override {
    if (member >= members_.size()) return false;
    return !Rig::Instance().Fault("EnumDeviceInterfaces", members_[member].device->id);
  }

  std::uint32_t DeviceInterfaceDetailSize(std::uint32_t member) override {
    if (member >= members_.size()) return 0;
    return kDetailHeader + static_cast<std::uint32_t>(members_[member].hid->path.size()) + 1;
  }

  bool GetDeviceInterfacePath(std::uint32_t member, std::uint32_t recordSize, char* path,
                              std::uint32_t pathSize) override {
    if (member >= members_.size() || path == nullptr) return false;
    std::lock_guard lock(Rig::Instance().mutex);
    const HidInterface& hid = *members_[member].hid;
    if (hid.flags & QELSIM_HID_NO_DETAIL) return false;
    auto needed = static_cast<std::uint32_t>(hid.path.size()) + 1;
    if (recordSize < kDetailHeader + needed || pathSize < needed) return false;
    std::memcpy(path, hid.path.c_str(), needed);
    return true;
  }

 private:
  std::vector<Member> members_;
};

class VirtualHidDevice : public platform::HidDevice {
 public:
  VirtualHidDevice(DevicePtr device, std::shared_ptr<HidInterface> hid)
      : device_(std::move(device)), hid_(std::move(hid)) {
    hid_->openQueues.push_back(&queue_);  // rig mutex held by the opener
    ++OpenHidHandles();
  }

  ~VirtualHidDevice() override {
    std::lock_guard lock(Rig::Instance().mutex);
    std::erase(hid_->openQueues, &queue_);
    --OpenHidHandles();
    Rig::Instance().faults.Record("CloseHandle");
  }

  bool GetCaps(platform::HidCaps& caps) override {
    std::lock_guard lock(Rig::Instance().mutex);
    if (device_->removed || (hid_->flags & QELSIM_HID_NO_CAPS)) return false;
    bool camera = device_->kind == DeviceKind::kCamera;
    caps = platform::HidCaps{};
    caps.usagePage = camera ? 0xFF00 : 0x0001;
    caps.usage = camera ? 0x0001 : 0x0002;
    caps.inputReportByteLength = device_->inputLength;
    caps.outputReportByteLength = device_->outputLength;
    return true;
  }

  bool GetSerialNumberString(char16_t* buffer, std::uint32_t bufferBytes) override {
    if (buffer == nullptr || bufferBytes < sizeof(char16_t)) return false;
    std::lock_guard lock(Rig::Instance().mutex);
    if (device_->removed || (hid_->flags & QELSIM_HID_NO_SERIAL) || !device_->usbSerial) {
      return false;
    }
    // The string is cut to the buffer, always zero-terminated within it.
    const std::string& text = *device_->usbSerial;
    std::size_t room = bufferBytes / sizeof(char16_t) - 1;
    std::size_t n = std::min(room, text.size());
    for (std::size_t i = 0; i < n; ++i) buffer[i] = static_cast<unsigned char>(text[i]);
    buffer[n] = u'\0';
    return true;
  }

  // The rig's camera takes every report at once.
  bool Write(const std::uint8_t* report, std::uint32_t length, std::uint32_t) override {
    if (report == nullptr) return false;
    Rig& rig = Rig::Instance();
    std::unique_lock lock(rig.mutex);
    if (rig.FaultLocked("WriteFile", device_->id)) return false;
    if (device_->removed || device_->firmware == nullptr || length != device_->outputLength) {
      return false;
    }
    if (!AwaitHoldLocked(lock, report, length)) return false;
    rig.log.AddReport(device_->id, report, length);
    std::size_t inputLength = device_->inputLength;
    // The replies are queued under the same lock as the write: a reader on
    // another handle must never see the request written but its reply not
    // yet queued, where under virtual time its wait would move the clock
    // past this exchange's deadline. (The firmware takes only its own lock.)
    std::vector<Report> replies;
    if (!device_->firmware->HandleOutputReport(report, length, inputLength, replies)) {
      rig.RemoveLocked(device_);  // unplugged with the request taken
      return true;
    }
    // Every open handle of the interface gets its own copy of each reply.
    for (HidQueue* queue : hid_->openQueues) {
      for (const Report& r : replies) {
        if (queue->reports.size() >= kHidQueueLimit) queue->reports.erase(queue->reports.begin());
        queue->reports.push_back(r);
      }
    }
    if (!replies.empty()) rig.changed.notify_all();
    return true;
  }

  // The rig says so for every failed transfer of a removed device, whatever
  // else failed it.
  bool DeviceGone() override {
    std::lock_guard lock(Rig::Instance().mutex);
    return device_->removed;
  }

  bool Read(std::uint8_t* report, std::uint32_t length, std::uint32_t timeoutMs) override {
    if (report == nullptr) return false;
    Rig& rig = Rig::Instance();
    std::unique_lock lock(rig.mutex);
    if (rig.FaultLocked("ReadFile", device_->id)) return false;
    // A read of an unplugged device fails at once, reports queued or not.
    if (device_->removed) return false;
    if (queue_.reports.empty()) {
      if (rig.virtualTime) {
        AdvanceClockLocked(lock, timeoutMs);
      } else {
        rig.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return !queue_.reports.empty() || device_->removed; });
      }
      if (device_->removed || queue_.reports.empty()) return false;
    }
    const Report& next = queue_.reports.front();
    // A buffer shorter than the report fails the read; the report stays queued.
    if (length < next.size()) return false;
    std::memcpy(report, next.data(), next.size());
    queue_.reports.erase(queue_.reports.begin());
    return true;
  }

 private:
  // Keeps a request that the firmware hold catches waiting, the rig mutex
  // released, until the hold is released; false when the device went away
  // meanwhile.
  bool AwaitHoldLocked(std::unique_lock<std::mutex>& lock, const std::uint8_t* report,
                       std::uint32_t length) {
    FirmwareHold& hold = device_->hold;
    if (!hold.armed || length < 3 || (hold.code != -1 && hold.code != report[2])) return true;
    if (hold.skip > 0) {
      --hold.skip;
      return true;
    }
    Rig& rig = Rig::Instance();
    hold.holding = true;
    rig.changed.notify_all();
    rig.changed.wait(lock, [&] { return !hold.armed || device_->removed; });
    hold.holding = false;
    return !device_->removed;
  }

  DevicePtr device_;
  std::shared_ptr<HidInterface> hid_;
  HidQueue queue_;
};

}  // namespace

std::unique_ptr<platform::HidInterfaceSet> MakeHidInterfaceSet() {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  if (rig.FaultLocked("SetupDiGetClassDevs", -1)) return nullptr;
  std::vector<Member> members;
  for (const DevicePtr& d : rig.devices) {
    if (d->removed) continue;
    for (const auto& hid : d->hid) members.push_back(Member{d, hid});
  }
  return std::make_unique<VirtualHidInterfaceSet>(std::move(members));
}

std::uint32_t GetParentDevInst(std::uint32_t devInst, std::uint32_t& parent) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  for (const DevicePtr& d : rig.devices) {
    if (d->removed) continue;
    for (const auto& hid : d->hid) {
      if (hid->devInst != devInst) continue;
      if (hid->flags & QELSIM_HID_NO_PARENT) return kCrFailure;
      parent = d->parentDevInst;
      return kCrSuccess;
    }
  }
  return platform::kCrNoSuchDevnode;
}

std::uint32_t GetDeviceId(std::uint32_t devInst, char* buffer, std::uint32_t size) {
  if (buffer == nullptr) return kCrInvalidPointer;
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  const std::string* id = nullptr;
  int device = -1;
  for (const DevicePtr& d : rig.devices) {
    if (d->removed || d->hid.empty()) continue;
    if (d->parentDevInst == devInst) id = &d->parentId;
    for (const auto& hid : d->hid) {
      if (hid->devInst == devInst) id = &hid->instanceId;
    }
    if (id != nullptr) {
      device = d->id;
      break;
    }
  }
  if (id == nullptr) return platform::kCrNoSuchDevnode;
  if (rig.FaultLocked("CM_Get_Device_ID", device)) return kCrFailure;
  if (size == 0) return kCrBufferSmall;
  // Too small a buffer gets the text cut, zero-terminated within it.
  std::size_t n = std::min<std::size_t>(id->size(), size - 1);
  std::memcpy(buffer, id->data(), n);
  buffer[n] = '\0';
  return n == id->size() ? kCrSuccess : kCrBufferSmall;
}

std::unique_ptr<platform::HidDevice> OpenHidDevice(const char* path,
                                                   platform::HidOpenMode /*mode*/) {
  if (path == nullptr) return nullptr;
  std::string wanted(path);
  std::transform(wanted.begin(), wanted.end(), wanted.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  for (const DevicePtr& d : rig.devices) {
    if (d->removed) continue;
    for (const auto& hid : d->hid) {
      // Device paths compare without regard to case, as the platform's do.
      std::string candidate = hid->path;
      std::transform(candidate.begin(), candidate.end(), candidate.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      if (candidate != wanted) continue;
      if (rig.FaultLocked("CreateFile", d->id) || (hid->flags & QELSIM_HID_UNOPENABLE)) {
        return nullptr;
      }
      return std::make_unique<VirtualHidDevice>(d, hid);
    }
  }
  return nullptr;
}

}  // namespace qel::sim
