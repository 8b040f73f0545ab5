#include "core/ansi_text.h"

#include <cstring>

#include "platform/platform.h"

namespace qel {
namespace {

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string AnsiTextFitting(std::u16string_view wide, std::size_t capacity) {
  if (capacity == 0) return std::string();
  platform::Platform& platform = platform::ActivePlatform();
  std::string whole = platform.WideToAnsi(wide);
  if (whole.size() < capacity) return whole;
  // Too long: character by character (a surrogate pair is one character),
  // each converted on its own, which gives the same bytes as the whole text
  // since the ANSI code pages keep no state between characters.
  std::string cut;
  for (std::size_t at = 0; at < wide.size();) {
    const std::size_t units =
        IsHighSurrogate(wide[at]) && at + 1 < wide.size() && IsLowSurrogate(wide[at + 1]) ? 2 : 1;
    const std::string character = platform.WideToAnsi(wide.substr(at, units));
    if (cut.size() + character.size() >= capacity) break;
    cut += character;
    at += units;
  }
  return cut;
}

void CopyAnsiText(std::u16string_view wide, char* destination, std::size_t capacity) {
  if (destination == nullptr || capacity == 0) return;
  const std::string text = AnsiTextFitting(wide, capacity);
  std::memcpy(destination, text.data(), text.size());
  destination[text.size()] = '\0';
}

}  // namespace qel
