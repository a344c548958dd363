#pragma once
// Small owners for the Win32 handles the shell holds, so that no early return leaks one.

#include <objbase.h>
#include <windows.h>

#include <utility>

namespace kovracam {

// A kernel handle closed with CloseHandle; INVALID_HANDLE_VALUE and null both mean none.
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() { reset(); }

  bool valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  // Closes now; false when CloseHandle reports a failure (a write-back error, say).
  bool reset() {
    const bool ok = !valid() || CloseHandle(handle_);
    handle_ = nullptr;
    return ok;
  }

 private:
  HANDLE handle_ = nullptr;
};

// A GDI object (bitmap, brush) deleted with DeleteObject.
template <typename T>
class ScopedGdiObject {
 public:
  explicit ScopedGdiObject(T object = nullptr) : object_(object) {}
  ScopedGdiObject(const ScopedGdiObject&) = delete;
  ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;
  ~ScopedGdiObject() {
    if (object_) DeleteObject(object_);
  }
  T get() const { return object_; }

 private:
  T object_;
};

// A memory device context with one object selected into it; the old object goes back first.
class ScopedMemoryDC {
 public:
  ScopedMemoryDC(HDC compatible, HGDIOBJ object) : dc_(CreateCompatibleDC(compatible)) {
    if (dc_) old_ = SelectObject(dc_, object);
  }
  ScopedMemoryDC(const ScopedMemoryDC&) = delete;
  ScopedMemoryDC& operator=(const ScopedMemoryDC&) = delete;
  ~ScopedMemoryDC() {
    if (!dc_) return;
    if (old_) SelectObject(dc_, old_);
    DeleteDC(dc_);
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ old_ = nullptr;
};

// COM initialised on this thread for the owner's lifetime (a single-threaded apartment).
class ComApartment {
 public:
  ComApartment() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (initialised_) CoUninitialize();
  }

 private:
  bool initialised_;
};

}  // namespace kovracam
