#include "app/kovracam_app.h"

#include <QMenu>

#include "app/main_frame.h"
#include "app/menu_resource.h"
#include "res/command_ids.h"
#include "view/child_view.h"

namespace kovracam {

CKOVRACAMApp::~CKOVRACAMApp() { delete m_pMainWnd; }

bool CKOVRACAMApp::InitInstance() {
  m_pMainWnd = new CMainFrame(m_io);
  if (!m_pMainWnd->OnCreate() ||
      m_pMainWnd->view().FillDeviceMenu(m_pMainWnd->popup(kDeviceMenu)) != kOk) {
    delete m_pMainWnd;
    m_pMainWnd = nullptr;
    return false;
  }
  m_pMainWnd->m_nSelectedDevice = m_pMainWnd->view().m_nCurDevice;
  if (m_pMainWnd->StartPreviewAndFit() != kOk) {
    delete m_pMainWnd;
    m_pMainWnd = nullptr;
    return false;
  }
  m_pMainWnd->show();
  m_pUiTexts = m_pMainWnd->m_pUiTexts.get();
  return true;
}

}  // namespace kovracam
