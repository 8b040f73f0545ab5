// Device names as text in the ANSI code page, cut to the library's fixed
// buffers on a character boundary: a double-byte character is kept whole or
// left out, never split.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qel {

// The ANSI form of wide, at most capacity - 1 bytes long: the whole text when
// it fits, else its longest start of whole characters that does.
std::string AnsiTextFitting(std::u16string_view wide, std::size_t capacity);

// AnsiTextFitting written zero-terminated into destination (capacity bytes).
void CopyAnsiText(std::u16string_view wide, char* destination, std::size_t capacity);

}  // namespace qel
