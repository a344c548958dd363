#include "framework/win/wnd.h"

namespace kovracam {

CWnd::~CWnd() {
  if (!m_hWnd) return;
  // Derived parts are gone: the remaining messages go to the default procedure.
  SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
  ::DestroyWindow(m_hWnd);
  m_hWnd = nullptr;
}

bool CWnd::DestroyWindow() { return m_hWnd && ::DestroyWindow(m_hWnd); }

bool CWnd::RegisterWndClass(const wchar_t* className, UINT classStyle, HCURSOR cursor,
                            HBRUSH background, HICON icon) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  if (GetClassInfoExW(instance, className, &existing)) return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = classStyle;
  wc.lpfnWndProc = DispatchProc;
  wc.hInstance = instance;
  wc.hCursor = cursor;
  wc.hbrBackground = background;
  wc.hIcon = icon;
  wc.lpszClassName = className;
  return RegisterClassExW(&wc) != 0;
}

bool CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                    const RECT& rect, HWND parent, HMENU menuOrId) {
  const HWND hwnd =
      CreateWindowExW(exStyle, className, title, style, rect.left, rect.top, rect.right - rect.left,
                      rect.bottom - rect.top, parent, menuOrId, GetModuleHandleW(nullptr), this);
  return hwnd != nullptr && m_hWnd == hwnd;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return Default(message, wParam, lParam);
}

LRESULT CWnd::Default(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CWnd::DispatchProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<CWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->m_hWnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<CWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  const LRESULT result = self->WindowProc(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->m_hWnd = nullptr;
  }
  return result;
}

}  // namespace kovracam
