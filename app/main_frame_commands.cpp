// The frame's commands and the enable and check rules applied whenever a popup opens.

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "app/main_frame.h"
#include "app/menu_resource.h"
#include "res/command_ids.h"
#include "view/child_view.h"

namespace kovracam {
namespace {

bool isDeviceCommand(std::uint32_t id) { return id >= ID_DEVICE_FIRST && id <= ID_DEVICE_LAST; }

// Commands the frame handles; items without a handler are shown grayed.
bool hasHandler(std::uint32_t id) {
  switch (id) {
    case ID_APP_EXIT:
    case ID_APP_ABOUT:  // the application's
    case ID_OPTION_PREVIEW:
    case ID_OPTION_FILTER_PROPERTIES:
    case ID_OPTION_PIN_PROPERTIES:
    case ID_FREQUENCY_50HZ:
    case ID_FREQUENCY_60HZ:
    case ID_CAPTURE_START:
    case ID_CAPTURE_STOP:
    case ID_CAPTURE_SNAPSHOT:
      return true;
    default:
      return isDeviceCommand(id);
  }
}

QAction* findItem(QMenu* menu, std::uint32_t id) {
  if (!menu) return nullptr;
  for (QAction* action : menu->actions()) {
    if (!action->isSeparator() && !action->menu() && action->data().toUInt() == id) return action;
  }
  return nullptr;
}

}  // namespace

void CMainFrame::connectPopups() {
  connect(menuBar(), &QMenuBar::triggered, this,
          [this](QAction* action) { OnCommand(action->data().toUInt()); });
  for (int position = kFileMenu; position <= kHelpMenu; ++position) {
    QMenu* menu = popup(position);
    connect(menu, &QMenu::aboutToShow, this,
            [this, menu, position] { OnInitMenuPopup(menu, position); });
  }
  QMenu* frequency = popup(kOptionMenu)->actions().at(kFrequencySubmenu)->menu();
  connect(frequency, &QMenu::aboutToShow, this,
          [this, frequency] { OnInitMenuPopup(frequency, kFrequencySubmenu); });
}

void CMainFrame::relabel(QMenu* menu, std::uint32_t id, int text) {
  if (QAction* item = findItem(menu, id)) item->setText((*m_pUiTexts)[text]);
}

void CMainFrame::setEnabled(QMenu* menu, std::uint32_t id, bool enabled) {
  if (QAction* item = findItem(menu, id)) item->setEnabled(enabled && hasHandler(id));
}

void CMainFrame::setChecked(QMenu* menu, std::uint32_t id, bool checked) {
  if (QAction* item = findItem(menu, id)) {
    item->setCheckable(true);
    item->setChecked(checked);
  }
}

void CMainFrame::OnCommand(std::uint32_t id) {
  if (isDeviceCommand(id)) return OnDevice(id);
  switch (id) {
    case ID_APP_EXIT:
      close();
      break;
    case ID_OPTION_PREVIEW:
      OnOptionPreview();
      break;
    case ID_OPTION_FILTER_PROPERTIES:
      OnOptionFilterProperties();
      break;
    case ID_OPTION_PIN_PROPERTIES:
      OnOptionPinProperties();
      break;
    case ID_FREQUENCY_50HZ:
      OnFrequency50Hz();
      break;
    case ID_FREQUENCY_60HZ:
      OnFrequency60Hz();
      break;
    case ID_CAPTURE_START:
      OnCaptureStart();
      break;
    case ID_CAPTURE_STOP:
      OnCaptureStop();
      break;
    case ID_CAPTURE_SNAPSHOT:
      OnCaptureSnapshot();
      break;
    case ID_APP_ABOUT:
      if (m_appCommands) m_appCommands(id);
      break;
    default:
      break;
  }
}

void CMainFrame::OnOptionPreview() {
  CChildView& view = *m_wndView;
  if (!m_bPreview) {
    StartPreviewAndFit();
  } else if (view.m_bRunning) {
    view.m_videoCap.Stop();
    view.m_videoCap.TearDown();
    view.m_bRunning = false;
  }
  m_bPreview = !m_bPreview;
}

void CMainFrame::OnDevice(std::uint32_t id) {
  if (id == m_nSelectedDevice) return;
  m_nSelectedDevice = id;
  CChildView& view = *m_wndView;
  view.SaveDeviceChoice(id);
  if (!m_bPreview) return;
  if (view.m_bRunning) {
    view.m_videoCap.Stop();
    view.m_videoCap.TearDown();
    view.m_bRunning = false;
  }
  StartPreviewAndFit();
}

void CMainFrame::OnOptionFilterProperties() {
  m_wndView->m_videoCap.ShowFilterProperties(m_wndView);
}

void CMainFrame::OnOptionPinProperties() {
  int width = 0;
  int heightWithBanner = 0;
  const Status status = m_wndView->RestartWithPinProperties(&width, &heightWithBanner);
  if (status == kOk) {
    FitToVideo(width, heightWithBanner);
    return;
  }
  // The old graph is gone: the preview is off, and the user hears why. An unsupported type has
  // had its own box.
  CChildView& view = *m_wndView;
  view.m_videoCap.TearDown();
  view.m_bRunning = false;
  m_bPreview = false;
  m_bRecording = false;  // a recording was completed when the restart stopped its graph
  m_strRecordingPath.clear();
  if (status == kUnsupportedSubtype) return;
  const std::string& reason = view.m_videoCap.startFailure();
  showCaptureFailure(
      QStringLiteral("The preview cannot go on with the chosen format: %1.\nTurn Preview on to "
                     "start it again.")
          .arg(reason.empty() ? QStringLiteral("the camera could not be started")
                              : QString::fromStdString(reason)));
}

void CMainFrame::OnFrequency50Hz() { m_wndView->m_videoCap.SetPowerLineFrequency(1); }

void CMainFrame::OnFrequency60Hz() { m_wndView->m_videoCap.SetPowerLineFrequency(2); }

void CMainFrame::OnInitMenuPopup(QMenu* menu, int index) {
  // Items are enabled when a handler exists; the checks follow the frame's state.
  for (QAction* action : menu->actions()) {
    if (action->isSeparator() || action->menu()) continue;
    const std::uint32_t id = action->data().toUInt();
    action->setEnabled(hasHandler(id));
    if (id == ID_OPTION_PREVIEW) setChecked(menu, id, m_bPreview);
    if (isDeviceCommand(id)) setChecked(menu, id, id == m_nSelectedDevice);
  }
  CVideoCap& engine = m_wndView->m_videoCap;
  switch (index) {
    case kDeviceMenu: {
      const QList<QAction*> items = menu->actions();
      for (int i = static_cast<int>(items.size()) - 1; i >= 1; --i) {
        menu->removeAction(items[i]);
        delete items[i];
      }
      m_wndView->FillDeviceMenu(menu);
      m_nSelectedDevice = m_wndView->m_nCurDevice;
      for (QAction* action : menu->actions()) {
        setChecked(menu, action->data().toUInt(), action->data().toUInt() == m_nSelectedDevice);
      }
      break;
    }
    case kOptionMenu: {
      QAction* frequency = menu->actions().at(kFrequencySubmenu);
      setEnabled(menu, ID_OPTION_FILTER_PROPERTIES, m_bPreview);
      setEnabled(menu, ID_OPTION_PIN_PROPERTIES, m_bPreview);
      frequency->setEnabled(m_bPreview && engine.GetPowerLineFrequency() != -1);
      if (m_bPreview) setEnabled(menu, ID_OPTION_PREVIEW, !m_bRecording);
      break;
    }
    case kCaptureMenu:
      setEnabled(menu, ID_CAPTURE_START, m_bPreview && !m_bRecording);
      setEnabled(menu, ID_CAPTURE_STOP, m_bPreview && m_bRecording);
      setEnabled(menu, ID_CAPTURE_SNAPSHOT, m_bPreview);
      break;
    case kFrequencySubmenu: {  // also the Help popup, where the items are not found
      if (!m_bPreview) break;
      const int value = engine.GetPowerLineFrequency();
      if (value == 1 || value == 2) {
        setChecked(menu, ID_FREQUENCY_50HZ, value == 1);
        setChecked(menu, ID_FREQUENCY_60HZ, value == 2);
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace kovracam
