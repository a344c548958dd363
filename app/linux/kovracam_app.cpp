#include "app/linux/kovracam_app.h"

#include <QMenu>
#include <QMessageBox>

#include "app/linux/main_frame.h"
#include "app/linux/menu_resource.h"
#include "app/linux/termination_signals.h"
#include "lang/linux/about_dialog.h"
#include "res/command_ids.h"
#include "view/linux/child_view.h"

namespace kovracam {

CKOVRACAMApp::CKOVRACAMApp(V4l2Io& io) : m_io(io) {}

CKOVRACAMApp::~CKOVRACAMApp() = default;

bool CKOVRACAMApp::InitInstance() {
  auto frame = std::make_unique<CMainFrame>(m_io);
  if (!frame->OnCreate() || frame->view().FillDeviceMenu(frame->popup(kDeviceMenu)) != kOk) {
    return false;  // the frame goes without ever having been shown
  }
  frame->m_nSelectedDevice = frame->view().m_nCurDevice;
  if (const Status status = frame->StartPreviewAndFit(); status != kOk) {
    // The program cannot go on without its camera; one that another program holds, or that
    // went away since it was listed, is said so instead of ending without a word.
    if (status == kDeviceUnavailable) {
      QMessageBox::critical(nullptr,
                            QString::fromStdU16String((*frame->m_pUiTexts)[IDS_ERROR_CAPTION]),
                            QStringLiteral("The camera cannot be opened: another program may be "
                                           "using it, or it was unplugged."));
    }
    return false;
  }
  frame->show();
  closeOnTerminationSignals(frame.get());
  m_pUiTexts = frame->m_pUiTexts.get();
  frame->m_appCommands = [this](std::uint32_t id) {
    if (id == ID_APP_ABOUT) ShowAboutBox();
  };
  m_pMainWnd = std::move(frame);
  return true;
}

void CKOVRACAMApp::ShowAboutBox() {
  CAboutDlg dialog(m_pMainWnd.get());
  dialog.m_pUiTexts = m_pUiTexts;
  dialog.exec();
}

}  // namespace kovracam
