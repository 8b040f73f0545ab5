// QelSoftRewrite and QelSoftRewriteState: the erase, the 56-byte write and
// read-back blocks read from the rig's log, retries, the progress the poll
// reports, and what happens around a rewrite that is running.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#if !defined(_WIN32)
#  include <fcntl.h>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

#include "core/camera_table.h"
#include "firmware/image_file.h"
#include "firmware/rewrite_record.h"
#include "hid/hid_channel.h"
#include "support/rig_fixture.h"

namespace qel::test {
namespace {

using Report = std::array<unsigned char, 65>;

constexpr int kWrite = 0x20;
constexpr int kRead = 0x21;
constexpr int kErase = 0x22;

class FirmwareRewriteTest : public RigTest {
 protected:
  void SetUp() override {
    RigTest::SetUp();
    // The smallest size keeps the frames that each clock advance delivers cheap.
    ASSERT_EQ(QelOpen(0, 480, 270, 30.0, "YUY2"), 0);
    qelsim_log_clear();
  }

  void TearDown() override {
    EndRewrite();
    for (const std::string& path : files_) std::filesystem::remove_all(path);
    RigTest::TearDown();
  }

  // Ends a rewrite still running (a test that failed half-way) and empties
  // the record, so that the next test starts without one.
  static void EndRewrite() {
    qelsim_clear_faults();  // releases a held request too
    RewriteRecord& record = Rewrite();
    std::shared_ptr<HidChannel> channel;
    {
      std::lock_guard lock(record.lock);
      channel = record.channel;
    }
    if (channel) channel->Close();
    ASSERT_TRUE(WaitUntil([&] {
      std::lock_guard lock(record.lock);
      return !record.busy;
    })) << "the rewrite thread did not end";
    std::lock_guard lock(record.lock);
    record.channel.reset();
    record.state = kRewriteFailed;
  }

  // Waits in real time, up to 30 s, until done() holds.
  template <typename Done>
  static bool WaitUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  }
  static bool AwaitHeld(int device = kQel5Device) {
    return WaitUntil([device] { return qelsim_firmware_held(device) == 1; });
  }

  static std::vector<std::uint8_t> Image(std::size_t size) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i)
      image[i] = static_cast<std::uint8_t>(i * 31 + 7 + (i >> 8));
    return image;
  }

  std::string ImageFile(const std::vector<std::uint8_t>& image) {
    const std::string path = ::testing::TempDir() + "qel_rewrite_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                             std::to_string(files_.size()) + ".bin";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    files_.push_back(path);
    return path;
  }

  // Polls until the rewrite reports 0 or -1, checking on the way that the
  // state moves only forward (3, 1, 2, then 0) and the progress never falls.
  static int32_t AwaitFinalState(int key, int32_t& seconds, float& percent) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int rank = 0;
    float lastPercent = 0.0f;
    for (;;) {
      const int32_t state = QelSoftRewriteState(key, &seconds, &percent);
      if (state == 0 || state == -1) return state;
      const int stateRank = state == 3 ? 0 : state == 1 ? 1 : state == 2 ? 2 : -1;
      EXPECT_GE(stateRank, rank) << "state " << state;
      EXPECT_GE(percent, lastPercent);
      rank = stateRank;
      lastPercent = percent;
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "the rewrite did not end";
        return -2;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  static int32_t AwaitFinalState(int key) {
    int32_t seconds = 0;
    float percent = 0.0f;
    return AwaitFinalState(key, seconds, percent);
  }

  static std::vector<Report> Reports(int device = kQel5Device) {
    std::vector<Report> reports(static_cast<std::size_t>(qelsim_log_report_count(device)));
    for (std::size_t i = 0; i < reports.size(); ++i) {
      qelsim_log_report(device, static_cast<int>(i), reports[i].data(), 65);
    }
    return reports;
  }
  // The commands sent, each as its code and 24-bit address ("20@000038").
  static std::vector<std::string> Blocks(int device = kQel5Device) {
    std::vector<std::string> blocks;
    for (const Report& r : Reports(device)) {
      char text[16];
      std::snprintf(text, sizeof text, "%02X@%02X%02X%02X", r[2], r[3], r[4], r[5]);
      blocks.emplace_back(text);
    }
    return blocks;
  }
  static int Count(int code, int device = kQel5Device) {
    int n = 0;
    for (const Report& r : Reports(device)) n += r[2] == code;
    return n;
  }
  static std::vector<std::uint8_t> Memory(std::uint32_t size) {
    std::vector<std::uint8_t> memory(size);
    qelsim_read_memory(kQel5Device, 0, memory.data(), size);
    return memory;
  }

 private:
  std::vector<std::string> files_;
};

