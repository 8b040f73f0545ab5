#include "win32/fake_device_enum.h"

#include <cstring>
#include <memory>

#include "win32/com_object.h"
#include "win32/test_camera.h"

namespace qel::test {

namespace {

std::vector<FakeVideoDevice>& Devices() {
  static std::vector<FakeVideoDevice> devices;
  return devices;
}

class FakePropertyBag final : public ComObject<IPropertyBag> {
 public:
  explicit FakePropertyBag(const FakeVideoDevice& device) : device_(device) {}
  HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    if (name == nullptr || value == nullptr) return E_POINTER;
    if (wcscmp(name, L"FriendlyName") != 0) return E_INVALIDARG;
    VariantClear(value);
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocString(device_.friendlyName.c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

 private:
  const FakeVideoDevice device_;
};

class FakeMoniker final : public ComObject<IMoniker> {
 public:
  explicit FakeMoniker(const FakeVideoDevice& device) : device_(device) {}

  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Load(IStream*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Save(IStream*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx*, IMoniker*, REFIID iid, void** object) override {
    return HandOut(device_.makeFilter(), iid, object);
  }
  HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx*, IMoniker*, REFIID iid,
                                          void** object) override {
    if (iid != IID_IPropertyBag) return E_NOINTERFACE;
    *object = static_cast<IPropertyBag*>(new FakePropertyBag(device_));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker**) override {
    return MK_S_REDUCED_TO_SELF;
  }
  HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker*, BOOL, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Enum(BOOL, IEnumMoniker** monikers) override {
    *monikers = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsEqual(IMoniker* other) override {
    return other == this ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Hash(DWORD* hash) override {
    *hash = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Inverse(IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* name) override {
    const std::size_t bytes = (device_.displayName.size() + 1) * sizeof(wchar_t);
    *name = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    std::memcpy(*name, device_.displayName.c_str(), bytes);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*,
                                             IMoniker**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD* kind) override {
    *kind = MKSYS_NONE;
    return S_FALSE;
  }

 private:
  bool AlsoAnswers(REFIID iid) const override {
    return iid == IID_IPersist || iid == IID_IPersistStream;
  }

  const FakeVideoDevice device_;
};

class FakeEnumMoniker final : public ComObject<IEnumMoniker> {
 public:
  explicit FakeEnumMoniker(std::size_t position = 0) : position_(position) {}
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IMoniker** monikers, ULONG* fetched) override {
    ULONG given = 0;
    while (given < count && position_ < Devices().size()) {
      monikers[given++] = new FakeMoniker(Devices()[position_++]);
    }
    if (fetched != nullptr) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    position_ += count;
    return position_ <= Devices().size() ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumMoniker** clone) override {
    *clone = new FakeEnumMoniker(position_);
    return S_OK;
  }

 private:
  std::size_t position_;
};

class FakeCreateDevEnum final : public ComObject<ICreateDevEnum> {
 public:
  HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID category, IEnumMoniker** monikers,
                                                  DWORD) override {
    if (monikers == nullptr) return E_POINTER;
    *monikers = nullptr;
    // As the system's enumerator: S_FALSE and no enumerator for an empty category.
    if (category != CLSID_VideoInputDeviceCategory || Devices().empty()) return S_FALSE;
    *monikers = new FakeEnumMoniker();
    return S_OK;
  }
};

HRESULT CreateFakeDevEnum(REFIID iid, void** object) {
  return HandOut(new FakeCreateDevEnum(), iid, object);
}

}  // namespace

FakeDeviceEnumClass::FakeDeviceEnumClass(std::vector<FakeVideoDevice> devices) {
  Devices() = std::move(devices);
  IClassFactory* factory = NewClassFactory(&CreateFakeDevEnum);
  if (FAILED(CoRegisterClassObject(CLSID_SystemDeviceEnum, factory, CLSCTX_INPROC_SERVER,
                                   REGCLS_MULTIPLEUSE, &cookie_))) {
    cookie_ = 0;
  }
  factory->Release();
}

FakeDeviceEnumClass::~FakeDeviceEnumClass() {
  if (cookie_ != 0) CoRevokeClassObject(cookie_);
  Devices().clear();
}

}  // namespace qel::test
