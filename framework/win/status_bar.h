#pragma once
// The frame's status bar: the common controls' status window with panes set by the owner.

#include <windows.h>

#include <string>

namespace kovracam {

class CStatusBar {
 public:
  CStatusBar() = default;
  CStatusBar(const CStatusBar&) = delete;
  CStatusBar& operator=(const CStatusBar&) = delete;

  bool Create(HWND parent, DWORD style, UINT id);
  // `count` panes; the last stretches to the bar's right end.
  bool SetIndicators(int count);
  bool SetPaneText(int index, const std::wstring& text, bool update);
  std::wstring GetPaneText(int index) const;
  // The bar lays itself out along its parent's bottom edge.
  void RecalcLayout();
  int Height() const;

  HWND m_hWnd = nullptr;  // a child of the frame, destroyed with it
};

}  // namespace kovracam
