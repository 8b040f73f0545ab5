#include "platform/linux/hid_descriptor.h"

#include <algorithm>
#include <array>
#include <map>
#include <vector>

namespace qel::platform::linux_hw {

namespace {

enum ItemType : std::uint8_t { kMain = 0, kGlobal = 1, kLocal = 2 };

// Main items.
constexpr std::uint8_t kInput = 0x8;
constexpr std::uint8_t kOutput = 0x9;
constexpr std::uint8_t kFeature = 0xB;
constexpr std::uint8_t kCollection = 0xA;
constexpr std::uint8_t kEndCollection = 0xC;
// Global items.
constexpr std::uint8_t kUsagePage = 0x0;
constexpr std::uint8_t kReportSize = 0x7;
constexpr std::uint8_t kReportId = 0x8;
constexpr std::uint8_t kReportCount = 0x9;
constexpr std::uint8_t kPush = 0xA;
constexpr std::uint8_t kPop = 0xB;
// Local items.
constexpr std::uint8_t kUsage = 0x0;

constexpr std::uint8_t kLongItem = 0xFE;
constexpr std::size_t kMaxPushDepth = 32;
constexpr std::uint64_t kMaxReportBytes = 0xFFFF - 1;  // the length, ID byte added, fits 16 bits

struct GlobalState {
  std::uint32_t usagePage = 0;
  std::uint32_t reportSize = 0;
  std::uint32_t reportCount = 0;
  std::uint32_t reportId = 0;
};

enum Kind { kInputKind, kOutputKind, kFeatureKind, kKinds };

class Parser {
 public:
  bool Run(const std::uint8_t* bytes, std::size_t size, HidDescription& description) {
    std::size_t at = 0;
    while (at < size) {
      const std::uint8_t prefix = bytes[at++];
      if (prefix == kLongItem) {
        // A long item: its data size, its tag, its data. None is defined.
        if (size - at < 2) return false;
        const std::size_t length = bytes[at];
        at += 2;
        if (size - at < length) return false;
        at += length;
        continue;
      }
      const std::size_t length = (prefix & 3) == 3 ? 4 : (prefix & 3);
      if (size - at < length) return false;
      std::uint32_t data = 0;
      for (std::size_t i = 0; i < length; ++i) data |= std::uint32_t{bytes[at + i]} << (8 * i);
      at += length;
      if (!Item(static_cast<std::uint8_t>((prefix >> 2) & 3),
                static_cast<std::uint8_t>(prefix >> 4), data, length)) {
        return false;
      }
    }
    if (depth_ != 0 || !haveTopLevel_) return false;

    description = HidDescription();
    description.caps.usagePage = topUsagePage_;
    description.caps.usage = topUsage_;
    description.numberedReports = numbered_;
    std::uint16_t* lengths[kKinds] = {&description.caps.inputReportByteLength,
                                      &description.caps.outputReportByteLength,
                                      &description.caps.featureReportByteLength};
    for (int kind = 0; kind < kKinds; ++kind) {
      std::uint64_t longest = 0;
      for (const auto& [id, bits] : bits_[kind]) longest = std::max(longest, (bits + 7) / 8 + 1);
      *lengths[kind] = static_cast<std::uint16_t>(longest);
    }
    return true;
  }

 private:
  bool Item(std::uint8_t type, std::uint8_t tag, std::uint32_t data, std::size_t length) {
    switch (type) {
      case kMain:
        return Main(tag, data);
      case kGlobal:
        return Global(tag, data);
      case kLocal:
        if (tag == kUsage && !haveUsage_) {
          // A four-byte usage carries its own page in its upper half.
          usage_ = data;
          usageHasPage_ = length == 4;
          haveUsage_ = true;
        }
        return true;
      default:
        return true;  // reserved items are skipped
    }
  }

  bool Main(std::uint8_t tag, std::uint32_t /*data*/) {
    bool ok = true;
    switch (tag) {
      case kInput:
        ok = Count(kInputKind);
        break;
      case kOutput:
        ok = Count(kOutputKind);
        break;
      case kFeature:
        ok = Count(kFeatureKind);
        break;
      case kCollection:
        if (depth_ == 0 && !haveTopLevel_) {
          haveTopLevel_ = true;
          topUsagePage_ =
              static_cast<std::uint16_t>(usageHasPage_ ? usage_ >> 16 : global_.usagePage);
          topUsage_ = static_cast<std::uint16_t>(usage_);
        }
        ++depth_;
        break;
      case kEndCollection:
        if (depth_ == 0) return false;
        --depth_;
        break;
      default:
        break;
    }
    // Local items describe only the main item that follows them.
    haveUsage_ = false;
    usageHasPage_ = false;
    usage_ = 0;
    return ok;
  }

  bool Global(std::uint8_t tag, std::uint32_t data) {
    switch (tag) {
      case kUsagePage:
        global_.usagePage = data;
        return true;
      case kReportSize:
        global_.reportSize = data;
        return true;
      case kReportCount:
        global_.reportCount = data;
        return true;
      case kReportId:
        if (data == 0 || data > 0xFF) return false;
        global_.reportId = data;
        numbered_ = true;
        return true;
      case kPush:
        if (stack_.size() >= kMaxPushDepth) return false;
        stack_.push_back(global_);
        return true;
      case kPop:
        if (stack_.empty()) return false;
        global_ = stack_.back();
        stack_.pop_back();
        return true;
      default:
        return true;
    }
  }

  // An item of no bits makes no report.
  bool Count(Kind kind) {
    const std::uint64_t added = std::uint64_t{global_.reportSize} * global_.reportCount;
    if (added == 0) return true;
    std::uint64_t& bits = bits_[kind][global_.reportId];
    bits += added;
    return (bits + 7) / 8 <= kMaxReportBytes;
  }

  GlobalState global_;
  std::vector<GlobalState> stack_;
  std::array<std::map<std::uint32_t, std::uint64_t>, kKinds> bits_;
  std::uint32_t usage_ = 0;
  bool haveUsage_ = false;
  bool usageHasPage_ = false;
  std::size_t depth_ = 0;
  bool haveTopLevel_ = false;
  std::uint16_t topUsagePage_ = 0;
  std::uint16_t topUsage_ = 0;
  bool numbered_ = false;
};

}  // namespace

bool ParseHidDescriptor(const std::uint8_t* bytes, std::size_t size, HidDescription& description) {
  if (bytes == nullptr && size != 0) return false;
  return Parser().Run(bytes, size, description);
}

}  // namespace qel::platform::linux_hw
