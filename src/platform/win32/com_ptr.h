// One counted reference to a COM object: the destructor is the Release.
#pragma once

#include <unknwn.h>

#include <utility>

namespace qel::platform::win32 {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* adopted) : p_(adopted) {}  // takes over a reference the caller holds
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { Reset(); }

  void Reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // For out-parameters of COM calls: releases what is held and hands out the slot.
  T** Put() {
    Reset();
    return &p_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

 private:
  T* p_ = nullptr;
};

// QueryInterface of from for the interface To; the result as the call gave it.
template <class To, class From>
HRESULT QueryInto(From* from, REFIID iid, ComPtr<To>& to) {
  if (from == nullptr) return E_POINTER;
  return from->QueryInterface(iid, to.PutVoid());
}

}  // namespace qel::platform::win32
