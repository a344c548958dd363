// The Option menu's camera commands: the capture filter's and the capture pin's pages, and the
// power-line frequency.

#include <cstdio>
#include <cwctype>
#include <string>

#include "app/win/main_frame.h"
#include "lang/win/wide_text.h"

namespace kovracam {
namespace {

// The system's words for a failure status (DirectShow's own come from quartz.dll), without the
// closing full stop; the status itself when it has none.
std::wstring reasonOf(Status status) {
  const HMODULE quartz = GetModuleHandleW(L"quartz.dll");
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                      FORMAT_MESSAGE_IGNORE_INSERTS | (quartz ? FORMAT_MESSAGE_FROM_HMODULE : 0);
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(flags, quartz, static_cast<DWORD>(status), 0,
                                      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring reason = length && text ? std::wstring(text, length) : std::wstring();
  LocalFree(text);
  while (!reason.empty() && (std::iswspace(reason.back()) || reason.back() == L'.')) {
    reason.pop_back();
  }
  if (reason.empty()) {
    char code[64];
    std::snprintf(code, sizeof code, "the camera could not be started (error 0x%08lX)",
                  static_cast<unsigned long>(status));
    reason = widenUtf8(code);
  }
  return reason;
}

}  // namespace

void CMainFrame::OnOptionFilterProperties() {
  m_wndView.m_videoCap.ShowFilterProperties(m_wndView.m_hWnd);
}

void CMainFrame::OnOptionPinProperties() {
  int width = 0;
  int heightWithBanner = 0;
  const Status status = m_wndView.RestartWithPinProperties(&width, &heightWithBanner);
  if (status == kOk) {
    FitToVideo(width, heightWithBanner);
    return;
  }
  // The old graph is gone: the preview is off, and the user hears why. An unsupported type has
  // had its own box.
  m_wndView.m_videoCap.TearDown();
  m_wndView.m_bRunning = false;
  m_bPreview = false;
  m_bRecording = false;  // a recording was completed when the restart stopped its graph
  if (status == kUnsupportedSubtype) return;
  const std::wstring text = L"The preview cannot go on with the chosen format: " +
                            reasonOf(status) + L".\nTurn Preview on to start it again.";
  const std::wstring caption = m_pUiTexts ? toWide((*m_pUiTexts)[IDS_ERROR_CAPTION]) : L"";
  MessageBoxW(m_hWnd, text.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
}

void CMainFrame::OnFrequency50Hz() { m_wndView.m_videoCap.SetPowerLineFrequency(1); }

void CMainFrame::OnFrequency60Hz() { m_wndView.m_videoCap.SetPowerLineFrequency(2); }

}  // namespace kovracam
