/* A hid.dll of no use, placed beside a test program as an attacker would
 * place one beside an application: once loaded, it says so in the process's
 * environment. It exports the functions a program importing hid.dll needs to
 * start. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) SetEnvironmentVariableW(L"QEL_PLANTED_HID_LOADED", L"1");
  return TRUE;
}

__declspec(dllexport) void WINAPI HidD_GetHidGuid(GUID* guid) { ZeroMemory(guid, sizeof *guid); }

__declspec(dllexport) BOOLEAN WINAPI HidD_GetPreparsedData(HANDLE device, void** data) {
  (void)device;
  (void)data;
  return FALSE;
}

__declspec(dllexport) BOOLEAN WINAPI HidD_FreePreparsedData(void* data) {
  (void)data;
  return FALSE;
}

__declspec(dllexport) LONG WINAPI HidP_GetCaps(void* data, void* caps) {
  (void)data;
  (void)caps;
  return 0;
}

__declspec(dllexport) BOOLEAN WINAPI
    HidD_GetSerialNumberString(HANDLE device, void* buffer, ULONG length) {
  (void)device;
  (void)buffer;
  (void)length;
  return FALSE;
}
