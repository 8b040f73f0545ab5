// Runs in a directory that also holds a planted hid.dll (planted_hid.c): the
// backend's HID services must reach the system's hid.dll, and the planted one
// must never be loaded into the process.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "platform/win32/win32_platform.h"

int main() {
  // The HID walk's first call goes to hid.dll.
  qel::platform::win32::HardwarePlatform().GetHidInterfaceSet();

  int failures = 0;
  wchar_t flag[8];
  if (GetEnvironmentVariableW(L"QEL_PLANTED_HID_LOADED", flag, 8) != 0) {
    std::puts("the planted hid.dll was loaded");
    ++failures;
  }
  const HMODULE hid = GetModuleHandleW(L"hid.dll");
  wchar_t path[MAX_PATH] = {};
  wchar_t system[MAX_PATH] = {};
  if (hid == nullptr || GetModuleFileNameW(hid, path, MAX_PATH) == 0 ||
      GetSystemDirectoryW(system, MAX_PATH) == 0) {
    std::puts("no hid.dll was loaded");
    return 1;
  }
  wchar_t* name = std::wcsrchr(path, L'\\');
  if (name != nullptr) *name = L'\0';
  if (_wcsicmp(path, system) != 0) {
    std::printf("hid.dll was loaded from %ls, not from %ls\n", path, system);
    ++failures;
  }
  return failures == 0 ? 0 : 1;
}
