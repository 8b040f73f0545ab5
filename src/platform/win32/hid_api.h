// The system functions the HID side of the backend calls, as one table of
// function pointers. The backend calls them only through Hid(), so that a
// test can put a stand-in for the device setup, HID and file functions in
// place of the system's.
#pragma once

#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>

// The HID headers carry no C++ linkage guard of their own. hidsdi.h brings
// hidusage.h and hidpi.h, in the order they need.
extern "C" {
#include <hidsdi.h>
}

namespace qel::platform::win32 {

struct HidApi {
  decltype(&::HidD_GetHidGuid) HidD_GetHidGuid;
  decltype(&::SetupDiGetClassDevsA) SetupDiGetClassDevsA;
  decltype(&::SetupDiEnumDeviceInfo) SetupDiEnumDeviceInfo;
  decltype(&::SetupDiEnumDeviceInterfaces) SetupDiEnumDeviceInterfaces;
  decltype(&::SetupDiGetDeviceInterfaceDetailA) SetupDiGetDeviceInterfaceDetailA;
  decltype(&::SetupDiDestroyDeviceInfoList) SetupDiDestroyDeviceInfoList;
  decltype(&::CM_Get_Parent) CM_Get_Parent;
  decltype(&::CM_Get_Device_IDA) CM_Get_Device_IDA;
  decltype(&::CreateFileA) CreateFileA;
  decltype(&::CloseHandle) CloseHandle;
  decltype(&::HidD_GetPreparsedData) HidD_GetPreparsedData;
  decltype(&::HidD_FreePreparsedData) HidD_FreePreparsedData;
  decltype(&::HidP_GetCaps) HidP_GetCaps;
  decltype(&::HidD_GetSerialNumberString) HidD_GetSerialNumberString;
  decltype(&::WriteFile) WriteFile;
  decltype(&::ReadFile) ReadFile;
  decltype(&::CancelSynchronousIo) CancelSynchronousIo;
};

// The system's functions; those of hid.dll taken from the system directory's
// copy, loaded at the first call (functions that fail where it is missing).
const HidApi& SystemHidApi();

// The table in use: the system's unless a test replaced entries. Replace
// entries only while no HID object of the backend exists.
HidApi& Hid();

}  // namespace qel::platform::win32