TEST_F(FirmwareRewriteTest, HundredByteImageTakesTwoBlocksEachWay) {
  const std::vector<std::uint8_t> image = Image(100);
  ASSERT_TRUE(QelSoftRewrite(0, ImageFile(image).c_str()));
  int32_t seconds = -1;
  float percent = -1.0f;
  ASSERT_EQ(AwaitFinalState(0, seconds, percent), 0);
  EXPECT_FLOAT_EQ(percent, 100.0f) << "the last block's bytes past the image do not count";
  EXPECT_EQ(seconds, 0);

  EXPECT_EQ(Blocks(), (std::vector<std::string>{"22@000000", "20@000000", "20@000038", "21@000000",
                                                "21@000038"}));
  const std::vector<Report> reports = Reports();
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 56, reports[1].begin() + 6));
  EXPECT_TRUE(std::equal(image.begin() + 56, image.end(), reports[2].begin() + 6));
  for (int byte = 50; byte < 65; ++byte) EXPECT_EQ(reports[2][byte], 0) << "padding, byte " << byte;
  for (int byte = 6; byte < 65; ++byte)
    EXPECT_EQ(reports[3][byte], 0) << "read request, byte " << byte;
  std::vector<std::uint8_t> expected = image;
  expected.resize(112, 0);
  expected.resize(120, 0xFF);
  EXPECT_EQ(Memory(120), expected);
}

TEST_F(FirmwareRewriteTest, EraseNamesTheLast64KiBlockOfTheImage) {
  const std::vector<std::uint8_t> image = Image(65536);
  ASSERT_TRUE(QelSoftRewrite(
      0, ImageFile(std::vector<std::uint8_t>(image.begin(), image.end() - 1)).c_str()));
  EXPECT_EQ(ReportHex(kQel5Device, 0, 2, 3), "22 00 00");
  ASSERT_EQ(AwaitFinalState(0), 0);

  qelsim_log_clear();
  ASSERT_TRUE(QelSoftRewrite(0, ImageFile(image).c_str()));
  EXPECT_EQ(ReportHex(kQel5Device, 0, 2, 3), "22 00 01");
  int32_t seconds = 0;
  float percent = 0.0f;
  ASSERT_EQ(AwaitFinalState(0, seconds, percent), 0);
  EXPECT_EQ(Count(kWrite), 1171);
  EXPECT_EQ(Count(kRead), 1171);
  EXPECT_FLOAT_EQ(percent, 100.0f);
  EXPECT_EQ(Memory(65536), image);
}

TEST_F(FirmwareRewriteTest, WriteIsRetriedFiveTimesPerBlock) {
  const std::string path = ImageFile(Image(100));
  // Block 1 is refused five times, then taken.
  qelsim_firmware_fault(kQel5Device, kWrite, QELSIM_FW_STATUS, 1, 1, 5);
  ASSERT_TRUE(QelSoftRewrite(0, path.c_str()));
  EXPECT_EQ(AwaitFinalState(0), 0);
  EXPECT_EQ(Blocks(), (std::vector<std::string>{"22@000000", "20@000000", "20@000038", "20@000038",
                                                "20@000038", "20@000038", "20@000038", "20@000038",
                                                "21@000000", "21@000038"}));

  // A reply that does not echo the address fails the attempt like a refusal:
  // three of each in a row end the rewrite.
  qelsim_log_clear();
  qelsim_firmware_fault(kQel5Device, kWrite, QELSIM_FW_BAD_ECHO, 0, 0, 3);
  qelsim_firmware_fault(kQel5Device, kWrite, QELSIM_FW_STATUS, 1, 3, 3);
  ASSERT_TRUE(QelSoftRewrite(0, path.c_str()));
  EXPECT_EQ(AwaitFinalState(0), -1);
  EXPECT_EQ(Count(kWrite), 6);
  EXPECT_EQ(Count(kRead), 0);
}

