#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

#include "qel/qel.h"

TEST(DllVersion, FitsIn53BytesAsThreeLines) {
  char text[53];
  std::memset(text, 'x', sizeof text);
  ASSERT_EQ(QelDLLVersion(text, sizeof text), 1);
  EXPECT_EQ(std::strlen(text), 52u);
  const std::string version = std::regex_replace(QEL_VERSION_STRING, std::regex("\\."), "\\.");
  const std::regex form("Version " + version +
                        "\r\nDate : [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4}\r\nTime : "
                        "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]");
  EXPECT_TRUE(std::regex_match(text, form)) << text;
}

// The one version number of the build reaches the header's macros whole.
TEST(DllVersion, HeaderMacrosSpellTheVersion) {
  const std::string parts =
      std::to_string(QEL_VERSION_MAJOR) + "." + std::to_string(QEL_VERSION_MINOR) + "." +
      std::to_string(QEL_VERSION_PATCH) + "." + std::to_string(QEL_VERSION_TWEAK);
  EXPECT_EQ(parts, QEL_VERSION_STRING);
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
