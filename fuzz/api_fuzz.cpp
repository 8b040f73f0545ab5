// Hostile use of the whole exported interface: each input is a sequence of
// export calls with edge-case arguments (keys, sizes, null and short
// buffers, NaN and infinite rates and times, long and unterminated texts,
// odd defect tables and image files), interleaved with changes to the rig
// (devices added and removed, faults at every named operation and in the
// firmware, frame modes, the virtual clock).
//
// Buffers are heap blocks of exactly the size the call is told, so the
// sanitizer sees any write past them. Each input starts from a reset rig on
// the virtual clock with no camera open and ends with every camera closed
// and no rewrite running; the checks at its end fail the run when the
// library is left with a running capture, an occupied slot or a rewrite that
// never ends.
//
//   api_fuzz fuzz/corpus/api -max_total_time=120    fuzz from the corpus
//   api_fuzz --make-seeds fuzz/corpus/api           write the seed corpus
// With QEL_API_FUZZ_TRACE set, every call is printed to stderr.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "api_input.h"
#include "capture/capture.h"
#include "capture/capture_context.h"
#include "core/camera_table.h"
#include "core/listing_size.h"
#include "firmware/rewrite_record.h"
#include "hid/hid_channel.h"
#include "qel/qel.h"
#include "qel/qelsim.h"

using namespace qelfuzz;

namespace {

constexpr int kMaxCallsPerInput = 600;
constexpr int kMaxDevicesAdded = 6;  // each camera holds 16 MiB of memory
constexpr std::int32_t kKeysClosed = 32;
constexpr std::int32_t kLargestTextBuffer = 65536;
constexpr std::size_t kLargestSmallImage = 16384;
constexpr std::uint32_t kDataBlockAddress = 0x070000;
constexpr std::uint32_t kDefectTablesOffset = 16;
constexpr std::size_t kDefectTableBytes = QEL_DEFECT_POINTS * 4;
constexpr int kImageSlots = 4;

bool Tracing() {
  static const bool on = std::getenv("QEL_API_FUZZ_TRACE") != nullptr;
  return on;
}

// Prints when tracing; a function, not a macro, so that the calls in its
// arguments are made whether it prints or not.
__attribute__((format(printf, 1, 2))) void Trace(const char* format, ...) {
  if (!Tracing()) return;
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stderr, format, arguments);
  va_end(arguments);
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "api_fuzz: %s\n", what);
  std::abort();
}

// ---- memory of the rig's cameras --------------------------------------------

// Every camera of the rig holds 16 MiB of memory, and each input resets the
// rig, which makes its cameras anew. Fresh mappings of that size cost more
// in page faults than everything else an input does, so blocks of exactly
// that size are kept for the next camera instead of being unmapped (and are
// not watched for uses after free).
constexpr std::size_t kCameraMemorySize = 16u << 20;

// Fixed arrays: the cache must not allocate while it holds its lock.
constexpr std::size_t kCachedBlocks = 16;

struct BlockCache {
  std::mutex mutex;
  std::array<void*, kCachedBlocks> owned{};  // every block the cache made
  std::array<bool, kCachedBlocks> inUse{};
};

BlockCache& Blocks() {
  static BlockCache* cache = new BlockCache();
  return *cache;
}

std::atomic<bool> blocksOwned{false};

void* CachedBlock() {
  BlockCache& cache = Blocks();
  std::lock_guard lock(cache.mutex);
  for (std::size_t i = 0; i < kCachedBlocks; ++i) {
    if (cache.owned[i] != nullptr && !cache.inUse[i]) {
      cache.inUse[i] = true;
      return cache.owned[i];
    }
  }
  for (std::size_t i = 0; i < kCachedBlocks; ++i) {
    if (cache.owned[i] == nullptr) {
      cache.owned[i] = std::malloc(kCameraMemorySize);
      if (cache.owned[i] == nullptr) return nullptr;
      cache.inUse[i] = true;
      blocksOwned = true;
      return cache.owned[i];
    }
  }
  return std::malloc(kCameraMemorySize);  // more cameras than the cache keeps
}

bool ReturnBlock(void* block) {
  if (block == nullptr || !blocksOwned) return false;
  BlockCache& cache = Blocks();
  std::lock_guard lock(cache.mutex);
  for (std::size_t i = 0; i < kCachedBlocks; ++i) {
    if (cache.owned[i] == block) {
      cache.inUse[i] = false;
      return true;
    }
  }
  return false;
}

// ---- the operations an input is made of ----------------------------------

enum class Op : std::uint8_t {
  // the library's exports
  kDllVersion,
  kOpen,
  kClose,
  kOpenSerialNo,
  kGetDevice,
  kGetDeviceWithSerialNo,
  kReceiveImage,
  kGetBufferSize,
  kGetFormat,
  kSetDigitalGain,
  kGetDigitalGain,
  kXSetDigitalGain,
  kXGetDigitalGain,
  kXGetDigitalGainMax,
  kXGetDigitalGainMin,
  kSetShutter,
  kGetShutter,
  kGetShutterMax,
  kGetShutterMin,
  kSetShutterTime,
  kGetShutterTime,
  kSetAnalogGain,
  kGetAnalogGain,
  kSetRegister,
  kGetRegister,
  kSetRegisterW,
  kGetRegisterW,
  kVersion,
  kTemperature,
  kGetSerialNo,
  kSetSerialNo,
  kSetPixelDefect,
  kGetPixelDefect,
  kSetPixelDefectOnOff,
  kGetPixelDefectOnOff,
  kCameraRecognition,
  kUsbMode,
  kGpioDirection,
  kGpioOutput,
  kGpioInput,
  kSetLed,
  kGetLed,
  kSetGain,
  kGetGain,
  kXSetGain,
  kXGetGain,
  kXGetGainMax,
  kXGetGainMin,
  kSetExposure,
  kGetExposure,
  kSetCameraNo,
  kGetCameraNo,
  kSetColorBar,
  kGetColorBar,
  kSoftRewrite,
  kSoftRewriteState,
  // the rig
  kAddCamera,
  kAddWebcam,
  kAddSoftwareSource,
  kRemoveDevice,
  kInjectFault,
  kFirmwareFault,
  kClearFaults,
  kFrameMode,
  kAdvance,
  kSetTickCount,
  kSetProperty,
  kPropertyInterfaces,
  kClearFormats,
  kAddFormat,
  kAddHidInterface,
  kSetHidFlags,
  kSetHidParent,
  kAddForeignHid,
  kReportLengths,
  kUsbSerial,
  kFirmwareSerial,
  kFirmwareVersion,
  kFirmwareTemperature,
  kDeviceBytes,
  kFirmwareRegister,
  kWriteMemory,
  kWriteDefectTable,
  kDisplayName,
  kRigQueries,
  kCapsSize,
  // the harness
  kMakeImage,
  kAwaitRewrite,
  kCount
};

// ---- argument tables ------------------------------------------------------

// The rig's named fault points, as it lists them.
const std::vector<std::string>& FaultPoints() {
  static const std::vector<std::string> points = [] {
    std::vector<std::string> names;
    for (int i = 0; qelsim_fault_point(i) != nullptr; ++i)
      names.emplace_back(qelsim_fault_point(i));
    return names;
  }();
  return points;
}

// The firmware's command codes, and a code no firmware knows.
constexpr std::array<int, 21> kCommandCodes = {-1,   0x01, 0x02, 0x03, 0x10, 0x20, 0x21,
                                               0x22, 0x30, 0x31, 0x32, 0x33, 0xE0, 0xF0,
                                               0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xFF, 0x77};

constexpr std::array<const char*, 14> kFormatNames = {
    "YUY2",   "MJPG", "H264", "IYUV", "RGB24", "RGB32",      "I420",
    "RGB555", "Y16",  "",     "yuy2", "YUY2 ", "0x32595559", "NV12"};

constexpr std::array<const char*, 12> kDeviceNames = {
    "QEL",       "QEL2", "QEL5", "QEL5 ",         "qel5",          "USB Camera, HD",
    "QEL2,QEL5", "",     "QEL#", "Camera #1,,#2", "QEL5#0000ABCD", "\xC3\xA9QEL"};

constexpr std::array<const char*, 10> kSerialTexts = {"QEL5#0000ABCD",
                                                      "QEL2#00C0FFEE",
                                                      "QEL#0000ABCD",
                                                      "QEL5#0000abcd",
                                                      " QEL5#0000ABCD",
                                                      "QEL5#",
                                                      "QEL2#00C0FFEE,QEL5#0000ABCD",
                                                      "QEL2#00C0FFEE#",
                                                      "QEL5#0000ABCDQEL2#",
                                                      "QEL2#"};

constexpr std::array<const char*, 6> kSubtypeTexts = {"YUY2", "MJPG",       "RGB32",
                                                      "I420", "0x3231564E", "bogus"};

constexpr std::array<const char*, 6> kParentIds = {
    "USB\\VID_1F3A&PID_5005&MI_02\\6&0000ABCD&0&0002",
    "",
    "USB\\VID_2C7E&PID_0A01",
    "USB\\VID_1F3A&PID_5002&MI_02\\6&3A9E1BE5&0&0002",
    "ROOT\\HID\\0000",
    "x"};

constexpr std::array<std::int32_t, 14> kReportLengthChoices = {65, 64, 9,   80,   0,     1,  2,
                                                               3,  66, 128, 1024, 65535, -1, 63};

constexpr std::array<std::uint32_t, 16> kAdvances = {
    1, 2, 16, 17, 33, 34, 100, 1000, 2999, 3000, 3001, 4999, 5000, 5001, 10000, 60000};

// Image sizes whose last 56-byte block ends at or past the 24-bit address
// space, written as sparse files so that they cost no disk.
constexpr std::array<std::uint32_t, 8> kNearEndSizes = {16777160, 16777161, 16777208, 16777209,
                                                        16777215, 16777216, 16777217, 16777272};

// ---- buffers ---------------------------------------------------------------

// One byte chooses which pointer arguments of a call are null: selectors
// below 0xC0 leave them all valid.
class NullMask {
 public:
  explicit NullMask(Reader& r) : mask_(r.Byte()) {}
  bool Null(int argument) const { return mask_ >= 0xC0 && (mask_ >> argument & 1) != 0; }

 private:
  std::uint8_t mask_;
};

