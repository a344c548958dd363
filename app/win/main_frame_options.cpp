// The Option menu's camera commands: the capture filter's and the capture pin's pages, and the
// power-line frequency.

#include "app/win/main_frame.h"

namespace kovracam {

void CMainFrame::OnOptionFilterProperties() {}
void CMainFrame::OnOptionPinProperties() {}
void CMainFrame::OnFrequency50Hz() {}
void CMainFrame::OnFrequency60Hz() {}

}  // namespace kovracam
