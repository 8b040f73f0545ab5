#include "platform/win32/hid_api.h"

namespace qel::platform::win32 {

const HidApi& SystemHidApi() {
  static const HidApi api{
      &::HidD_GetHidGuid,
      &::SetupDiGetClassDevsA,
      &::SetupDiEnumDeviceInfo,
      &::SetupDiEnumDeviceInterfaces,
      &::SetupDiGetDeviceInterfaceDetailA,
      &::SetupDiDestroyDeviceInfoList,
      &::CM_Get_Parent,
      &::CM_Get_Device_IDA,
      &::CreateFileA,
      &::CloseHandle,
      &::HidD_GetPreparsedData,
      &::HidD_FreePreparsedData,
      &::HidP_GetCaps,
      &::HidD_GetSerialNumberString,
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
