#pragma once
// A kernel handle (file, thread, event) that closes itself, so that no early return leaks one.

#include <windows.h>

#include <utility>

namespace kovracam {

class WinHandle {
 public:
  WinHandle() = default;
  // INVALID_HANDLE_VALUE, as CreateFileW fails, and null both mean none.
  explicit WinHandle(HANDLE h) : m_h(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  WinHandle(const WinHandle&) = delete;
  WinHandle& operator=(const WinHandle&) = delete;
  WinHandle(WinHandle&& other) noexcept : m_h(std::exchange(other.m_h, nullptr)) {}
  WinHandle& operator=(WinHandle&& other) noexcept {
    if (this != &other) {
      reset();
      m_h = std::exchange(other.m_h, nullptr);
    }
    return *this;
  }
  ~WinHandle() { reset(); }

  HANDLE get() const { return m_h; }
  bool valid() const { return m_h != nullptr; }
  explicit operator bool() const { return valid(); }
  // Closes now; false when CloseHandle reports a failure (a delayed write error, say).
  bool reset() {
    const HANDLE h = std::exchange(m_h, nullptr);
    return !h || CloseHandle(h);
  }

 private:
  HANDLE m_h = nullptr;
};

}  // namespace kovracam
