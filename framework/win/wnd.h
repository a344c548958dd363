#pragma once
// The base of the shell's windows: one C++ object per window, its window procedure dispatching
// to the object's virtual WindowProc.

#include <windows.h>

namespace kovracam {

class CWnd {
 public:
  CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;
  // A window still alive is destroyed without reaching the derived object's handlers.
  virtual ~CWnd();

  HWND GetSafeHwnd() const { return m_hWnd; }
  bool DestroyWindow();

  HWND m_hWnd = nullptr;

 protected:
  // Registers a window class whose procedure dispatches to the window objects (once per name).
  static bool RegisterWndClass(const wchar_t* className, UINT classStyle, HCURSOR cursor,
                               HBRUSH background, HICON icon);
  // Creates the window of such a class; the object is bound to it before WM_NCCREATE.
  bool CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                const RECT& rect, HWND parent, HMENU menuOrId);
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK DispatchProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace kovracam