// An output of one T on the heap, or null.
template <typename T>
class Out {
 public:
  explicit Out(bool null) : value_(null ? nullptr : new T{}) {}
  T* get() { return value_.get(); }

 private:
  std::unique_ptr<T> value_;
};

// A text argument in a heap block of exactly its length, plus the
// terminator when it has one.
class InText {
 public:
  InText() = default;
  InText(const std::string& text, bool terminated) {
    const std::size_t size = text.size() + (terminated ? 1 : 0);
    buffer_.reset(new char[size]);
    std::memcpy(buffer_.get(), text.data(), text.size());
    if (terminated) buffer_[text.size()] = '\0';
    length_ = text.size();
  }
  const char* get() const { return buffer_.get(); }
  std::size_t length() const { return length_; }

 private:
  std::unique_ptr<char[]> buffer_;
  std::size_t length_ = 0;
};

// Text modes of ReadText.
enum TextMode : std::uint8_t {
  kTextNull,
  kTextTable,
  kTextBytes,
  kTextLong,
  kTextUnterminated,
  kTextSerial,
  kTextModes
};

// A text from the table, from the input, or a long one. Unterminated texts
// are made only when the export reads at most `readLimit` characters of its
// argument (0: it reads to the terminator), and are then longer than that.
template <std::size_t N>
InText ReadText(Reader& r, const std::array<const char*, N>& table, std::size_t readLimit) {
  switch (r.Byte() % kTextModes) {
    case kTextNull:
      return InText();
    case kTextTable:
      return InText(table[r.Byte() % N], true);
    case kTextBytes: {
      std::string text(r.Byte(), '\0');
      for (char& c : text) c = static_cast<char>(r.Byte());
      return InText(text, true);
    }
    case kTextLong: {
      const std::size_t length = r.U16() % 20000;
      return InText(std::string(length, static_cast<char>(r.Byte() | 1)), true);
    }
    case kTextUnterminated: {
      std::size_t length = r.U16() % 8192;
      const char fill = static_cast<char>(r.Byte() | 1);
      if (readLimit == 0) return InText(std::string(length, fill), true);
      length = std::max(length, readLimit + 1);
      return InText(std::string(length, fill), false);
    }
    default: {
      const char* prefixes[] = {"QEL#", "QEL2#", "QEL5#"};
      char text[32];
      const char* prefix = prefixes[r.Byte() % 3];
      std::snprintf(text, sizeof text, "%s%08X", prefix, static_cast<unsigned>(r.U32()));
      return InText(text, true);
    }
  }
}

template <std::size_t N>
void WriteTableText(Writer& w, const std::array<const char*, N>& table, const char* text) {
  w.Byte(kTextTable);
  for (std::size_t i = 0; i < N; ++i) {
    if (std::strcmp(table[i], text) == 0) {
      w.Byte(static_cast<std::uint8_t>(i));
      return;
    }
  }
  Fail("seed text not in its table");
}

// A text output: a heap block of exactly the size the call is told (none
// for a size of 0 or less), or null.
class OutText {
 public:
  // capacity: the bytes to allocate when they differ from size.
  OutText(std::int32_t size, bool null, std::size_t capacity) : size_(size) {
    if (null) return;
    capacity_ = capacity;
    buffer_.reset(new char[capacity_]);
    std::memset(buffer_.get(), 0xA5, capacity_);
  }
  char* get() { return buffer_.get(); }
  std::int32_t size() const { return size_; }
  // A successful call leaves a terminated text in the buffer.
  void CheckTerminated(const char* call) const {
    if (!buffer_ || size_ <= 0) return;
    if (std::memchr(buffer_.get(), '\0', capacity_) == nullptr) {
      std::fprintf(stderr, "api_fuzz: %s reported success with an unterminated text\n", call);
      std::abort();
    }
  }

 private:
  std::int32_t size_;
  std::size_t capacity_ = 0;
  std::unique_ptr<char[]> buffer_;
};

// A buffer for a fixed-length text (version, format listing): sizes beyond
// the largest buffer are cut to it, so that the block is always the size
// the call is told.
OutText ReadTextBuffer(Reader& r, bool null) {
  std::int32_t size = ReadSize(r);
  size = std::min(size, kLargestTextBuffer);
  return OutText(size, null, static_cast<std::size_t>(std::max(size, 0)));
}

// A buffer for a device listing: a size beyond the largest buffer gets a
// block as long as the longest listing the rig's devices can give (each
// entry at most 255 characters and a separator, and the terminator); the
// listing never writes more than it holds.
OutText ReadListingBuffer(Reader& r, bool null) {
  const std::int32_t size = ReadSize(r);
  if (size <= kLargestTextBuffer) {
    return OutText(size, null, static_cast<std::size_t>(std::max(size, 0)));
  }
  const std::size_t longest =
      static_cast<std::size_t>(std::max(qelsim_device_count(), 0)) * 256 + 1;
  return OutText(size, null, longest);
}

// ---- the harness's state per input ------------------------------------------

class TempDir {
 public:
  static TempDir& Instance() {
    static TempDir* dir = new TempDir();  // still there for the exit handler
    return *dir;
  }
  const std::string& path() const { return path_; }
  std::string Image(int slot) const { return path_ + "/image" + std::to_string(slot) + ".bin"; }

 private:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/qel_api_fuzz.XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) Fail("cannot create a temporary directory");
    path_ = buffer.data();
    std::atexit([] { TempDir::Instance().Remove(); });
  }
  void Remove() {
    for (int slot = 0; slot < kImageSlots; ++slot) {
      const std::string image = Image(slot);
      std::remove(image.c_str());
      rmdir(image.c_str());
    }
    rmdir(path_.c_str());
  }
  std::string path_;
};

// The last rewrite an input started.
struct StartedRewrite {
  std::int32_t key = -1;
  std::optional<std::vector<std::uint8_t>> image;  // none when too large to compare
  bool memoryChanged = false;  // the rig's memory written or a device removed meanwhile
  bool judged = false;
};

struct Session {
  int devicesAdded = 0;
  bool varyingFrames = false;  // some device delivers frames of varying length
  std::optional<StartedRewrite> rewrite;
};

// The file's bytes when it is a readable file of at most 64 KiB.
std::optional<std::vector<std::uint8_t>> ReadSmallFile(const char* path) {
  constexpr std::size_t kLargest = 65536;
  if (path == nullptr) return std::nullopt;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return std::nullopt;
  std::vector<std::uint8_t> bytes(kLargest + 1);
  const std::size_t length = std::fread(bytes.data(), 1, bytes.size(), file);
  const bool whole = std::feof(file) != 0 && std::ferror(file) == 0;
  std::fclose(file);
  if (!whole || length > kLargest) return std::nullopt;
  bytes.resize(length);
  return bytes;
}

// A rewrite that reports success has left its image in the camera: some
// camera of the rig (the channel may lead to another device's firmware)
// holds it from address 0.
void JudgeRewrite(Session& session, std::int32_t key, std::int32_t state) {
  if (!session.rewrite || session.rewrite->key != key || state != qel::kRewriteFinished) return;
  StartedRewrite& rewrite = *session.rewrite;
  if (rewrite.judged || rewrite.memoryChanged || !rewrite.image) return;
  rewrite.judged = true;
  const std::vector<std::uint8_t>& image = *rewrite.image;
  std::vector<std::uint8_t> memory(image.size());
  for (int device = 0; device < 32; ++device) {
    if (qelsim_read_memory(device, 0, memory.data(), static_cast<std::uint32_t>(memory.size())) ==
            0 &&
        memory == image) {
      Trace("rewrite of %zu bytes found in device %d\n", image.size(), device);
      return;
    }
  }
  Fail("a rewrite reported success, but no camera holds its image");
}

bool Running(std::int32_t state) {
  return state == qel::kRewriteStarted || state == qel::kRewriteWriting ||
         state == qel::kRewriteVerifying;
}

bool RewriteRunning() {
  qel::RewriteRecord& record = qel::Rewrite();
  std::lock_guard lock(record.lock);
  return Running(record.state);
}

// Polls the rewrite of key through the export until it no longer runs or
// the real-time budget is spent, moving the virtual clock on meanwhile.
void AwaitRewrite(Session& session, std::int32_t key, std::chrono::milliseconds budget) {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    std::int32_t seconds = 0;
    float percent = 0.0f;
    const std::int32_t state = QelSoftRewriteState(key, &seconds, &percent);
    JudgeRewrite(session, key, state);
    if (!Running(state)) {
      Trace("QelSoftRewriteState(%d) = %d after %d s at %.1f %%\n", key, state, seconds, percent);
      return;
    }
    if (std::chrono::steady_clock::now() - start > budget) return;
    qelsim_advance_ms(20);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

void CloseAll() {
  for (std::int32_t key = -1; key < kKeysClosed; ++key) QelClose(key);
  for (std::int32_t key : kKeys) QelClose(key);
}

void ResetRig() {
  qelsim_reset(1);
  qelsim_set_virtual_time(1);
}

// Every input starts as in a fresh process: the rig reset with its default
// population on the virtual clock, and the library's process-wide state
// (the size the opens list with, the sequence number of the next command,
// the correction switches, the size and rate an open asking for 0 gets) as
// it starts.
void BeginInput() {
  ResetRig();
  qel::ListBufferSize().store(0);
  qel::CommandSequence().store(0);
  qel::CameraTable::Instance().ResetForTesting();
  qel::CaptureState& capture = qel::Capture();
  std::lock_guard lock(capture.periodMutex);
  const qel::CaptureState fresh;
  capture.lastWidth = fresh.lastWidth;
  capture.lastHeight = fresh.lastHeight;
  capture.lastFrameRate = fresh.lastFrameRate;
}

// Ends the input with every camera closed and no rewrite running, and checks
// that the library is whole: nothing it opened is left open in the rig's
// books, and a camera opens again once the faults are gone.
void EndInput(Session& session) {
  // A rewrite whose camera is still open ends by itself; give it the time
  // to verify.
  if (session.rewrite) AwaitRewrite(session, session.rewrite->key, std::chrono::milliseconds(1500));
  qelsim_clear_faults();
  CloseAll();

  // With its camera closed a rewrite fails at its next exchange.
  const auto start = std::chrono::steady_clock::now();
  while (RewriteRunning()) {
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(20)) {
      Fail("a firmware rewrite still runs 20 s after its camera was closed");
    }
    qelsim_advance_ms(10);
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }

  for (std::int32_t key = -1; key < kKeysClosed; ++key) {
    if (qel::CameraTable::Instance().FindSlot(key)) Fail("a closed key still holds a slot");
  }
  if (qelsim_open_hid_handles() != 0) Fail("HID handles left open with every camera closed");
  // A capture left running by a stop that failed is stopped by the next open.
  ResetRig();
  if (QelOpen(0, 480, 270, 30.0, "YUY2") != 0) Fail("the next open fails once faults are gone");
  QelClose(0);
  if (qelsim_running_streams() != 0) Fail("streams left running with every camera closed");
  if (qelsim_open_hid_handles() != 0) Fail("HID handles left open with every camera closed");
  if (qelsim_com_depth() != 0) Fail("COM initialisations left with every camera closed");
}

