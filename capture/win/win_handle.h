#pragma once
// A kernel handle that closes itself.

#include <windows.h>

#include <utility>

namespace kovracam {

class WinHandle {
 public:
  WinHandle() = default;
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
  explicit operator bool() const { return m_h != nullptr; }
  void reset() {
    if (m_h) CloseHandle(std::exchange(m_h, nullptr));
  }

 private:
  HANDLE m_h = nullptr;
};

}  // namespace kovracam
