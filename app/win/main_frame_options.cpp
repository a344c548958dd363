// The Option menu's camera commands: the capture filter's and the capture pin's pages, and the
// power-line frequency.

#include <string>

#include "app/win/main_frame.h"
#include "capture/win/status_text.h"

namespace kovracam {

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
  showFailureBox(L"The preview cannot go on with the chosen format: " + describeStatus(status) +
                     L".\nTurn Preview on to start it again.");
}

void CMainFrame::OnFrequency50Hz() { m_wndView.m_videoCap.SetPowerLineFrequency(1); }

void CMainFrame::OnFrequency60Hz() { m_wndView.m_videoCap.SetPowerLineFrequency(2); }

}  // namespace kovracam
