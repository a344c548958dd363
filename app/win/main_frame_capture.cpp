// Start Capture and Stop Capture: the recording to an AVI file.

#include "app/win/main_frame.h"

namespace kovracam {

void CMainFrame::OnCaptureStart() {}
void CMainFrame::OnCaptureStop() {}

}  // namespace kovracam
