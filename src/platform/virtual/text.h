// Text conversions of the rig.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qel::sim {

// UTF-8 to UTF-16; malformed bytes become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// The ANSI code page of the rig: ASCII as is, every other character '?'.
std::string WideToAnsi(std::u16string_view text);
// Copies text with its terminator into buffer of size bytes; false (and an
// empty text when size > 0) when it does not fit or buffer is null.
bool CopyText(const std::string& text, char* buffer, std::int64_t size);

}  // namespace qel::sim