// ---- images -----------------------------------------------------------------

enum ImageKind : std::uint8_t {
  kImageEmpty,
  kImageSmall,
  kImageNearEnd,
  kImageMissing,
  kImageDirectory,
  kImageBlockEdge,
  kImageKinds
};

void WriteImageFile(const std::string& path, std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>(seed * 31 + i * 7 + (i >> 8));
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) Fail("cannot write an image file");
  if (size > 0 && std::fwrite(bytes.data(), 1, size, file) != size) Fail("short image write");
  std::fclose(file);
}

void MakeImage(Reader& r) {
  const int slot = r.Byte() % kImageSlots;
  const std::string path = TempDir::Instance().Image(slot);
  std::remove(path.c_str());
  rmdir(path.c_str());
  switch (r.Byte() % kImageKinds) {
    case kImageEmpty:
      WriteImageFile(path, 0, 0);
      break;
    case kImageSmall: {
      const std::size_t size = r.U16() % (kLargestSmallImage + 1);
      WriteImageFile(path, size, r.Byte());
      break;
    }
    case kImageNearEnd: {
      const std::uint32_t size = kNearEndSizes[r.Byte() % kNearEndSizes.size()];
      WriteImageFile(path, 0, 0);
      if (truncate(path.c_str(), static_cast<off_t>(size)) != 0) Fail("cannot size an image");
      break;
    }
    case kImageMissing:
      break;
    case kImageDirectory:
      mkdir(path.c_str(), 0700);
      break;
    default: {  // on either side of a 56-byte block's end
      const std::size_t blocks = r.Byte() % 8;
      const std::size_t size = std::max<std::size_t>(blocks * 56 + r.Byte() % 3, 1) - 1;
      WriteImageFile(path, size, r.Byte());
      break;
    }
  }
}

// A path for QelSoftRewrite.
InText ReadImagePath(Reader& r) {
  const std::uint8_t b = r.Byte();
  switch (b % 10) {
    case 0:
    case 1:
    case 2:
    case 3:
      return InText(TempDir::Instance().Image(b % 10), true);
    case 4:
      return InText();
    case 5:
      return InText("", true);
    case 6:
      return InText("/dev/null", true);
    case 7:
      return InText(TempDir::Instance().path() + "/missing/image.bin", true);
    case 8:
      return InText(TempDir::Instance().path(), true);
    default:
      return InText(TempDir::Instance().path() + "/" + std::string(5000, 'a'), true);
  }
}

// ---- frames -----------------------------------------------------------------

// QelReceiveImage takes no size: the caller allocates what QelGetBufferSize
// reports. Frames arrive only when the virtual clock moves, which this
// thread does, so that length is exact, and the frame is given a block of
// exactly that size. A rewrite moves the clock from its own thread: while
// one runs and frames vary in length, the next frame may be longer than the
// last, up to three times (a varying frame is half to one and a half times
// the nominal length), and the block is that large.
void ReceiveImage(Session& session, std::int32_t key, bool null) {
  if (null) {
    Trace("QelReceiveImage(%d, null) = %d\n", key, QelReceiveImage(key, nullptr));
    return;
  }
  const std::int32_t length = QelGetBufferSize(key);
  std::size_t capacity = static_cast<std::size_t>(std::max(length, 0));
  if (session.varyingFrames && RewriteRunning()) {
    if (length <= 0) return;  // no bound on the next frame's length
    capacity *= 3;
  }
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[capacity]);
  const QelBool received = QelReceiveImage(key, buffer.get());
  Trace("QelReceiveImage(%d, [%zu]) = %d\n", key, capacity, received);
}

// ---- the calls ---------------------------------------------------------------

// Writes 20 points read from the input.
void ReadPoints(Reader& r, QelDefectPoint* points) {
  for (int i = 0; i < QEL_DEFECT_POINTS; ++i) {
    points[i].x = ReadCoordinate(r);
    points[i].y = ReadCoordinate(r);
  }
}

void GainGetter(Reader& r, const char* name,
                QelBool (*get)(int32_t, uint16_t*, uint16_t*, uint16_t*, uint16_t*)) {
  const std::int32_t key = ReadKey(r);
  const NullMask nulls(r);
  Out<uint16_t> a(nulls.Null(0)), b(nulls.Null(1)), c(nulls.Null(2)), d(nulls.Null(3));
  Trace("%s(%d) = %d\n", name, key, get(key, a.get(), b.get(), c.get(), d.get()));
}

template <typename T>
void Getter(Reader& r, const char* name, QelBool (*get)(int32_t, T*)) {
  const std::int32_t key = ReadKey(r);
  const NullMask nulls(r);
  Out<T> value(nulls.Null(0));
  const QelBool ok = get(key, value.get());
  Trace("%s(%d) = %d, %g\n", name, key, ok, ok ? static_cast<double>(*value.get()) : 0.0);
}

template <typename T>
void Setter(Reader& r, const char* name, QelBool (*set)(int32_t, T)) {
  const std::int32_t key = ReadKey(r);
  const auto value = static_cast<T>(ReadInt(r));
  Trace("%s(%d, %lld) = %d\n", name, key, static_cast<long long>(value), set(key, value));
}

