#pragma once
// Small owners for the Win32 handles the shell holds, so that no early return leaks one.

#include <objbase.h>
#include <windows.h>

namespace kovracam {

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
