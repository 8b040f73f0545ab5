// What the extended frame functions say about frames and formats: whole
// format names, the sizes they accept and never write past, and the books
// of a fast open's first frame.
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "support/rig_fixture.h"

namespace qel::test {
namespace {

using FrameInfo = RigTest;

TEST_F(FrameInfo, FormatNamesAreWholeWhereverTheyAreGiven) {
  // A subtype without a name is listed by its eight hexadecimal digits.
  qelsim_clear_formats(kQel2Device);
  qelsim_add_format(kQel2Device, 328, 204, 166833, "0x3231564E", 1);
  qelsim_add_format(kQel2Device, 1280, 720, 333333, "RGB555", 1);
  QelFormatEx formats[2];
  ASSERT_EQ(QelGetFormatListEx(1, formats, 2), 2);
  EXPECT_STREQ(formats[0].format, "3231564E");
  EXPECT_EQ(formats[0].frameInterval, 166833);
  EXPECT_DOUBLE_EQ(formats[0].frameRate, 10'000'000.0 / 166833);
  char text[256];
  ASSERT_TRUE(QelGetFormat(1, text, sizeof text));
  EXPECT_EQ(std::string(text).substr(0, 30), "0,328,204,59.940180,3231564E,1") << text;
  QelFormat cut[1];
  ASSERT_EQ(QelGetFormatList(1, cut, 1), 2);
  EXPECT_STREQ(cut[0].format, "3231564") << "the 1.x record keeps its size";

  // The longest name a stream runs with, everywhere the stream's name goes.
  ASSERT_EQ(QelOpen(1, 1280, 720, 30.0, "RGB555"), 0);
  char name[QEL_FORMAT_NAME_SIZE];
  EXPECT_FALSE(QelGetStreamFormat(1, nullptr, nullptr, nullptr, name, 6));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BUFFER_TOO_SMALL);
  ASSERT_TRUE(QelGetStreamFormat(1, nullptr, nullptr, nullptr, name, 7));
  EXPECT_STREQ(name, "RGB555");
  qelsim_advance_ms(40);
  std::vector<unsigned char> frame(1280 * 720 * 2);
  QelFrameInfo info{};
  info.size = sizeof info;
  ASSERT_EQ(QelReceiveImageEx(1, frame.data(), static_cast<int32_t>(frame.size()), &info), 1);
  EXPECT_STREQ(info.formatName, "RGB555");
  EXPECT_STREQ(info.format, "RGB555");

  // A caller built before formatName existed passes the smaller size: the
  // library writes nothing beyond it.
  unsigned char older[sizeof(QelFrameInfo)];
  std::memset(older, 0xEE, sizeof older);
  const uint32_t olderSize = QEL_FRAME_INFO_MIN_SIZE;
  std::memcpy(older, &olderSize, sizeof olderSize);
  qelsim_advance_ms(40);
  ASSERT_EQ(QelReceiveImageEx(1, frame.data(), static_cast<int32_t>(frame.size()),
                              reinterpret_cast<QelFrameInfo*>(older)),
            1);
  for (std::size_t i = QEL_FRAME_INFO_MIN_SIZE; i < sizeof older; ++i) {
    ASSERT_EQ(older[i], 0xEE) << "byte " << i;
  }
  EXPECT_EQ(offsetof(QelFrameInfo, formatName), std::size_t{QEL_FRAME_INFO_MIN_SIZE});
}

TEST_F(FrameInfo, SizesAreCheckedAndNothingIsWrittenPastThem) {
  ASSERT_EQ(QelOpen(0, 960, 540, 30.0, "YUY2"), 0);
  constexpr int32_t kFrame = 960 * 540 * 2;
  std::vector<unsigned char> frame(kFrame + 1, 0xEE);
  QelFrameInfo info{};
  info.size = sizeof info;
  EXPECT_EQ(QelReceiveImageEx(0, frame.data(), -1, &info), -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BAD_ARGUMENT);
  info.size = 4;
  EXPECT_EQ(QelReceiveImageEx(0, frame.data(), kFrame, &info), -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BAD_ARGUMENT);
  info.size = QEL_FRAME_INFO_MIN_SIZE - 1;
  EXPECT_EQ(QelWaitImage(0, frame.data(), kFrame, &info, 0), -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BAD_ARGUMENT);

  info.size = sizeof info;
  qelsim_advance_ms(40);
  EXPECT_EQ(QelReceiveImageEx(0, frame.data(), kFrame - 1, &info), -1) << "one byte short";
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BUFFER_TOO_SMALL);
  EXPECT_EQ(frame[kFrame - 1], 0xEE);
  ASSERT_EQ(QelReceiveImageEx(0, frame.data(), kFrame, &info), 1) << "exactly the frame";
  EXPECT_EQ(frame[kFrame], 0xEE);

  EXPECT_EQ(QelGetBufferSize(-1), 0);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BAD_ARGUMENT);
  char reason[128];
  EXPECT_GT(QelLastError(reason, sizeof reason), 0);
  EXPECT_EQ(QelGetBufferSize(5), 0);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NO_CAMERA);
}

TEST_F(FrameInfo, AFastOpensFirstFrameIsTheFirstHandedOutOrCountsAsDropped) {
  ASSERT_EQ(QelOpenEx(0, 960, 540, 30.0, "YUY2", QEL_OPEN_FAST), 0);
  std::vector<unsigned char> frame(960 * 540 * 2);
  QelFrameInfo info{};
  info.size = sizeof info;
  ASSERT_EQ(QelReceiveImageEx(0, frame.data(), 960 * 540 * 2, &info), 1);
  EXPECT_EQ(info.sequence, 1u);
  EXPECT_EQ(info.dropped, 0u);

  ASSERT_EQ(QelOpenEx(1, 1280, 720, 30.0, "YUY2", QEL_OPEN_FAST), 0);
  const int64_t before = qelsim_frames_delivered(kQel2Device);
  qelsim_advance_ms(34);
  qelsim_advance_ms(34);
  const int64_t more = qelsim_frames_delivered(kQel2Device) - before;
  ASSERT_GE(more, 1);
  frame.resize(1280 * 720 * 2);
  ASSERT_EQ(QelReceiveImageEx(1, frame.data(), 1280 * 720 * 2, &info), 1);
  EXPECT_EQ(info.sequence, static_cast<uint64_t>(1 + more));
  EXPECT_EQ(info.dropped, static_cast<uint64_t>(more)) << "the first frame was overwritten unread";
}

}  // namespace
}  // namespace qel::test
