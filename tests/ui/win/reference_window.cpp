// Draws texts the way the program's window would, for the window test to compare against: a
// frame titled REFERENCE with a menu bar of the given titles over a dark client and a status bar
// showing the given pane text, (with --box) a message box, or (with --about) the About template.
//
//   reference_window.exe PANE_TEXT TITLE...
//   reference_window.exe --box CAPTION TEXT
//   reference_window.exe --about CAPTION VERSION COPYRIGHT OK

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <string>

#include "resource_ids.h"

namespace {

HWND statusBar = nullptr;

LRESULT CALLBACK frameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SIZE && statusBar) SendMessageW(statusBar, WM_SIZE, 0, 0);
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

int showFrame(int count, wchar_t** args) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW wc{};
  wc.lpfnWndProc = frameProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  // Dark under the menu bar, as the banner is: the test finds the bar's end there.
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = L"Reference";
  RegisterClassW(&wc);
  const HMENU bar = CreateMenu();
  for (int i = 2; i < count; ++i) {
    const HMENU popup = CreatePopupMenu();
    AppendMenuW(popup, MF_STRING, 100 + i, L"-");
    AppendMenuW(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), args[i]);
  }
  const HWND frame = CreateWindowExW(0, L"Reference", L"REFERENCE", WS_OVERLAPPEDWINDOW, 0, 0, 653,
                                     608, nullptr, bar, instance, nullptr);
  statusBar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0,
                              0, 0, 0, frame, nullptr, instance, nullptr);
  int edge = -1;
  SendMessageW(statusBar, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&edge));
  SendMessageW(statusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(args[1]));
  ShowWindow(frame, SW_SHOW);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_COMMAND) EndDialog(dialog, 0);
  if (message != WM_INITDIALOG) return FALSE;
  wchar_t** texts = reinterpret_cast<wchar_t**>(lParam);
  SetWindowTextW(dialog, texts[0]);
  SetDlgItemTextW(dialog, IDC_ABOUT_VERSION, texts[1]);
  SetDlgItemTextW(dialog, IDC_ABOUT_COPYRIGHT, texts[2]);
  SetDlgItemTextW(dialog, IDOK, texts[3]);
  return TRUE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args) return 2;
  if (count == 4 && std::wstring(args[1]) == L"--box") {
    MessageBoxW(nullptr, args[3], args[2], MB_OK);
    return 0;
  }
  if (count == 6 && std::wstring(args[1]) == L"--about") {
    return static_cast<int>(DialogBoxParamW(GetModuleHandleW(nullptr),
                                            MAKEINTRESOURCEW(IDD_ABOUTBOX), nullptr, aboutProc,
                                            reinterpret_cast<LPARAM>(args + 2)));
  }
  return count >= 2 ? showFrame(count, args) : 2;
}
