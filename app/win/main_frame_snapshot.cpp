// Capture > Snapshot: the next frame as a JPEG or BMP picture.

#include "app/win/main_frame.h"

namespace kovracam {

void CMainFrame::OnCaptureSnapshot() {}

}  // namespace kovracam
