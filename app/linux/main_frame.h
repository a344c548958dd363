#pragma once
// The main window: menu bar, the camera view under it, the one-pane status bar showing the frame
// rate, and the commands of the menus.

#include <QMainWindow>
#include <QSize>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "capture/linux/v4l2/v4l2_io.h"
#include "capture/status.h"
#include "lang/ui_text_table.h"

class QLabel;
class QMenu;

namespace kovracam {

class CChildView;

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  explicit CMainFrame(V4l2Io& io = systemV4l2Io());
  ~CMainFrame() override;

  // Builds the view, the status bar, the timer, the icon and the menu texts. The window stays
  // hidden.
  bool OnCreate();
  Status StartPreviewAndFit();
  void FitToVideo(int width, int heightWithBanner);
  void LocalizeUi();

  CChildView& view() { return *m_wndView; }
  QMenu* popup(int position) const;
  QString paneText() const;

  // Commands.
  void OnCommand(std::uint32_t id);
  void OnOptionPreview();
  void OnDevice(std::uint32_t id);
  void OnOptionFilterProperties();
  void OnOptionPinProperties();
  void OnFrequency50Hz();
  void OnFrequency60Hz();
  void OnInitMenuPopup(QMenu* popup, int index);
  void OnCaptureStart();
  void OnCaptureStop();
  void OnCaptureSnapshot();
  // Writing the recording failed mid-way: the recording ends, the user is told, the preview goes
  // on.
  void OnRecordingFailed(const QString& path, const QString& reason);

  bool m_bPreview = true;
  bool m_bRecording = false;
  QString m_strRecordingPath;  // the file being recorded, until Stop Capture
  std::uint32_t m_nSelectedDevice = 0;
  std::unique_ptr<UiTextTable> m_pUiTexts;
  // The application's commands (About), offered after the frame's own; set by the application.
  std::function<void(std::uint32_t)> m_appCommands;

 protected:
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void timerEvent(QTimerEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  void OnSize(int cx, int cy);
  void OnTimer();
  void OnClose();
  void connectPopups();
  void watchRecordingFailures();
  void showCaptureFailure(const QString& text);
  void relabel(QMenu* menu, std::uint32_t id, int text);
  void rebuildDeviceMenu(QMenu* menu);

  CChildView* m_wndView = nullptr;  // owned by the window
  QLabel* m_pane = nullptr;         // the status bar's single pane
  int m_timerId = 0;
  std::optional<QSize> m_pendingSize;  // applied when a maximised or minimised frame is restored
};

}  // namespace kovracam