void CallExport(Session& session, Reader& r, Op op) {
  switch (op) {
    case Op::kDllVersion: {
      const NullMask nulls(r);
      OutText text = ReadTextBuffer(r, nulls.Null(0));
      const QelBool ok = QelDLLVersion(text.get(), text.size());
      Trace("QelDLLVersion(%d) = %d\n", text.size(), ok);
      if (ok) text.CheckTerminated("QelDLLVersion");
      break;
    }
    case Op::kOpen: {
      const std::int32_t key = ReadKey(r);
      const Size2 size = ReadFrameSize(r);
      const double rate = ReadDouble(r);
      const InText format = ReadText(r, kFormatNames, 0);
      Trace("QelOpen(%d, %d, %d, %g, %s) = ...\n", key, size.width, size.height, rate,
            format.get() && format.length() < 40 ? format.get() : "(null or long)");
      const std::int32_t result = QelOpen(key, size.width, size.height, rate, format.get());
      Trace("  ... %d\n", result);
      break;
    }
    case Op::kClose: {
      const std::int32_t key = ReadKey(r);
      Trace("QelClose(%d)\n", key);
      QelClose(key);
      break;
    }
    case Op::kOpenSerialNo: {
      const InText text = ReadText(r, kSerialTexts, 123);
      const NullMask nulls(r);
      Out<std::int32_t> key(nulls.Null(0));
      const Size2 size = ReadFrameSize(r);
      const double rate = ReadDouble(r);
      const std::int32_t result =
          QelOpenSerialNo(text.get(), key.get(), size.width, size.height, rate);
      Trace("QelOpenSerialNo(%zu chars, %d, %d, %g) = %d\n", text.length(), size.width, size.height,
            rate, result);
      break;
    }
    case Op::kGetDevice:
    case Op::kGetDeviceWithSerialNo: {
      const NullMask nulls(r);
      OutText list = ReadListingBuffer(r, nulls.Null(0));
      const bool serials = op == Op::kGetDeviceWithSerialNo;
      const std::int32_t count = serials ? QelGetDeviceWithSerialNo(list.get(), list.size())
                                         : QelGetDevice(list.get(), list.size());
      Trace("QelGetDevice%s(%d) = %d\n", serials ? "WithSerialNo" : "", list.size(), count);
      if (count >= 0) list.CheckTerminated("QelGetDevice");
      break;
    }
    case Op::kReceiveImage: {
      const std::int32_t key = ReadKey(r);
      const NullMask nulls(r);
      ReceiveImage(session, key, nulls.Null(0));
      break;
    }
    case Op::kGetBufferSize: {
      const std::int32_t key = ReadKey(r);
      Trace("QelGetBufferSize(%d) = %d\n", key, QelGetBufferSize(key));
      break;
    }
    case Op::kGetFormat: {
      const std::int32_t device = ReadKey(r);
      const NullMask nulls(r);
      OutText text = ReadTextBuffer(r, nulls.Null(0));
      const QelBool ok = QelGetFormat(device, text.get(), text.size());
      Trace("QelGetFormat(%d, %d) = %d\n", device, text.size(), ok);
      if (ok) text.CheckTerminated("QelGetFormat");
      break;
    }
    case Op::kSetDigitalGain:
    case Op::kXSetDigitalGain: {
      const std::int32_t key = ReadKey(r);
      std::int32_t gains[4];
      for (std::int32_t& gain : gains) gain = ReadInt(r);
      const bool raw = op == Op::kXSetDigitalGain;
      const QelBool ok = raw ? QelXSetDigitalGain(key, gains[0], gains[1], gains[2], gains[3])
                             : QelSetDigitalGain(key, gains[0], gains[1], gains[2], gains[3]);
      Trace("Qel%sSetDigitalGain(%d, %d, %d, %d, %d) = %d\n", raw ? "X" : "", key, gains[0],
            gains[1], gains[2], gains[3], ok);
      break;
    }
    case Op::kGetDigitalGain:
      GainGetter(r, "QelGetDigitalGain", QelGetDigitalGain);
      break;
    case Op::kXGetDigitalGain:
      GainGetter(r, "QelXGetDigitalGain", QelXGetDigitalGain);
      break;
    case Op::kXGetDigitalGainMax:
      GainGetter(r, "QelXGetDigitalGainMax", QelXGetDigitalGainMax);
      break;
    case Op::kXGetDigitalGainMin:
      GainGetter(r, "QelXGetDigitalGainMin", QelXGetDigitalGainMin);
      break;
    case Op::kSetShutter:
      Setter<int32_t>(r, "QelSetShutter", QelSetShutter);
      break;
    case Op::kGetShutter:
      Getter<uint16_t>(r, "QelGetShutter", QelGetShutter);
      break;
    case Op::kGetShutterMax:
      Getter<uint16_t>(r, "QelGetShutterMax", QelGetShutterMax);
      break;
    case Op::kGetShutterMin:
      Getter<uint16_t>(r, "QelGetShutterMin", QelGetShutterMin);
      break;
    case Op::kSetShutterTime: {
      const std::int32_t key = ReadKey(r);
      const double seconds = ReadDouble(r);
      Trace("QelSetShutterTime(%d, %g) = %d\n", key, seconds, QelSetShutterTime(key, seconds));
      break;
    }
    case Op::kGetShutterTime:
      Getter<double>(r, "QelGetShutterTime", QelGetShutterTime);
      break;
    case Op::kSetAnalogGain:
      Setter<uint32_t>(r, "Qel5SetAnalogGain", Qel5SetAnalogGain);
      break;
    case Op::kGetAnalogGain:
      Getter<int32_t>(r, "Qel5GetAnalogGain", Qel5GetAnalogGain);
      break;
    case Op::kSetRegister:
    case Op::kSetRegisterW: {
      const std::int32_t key = ReadKey(r);
      const std::int32_t address = ReadInt(r);
      const std::int32_t value = ReadInt(r);
      const bool wide = op == Op::kSetRegisterW;
      const QelBool ok =
          wide ? QelSetRegisterW(key, address, value) : QelSetRegister(key, address, value);
      Trace("QelSetRegister%s(%d, %d, %d) = %d\n", wide ? "W" : "", key, address, value, ok);
      break;
    }
    case Op::kGetRegister: {
      const std::int32_t key = ReadKey(r);
      const std::int32_t address = ReadInt(r);
      const NullMask nulls(r);
      Out<uint8_t> value(nulls.Null(0));
      Trace("QelGetRegister(%d, %d) = %d\n", key, address,
            QelGetRegister(key, address, value.get()));
      break;
    }
    case Op::kGetRegisterW: {
      const std::int32_t key = ReadKey(r);
      const std::int32_t address = ReadInt(r);
      const NullMask nulls(r);
      Out<uint16_t> value(nulls.Null(0));
      Trace("QelGetRegisterW(%d, %d) = %d\n", key, address,
            QelGetRegisterW(key, address, value.get()));
      break;
    }
    case Op::kVersion: {
      const std::int32_t key = ReadKey(r);
      const NullMask nulls(r);
      OutText text = ReadTextBuffer(r, nulls.Null(0));
      const QelBool ok = QelVersion(key, text.get(), text.size());
      Trace("QelVersion(%d, %d) = %d\n", key, text.size(), ok);
      if (ok) text.CheckTerminated("QelVersion");
      break;
    }
    case Op::kTemperature: {
      const std::int32_t key = ReadKey(r);
      const std::int32_t type = ReadInt(r);
      const NullMask nulls(r);
      Out<int32_t> value(nulls.Null(0));
      Trace("QelTemperature(%d, %d) = %d\n", key, type, QelTemperature(key, type, value.get()));
      break;
    }
    case Op::kGetSerialNo:
      Getter<uint32_t>(r, "QelGetSerialNo", QelGetSerialNo);
      break;
    case Op::kSetSerialNo: {
      const std::int32_t key = ReadKey(r);
      const std::uint32_t serial = r.U32();
      Trace("QelSetSerialNo(%d, %08X) = %d\n", key, serial, QelSetSerialNo(key, serial));
      break;
    }
    case Op::kSetPixelDefect:
    case Op::kGetPixelDefect: {
      const std::int32_t key = ReadKey(r);
      const std::int32_t cameraNo = ReadInt(r);
      const std::int32_t sizeIndex = ReadInt(r);
      const NullMask nulls(r);
      std::unique_ptr<QelDefectPoint[]> points;
      if (!nulls.Null(0)) points.reset(new QelDefectPoint[QEL_DEFECT_POINTS]);
      const bool set = op == Op::kSetPixelDefect;
      if (set && points) ReadPoints(r, points.get());
      const QelBool ok = set ? QelSetPixelDefect(key, cameraNo, sizeIndex, points.get())
                             : QelGetPixelDefect(key, cameraNo, sizeIndex, points.get());
      Trace("Qel%sPixelDefect(%d, %d, %d) = %d\n", set ? "Set" : "Get", key, cameraNo, sizeIndex,
            ok);
      break;
    }
    case Op::kSetPixelDefectOnOff:
      Setter<int32_t>(r, "QelSetPixelDefectOnOff", QelSetPixelDefectOnOff);
      break;
    case Op::kGetPixelDefectOnOff:
      Getter<int32_t>(r, "QelGetPixelDefectOnOff", QelGetPixelDefectOnOff);
      break;
    case Op::kCameraRecognition:
      Getter<uint8_t>(r, "QelCameraRecognition", QelCameraRecognition);
      break;
    case Op::kUsbMode:
      Getter<uint8_t>(r, "QelUSBMode", QelUSBMode);
      break;
    case Op::kGpioDirection:
      Setter<int32_t>(r, "QelGPIODirection", QelGPIODirection);
      break;
    case Op::kGpioOutput:
      Setter<int32_t>(r, "QelGPIOOutput", QelGPIOOutput);
      break;
    case Op::kGpioInput:
      Getter<uint8_t>(r, "QelGPIOInput", QelGPIOInput);
      break;
    case Op::kSetLed:
      Setter<int32_t>(r, "QelSetLed", QelSetLed);
      break;
    case Op::kGetLed:
      Getter<int32_t>(r, "QelGetLed", QelGetLed);
      break;
    case Op::kSetGain:
      Setter<int32_t>(r, "QelSetGain", QelSetGain);
      break;
    case Op::kGetGain:
      Getter<int32_t>(r, "QelGetGain", QelGetGain);
      break;
    case Op::kXSetGain:
      Setter<int32_t>(r, "QelXSetGain", QelXSetGain);
      break;
    case Op::kXGetGain:
      Getter<int32_t>(r, "QelXGetGain", QelXGetGain);
      break;
    case Op::kXGetGainMax:
      Getter<int32_t>(r, "QelXGetGainMax", QelXGetGainMax);
      break;
    case Op::kXGetGainMin:
      Getter<int32_t>(r, "QelXGetGainMin", QelXGetGainMin);
      break;
    case Op::kSetExposure:
      Setter<int32_t>(r, "QelSetExposure", QelSetExposure);
      break;
    case Op::kGetExposure:
      Getter<int32_t>(r, "QelGetExposure", QelGetExposure);
      break;
    case Op::kSetCameraNo:
      Setter<int32_t>(r, "QelSetCameraNo", QelSetCameraNo);
      break;
    case Op::kGetCameraNo:
      Getter<int32_t>(r, "QelGetCameraNo", QelGetCameraNo);
      break;
    case Op::kSetColorBar:
      Setter<int32_t>(r, "QelSetColorBar", QelSetColorBar);
      break;
    case Op::kGetColorBar:
      Getter<int32_t>(r, "QelGetColorBar", QelGetColorBar);
      break;
    case Op::kSoftRewrite: {
      const std::int32_t key = ReadKey(r);
      const InText path = ReadImagePath(r);
      std::optional<std::vector<std::uint8_t>> image = ReadSmallFile(path.get());
      const QelBool started = QelSoftRewrite(key, path.get());
      Trace("QelSoftRewrite(%d, %s) = %d\n", key,
            path.get() && path.length() < 200 ? path.get() : "(null or long)", started);
      if (started) session.rewrite = StartedRewrite{key, std::move(image)};
      break;
    }
    case Op::kSoftRewriteState: {
      const std::int32_t key = ReadKey(r);
      const NullMask nulls(r);
      Out<int32_t> seconds(nulls.Null(0));
      Out<float> percent(nulls.Null(1));
      const std::int32_t state = QelSoftRewriteState(key, seconds.get(), percent.get());
      Trace("QelSoftRewriteState(%d) = %d\n", key, state);
      JudgeRewrite(session, key, state);
      break;
    }
    default:
      break;
  }
}

// ---- the rig ------------------------------------------------------------------

// Every control of the rig is reachable but its gates and firmware holds:
// they park a call until the test lets it go, which an input running on one
// thread would never do.

void RigQueries(Reader& r) {
  const int device = ReadDevice(r);
  const NullMask nulls(r);
  const std::int32_t size = std::min(ReadSize(r), 4096);
  const std::size_t capacity = static_cast<std::size_t>(std::max(size, 0));
  std::unique_ptr<char[]> text(nulls.Null(0) ? nullptr : new char[capacity]);
  qelsim_get_display_name(device, text.get(), size);
  std::int32_t width = 0, height = 0;
  std::int64_t interval = 0;
  qelsim_current_format(device, nulls.Null(1) ? nullptr : &width, &height, &interval, text.get(),
                        size);
  std::int32_t value = 0, flags = 0;
  qelsim_get_property(device, ReadInt(r), nulls.Null(2) ? nullptr : &value, &flags);
  std::unique_ptr<unsigned char[]> report(nulls.Null(3) ? nullptr : new unsigned char[capacity]);
  qelsim_log_report(device, ReadInt(r), report.get(), size);
  int property = 0;
  qelsim_log_property(device, ReadInt(r), &property, &value, &flags);
  qelsim_log_report_count(device);
  qelsim_log_property_count(device);
  qelsim_frames_delivered(device);
  int gpioDirection = 0, gpioOutput = 0;
  std::uint16_t gains[4] = {};
  std::uint16_t shutter = 0;
  qelsim_get_firmware_state(device, &gpioDirection, &gpioOutput, gains, &shutter);
  int registerValue = 0;
  const int registerWidth = ReadInt(r);
  qelsim_get_register(device, registerWidth, ReadInt(r), &registerValue);
  const std::uint32_t address = static_cast<std::uint32_t>(ReadInt(r));
  std::unique_ptr<unsigned char[]> memory(new unsigned char[capacity]);
  qelsim_read_memory(device, address, memory.get(), static_cast<std::uint32_t>(capacity));
  std::int64_t counter = 0;
  qelsim_check_frame(memory.get(), static_cast<std::int32_t>(capacity), &counter);
  qelsim_fill_frame(memory.get(), static_cast<std::int32_t>(capacity), ReadInt(r));
  qelsim_device_count();
  qelsim_device_id(ReadInt(r));
  qelsim_now_ms();
  qelsim_com_depth();
  qelsim_com_thread_depth();
  const InText point = ReadText(r, kDeviceNames, 0);
  qelsim_operation_calls(point.get());
  qelsim_fault_point(ReadInt(r));
  qelsim_faults_fired();
  qelsim_open_hid_handles();
  qelsim_running_streams();
  qelsim_operation_at(ReadInt(r));
  int bufferSamples = 0;
  qelsim_get_grabber_settings(device, nulls.Null(4) ? nullptr : &bufferSamples, nullptr);
}

