#include "platform/win32/hid_api.h"

namespace qel::platform::win32 {

namespace {

// hid.dll is none of the system's known DLLs, so the loader would look for it
// in the application's directory first, where a planted copy would run with
// the application's rights. It is loaded, once, from the system directory
// only, and never unloaded.
HMODULE SystemHidDll() {
  static const HMODULE module = LoadLibraryExW(L"hid.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return module;
}

// hid.dll's function name, or fallback where the system has none.
template <class Function>
Function FromHidDll(const char* name, Function fallback) {
  const HMODULE module = SystemHidDll();
  const FARPROC address = module != nullptr ? GetProcAddress(module, name) : nullptr;
  if (address == nullptr) return fallback;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

// Without hid.dll every HID call fails, and so no control interface is found.
void WINAPI NoHidGuid(LPGUID guid) { *guid = GUID{}; }
BOOLEAN WINAPI NoPreparsedData(HANDLE, PHIDP_PREPARSED_DATA*) { return FALSE; }
BOOLEAN WINAPI NoFreePreparsedData(PHIDP_PREPARSED_DATA) { return FALSE; }
NTSTATUS WINAPI NoCaps(PHIDP_PREPARSED_DATA, PHIDP_CAPS) {
  return HIDP_STATUS_INVALID_PREPARSED_DATA;
}
BOOLEAN WINAPI NoSerialNumberString(HANDLE, PVOID, ULONG) { return FALSE; }

}  // namespace

const HidApi& SystemHidApi() {
  static const HidApi api{
      FromHidDll("HidD_GetHidGuid", &NoHidGuid),
      &::SetupDiGetClassDevsA,
      &::SetupDiEnumDeviceInfo,
      &::SetupDiEnumDeviceInterfaces,
      &::SetupDiGetDeviceInterfaceDetailA,
      &::SetupDiDestroyDeviceInfoList,
      &::CM_Get_Parent,
      &::CM_Get_Device_IDA,
      &::CreateFileA,
      &::CloseHandle,
      FromHidDll("HidD_GetPreparsedData", &NoPreparsedData),
      FromHidDll("HidD_FreePreparsedData", &NoFreePreparsedData),
      FromHidDll("HidP_GetCaps", &NoCaps),
      FromHidDll("HidD_GetSerialNumberString", &NoSerialNumberString),
      &::WriteFile,
      &::ReadFile,
      &::CancelSynchronousIo,
  };
  return api;
}

HidApi& Hid() {
  static HidApi api = SystemHidApi();
  return api;
}

}  // namespace qel::platform::win32
