#include "framework/win/frame_wnd.h"

#include <string>

namespace kovracam {
namespace {

constexpr const wchar_t* kFrameClass = L"KovracamFrame";

std::wstring loadTitle(UINT id) {
  const wchar_t* text = nullptr;
  // With no buffer LoadStringW gives the resource's own, unterminated text.
  const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 && text ? std::wstring(text, static_cast<std::size_t>(length)) : L"";
}

}  // namespace

bool CFrameWnd::LoadFrame(UINT resourceId, DWORD style) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const std::wstring title = loadTitle(resourceId);
  CREATESTRUCTW cs{};
  cs.hInstance = instance;
  cs.hMenu = LoadMenuW(instance, MAKEINTRESOURCEW(resourceId));
  cs.style = style & ~WS_VISIBLE;
  cs.lpszName = title.c_str();
  cs.lpszClass = kFrameClass;
  cs.x = cs.y = cs.cx = cs.cy = CW_USEDEFAULT;
  if (!PreCreateWindow(cs)) {
    if (cs.hMenu) DestroyMenu(cs.hMenu);
    return false;
  }
  m_hAccelTable = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(resourceId));
  const HWND hwnd = CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y,
                                    cs.cx, cs.cy, nullptr, cs.hMenu, instance, this);
  // A window that failed in WM_CREATE is gone, and its menu with it.
  if (!hwnd && cs.hMenu && IsMenu(cs.hMenu)) DestroyMenu(cs.hMenu);
  return hwnd != nullptr;
}

bool CFrameWnd::PreCreateWindow(CREATESTRUCTW& cs) {
  return RegisterWndClass(cs.lpszClass, 0, LoadCursorW(nullptr, IDC_ARROW), nullptr, nullptr);
}

int CFrameWnd::OnCreate(const CREATESTRUCTW&) { return 0; }

void CFrameWnd::OnSize(UINT, int, int) { RecalcLayout(); }

void CFrameWnd::OnClose() { DestroyWindow(); }

bool CFrameWnd::OnQueryEndSession() { return true; }

void CFrameWnd::OnEndSession(bool) {}

void CFrameWnd::OnTimer(UINT_PTR) {}

void CFrameWnd::OnInitMenuPopup(HMENU, UINT, bool) {}

void CFrameWnd::OnSetFocus() {}

bool CFrameWnd::OnCommand(UINT) { return false; }

void CFrameWnd::RecalcLayout() {}

LRESULT CFrameWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(*reinterpret_cast<const CREATESTRUCTW*>(lParam));
    case WM_SIZE:
      OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_QUERYENDSESSION:
      return OnQueryEndSession() ? TRUE : FALSE;
    case WM_ENDSESSION:
      OnEndSession(wParam != FALSE);
      return 0;
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_INITMENUPOPUP:
      OnInitMenuPopup(reinterpret_cast<HMENU>(wParam), LOWORD(lParam), HIWORD(lParam) != 0);
      return 0;
    case WM_SETFOCUS:
      OnSetFocus();
      return 0;
    case WM_COMMAND:
      if (OnCommand(LOWORD(wParam))) return 0;
      break;
    case WM_DESTROY:
      PostQuitMessage(0);  // the frame is the program's only top-level window
      return 0;
    default:
      break;
  }
  return Default(message, wParam, lParam);
}

}  // namespace kovracam