void CallRig(Session& session, Reader& r, Op op) {
  if (session.rewrite &&
      (op == Op::kRemoveDevice || op == Op::kWriteMemory || op == Op::kWriteDefectTable)) {
    session.rewrite->memoryChanged = true;
  }
  switch (op) {
    case Op::kAddCamera:
    case Op::kAddWebcam:
    case Op::kAddSoftwareSource: {
      const InText name = ReadText(r, kDeviceNames, 0);
      const std::uint32_t serial = r.U32();
      if (session.devicesAdded >= kMaxDevicesAdded) break;
      ++session.devicesAdded;
      const int id = op == Op::kAddCamera   ? qelsim_add_camera(name.get(), serial)
                     : op == Op::kAddWebcam ? qelsim_add_webcam(name.get())
                                            : qelsim_add_software_source(name.get());
      Trace("rig: add device %d (%zu chars)\n", id, name.length());
      break;
    }
    case Op::kRemoveDevice: {
      const int device = ReadDevice(r);
      Trace("rig: remove device %d = %d\n", device, qelsim_remove_device(device));
      break;
    }
    case Op::kInjectFault: {
      const int device = ReadDevice(r);
      const std::uint8_t which = r.Byte();
      const int skip = r.Byte() % 32;
      const int count = static_cast<std::int8_t>(r.Byte());
      const std::vector<std::string>& points = FaultPoints();
      const char* operation = which == 255 || points.empty()
                                  ? "NoSuchOperation"
                                  : points[which % points.size()].c_str();
      Trace("rig: fault %s on %d, skip %d, count %d = %d\n", operation, device, skip, count,
            qelsim_inject_fault(device, operation, skip, count));
      break;
    }
    case Op::kFirmwareFault: {
      const int device = ReadDevice(r);
      const int code = kCommandCodes[r.Byte() % kCommandCodes.size()];
      const int kind = r.Byte() % 8;
      const int value = ReadInt(r);
      const int skip = r.Byte() % 64;
      const int count = static_cast<std::int8_t>(r.Byte());
      Trace("rig: firmware fault %d code %d value %d on %d, skip %d, count %d = %d\n", kind, code,
            value, device, skip, count,
            qelsim_firmware_fault(device, code, kind, value, skip, count));
      break;
    }
    case Op::kClearFaults:
      Trace("rig: clear faults\n");
      qelsim_clear_faults();
      break;
    case Op::kFrameMode: {
      const int device = ReadDevice(r);
      const int mode = r.Byte() % 5;
      if (mode == QELSIM_FRAMES_VARYING) session.varyingFrames = true;
      Trace("rig: frame mode %d on %d = %d\n", mode, device, qelsim_set_frame_mode(device, mode));
      break;
    }
    case Op::kAdvance: {
      const std::uint8_t b = r.Byte();
      const std::uint32_t ms = b < kAdvances.size() ? kAdvances[b] : b;
      Trace("rig: advance %u ms\n", ms);
      qelsim_advance_ms(ms);
      break;
    }
    case Op::kSetTickCount: {
      const std::uint32_t ms = 0xFFFFFFFFu - r.U16();
      Trace("rig: tick count %u\n", ms);
      qelsim_set_tick_count(ms);
      break;
    }
    case Op::kSetProperty: {
      const int device = ReadDevice(r);
      const int index = r.Byte() % 19 - 1;
      const int supported = r.Byte() % 2;
      std::int32_t values[6];
      for (std::int32_t& value : values) value = ReadInt(r);
      Trace("rig: property %d of %d = %d\n", index, device,
            qelsim_set_property(device, index, supported, values[0], values[1], values[2],
                                values[3], values[4], values[5]));
      break;
    }
    case Op::kPropertyInterfaces: {
      const int device = ReadDevice(r);
      const std::uint8_t which = r.Byte();
      qelsim_set_property_interfaces(device, which & 1, which >> 1 & 1);
      break;
    }
    case Op::kClearFormats:
      qelsim_clear_formats(ReadDevice(r));
      break;
    case Op::kAddFormat: {
      const int device = ReadDevice(r);
      // Frames are kept no larger than 1920 x 1088: a frame buffer is allocated per call.
      const std::int32_t width = static_cast<std::int32_t>(r.U16() % 1921);
      const std::int32_t height = static_cast<std::int32_t>(r.U16() % 2177) - 1088;
      const std::int64_t intervals[] = {333333, 166666, 1, 0, -1, 10000000, 41666, 9999999999};
      const std::int64_t interval = intervals[r.Byte() % 8];
      const InText subtype = ReadText(r, kSubtypeTexts, 0);
      qelsim_add_format(device, width, height, interval, subtype.get(), r.Byte() % 2);
      break;
    }
    case Op::kAddHidInterface: {
      const int device = ReadDevice(r);
      const std::uint8_t which = r.Byte();
      qelsim_add_hid_interface(device, which & 1, which >> 1 & 0x1F);
      break;
    }
    case Op::kSetHidFlags: {
      const int device = ReadDevice(r);
      const int number = r.Byte() % 4 - 1;
      qelsim_set_hid_flags(device, number, r.Byte() & 0x1F);
      break;
    }
    case Op::kSetHidParent: {
      const int device = ReadDevice(r);
      const InText id = ReadText(r, kParentIds, 0);
      qelsim_set_hid_parent_id(device, id.get());
      break;
    }
    case Op::kAddForeignHid: {
      const InText id = ReadText(r, kParentIds, 0);
      qelsim_add_foreign_hid(id.get());
      break;
    }
    case Op::kReportLengths: {
      const int device = ReadDevice(r);
      const std::int32_t input = kReportLengthChoices[r.Byte() % kReportLengthChoices.size()];
      const std::int32_t output = kReportLengthChoices[r.Byte() % kReportLengthChoices.size()];
      Trace("rig: report lengths %d/%d on %d = %d\n", input, output, device,
            qelsim_set_hid_report_lengths(device, input, output));
      break;
    }
    case Op::kUsbSerial: {
      const int device = ReadDevice(r);
      const InText serial = ReadText(r, kSerialTexts, 0);
      qelsim_set_usb_serial(device, serial.get());
      break;
    }
    case Op::kFirmwareSerial: {
      const int device = ReadDevice(r);
      qelsim_set_firmware_serial(device, r.U32());
      break;
    }
    case Op::kFirmwareVersion: {
      const int device = ReadDevice(r);
      const InText version = ReadText(r, kDeviceNames, 0);
      qelsim_set_version(device, version.get());
      break;
    }
    case Op::kFirmwareTemperature: {
      const int device = ReadDevice(r);
      const int type = ReadInt(r);
      qelsim_set_temperature(device, type, ReadInt(r));
      break;
    }
    case Op::kDeviceBytes: {
      const int device = ReadDevice(r);
      const int recognition = ReadInt(r);
      const int usbMode = ReadInt(r);
      qelsim_set_device_bytes(device, recognition, usbMode, ReadInt(r));
      break;
    }
    case Op::kFirmwareRegister: {
      const int device = ReadDevice(r);
      const int width = r.Byte() % 2 != 0 ? 16 : 8;
      const int address = ReadInt(r);
      qelsim_set_register(device, width, address, ReadInt(r));
      break;
    }
    case Op::kWriteMemory: {
      const int device = ReadDevice(r);
      const std::uint32_t address = static_cast<std::uint32_t>(ReadInt(r));
      std::vector<std::uint8_t> bytes(r.Byte());
      r.Bytes(bytes.data(), bytes.size());
      qelsim_write_memory(device, address, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
      break;
    }
    case Op::kWriteDefectTable: {
      // Straight into the camera's data block, which the next open reads:
      // tables the export would refuse, out-of-frame points included.
      const int device = ReadDevice(r);
      const std::uint32_t table = r.Byte() % 6;
      QelDefectPoint points[QEL_DEFECT_POINTS];
      ReadPoints(r, points);
      std::uint8_t bytes[kDefectTableBytes];
      for (int i = 0; i < QEL_DEFECT_POINTS; ++i) {
        bytes[4 * i] = static_cast<std::uint8_t>(points[i].x);
        bytes[4 * i + 1] = static_cast<std::uint8_t>(points[i].x >> 8);
        bytes[4 * i + 2] = static_cast<std::uint8_t>(points[i].y);
        bytes[4 * i + 3] = static_cast<std::uint8_t>(points[i].y >> 8);
      }
      const std::uint32_t address =
          kDataBlockAddress + kDefectTablesOffset + table * kDefectTableBytes;
      Trace("rig: defect table %u of %d = %d\n", table, device,
            qelsim_write_memory(device, address, bytes, sizeof bytes));
      break;
    }
    case Op::kDisplayName: {
      const int device = ReadDevice(r);
      const InText name = ReadText(r, kDeviceNames, 0);
      qelsim_set_display_name(device, name.get());
      break;
    }
    case Op::kRigQueries:
      RigQueries(r);
      break;
    case Op::kCapsSize: {
      const int device = ReadDevice(r);
      qelsim_set_caps_size(device, ReadInt(r));
      break;
    }
    case Op::kMakeImage:
      MakeImage(r);
      break;
    case Op::kAwaitRewrite:
      AwaitRewrite(session, ReadKey(r), std::chrono::milliseconds(1500));
      break;
    default:
      break;
  }
}

void RunInput(const std::uint8_t* data, std::size_t size) {
  BeginInput();
  Session session;
  Reader r(data, size);
  for (int call = 0; call < kMaxCallsPerInput && !r.AtEnd(); ++call) {
    const auto op = static_cast<Op>(r.Byte() % static_cast<std::uint8_t>(Op::kCount));
    if (op < Op::kAddCamera) {
      CallExport(session, r, op);
    } else {
      CallRig(session, r, op);
    }
  }
  EndInput(session);
}

// ---- the seed corpus ----------------------------------------------------------

class Seed {
 public:
  Seed& Call(Op op) {
    w_.Byte(static_cast<std::uint8_t>(op));
    return *this;
  }
  Seed& Byte(std::uint8_t value) {
    w_.Byte(value);
    return *this;
  }
  Seed& U16(std::uint16_t value) {
    w_.U16(value);
    return *this;
  }
  Seed& U32(std::uint32_t value) {
    w_.U32(value);
    return *this;
  }
  Seed& Key(std::int32_t key) {
    WriteKey(w_, key);
    return *this;
  }
  Seed& Int(std::int32_t value) {
    WriteInt(w_, value);
    return *this;
  }
  Seed& Size(std::int32_t value) {
    WriteSize(w_, value);
    return *this;
  }
  Seed& Double(double value) {
    WriteDouble(w_, value);
    return *this;
  }
  Seed& Device(int device) {
    WriteDevice(w_, device);
    return *this;
  }
  Seed& Valid() {  // a null mask with every pointer valid
    w_.Byte(0);
    return *this;
  }
  Seed& Nulls(std::uint8_t arguments) {
    w_.Byte(static_cast<std::uint8_t>(0xC0 | arguments));
    return *this;
  }

  Seed& Open(std::int32_t key, std::int32_t width, std::int32_t height, double rate,
             const char* format = "YUY2") {
    Call(Op::kOpen).Key(key);
    WriteFrameSize(w_, width, height);
    Double(rate);
    WriteTableText(w_, kFormatNames, format);
    return *this;
  }
  Seed& Advance(std::uint32_t ms) {
    const int index = IndexOf(kAdvances, ms);
    return Call(Op::kAdvance).Byte(static_cast<std::uint8_t>(index >= 0 ? index : ms));
  }
  Seed& Receive(std::int32_t key) { return Call(Op::kReceiveImage).Key(key).Valid(); }
  Seed& Points(const std::vector<QelDefectPoint>& points) {
    for (int i = 0; i < QEL_DEFECT_POINTS; ++i) {
      const QelDefectPoint p =
          i < static_cast<int>(points.size()) ? points[i] : QelDefectPoint{0xFFFF, 0xFFFF};
      WriteCoordinate(w_, p.x);
      WriteCoordinate(w_, p.y);
    }
    return *this;
  }
  Seed& SetDefects(std::int32_t key, std::int32_t cameraNo, std::int32_t sizeIndex,
                   const std::vector<QelDefectPoint>& points) {
    Call(Op::kSetPixelDefect).Key(key).Int(cameraNo).Int(sizeIndex).Valid();
    return Points(points);
  }
  Seed& DefectTable(int device, int table, const std::vector<QelDefectPoint>& points) {
    Call(Op::kWriteDefectTable).Device(device).Byte(static_cast<std::uint8_t>(table));
    return Points(points);
  }
  Seed& SmallImage(int slot, std::uint16_t size, std::uint8_t seed) {
    return Call(Op::kMakeImage)
        .Byte(static_cast<std::uint8_t>(slot))
        .Byte(kImageSmall)
        .U16(size)
        .Byte(seed);
  }
  Seed& Rewrite(std::int32_t key, int pathChoice) {
    return Call(Op::kSoftRewrite).Key(key).Byte(static_cast<std::uint8_t>(pathChoice));
  }
  Seed& Poll(std::int32_t key) { return Call(Op::kSoftRewriteState).Key(key).Valid(); }
  Seed& Await(std::int32_t key) { return Call(Op::kAwaitRewrite).Key(key); }
  Seed& Fault(int device, const char* operation, int skip, int count) {
    Call(Op::kInjectFault).Device(device);
    for (std::size_t i = 0; i < FaultPoints().size(); ++i) {
      if (FaultPoints()[i] == operation) {
        return Byte(static_cast<std::uint8_t>(i))
            .Byte(static_cast<std::uint8_t>(skip))
            .Byte(static_cast<std::uint8_t>(count));
      }
    }
    Fail("seed fault operation unknown");
  }
  Seed& AddFormat(int device, std::uint16_t width, std::int32_t height, int intervalIndex,
                  const char* subtype) {
    Call(Op::kAddFormat).Device(device).U16(width).U16(static_cast<std::uint16_t>(height + 1088));
    Byte(static_cast<std::uint8_t>(intervalIndex)).TableText(kSubtypeTexts, subtype);
    return Byte(1);
  }
  Seed& Listing(bool serials, std::int32_t size) {
    return Call(serials ? Op::kGetDeviceWithSerialNo : Op::kGetDevice).Valid().Size(size);
  }
  Seed& OpenSerial(const char* text, std::int32_t width, std::int32_t height, double rate) {
    Call(Op::kOpenSerialNo).TableText(kSerialTexts, text).Valid().FrameSize(width, height);
    return Double(rate);
  }

  Seed& FirmwareFault(int device, int code, int kind, std::int32_t value, int skip, int count) {
    Call(Op::kFirmwareFault).Device(device);
    const int index = IndexOf(kCommandCodes, code);
    if (index < 0) Fail("seed command code unknown");
    Byte(static_cast<std::uint8_t>(index)).Byte(static_cast<std::uint8_t>(kind)).Int(value);
    return Byte(static_cast<std::uint8_t>(skip)).Byte(static_cast<std::uint8_t>(count));
  }

  template <std::size_t N>
  Seed& TableText(const std::array<const char*, N>& table, const char* text) {
    WriteTableText(w_, table, text);
    return *this;
  }
  Seed& FrameSize(std::int32_t width, std::int32_t height) {
    WriteFrameSize(w_, width, height);
    return *this;
  }
  const std::vector<std::uint8_t>& Bytes() const { return w_.Bytes(); }

 private:
  Writer w_;
};

// The rig's default population: device 1 "QEL5" (key 0), device 2 "QEL2"
// (key 1), device 3 a webcam (key 2).
constexpr int kQel5Device = 1;
constexpr int kQel2Device = 2;

// Points that exercise every branch of the defect correction on a frame of
// width x height: each quadrant, exactly the middle column and row, points
// whose source lies above, below, left or right of the frame, points outside
// the frame and empty coordinates.
std::vector<QelDefectPoint> CorrectionPoints(std::uint16_t width, std::uint16_t height) {
  const auto w = width, h = height;
  return {
      {10, 10},                                                                  // top left
      {static_cast<std::uint16_t>(w - 10), 10},                                  // top right
      {10, static_cast<std::uint16_t>(h - 10)},                                  // bottom left
      {static_cast<std::uint16_t>(w - 10), static_cast<std::uint16_t>(h - 10)},  // bottom right
      {static_cast<std::uint16_t>(w / 2), static_cast<std::uint16_t>(h / 2)},    // the middle
      {static_cast<std::uint16_t>(w / 2 - 1), static_cast<std::uint16_t>(h / 2 - 1)},
      {static_cast<std::uint16_t>(w / 2), 5},
      {5, static_cast<std::uint16_t>(h / 2)},
      {static_cast<std::uint16_t>(w - 1), 0},  // source a row above the frame
      {static_cast<std::uint16_t>(w / 2), 1},
      {0, static_cast<std::uint16_t>(h - 1)},  // source a row below the frame
      {0, static_cast<std::uint16_t>(h - 2)},
      {static_cast<std::uint16_t>(w - 2), static_cast<std::uint16_t>(h / 2 - 1)},
      {1, static_cast<std::uint16_t>(h / 2)},
      {0xFFFF, 3},  // an empty x with a row in the frame
      {3, 0xFFFF},  // an empty y with a column in the frame
  };
}

std::vector<QelDefectPoint> OutOfFramePoints(std::uint16_t width, std::uint16_t height) {
  return {
      {width, 0},
      {0, height},
      {width, height},
      {static_cast<std::uint16_t>(width + 1), 5},
      {5, static_cast<std::uint16_t>(height + 100)},
      {0x8000, 0x8000},
      {0xFFFE, 0xFFFE},
      {static_cast<std::uint16_t>(width - 1), static_cast<std::uint16_t>(height - 1)},
      {0, 0},
  };
}

struct NamedSeed {
  std::string name;
  Seed seed;
};

std::vector<NamedSeed> MakeSeeds() {
  std::vector<NamedSeed> seeds;

  {  // A rewrite that is written and verified, polled to its end.
    Seed s;
    s.Open(0, 480, 270, 30).SmallImage(0, 1000, 7).Rewrite(0, 0).Poll(0).Await(0).Poll(0);
    seeds.push_back({"rewrite-verified", s});
  }
  {  // A verify phase that meets corrupt reads, then reads that fail.
    Seed s;
    s.Open(1, 328, 204, 60)
        .SmallImage(1, 560, 3)
        .FirmwareFault(kQel2Device, 0x21, QELSIM_FW_CORRUPT, 0, 0, 3)
        .Rewrite(1, 1)
        .Await(1)
        .FirmwareFault(kQel2Device, 0x21, QELSIM_FW_CORRUPT, 0, 2, 6)
        .Rewrite(1, 1)
        .Await(1)
        .FirmwareFault(kQel2Device, 0x21, QELSIM_FW_SILENT, 0, 1, 6)
        .Rewrite(1, 1)
        .Await(1);
    seeds.push_back({"rewrite-verify-faults", s});
  }
  {  // Writes that fail, are retried and give up; a rewrite closed under way.
    Seed s;
    s.Open(0, 960, 540, 60)
        .Call(Op::kMakeImage)
        .Byte(2)
        .Byte(kImageBlockEdge)
        .Byte(5)
        .Byte(0)
        .Byte(9)
        .FirmwareFault(kQel5Device, 0x20, QELSIM_FW_STATUS, 3, 2, 5)
        .Rewrite(0, 2)
        .Await(0)
        .FirmwareFault(kQel5Device, 0x20, QELSIM_FW_BAD_ECHO, 0, 1, 6)
        .Rewrite(0, 2)
        .Await(0)
        .SmallImage(3, 16384, 1)
        .Rewrite(0, 3)
        .Poll(0)
        .Call(Op::kClose)
        .Key(0)
        .Poll(0);
    seeds.push_back({"rewrite-write-faults", s});
  }
  {  // Images the rewrite must refuse or treat with care.
    Seed s;
    s.Open(0, 480, 270, 30);
    s.Call(Op::kMakeImage).Byte(0).Byte(kImageEmpty).Rewrite(0, 0).Await(0);
    s.Call(Op::kMakeImage)
        .Byte(1)
        .Byte(kImageNearEnd)
        .Byte(3)
        .Rewrite(0, 1)
        .Poll(0)
        .Call(Op::kClose)
        .Key(0);
    s.Open(0, 480, 270, 30);
    s.Call(Op::kMakeImage).Byte(2).Byte(kImageNearEnd).Byte(6).Rewrite(0, 2).Await(0);
    s.Call(Op::kMakeImage).Byte(3).Byte(kImageDirectory).Rewrite(0, 3).Await(0);
    for (int path = 4; path < 10; ++path) s.Rewrite(0, path).Await(0);
    s.Rewrite(-1, 0)
        .Rewrite(10, 0)
        .Rewrite(1, 0)
        .Poll(-1)
        .Call(Op::kSoftRewriteState)
        .Key(0)
        .Nulls(3);
    seeds.push_back({"rewrite-odd-images", s});
  }

  // The defect correction on frames of each camera's sizes.
  const struct {
    std::int32_t key;
    int device;
    std::uint16_t width, height;
    std::int32_t sizeIndex;
    double rate;
  } corrections[] = {{0, kQel5Device, 480, 270, 2, 30},
                     {1, kQel2Device, 328, 204, 2, 60},
                     {1, kQel2Device, 656, 408, 1, 30}};
  for (const auto& c : corrections) {
    Seed s;
    s.Open(c.key, c.width, c.height, c.rate)
        .SetDefects(c.key, 1, c.sizeIndex, CorrectionPoints(c.width, c.height))
        .Advance(100)
        .Receive(c.key)
        .Call(Op::kSetCameraNo)
        .Key(c.key)
        .Int(2)
        .SetDefects(c.key, 2, c.sizeIndex, CorrectionPoints(c.width, c.height))
        .Advance(100)
        .Receive(c.key)
        .Call(Op::kSetPixelDefectOnOff)
        .Key(c.key)
        .Int(0)
        .Advance(100)
        .Receive(c.key);
    char name[64];
    std::snprintf(name, sizeof name, "correction-%ux%u", c.width, c.height);
    seeds.push_back({name, s});
  }
  {  // Tables the export refuses, written into the data block before the open.
    Seed s;
    s.DefectTable(kQel5Device, 2, OutOfFramePoints(480, 270))
        .DefectTable(kQel5Device, 5, CorrectionPoints(480, 270))
        .Open(0, 480, 270, 30)
        .Advance(40)
        .Receive(0)
        .Call(Op::kGetPixelDefect)
        .Key(0)
        .Int(1)
        .Int(2)
        .Valid()
        .Call(Op::kSetCameraNo)
        .Key(0)
        .Int(2)
        .Advance(40)
        .Receive(0);
    seeds.push_back({"correction-out-of-frame", s});
  }
  {  // Short and empty frames under the correction; a camera number of 3.
    Seed s;
    s.Call(Op::kFrameMode)
        .Device(kQel2Device)
        .Byte(QELSIM_FRAMES_VARYING)
        .DefectTable(kQel2Device, 2, CorrectionPoints(328, 204))
        .Open(1, 328, 204, 60)
        .Advance(17)
        .Receive(1)
        .Advance(17)
        .Receive(1)
        .Advance(17)
        .Receive(1)
        .Call(Op::kFrameMode)
        .Device(kQel2Device)
        .Byte(QELSIM_FRAMES_EMPTY)
        .Advance(17)
        .Receive(1)
        .Call(Op::kClose)
        .Key(1)
        .Call(Op::kSetProperty)
        .Device(kQel2Device)
        .Byte(3)
        .Byte(1)
        .Int(0)
        .Int(3)
        .Int(1)
        .Int(3)
        .Int(3)
        .Int(2)
        .Call(Op::kFrameMode)
        .Device(kQel2Device)
        .Byte(QELSIM_FRAMES_PATTERN)
        .Open(1, 328, 204, 60)
        .Call(Op::kGetCameraNo)
        .Key(1)
        .Valid()
        .Advance(17)
        .Receive(1);
    seeds.push_back({"correction-short-frames", s});
  }
  {  // Every export once on an open camera, then on keys that name none.
    Seed s;
    s.Open(0, 1920, 1080, 30).Open(1, 1280, 720, 60, "MJPG").Open(2, 640, 480, 30);
    for (std::int32_t key : {0, 1, 2, -1, 10, kMax32, 5}) {
      s.Call(Op::kDllVersion).Valid().Size(53);
      s.Call(Op::kGetDevice).Valid().Size(100).Call(Op::kGetDeviceWithSerialNo).Valid().Size(100);
      s.Call(Op::kGetFormat).Key(key).Valid().Size(1000);
      s.Advance(34).Receive(key).Call(Op::kGetBufferSize).Key(key);
      s.Call(Op::kSetDigitalGain).Key(key).Int(100).Int(4095).Int(0).Int(4096);
      s.Call(Op::kGetDigitalGain).Key(key).Valid();
      s.Call(Op::kXSetDigitalGain).Key(key).Int(1023).Int(1024).Int(-1).Int(65535);
      s.Call(Op::kXGetDigitalGain).Key(key).Valid();
      s.Call(Op::kXGetDigitalGainMax)
          .Key(key)
          .Valid()
          .Call(Op::kXGetDigitalGainMin)
          .Key(key)
          .Valid();
      s.Call(Op::kSetShutter).Key(key).Int(100).Call(Op::kGetShutter).Key(key).Valid();
      s.Call(Op::kGetShutterMax).Key(key).Valid().Call(Op::kGetShutterMin).Key(key).Valid();
      s.Call(Op::kSetShutterTime)
          .Key(key)
          .Double(0.0001)
          .Call(Op::kGetShutterTime)
          .Key(key)
          .Valid();
      s.Call(Op::kSetShutterTime).Key(key).Double(std::nan(""));
      s.Call(Op::kSetAnalogGain).Key(key).Int(15).Call(Op::kGetAnalogGain).Key(key).Valid();
      s.Call(Op::kSetRegister).Key(key).Int(0x1234).Int(0xAB);
      s.Call(Op::kGetRegister).Key(key).Int(0x1234).Valid();
      s.Call(Op::kSetRegisterW).Key(key).Int(-1).Int(0xBEEF);
      s.Call(Op::kGetRegisterW).Key(key).Int(65535).Valid();
      s.Call(Op::kVersion).Key(key).Valid().Size(62);
      s.Call(Op::kTemperature)
          .Key(key)
          .Int(1)
          .Valid()
          .Call(Op::kTemperature)
          .Key(key)
          .Int(2)
          .Valid();
      s.Call(Op::kGetSerialNo).Key(key).Valid();
      s.Call(Op::kSetSerialNo).Key(key).U32(0x01020304);
      s.SetDefects(key, 1, 0, {{0, 0}, {1, 1}});
      s.Call(Op::kGetPixelDefect).Key(key).Int(2).Int(1).Valid();
      s.Call(Op::kSetPixelDefectOnOff).Key(key).Int(1);
      s.Call(Op::kGetPixelDefectOnOff).Key(key).Valid();
      s.Call(Op::kCameraRecognition).Key(key).Valid().Call(Op::kUsbMode).Key(key).Valid();
      s.Call(Op::kGpioDirection).Key(key).Int(255).Call(Op::kGpioOutput).Key(key).Int(1);
      s.Call(Op::kGpioInput).Key(key).Valid();
      s.Call(Op::kSetLed).Key(key).Int(64).Call(Op::kGetLed).Key(key).Valid();
      s.Call(Op::kSetGain).Key(key).Int(240).Call(Op::kGetGain).Key(key).Valid();
      s.Call(Op::kXSetGain).Key(key).Int(4095).Call(Op::kXGetGain).Key(key).Valid();
      s.Call(Op::kXGetGainMax).Key(key).Valid().Call(Op::kXGetGainMin).Key(key).Valid();
      s.Call(Op::kSetExposure).Key(key).Int(-13).Call(Op::kGetExposure).Key(key).Valid();
      s.Call(Op::kSetCameraNo).Key(key).Int(2).Call(Op::kGetCameraNo).Key(key).Valid();
      s.Call(Op::kSetColorBar).Key(key).Int(1).Call(Op::kGetColorBar).Key(key).Valid();
      s.Call(Op::kSoftRewriteState).Key(key).Valid();
    }
    s.Call(Op::kClose).Key(0).Call(Op::kClose).Key(1).Call(Op::kClose).Key(2);
    s.Call(Op::kOpenSerialNo).TableText(kSerialTexts, "QEL5#0000ABCD").Valid();
    s.FrameSize(1920, 1080);
    s.Double(30);
    s.Call(Op::kGetSerialNo).Key(0).Valid();
    seeds.push_back({"every-export", s});
  }
  {  // Frames shorter than the size (I420 has 12 bits a pixel): a point whose
     // source lies in the frame and whose target lies past its end.
    Seed s;
    std::vector<QelDefectPoint> points = {{327, 153}, {300, 160}, {200, 170}, {327, 152}};
    for (const QelDefectPoint& p : CorrectionPoints(328, 204)) points.push_back(p);
    points.resize(QEL_DEFECT_POINTS);
    s.Call(Op::kClearFormats)
        .Device(kQel2Device)
        .AddFormat(kQel2Device, 328, 204, 1, "I420")
        .Open(1, 328, 204, 60, "I420")
        .SetDefects(1, 1, 2, points)
        .Advance(17)
        .Receive(1)
        .Advance(17)
        .Receive(1);
    seeds.push_back({"correction-i420", s});
  }
  {  // Listing buffers of every edge size, the opens that list with the last
     // size, and format listings.
    Seed s;
    for (std::int32_t size : {0, -1, 1, 2, 5, 6, 10, 11, 26, 27, 52, kMax32, kMin32, 1000}) {
      s.Listing(false, size).Listing(true, size).Open(0, 480, 270, 30).Call(Op::kClose).Key(0);
      s.Call(Op::kGetFormat).Key(0).Valid().Size(size);
    }
    s.Listing(false, 100).Call(Op::kGetDevice).Nulls(1).Size(100);
    s.Call(Op::kGetDeviceWithSerialNo).Nulls(1).Size(100);
    for (std::int32_t device : {1, 2, 3, 9, 10, -1, kMax32}) {
      s.Call(Op::kGetFormat).Key(device).Valid().Size(1000);
    }
    s.Call(Op::kGetFormat).Key(2).Nulls(1).Size(1000).Call(Op::kDllVersion).Valid().Size(52);
    s.Call(Op::kDllVersion).Nulls(1).Size(53).Call(Op::kDllVersion).Valid().Size(kMax32);
    seeds.push_back({"listings", s});
  }
  {  // Opens with every kind of bad rate, size and format, each followed by
     // one that must still work.
    Seed s;
    for (double rate : {std::nan(""), HUGE_VAL, -HUGE_VAL, 0.0, -0.0, 1e-300, -1.0, 1e9, 0.5}) {
      s.Open(0, 480, 270, rate).Call(Op::kClose).Key(0).Open(0, 480, 270, 0.0);
      s.Call(Op::kClose).Key(0);
    }
    s.Open(0, 0, 0, 30).Open(0, -1, -1, 30).Open(0, kMax32, kMax32, 30).Open(0, 1920, -1080, 30);
    s.Open(0, 1920, 1081, 30).Open(0, 480, 270, 30, "").Open(0, 480, 270, 30, "yuy2");
    s.Open(0, 480, 270, 30, "H264").Open(0, 480, 270, 30, "RGB32").Open(0, 480, 270, 30, "NV12");
    s.Call(Op::kOpen).Key(0).FrameSize(480, 270).Double(30).Byte(kTextNull);
    s.Call(Op::kOpen).Key(0).FrameSize(480, 270).Double(30).Byte(kTextLong).U16(5000).Byte('Y');
    s.Open(-1, 480, 270, 30).Open(kMax32, 480, 270, 30).Open(10, 480, 270, 30);
    s.Open(3, 640, 480, 30).Open(2, 640, 480, 30).Open(2, 640, 480, 30).Open(1, 656, 408, 120);
    s.Open(0, 480, 270, 60, "MJPG").Advance(17).Receive(0).Receive(0).Receive(2);
    seeds.push_back({"opens", s});
  }
  {  // Opening by serial text: listed texts, texts that only look like them,
     // a text too long to be one and an unterminated one.
    Seed s;
    for (const char* text : kSerialTexts) s.OpenSerial(text, 480, 270, 30);
    s.OpenSerial("QEL2#00C0FFEE", 328, 204, 60).OpenSerial("QEL2#00C0FFEE", 328, 204, 60);
    s.Call(Op::kOpenSerialNo).Byte(kTextUnterminated).U16(124).Byte('Q').Valid();
    s.FrameSize(480, 270).Double(30);
    s.Call(Op::kOpenSerialNo).Byte(kTextLong).U16(123).Byte('Q').Valid();
    s.FrameSize(480, 270).Double(30);
    s.Call(Op::kOpenSerialNo).TableText(kSerialTexts, "QEL5#0000ABCD").Nulls(1);
    s.FrameSize(480, 270).Double(30);
    s.Call(Op::kFirmwareSerial).Device(kQel5Device).U32(0x12345678);
    s.OpenSerial("QEL5#0000ABCD", 480, 270, 30);
    s.Call(Op::kUsbSerial).Device(kQel2Device).Byte(kTextNull);
    s.OpenSerial("QEL2#00C0FFEE", 328, 204, 60).Listing(true, 200);
    seeds.push_back({"serial-opens", s});
  }
  {  // The rig changing under open cameras: devices unplugged and added,
     // names, report lengths, HID interfaces, properties.
    Seed s;
    s.Open(0, 480, 270, 30).Open(1, 328, 204, 60).Open(2, 640, 480, 30);
    s.Call(Op::kRemoveDevice).Device(kQel5Device).Advance(34).Receive(0);
    s.Call(Op::kGetShutter).Key(0).Valid().Call(Op::kSetLed).Key(0).Int(10);
    s.Call(Op::kAddCamera).TableText(kDeviceNames, "QEL5").U32(0xABCD);
    s.Call(Op::kAddCamera).TableText(kDeviceNames, "QEL").U32(7);
    s.Call(Op::kAddWebcam).TableText(kDeviceNames, "USB Camera, HD").U32(0);
    s.Call(Op::kAddSoftwareSource).TableText(kDeviceNames, "QEL5").U32(0);
    s.Listing(true, 1000).Open(3, 1280, 720, 30).Open(4, 480, 270, 30).Open(5, 640, 480, 30);
    s.Call(Op::kDisplayName).Device(kQel2Device).TableText(kDeviceNames, "QEL2");
    s.Listing(false, 1000).Call(Op::kClose).Key(0).Open(0, 480, 270, 30);
    s.Call(Op::kReportLengths).Device(5).Byte(2).Byte(2);  // 9-byte reports
    s.Open(4, 480, 270, 30).Call(Op::kSetSerialNo).Key(4).U32(0x01020304);
    s.Call(Op::kReportLengths).Device(5).Byte(3).Byte(0);  // 80-byte input reports
    s.Call(Op::kTemperature).Key(4).Int(3).Valid();
    s.Call(Op::kAddHidInterface).Device(4).Byte(1 | QELSIM_HID_NO_CAPS << 1);
    s.Call(Op::kSetHidParent).Device(4).TableText(kParentIds, "");
    s.Call(Op::kAddForeignHid)
        .TableText(kParentIds, "USB\\VID_1F3A&PID_5005&MI_02\\6&0000ABCD&0&0002");
    s.Call(Op::kClose).Key(3).Open(3, 1280, 720, 30).Listing(true, 1000);
    s.Call(Op::kSetProperty).Device(4).Byte(10).Byte(0).Int(0).Int(0).Int(0).Int(0).Int(0).Int(0);
    s.Call(Op::kPropertyInterfaces).Device(4).Byte(0).Call(Op::kGetLed).Key(3).Valid();
    s.Call(Op::kFrameMode).Device(4).Byte(QELSIM_FRAMES_NONE).Call(Op::kClose).Key(3);
    s.Open(3, 1280, 720, 30).Call(Op::kRigQueries).Device(4).Valid().Size(100);
    s.Int(0).Int(0).Int(0).Int(8).Int(0).Int(0).Int(0).Int(0).Byte(kTextNull).Int(-1).Int(0);
    s.Call(Op::kCapsSize).Device(4).Int(64).Open(3, 1280, 720, 30).Call(Op::kGetFormat).Key(3);
    s.Valid().Size(1000).Call(Op::kCapsSize).Device(4).Int(kMax32).Open(3, 1280, 720, 30);
    seeds.push_back({"rig-changes", s});
  }
  {  // A platform fault at each named point during an open, a listing and a
     // close, with the next open after it.
    Seed s;
    for (const std::string& point : FaultPoints()) {
      s.Fault(-1, point.c_str(), 0, 1).Open(0, 480, 270, 30).Listing(true, 200);
      s.Call(Op::kSetGain).Key(0).Int(100).Call(Op::kGetExposure).Key(0).Valid();
      s.Fault(-1, point.c_str(), 0, 1).Call(Op::kClose).Key(0).Call(Op::kClearFaults);
      s.Open(0, 480, 270, 30).Call(Op::kClose).Key(0);
    }
    seeds.push_back({"fault-points", s});
  }
  {  // Each kind of firmware fault on the commands of an open camera, and
     // the clock about to wrap.
    Seed s;
    s.Open(0, 480, 270, 30).Call(Op::kSetTickCount).U16(100);
    for (int kind = QELSIM_FW_STATUS; kind <= QELSIM_FW_CORRUPT; ++kind) {
      s.FirmwareFault(kQel5Device, -1, kind, kind == QELSIM_FW_STALE ? 300 : 2, 0, 2);
      s.Call(Op::kGetSerialNo).Key(0).Valid().Call(Op::kVersion).Key(0).Valid().Size(62);
      s.Call(Op::kGetRegisterW).Key(0).Int(7).Valid().Call(Op::kSetSerialNo).Key(0).U32(9);
      s.Call(Op::kGetPixelDefect).Key(0).Int(1).Int(0).Valid();
      s.Call(Op::kClearFaults);
    }
    seeds.push_back({"firmware-faults", s});
  }
  return seeds;
}

void WriteSeeds(const char* directory) {
  std::filesystem::create_directories(directory);
  for (const NamedSeed& seed : MakeSeeds()) {
    const std::string path = std::string(directory) + "/" + seed.name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) Fail("cannot write a seed");
    std::fwrite(seed.seed.Bytes().data(), 1, seed.seed.Bytes().size(), file);
    std::fclose(file);
    std::printf("%s: %zu bytes\n", path.c_str(), seed.seed.Bytes().size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  qelsim_enable(1);  // the rig, also where a hardware backend is the default
  for (int i = 1; i + 1 < *argc; ++i) {
    if (std::strcmp((*argv)[i], "--make-seeds") == 0) {
      WriteSeeds((*argv)[i + 1]);
      std::exit(0);
    }
  }
  TempDir::Instance();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RunInput(data, size);
  return 0;
}

// Replaced for the whole program so that camera memory can be kept (see
// BlockCache). Every form that pairs with a plain delete allocates with
// malloc, so the sanitizer still sees overruns, leaks and uses after free,
// but in this program it no longer tells new from malloc: mismatched
// new/delete pairs are left to the test suite's sanitizer build. The aligned
// forms stay the sanitizer's own.
void* operator new(std::size_t size) {
  void* block = size == kCameraMemorySize ? CachedBlock() : std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return size == kCameraMemorySize ? CachedBlock() : std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return ::operator new(size, tag);
}
void operator delete(void* block) noexcept {
  if (!ReturnBlock(block)) std::free(block);
}
void operator delete[](void* block) noexcept { ::operator delete(block); }
void operator delete(void* block, std::size_t) noexcept { ::operator delete(block); }
void operator delete[](void* block, std::size_t) noexcept { ::operator delete(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { ::operator delete(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { ::operator delete(block); }