TEST_F(FirmwareRewriteTest, ReadBackIsRepeatedButNeverRewritten) {
  const std::string path = ImageFile(Image(100));
  // Five mismatches on block 0, then a good read.
  qelsim_firmware_fault(kQel5Device, kRead, QELSIM_FW_CORRUPT, 0, 0, 5);
  const std::uint32_t start = qelsim_now_ms();
  ASSERT_TRUE(QelSoftRewrite(0, path.c_str()));
  EXPECT_EQ(AwaitFinalState(0), 0);
  EXPECT_EQ(Count(kWrite), 2) << "a mismatch does not write the block again";
  EXPECT_EQ(Count(kRead), 7);
  EXPECT_GE(qelsim_now_ms() - start, 50u) << "10 ms pause after each mismatch";

  // Failed exchanges between mismatches do not reset their count: the sixth
  // mismatch ends the rewrite.
  qelsim_log_clear();
  qelsim_firmware_fault(kQel5Device, kRead, QELSIM_FW_CORRUPT, 0, 0, 3);
  qelsim_firmware_fault(kQel5Device, kRead, QELSIM_FW_STATUS, 1, 3, 2);
  qelsim_firmware_fault(kQel5Device, kRead, QELSIM_FW_CORRUPT, 0, 5, 3);
  ASSERT_TRUE(QelSoftRewrite(0, path.c_str()));
  EXPECT_EQ(AwaitFinalState(0), -1);
  EXPECT_EQ(Count(kRead), 8);

  // Six failed read exchanges in a row end it too, with the progress the
  // write phase reached: the whole image, 100 of 200.
  qelsim_log_clear();
  qelsim_firmware_fault(kQel5Device, kRead, QELSIM_FW_BAD_ECHO, 0, 0, 6);
  ASSERT_TRUE(QelSoftRewrite(0, path.c_str()));
  int32_t seconds = 0;
  float percent = 0.0f;
  EXPECT_EQ(AwaitFinalState(0, seconds, percent), -1);
  EXPECT_FLOAT_EQ(percent, 50.0f);
  EXPECT_EQ(Count(kRead), 6);
}

TEST_F(FirmwareRewriteTest, FailuresAtDifferentBlocksDoNotAddUp) {
  // Three of each kind at each of the two blocks: nine failed writes or
  // reads, and six mismatches, but never six in a row at one block.
  qelsim_firmware_fault(kQel5Device, kWrite, QELSIM_FW_STATUS, 1, 0, 3);
  qelsim_firmware_fault(kQel5Device, kWrite, QELSIM_FW_STATUS, 1, 4, 3);
  qelsim_firmware_fault(kQel5Device, kRead, QELSIM_FW_BAD_ECHO, 0, 0, 3);
  qelsim_firmware_fault(kQel5Device, kRead, QELSIM_FW_CORRUPT, 0, 3, 3);
  qelsim_firmware_fault(kQel5Device, kRead, QELSIM_FW_BAD_ECHO, 0, 7, 3);
  qelsim_firmware_fault(kQel5Device, kRead, QELSIM_FW_CORRUPT, 0, 10, 3);
  ASSERT_TRUE(QelSoftRewrite(0, ImageFile(Image(100)).c_str()));
  EXPECT_EQ(AwaitFinalState(0), 0);
  EXPECT_EQ(Count(kWrite), 8);
  EXPECT_EQ(Count(kRead), 14);
}

TEST_F(FirmwareRewriteTest, ElapsedSecondsCountTheCameraTimeOuts) {
  // Block 0's first write is not answered: 5 s pass before it is repeated.
  qelsim_firmware_fault(kQel5Device, kWrite, QELSIM_FW_SILENT, 0, 0, 1);
  ASSERT_TRUE(QelSoftRewrite(0, ImageFile(Image(100)).c_str()));
  int32_t seconds = 0;
  float percent = 0.0f;
  EXPECT_EQ(AwaitFinalState(0, seconds, percent), 0);
  EXPECT_EQ(seconds, 5);
  EXPECT_EQ(Count(kWrite), 3);
}

