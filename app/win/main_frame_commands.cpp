// The frame's commands and the enable and check rules applied whenever a popup opens.

#include "app/menu_rules.h"
#include "app/win/main_frame.h"
#include "framework/win/win_app.h"
#include "res/command_ids.h"

namespace kovracam {
namespace {

constexpr UINT kDevicePopup = 1;

void setEnabled(HMENU menu, UINT item, UINT byPosition, bool enabled) {
  EnableMenuItem(menu, item, byPosition | (enabled ? MF_ENABLED : MF_DISABLED | MF_GRAYED));
}

void setChecked(HMENU menu, std::uint32_t id, bool checked) {
  CheckMenuItem(menu, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

}  // namespace

bool CMainFrame::OnCommand(UINT id) {
  if (isDeviceCommand(id)) {
    OnDevice(id);
    return true;
  }
  switch (id) {
    case ID_OPTION_PREVIEW:
      OnOptionPreview();
      return true;
    case ID_OPTION_FILTER_PROPERTIES:
      OnOptionFilterProperties();
      return true;
    case ID_OPTION_PIN_PROPERTIES:
      OnOptionPinProperties();
      return true;
    case ID_FREQUENCY_50HZ:
      OnFrequency50Hz();
      return true;
    case ID_FREQUENCY_60HZ:
      OnFrequency60Hz();
      return true;
    case ID_CAPTURE_START:
      OnCaptureStart();
      return true;
    case ID_CAPTURE_STOP:
      OnCaptureStop();
      return true;
    case ID_CAPTURE_SNAPSHOT:
      OnCaptureSnapshot();
      return true;
    case ID_APP_EXIT:
      OnAppExit();
      return true;
    default:  // the application's commands come last
      return AfxGetApp() && AfxGetApp()->OnCmdMsg(id);
  }
}

void CMainFrame::OnAppExit() { SendMessageW(m_hWnd, WM_CLOSE, 0, 0); }

void CMainFrame::OnOptionPreview() {
  if (!m_bPreview) {
    StartPreviewAndFit();
  } else {
    m_wndView.StopPreview();
  }
  m_bPreview = !m_bPreview;
}

void CMainFrame::OnDevice(std::uint32_t id) {
  // Only a camera of the current list can be chosen.
  if (id == m_nSelectedDevice || !m_wndView.HasDevice(id)) return;
  m_nSelectedDevice = id;
  m_wndView.SaveDeviceChoice(id);
  if (!m_bPreview) return;
  m_wndView.StopPreview();
  StartPreviewAndFit();
}

void CMainFrame::RebuildDeviceMenu(HMENU popup) {
  for (int position = GetMenuItemCount(popup) - 1; position >= 1; --position) {
    RemoveMenu(popup, static_cast<UINT>(position), MF_BYPOSITION);
  }
  m_wndView.FillDeviceMenu(popup);  // on failure it has said so; the first item stays
  m_nSelectedDevice = m_wndView.m_nCurDevice;
}

void CMainFrame::OnInitMenuPopup(HMENU popup, UINT index, bool isSystemMenu) {
  if (isSystemMenu) return;
  if (index == kDevicePopup) RebuildDeviceMenu(popup);
  MenuFlags flags;
  flags.bPreview = m_bPreview;
  flags.bRecording = m_bRecording;
  flags.nSelectedDevice = m_nSelectedDevice;
  // The Option popup and the Frequency submenu (and the Help popup, at the same index) follow
  // what the camera reports.
  if (powerLineNeeded(static_cast<int>(index), m_bPreview)) {
    flags.nPowerLineFrequency = m_wndView.m_videoCap.GetPowerLineFrequency();
  }
  const int count = GetMenuItemCount(popup);
  for (int position = 0; position < count; ++position) {
    const auto id = static_cast<std::uint32_t>(GetMenuItemID(popup, position));
    if (id == kSeparatorItemId) continue;
    const ItemRule rule = menuItemRule(static_cast<int>(index), id, flags);
    // A submenu's entry is addressed by its position, a command by its id. An item without a
    // handler has the rule Gray.
    const bool submenu = id == kSubmenuItemId;
    const UINT item = submenu ? static_cast<UINT>(position) : id;
    const UINT by = submenu ? MF_BYPOSITION : MF_BYCOMMAND;
    if (rule.enable != ItemEnable::Leave) {
      setEnabled(popup, item, by, rule.enable == ItemEnable::Enable);
    }
    if (!submenu && rule.check != ItemCheck::Leave) {
      setChecked(popup, id, rule.check == ItemCheck::Check);
    }
  }
}

}  // namespace kovracam
