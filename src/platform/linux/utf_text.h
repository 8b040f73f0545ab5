// Conversions between the seam's UTF-16 text and the UTF-8 of the system.
#pragma once

#include <string>
#include <string_view>

namespace qel::platform::linux_hw {

// An unpaired surrogate becomes '?', as the other platform's conversion to
// its code page makes it.
std::string Utf16ToUtf8(std::u16string_view text);

// A malformed sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace qel::platform::linux_hw
