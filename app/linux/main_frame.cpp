#include "app/linux/main_frame.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include "app/frame_geometry.h"
#include "app/linux/menu_resource.h"
#include "capture/linux/frame_stats.h"
#include "lang/linux/ui_text_loading.h"
#include "res/command_ids.h"
#include "res/linux/resources.h"
#include "view/linux/child_view.h"

namespace kovracam {

CMainFrame::CMainFrame(V4l2Io& io) : m_wndView(new CChildView(io)) {}

CMainFrame::~CMainFrame() { m_pUiTexts.reset(); }

bool CMainFrame::OnCreate() {
  setWindowTitle(QString::fromStdU16String(programTitle()));
  buildMainMenu(menuBar());
  setCentralWidget(m_wndView);
  m_wndView->installEventFilter(this);

  // One pane across the whole bar; nothing but the frame-rate timer writes it.
  m_pane = new QLabel(this);
  statusBar()->addWidget(m_pane, 1);

  m_timerId = startTimer(1000);
  setWindowIcon(appIcon());
  LocalizeUi();
  m_wndView->m_pUiTexts = m_pUiTexts.get();
  connectPopups();
  watchRecordingFailures();
  return true;
}

void CMainFrame::LocalizeUi() {
  const unsigned count = CountUiTexts();
  m_pUiTexts = std::make_unique<UiTextTable>(count);
  LoadUiTexts(*m_pUiTexts, count);
  const UiTextTable& t = *m_pUiTexts;
  const QList<QAction*> bar = menuBar()->actions();
  const int titles[] = {IDS_MENU_FILE, IDS_MENU_DEVICE, IDS_MENU_OPTION, IDS_MENU_CAPTURE,
                        IDS_MENU_HELP};
  for (int i = 0; i < 5 && i < bar.size(); ++i) {
    bar[i]->setText(QString::fromStdU16String(t[titles[i]]));
  }
  relabel(popup(kFileMenu), ID_APP_EXIT, IDS_MENU_EXIT);
  QMenu* option = popup(kOptionMenu);
  relabel(option, ID_OPTION_PREVIEW, IDS_MENU_PREVIEW);
  relabel(option, ID_OPTION_FILTER_PROPERTIES, IDS_MENU_FILTER_PROPERTIES);
  relabel(option, ID_OPTION_PIN_PROPERTIES, IDS_MENU_PIN_PROPERTIES);
  option->actions()
      .at(kFrequencySubmenu)
      ->setText(QString::fromStdU16String(t[IDS_MENU_FREQUENCY]));
  QMenu* capture = popup(kCaptureMenu);
  relabel(capture, ID_CAPTURE_START, IDS_MENU_START_CAPTURE);
  relabel(capture, ID_CAPTURE_STOP, IDS_MENU_STOP_CAPTURE);
  relabel(capture, ID_CAPTURE_SNAPSHOT, IDS_MENU_SNAPSHOT);
  relabel(popup(kHelpMenu), ID_APP_ABOUT, IDS_MENU_ABOUT);
}

QMenu* CMainFrame::popup(int position) const {
  const QList<QAction*> bar = menuBar()->actions();
  return position >= 0 && position < bar.size() ? bar[position]->menu() : nullptr;
}

QString CMainFrame::paneText() const { return m_pane ? m_pane->text() : QString(); }

Status CMainFrame::StartPreviewAndFit() {
  int width = 0;
  int heightWithBanner = 0;
  const Status status = m_wndView->StartPreview(
      static_cast<int>(m_nSelectedDevice - ID_DEVICE_FIRST), &width, &heightWithBanner);
  if (status != kOk) return status;
  FitToVideo(width, heightWithBanner);
  return kOk;
}

void CMainFrame::FitToVideo(int width, int heightWithBanner) {
  const FrameSize fitted = frameSizeForVideo(
      width, heightWithBanner, menuBar()->sizeHint().height(), statusBar()->sizeHint().height());
  const QSize size(fitted.width, fitted.height);
  // A maximised or minimised frame keeps its state and takes the size when restored.
  if (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)) {
    m_pendingSize = size;
    return;
  }
  m_pendingSize.reset();
  resize(size);  // the top-left stays where it is
}

void CMainFrame::changeEvent(QEvent* e) {
  QMainWindow::changeEvent(e);
  if (e->type() == QEvent::WindowStateChange && m_pendingSize &&
      !(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))) {
    resize(*m_pendingSize);
    m_pendingSize.reset();
  }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* e) {
  // The view is laid out under the menu bar and above the status bar: its resize is the frame's.
  if (watched == m_wndView && e->type() == QEvent::Resize) {
    const int statusHeight = statusBar()->isVisible() ? statusBar()->height() : 0;
    OnSize(m_wndView->width(), m_wndView->height() + statusHeight);
  }
  return QMainWindow::eventFilter(watched, e);
}

void CMainFrame::OnSize(int cx, int cy) {
  const int statusHeight = statusBar()->isVisible() ? statusBar()->height() : 0;
  const FrameRect video = videoRectForClient(cx, cy, statusHeight);
  m_wndView->m_videoCap.PlaceVideoWindow(m_wndView, video.width, video.height);
}

void CMainFrame::timerEvent(QTimerEvent* e) {
  if (e->timerId() == m_timerId) {
    OnTimer();
    return;
  }
  QMainWindow::timerEvent(e);
}

void CMainFrame::OnTimer() {
  double rate = 0.0;
  const Status status = m_wndView->m_videoCap.GetFrameRate(&rate);
  const QString text = QString::asprintf("Frame Rate %3.1f", rate);
  m_pane->setText(status == kOk && m_bPreview ? text : QString());
}

bool CMainFrame::event(QEvent* e) {
  // Menu prompts and idle texts never reach the pane: it shows the frame rate and nothing else.
  if (e->type() == QEvent::StatusTip) return true;
  return QMainWindow::event(e);
}

void CMainFrame::closeEvent(QCloseEvent* e) {
  OnClose();
  QMainWindow::closeEvent(e);
}

void CMainFrame::OnClose() {
  frame_stats::recordClose();
  if (m_wndView->m_bRunning) {
    m_wndView->m_videoCap.Stop();
    m_wndView->m_videoCap.TearDown();
    m_wndView->m_bRunning = false;
  }
  if (m_timerId) killTimer(m_timerId);
  m_timerId = 0;
}

}  // namespace kovracam