TEST_F(FirmwareRewriteTest, PollsAnswerOnlyForTheCameraBeingRewritten) {
  ASSERT_EQ(QelOpen(1, 1280, 720, 60.0, "YUY2"), 0);
  ASSERT_EQ(QelOpen(2, 640, 480, 30.0, "YUY2"), 1);
  int32_t seconds = 77;
  float percent = 77.0f;
  EXPECT_EQ(QelSoftRewriteState(0, &seconds, &percent), -1) << "before any rewrite";
  EXPECT_EQ(seconds, 77);

  qelsim_firmware_fault(kQel5Device, kWrite, QELSIM_FW_SILENT, 0, 0, 1);
  ASSERT_TRUE(QelSoftRewrite(0, ImageFile(Image(100)).c_str()));
  for (int key : {1, 2, 7, -1}) {
    EXPECT_EQ(QelSoftRewriteState(key, &seconds, &percent), -1) << key;
  }
  EXPECT_EQ(QelSoftRewriteState(0, nullptr, &percent), -1);
  EXPECT_EQ(QelSoftRewriteState(0, &seconds, nullptr), -1);
  EXPECT_EQ(seconds, 77);
  EXPECT_EQ(percent, 77.0f);

  ASSERT_EQ(AwaitFinalState(0, seconds, percent), 0);
  EXPECT_EQ(seconds, 5);
  EXPECT_FLOAT_EQ(percent, 100.0f);
  // The final state stays to be read again, by this camera only.
  seconds = 77;
  percent = 77.0f;
  EXPECT_EQ(QelSoftRewriteState(0, &seconds, &percent), 0);
  EXPECT_EQ(seconds, 5);
  EXPECT_FLOAT_EQ(percent, 100.0f);
  EXPECT_EQ(QelSoftRewriteState(1, &seconds, &percent), -1);
}

TEST_F(FirmwareRewriteTest, RefusedBeforeAnythingIsSent) {
  ASSERT_EQ(QelOpen(2, 640, 480, 30.0, "YUY2"), 1);
  const std::string path = ImageFile(Image(100));
  EXPECT_FALSE(QelSoftRewrite(0, nullptr));
  EXPECT_FALSE(QelSoftRewrite(0, (path + ".missing").c_str()));
  EXPECT_FALSE(QelSoftRewrite(-1, path.c_str()));
  EXPECT_FALSE(QelSoftRewrite(7, path.c_str()));
  EXPECT_FALSE(QelSoftRewrite(2, path.c_str())) << "capture only: no command channel";

  // An empty image would erase the first memory block and report success.
  EXPECT_FALSE(QelSoftRewrite(0, ImageFile({}).c_str()));
  // Images whose last 56-byte block would run past the 24-bit address space.
  const std::string huge = ImageFile({});
  for (std::uintmax_t size : {16'777'209u, 16'777'216u, 16'777'217u}) {
    std::filesystem::resize_file(huge, size);
    EXPECT_FALSE(QelSoftRewrite(0, huge.c_str())) << size;
  }
  // A directory opens, but has no size to read.
  const std::string directory = ::testing::TempDir() + "qel_rewrite_directory";
  std::filesystem::create_directories(directory);
  ImageFile({});  // removed again at the end
  EXPECT_FALSE(QelSoftRewrite(0, directory.c_str()));
  std::filesystem::remove(directory);
  EXPECT_EQ(qelsim_log_report_count(-1), 0);

  // An erase the camera refuses leaves no rewrite behind.
  qelsim_firmware_fault(kQel5Device, kErase, QELSIM_FW_STATUS, 1, 0, 1);
  EXPECT_FALSE(QelSoftRewrite(0, path.c_str()));
  EXPECT_EQ(Blocks(), std::vector<std::string>{"22@000000"});
  int32_t seconds = 77;
  float percent = 77.0f;
  EXPECT_EQ(QelSoftRewriteState(0, &seconds, &percent), -1);
  EXPECT_EQ(seconds, 77);
  EXPECT_TRUE(QelSoftRewrite(0, path.c_str()));
  EXPECT_EQ(AwaitFinalState(0), 0);

  // The largest image whose last block ends at 0xFFFFFF is taken.
  qelsim_log_clear();
  std::filesystem::resize_file(huge, 16'777'208u);
  qelsim_firmware_fault(kQel5Device, kWrite, QELSIM_FW_STATUS, 1, 0, 6);
  ASSERT_TRUE(QelSoftRewrite(0, huge.c_str()));
  EXPECT_EQ(ReportHex(kQel5Device, 0, 2, 3), "22 00 FF");
  EXPECT_EQ(AwaitFinalState(0), -1);
}

