// QelLastErrorCode and QelLastError: the calling thread's last reason
// (core/last_error.h). Their bracket leaves the reason as it is.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "core/exports.h"
#include "core/last_error.h"
#include "qel/qel.h"

int32_t qel::exports::QelLastErrorCode() { return static_cast<int32_t>(qel::LastErrorCode()); }

int32_t qel::exports::QelLastError(char* text, int32_t size) {
  const std::string_view reason = qel::LastErrorText();
  if (size < 0 || (text == nullptr && size > 0)) return -1;
  if (size > 0) {
    const std::size_t copied = std::min(reason.size(), static_cast<std::size_t>(size) - 1);
    std::memcpy(text, reason.data(), copied);
    text[copied] = '\0';
  }
  return static_cast<int32_t>(reason.size());
}
