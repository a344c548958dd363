// Start Capture and Stop Capture: the recording to an AVI file, and what the frame does when a
// camera or a recording stops on its own.

#include "app/win/main_frame.h"
#include "base/win/wide_text.h"
#include "capture/win/status_text.h"
#include "res/command_ids.h"
#include "view/win/save_dialog.h"

namespace kovracam {
namespace {

// The engine's report, handled once the graph's own notification has returned.
constexpr UINT kStreamFailedMessage = WM_APP + 0x2C1;

std::wstring quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

constexpr const wchar_t* kNotRecordable =
    L"Can't record from this camera: its pictures come without a frame duration, which the AVI "
    L"file needs. The preview goes on.";

}  // namespace

void CMainFrame::showFailureBox(const std::wstring& text) {
  const std::wstring caption = m_pUiTexts ? toWide((*m_pUiTexts)[IDS_ERROR_CAPTION]) : L"";
  MessageBoxW(m_hWnd, text.c_str(), caption.c_str(), MB_OK);
}

void CMainFrame::OnCaptureStart() {
  // Told before a file is asked for; the running preview is left alone.
  if (m_wndView.m_videoCap.CheckRecordable() == kNoFrameDuration) {
    showFailureBox(kNotRecordable);
    return;
  }
  const auto choice = askSavePath(m_hWnd, kRecordingExtension, kRecordingFilter);
  if (!choice) return;
  int width = 0;
  int heightWithBanner = 0;
  const Status status = m_wndView.StartRecording(choice->path, &width, &heightWithBanner);
  if (status == kNoFrameDuration) {  // a format changed since: nothing recorded, no file made
    showFailureBox(kNotRecordable);
    OnCaptureStop();
    return;
  }
  if (status != kOk) {
    // The preview that ran before is gone; Preview off and on starts it again. An unsupported
    // format has had the engine's own box.
    if (status != kUnsupportedSubtype) {
      showFailureBox(L"Can't record to " + quoted(choice->path) + L": " + describeStatus(status) +
                     L".");
    }
    return;
  }
  m_bRecording = true;
  FitToVideo(width, heightWithBanner);
}

void CMainFrame::OnCaptureStop() {
  m_bRecording = false;
  m_wndView.StopPreview();  // stopping completes the file, releasing closes it
  int width = 0;
  int heightWithBanner = 0;
  if (m_wndView.StartPreview(static_cast<int>(m_wndView.m_nCurDevice - ID_DEVICE_FIRST), &width,
                             &heightWithBanner) == kOk) {
    FitToVideo(width, heightWithBanner);
  }
}

void CMainFrame::watchStreamFailures() {
  m_wndView.m_videoCap.setStreamFailedHandler([this](long code) {
    PostMessageW(m_hWnd, kStreamFailedMessage, static_cast<WPARAM>(code), 0);
  });
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kStreamFailedMessage) {
    // A graph started since then runs on: the report was about the one before.
    if (!m_wndView.m_videoCap.isRunning() && m_wndView.m_bRunning) {
      OnStreamFailed(static_cast<long>(wParam));
    }
    return 0;
  }
  return CFrameWnd::WindowProc(message, wParam, lParam);
}

// The engine has stopped the graph. A recording is completed by releasing it, and the plain
// preview goes on where the camera still delivers (a write that failed); otherwise the preview
// is off until the user turns it on again. One box says what happened.
void CMainFrame::OnStreamFailed(long eventCode) {
  CVideoCap& engine = m_wndView.m_videoCap;
  const std::wstring recording = engine.recordingPath();
  const HRESULT cause = engine.streamFailureCause();
  std::wstring reason = eventCode == EC_DEVICE_LOST ? L"the camera was disconnected"
                        : FAILED(cause)             ? describeStatus(cause)
                                                    : L"the camera stopped sending pictures";
  if (!recording.empty()) {
    OnCaptureStop();
    std::wstring text = L"Recording to " + quoted(recording) + L" stopped: " + reason + L".";
    if (!m_wndView.m_bRunning) {
      m_bPreview = false;
      text += L"\nTurn Preview on to start the camera again.";
    }
    showFailureBox(text);
    return;
  }
  m_wndView.StopPreview();
  m_bPreview = false;
  showFailureBox(L"The camera stopped: " + reason + L".\nTurn Preview on to start it again.");
}

// Past this answer the process may be ended at any moment: the recording is completed now.
void CMainFrame::OnEndSession(bool ending) {
  if (!ending) return;
  m_wndView.StopPreview();
  KillTimer(m_hWnd, FRAME_RATE_TIMER);
}

}  // namespace kovracam
