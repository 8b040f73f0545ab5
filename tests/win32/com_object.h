// IUnknown for the COM objects of the Windows tests. ComObject<First, Rest...>
// answers QueryInterface for each interface it derives from (IID_IUnknown
// with First) and counts references; an object starts with one reference,
// held by its creator, and deletes itself at the last Release.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>

namespace qel::test {

template <class First, class... Rest>
class ComObject : public First, public Rest... {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = Find(iid);
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~ComObject() = default;
  // Further interfaces answered with First, such as the interfaces First
  // derives from (IPersist and IMediaFilter of IBaseFilter).
  virtual bool AlsoAnswers(REFIID) const { return false; }

 private:
  void* Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == __uuidof(First) || AlsoAnswers(iid)) {
      return static_cast<First*>(this);
    }
    void* found = nullptr;
    ((found == nullptr && iid == __uuidof(Rest) ? (found = static_cast<Rest*>(this)) : nullptr),
     ...);
    return found;
  }

  std::atomic<ULONG> references_{1};
};

// Hands out a new object's interface iid and lets go of the creator's
// reference: the object lives on only if the query succeeded.
inline HRESULT HandOut(IUnknown* created, REFIID iid, void** object) {
  const HRESULT result = created->QueryInterface(iid, object);
  created->Release();
  return result;
}

}  // namespace qel::test
