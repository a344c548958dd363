#include "framework/win/status_bar.h"

#include <commctrl.h>

#include <vector>

namespace kovracam {

bool CStatusBar::Create(HWND parent, DWORD style, UINT id) {
  m_hWnd = CreateWindowExW(0, STATUSCLASSNAMEW, L"", style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
  return m_hWnd != nullptr;
}

bool CStatusBar::SetIndicators(int count) {
  if (!m_hWnd || count < 1) return false;
  // Each pane's right edge; -1 is the bar's end. Only the last pane stretches.
  std::vector<int> edges(static_cast<std::size_t>(count), -1);
  return SendMessageW(m_hWnd, SB_SETPARTS, static_cast<WPARAM>(count),
                      reinterpret_cast<LPARAM>(edges.data())) != 0;
}

bool CStatusBar::SetPaneText(int index, const std::wstring& text, bool update) {
  if (!m_hWnd) return false;
  const bool ok = SendMessageW(m_hWnd, SB_SETTEXTW, static_cast<WPARAM>(index),
                               reinterpret_cast<LPARAM>(text.c_str())) != 0;
  if (update) UpdateWindow(m_hWnd);
  return ok;
}

std::wstring CStatusBar::GetPaneText(int index) const {
  if (!m_hWnd) return {};
  const auto length =
      LOWORD(SendMessageW(m_hWnd, SB_GETTEXTLENGTHW, static_cast<WPARAM>(index), 0));
  std::wstring text(length + 1u, L'\0');
  SendMessageW(m_hWnd, SB_GETTEXTW, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(text.data()));
  text.resize(length);
  return text;
}

void CStatusBar::RecalcLayout() {
  if (m_hWnd) SendMessageW(m_hWnd, WM_SIZE, 0, 0);
}

int CStatusBar::Height() const {
  RECT rect{};
  if (!m_hWnd || !GetWindowRect(m_hWnd, &rect)) return 0;
  return rect.bottom - rect.top;
}

}  // namespace kovracam
