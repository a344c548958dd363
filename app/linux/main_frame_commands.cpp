// The frame's commands and the enable and check rules applied whenever a popup opens.

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "app/linux/main_frame.h"
#include "app/linux/menu_resource.h"
#include "app/menu_rules.h"
#include "res/command_ids.h"
#include "view/linux/child_view.h"

namespace kovracam {
namespace {

// Applies one rule; Leave keeps what the item shows.
void applyRule(QAction* item, ItemRule rule) {
  if (rule.enable != ItemEnable::Leave) item->setEnabled(rule.enable == ItemEnable::Enable);
  if (rule.check != ItemCheck::Leave) {
    item->setCheckable(true);
    item->setChecked(rule.check == ItemCheck::Check);
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
  // Qt flips a checkable item's mark when it is chosen. These marks show what the camera
  // reports when the submenu opens, and a camera that refuses the value, or reads neither
  // 50 nor 60 Hz, must not show the frequency just chosen: the flip is undone.
  for (QAction* item : frequency->actions()) {
    connect(item, &QAction::triggered, item, [item](bool checked) { item->setChecked(!checked); });
  }
}

void CMainFrame::relabel(QMenu* menu, std::uint32_t id, int text) {
  if (QAction* item = findItem(menu, id))
    item->setText(QString::fromStdU16String((*m_pUiTexts)[text]));
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
  if (index == kDeviceMenu) rebuildDeviceMenu(menu);
  MenuFlags flags{m_bPreview, m_bRecording, m_nSelectedDevice, -1};
  if (powerLineNeeded(index, m_bPreview)) {
    flags.nPowerLineFrequency = m_wndView->m_videoCap.GetPowerLineFrequency();
  }
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    const std::uint32_t id = action->menu() ? kSubmenuItemId : action->data().toUInt();
    applyRule(action, menuItemRule(index, id, flags));
  }
}

// Only the first item survives; the cameras are listed again after it, and the selection is the
// view's current device.
void CMainFrame::rebuildDeviceMenu(QMenu* menu) {
  const QList<QAction*> items = menu->actions();
  for (int i = static_cast<int>(items.size()) - 1; i >= 1; --i) {
    menu->removeAction(items[i]);
    delete items[i];
  }
  m_wndView->FillDeviceMenu(menu);
  m_nSelectedDevice = m_wndView->m_nCurDevice;
}

}  // namespace kovracam
