#pragma once
// A counted COM reference that releases itself, so that no early return leaks one.

#include <unknwn.h>

#include <utility>

namespace kovracam {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes a reference of its own.
  explicit ComPtr(T* p) : m_p(p) {
    if (m_p) m_p->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
  ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(m_p, other.m_p);
    return *this;
  }
  ~ComPtr() { reset(); }

  // Adopts a reference the caller already owns.
  static ComPtr adopt(T* p) {
    ComPtr result;
    result.m_p = p;
    return result;
  }

  T* get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

  // For out parameters: drops the current reference and hands out the slot.
  T** put() {
    reset();
    return &m_p;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }

  void reset() {
    if (m_p) std::exchange(m_p, nullptr)->Release();
  }
  // Hands the reference to the caller.
  T* detach() { return std::exchange(m_p, nullptr); }

  template <class U>
  HRESULT as(ComPtr<U>* out) const {
    if (!m_p) return E_POINTER;
    return m_p->QueryInterface(__uuidof(U), out->putVoid());
  }

 private:
  T* m_p = nullptr;
};

}  // namespace kovracam