// Only a regular file is read, and the refusal comes at once: a FIFO would
// otherwise hold the call, and every later rewrite, until a writer came.
TEST_F(FirmwareRewriteTest, OnlyRegularFilesAreReadAndRefusalsComeAtOnce) {
  const std::string base = ::testing::TempDir() + "qel_rewrite_special_";
  std::vector<std::pair<std::string, std::string>> refused;
  refused.emplace_back(base + "directory", "is a directory, not a regular file");
  std::filesystem::create_directories(refused.back().first);
#if !defined(_WIN32)
  refused.emplace_back(base + "fifo", "is a FIFO, not a regular file");
  std::filesystem::remove(refused.back().first);
  ASSERT_EQ(mkfifo(refused.back().first.c_str(), 0600), 0);
#endif
  for (const auto& [path, reason] : refused) {
    auto call = std::async(std::launch::async, [&path] {
      const bool started = QelSoftRewrite(0, path.c_str()) != 0;
      char text[512] = {};
      QelLastError(text, sizeof text);
      return std::make_tuple(started, QelLastErrorCode(), std::string(text));
    });
    if (call.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << path << " held the call";
#if !defined(_WIN32)
      ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));  // lets a waiting open go on
#endif
    }
    const auto [started, code, text] = call.get();
    EXPECT_FALSE(started) << path;
    EXPECT_EQ(code, QEL_ERROR_FILE) << path;
    EXPECT_NE(text.find("\"" + path + "\" " + reason), std::string::npos) << text;
    std::filesystem::remove(path);
  }
  EXPECT_EQ(qelsim_log_report_count(-1), 0);
  ASSERT_TRUE(QelSoftRewrite(0, ImageFile(Image(100)).c_str())) << "no claim was left behind";
  EXPECT_EQ(AwaitFinalState(0), 0);
}

#if defined(__GLIBC__)
// A stream that reports a size of 1000 bytes and yields `readable` of them;
// fewer than 1000 as a file cut short while it is read does.
struct Stream {
  long position;
  long readable;
};
ssize_t ReadStream(void* cookie, char* buffer, size_t size) {
  Stream& stream = *static_cast<Stream*>(cookie);
  const long n =
      std::min<long>(static_cast<long>(size), std::max(0L, stream.readable - stream.position));
  std::memset(buffer, 0x5A, static_cast<std::size_t>(n));
  stream.position += n;
  return n;
}
int SeekStream(void* cookie, off64_t* offset, int whence) {
  Stream& stream = *static_cast<Stream*>(cookie);
  stream.position = whence == SEEK_END   ? 1000 + *offset
                    : whence == SEEK_CUR ? stream.position + *offset
                                         : *offset;
  *offset = stream.position;
  return 0;
}
#endif

TEST(FirmwareImage, ShortReadIsRefused) {
#if defined(__GLIBC__)
  for (long readable : {1000L, 600L}) {
    Stream stream{0, readable};
    std::FILE* file = fopencookie(&stream, "rb", {ReadStream, nullptr, SeekStream, nullptr});
    ASSERT_NE(file, nullptr);
    std::uint32_t size = 0;
    const auto image = ReadImage(file, size);
    std::fclose(file);
    EXPECT_EQ(image != nullptr, readable == 1000) << readable << " of 1000 bytes readable";
  }
#else
  GTEST_SKIP() << "needs a stream whose reads fall short of its size";
#endif
}

