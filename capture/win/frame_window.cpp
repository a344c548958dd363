// The engine's own video window: one frame slot filled by the streaming thread, painted by the
// window on the user-interface thread.

#include "capture/win/frame_window.h"

#include <cstring>

namespace kovracam {
namespace {

constexpr UINT kFrameReadyMessage = WM_APP + 0x4B2;
constexpr wchar_t kFrameWindowClass[] = L"KovracamFrameWindow";

}  // namespace

// Only this thread sets the handle, so it reads it without the lock; no window call is made
// under the lock, since the window's own procedure takes it.
bool FrameWindow::place(HWND owner, int x, int y, int width, int height) {
  if (m_hWnd) {
    SetWindowPos(m_hWnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
  }
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kFrameWindowClass;
  RegisterClassW(&windowClass);  // fails harmlessly when already registered
  HWND window =
      CreateWindowExW(0, kFrameWindowClass, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_VISIBLE, x, y,
                      width, height, owner, nullptr, windowClass.hInstance, nullptr);
  if (!window) return false;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  std::lock_guard lock(m_lock);
  m_hWnd = window;
  return true;
}

void FrameWindow::close() {
  HWND window = nullptr;
  {
    std::lock_guard lock(m_lock);
    window = m_hWnd;
    m_hWnd = nullptr;
    m_bits.clear();
    m_bWakePending = false;
  }
  if (window) DestroyWindow(window);  // its queued wake-up goes with it
}

bool FrameWindow::isOpen() const { return m_hWnd != nullptr; }

void FrameWindow::offer(const std::uint8_t* frame, std::size_t length, int frameWidth,
                        int frameHeight, bool yuy2, const ConversionTables* tables) {
  if (!frame || frameWidth <= 0 || frameHeight <= 0 || (yuy2 && !tables)) return;
  const std::size_t bytes = rgb24Stride(frameWidth) * static_cast<std::size_t>(frameHeight);
  const std::size_t needed = yuy2 ? static_cast<std::size_t>(frameWidth) * 2 * frameHeight : bytes;
  if (length < needed) return;
  std::lock_guard lock(m_lock);
  if (!m_hWnd) return;
  m_bits.resize(bytes);
  if (yuy2) {
    ConvertYUY2ToRGB24(m_bits.data(), frameHeight, frameWidth, frame, *tables);
  } else {
    std::memcpy(m_bits.data(), frame, bytes);
  }
  m_width = frameWidth;
  m_height = frameHeight;
  // PostMessage only queues; a failed post leaves the flag clear for the next frame to retry.
  if (!m_bWakePending) m_bWakePending = PostMessageW(m_hWnd, kFrameReadyMessage, 0, 0) != FALSE;
}

void FrameWindow::paint(HWND window) {
  PAINTSTRUCT paintStruct;
  HDC dc = BeginPaint(window, &paintStruct);
  {
    std::lock_guard lock(m_lock);
    if (dc && !m_bits.empty()) {
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof info.bmiHeader;
      info.bmiHeader.biWidth = m_width;
      info.bmiHeader.biHeight = m_height;  // positive: bottom row first
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 24;
      info.bmiHeader.biCompression = BI_RGB;
      SetDIBitsToDevice(dc, 0, 0, m_width, m_height, 0, 0, 0, m_height, m_bits.data(), &info,
                        DIB_RGB_COLORS);
    }
  }
  EndPaint(window, &paintStruct);
}

LRESULT CALLBACK FrameWindow::windowProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<FrameWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && message == kFrameReadyMessage) {
    {
      std::lock_guard lock(self->m_lock);
      self->m_bWakePending = false;
    }
    InvalidateRect(window, nullptr, FALSE);
    return 0;
  }
  if (self && message == WM_PAINT) {
    self->paint(window);
    return 0;
  }
  if (message == WM_ERASEBKGND) return 1;  // the picture covers the window
  return DefWindowProcW(window, message, wp, lp);
}

}  // namespace kovracam
