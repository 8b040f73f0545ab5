#include "platform/linux/utf_text.h"

#include <gtest/gtest.h>

namespace qel::test {
namespace {

using platform::linux_hw::Utf16ToUtf8;
using platform::linux_hw::Utf8ToUtf16;

TEST(LinuxText, ConversionsKeepCodePointsAndReplaceWhatIsMalformed) {
  EXPECT_EQ(Utf16ToUtf8(u"QEL5 \u00e9\u20ac\U0001F4F7"),
            "QEL5 \xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\xB7");
  const char16_t unpaired[] = {u'a', 0xD83D, u'b', 0xDC37, 0};
  EXPECT_EQ(Utf16ToUtf8(unpaired), "a?b?");
  EXPECT_EQ(Utf8ToUtf16("0000\xC3\xA9\xF0\x9F\x93\xB7"), u"0000\u00e9\U0001F4F7");
  // A cut sequence, an overlong form and an encoded surrogate.
  EXPECT_EQ(Utf8ToUtf16("a\xE2\x82"), u"a\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
}

}  // namespace
}  // namespace qel::test