TEST_F(FirmwareRewriteTest, PollsAndRewritesDoNotWaitForAStartingOne) {
  ASSERT_EQ(QelOpen(1, 1280, 720, 60.0, "YUY2"), 0);
  qelsim_log_clear();
  const std::string path = ImageFile(Image(100));
  // The erase waits for the camera: file and camera I/O take place without
  // the record's lock, but the record is claimed.
  qelsim_hold_firmware(kQel5Device, kErase, 0);
  std::thread starter([&] { EXPECT_TRUE(QelSoftRewrite(0, path.c_str())); });
  ASSERT_TRUE(AwaitHeld());
  int32_t seconds = 77;
  float percent = 77.0f;
  auto poll = std::async(std::launch::async, [&] {
    return QelSoftRewriteState(1, &seconds, &percent) + QelSoftRewriteState(0, &seconds, &percent);
  });
  auto second = std::async(std::launch::async, [&] { return QelSoftRewrite(1, path.c_str()); });
  const bool polled = poll.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  const bool refused = second.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  qelsim_release_firmware(kQel5Device);
  EXPECT_TRUE(polled) << "a poll waited for the erase";
  EXPECT_TRUE(refused) << "a second rewrite waited for the erase";
  EXPECT_EQ(poll.get(), -2) << "nothing to report for either camera yet";
  EXPECT_FALSE(second.get()) << "one rewrite at a time, a starting one included";
  EXPECT_EQ(qelsim_log_report_count(kQel2Device), 0);
  starter.join();
  EXPECT_EQ(AwaitFinalState(0), 0);
}

TEST_F(FirmwareRewriteTest, OneRewriteAtATimeAndClosingEndsIt) {
  ASSERT_EQ(QelOpen(1, 1280, 720, 60.0, "YUY2"), 0);
  qelsim_log_clear();
  const std::uint32_t size = 56 * 100;
  const std::string big = ImageFile(Image(size));
  const std::string small = ImageFile(Image(100));
  // The camera is held at its 11th block while the rewrite runs.
  qelsim_hold_firmware(kQel5Device, kWrite, 10);
  ASSERT_TRUE(QelSoftRewrite(0, big.c_str()));
  EXPECT_FALSE(QelSoftRewrite(0, small.c_str()));
  EXPECT_FALSE(QelSoftRewrite(1, small.c_str()));
  EXPECT_EQ(qelsim_log_report_count(kQel2Device), 0) << "nothing sent to the other camera";
  ASSERT_TRUE(AwaitHeld());

  // The close waits for the held exchange; none after it is sent.
  const std::shared_ptr<HidChannel> channel = CameraTable::Instance().FindSlot(0)->channel;
  std::thread closer([] { QelClose(0); });
  ASSERT_TRUE(WaitUntil([&] { return channel->Closing(); }));
  qelsim_release_firmware(kQel5Device);
  closer.join();
  std::int32_t state = kRewriteStarted;
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard lock(Rewrite().lock);
    state = Rewrite().state;
    return !Rewrite().busy;
  }));
  EXPECT_EQ(state, kRewriteFailed) << "ended by the close";
  EXPECT_EQ(Count(kWrite), 11);
  EXPECT_EQ(Count(kRead), 0);
  {
    std::lock_guard lock(Rewrite().lock);
    EXPECT_FALSE(Rewrite().image) << "released as the thread ended, with no poll to collect it";
  }

  // The camera opened again gets a rewrite of its own.
  const int sent = qelsim_log_report_count(kQel5Device);
  ASSERT_EQ(QelOpen(0, 480, 270, 30.0, "YUY2"), 0);
  EXPECT_EQ(qelsim_log_report_count(kQel5Device), sent + 22) << "only the open's own reads";
  int32_t seconds = 77;
  float percent = 77.0f;
  EXPECT_EQ(QelSoftRewriteState(0, &seconds, &percent), -1) << "not this opening's rewrite";
  EXPECT_EQ(seconds, 77);
  qelsim_log_clear();
  ASSERT_TRUE(QelSoftRewrite(0, small.c_str()));
  EXPECT_EQ(AwaitFinalState(0), 0);
  EXPECT_EQ(Count(kWrite), 2);
}

}  // namespace
}  // namespace qel::test
