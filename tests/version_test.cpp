#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "qel/qel.h"

TEST(DllVersion, FitsIn53BytesAsThreeLines) {
  char text[53];
  std::memset(text, 'x', sizeof text);
  ASSERT_EQ(QelDLLVersion(text, sizeof text), 1);
  EXPECT_EQ(std::strlen(text), 52u);
  const std::regex form(
      "Version 1\\.2\\.0\\.2\r\nDate : [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4}\r\nTime : "
      "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]");
  EXPECT_TRUE(std::regex_match(text, form)) << text;
}

TEST(DllVersion, TooSmallOrMissingBufferFails) {
  char text[52];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(QelDLLVersion(text, sizeof text), 0);
  EXPECT_EQ(text[0], '\0');

  char untouched = 'x';
  EXPECT_EQ(QelDLLVersion(&untouched, 0), 0);
  EXPECT_EQ(untouched, 'x');
  EXPECT_EQ(QelDLLVersion(nullptr, 100), 0);
}
