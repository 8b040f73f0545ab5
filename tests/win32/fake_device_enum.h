// A system device enumerator of our own, registered in the test process in
// place of the system's: it lists video-input devices with the display names
// and friendly names a test chooses ("@device:pnp:..." names, which the
// system's enumerator under Wine never gives) and binds them to filters that
// the test makes. Every other category is empty.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <string>
#include <vector>

namespace qel::test {

struct FakeVideoDevice {
  std::wstring displayName;
  std::wstring friendlyName;
  IBaseFilter* (*makeFilter)();  // a new filter with one reference
};

// Registers the enumerator's class object for CLSID_SystemDeviceEnum while
// it lives. COM must be initialised; create no two at once.
class FakeDeviceEnumClass {
 public:
  explicit FakeDeviceEnumClass(std::vector<FakeVideoDevice> devices);
  ~FakeDeviceEnumClass();
  FakeDeviceEnumClass(const FakeDeviceEnumClass&) = delete;
  FakeDeviceEnumClass& operator=(const FakeDeviceEnumClass&) = delete;
  bool registered() const { return cookie_ != 0; }

 private:
  DWORD cookie_ = 0;
};

}  // namespace qel::test
