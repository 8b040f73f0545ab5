// QelDLLVersion and QelLibraryVersion: the library's version and build stamp.
#include <cstdio>
#include <cstring>

#include "core/exports.h"
#include "qel/qel.h"

QelBool qel::exports::QelDLLVersion(char* text, int32_t size) {
  if (text == nullptr || size < 1) return 0;
  char version[256];
  const int length = std::snprintf(version, sizeof version,
                                   "Version 1.2.0.2\r\nDate : %s\r\nTime : %s", __DATE__, __TIME__);
  if (length < 0 || length >= size) {
    text[0] = '\0';
    return 0;
  }
  std::memcpy(text, version, static_cast<std::size_t>(length) + 1);
  return 1;
}

void qel::exports::QelLibraryVersion(int32_t* major, int32_t* minor, int32_t* patch) {
  if (major != nullptr) *major = QEL_VERSION_MAJOR;
  if (minor != nullptr) *minor = QEL_VERSION_MINOR;
  if (patch != nullptr) *patch = QEL_VERSION_PATCH;
}
