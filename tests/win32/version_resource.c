/* Reads qel.dll's version resource as Windows' file properties do and
 * checks it against the version of the headers: the fixed file and product
 * versions and the strings a user sees. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "qel/qel_version.h"

static int StringIs(void* info, const char* name, const char* expected) {
  char path[128];
  char* value = NULL;
  UINT length = 0;
  snprintf(path, sizeof path, "\\StringFileInfo\\040904B0\\%s", name);
  if (!VerQueryValueA(info, path, (void**)&value, &length) || strcmp(value, expected) != 0) {
    fprintf(stderr, "%s is '%s', not '%s'\n", name, value ? value : "(none)", expected);
    return 0;
  }
  return 1;
}

int main(void) {
  static char info[8192];
  DWORD size = GetFileVersionInfoSizeA("qel.dll", NULL);
  if (size == 0 || size > sizeof info || !GetFileVersionInfoA("qel.dll", 0, size, info)) {
    fputs("qel.dll has no version resource\n", stderr);
    return 1;
  }
  VS_FIXEDFILEINFO* fixed = NULL;
  UINT length = 0;
  if (!VerQueryValueA(info, "\\", (void**)&fixed, &length) || length < sizeof *fixed) return 1;
  const DWORD ms = MAKELONG(QEL_VERSION_MINOR, QEL_VERSION_MAJOR);
  const DWORD ls = MAKELONG(QEL_VERSION_TWEAK, QEL_VERSION_PATCH);
  int ok = fixed->dwFileVersionMS == ms && fixed->dwFileVersionLS == ls &&
           fixed->dwProductVersionMS == ms && fixed->dwProductVersionLS == ls &&
           fixed->dwFileType == VFT_DLL;
  if (!ok) fputs("the fixed file information is not the headers' version\n", stderr);
  ok = StringIs(info, "FileVersion", QEL_VERSION_STRING) && ok;
  ok = StringIs(info, "ProductVersion", QEL_VERSION_STRING) && ok;
  ok = StringIs(info, "ProductName", "qel") && ok;
  ok = StringIs(info, "OriginalFilename", "qel.dll") && ok;
  ok = StringIs(info, "FileDescription", "QEL camera control library") && ok;
  if (ok) printf("qel.dll version resource: %s\n", QEL_VERSION_STRING);
  return ok ? 0 : 1;
}
