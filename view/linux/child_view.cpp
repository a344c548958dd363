#include "view/linux/child_view.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <iostream>

#include "capture/linux/device_enumerator.h"
#include "lang/ui_text_table.h"
#include "res/command_ids.h"
#include "res/linux/resources.h"
#include "view/linux/device_choice_file.h"

namespace kovracam {

CChildView::CChildView(V4l2Io& io, QWidget* parent)
    : QWidget(parent), m_videoCap(io), m_io(io), m_bmpBanner(loadBanner()) {
  m_videoCap.Prepare();
  m_nBannerWidth = m_bmpBanner.width();
  m_nBannerHeight = m_bmpBanner.height();
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Base));
  setPalette(palette);
}

CChildView::~CChildView() {
  // The engine's video window is our child: let the engine remove it while we still exist.
  m_videoCap.TearDown();
}

void CChildView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // Stretched to the view's width, always 50 pixels high, without smoothing.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(QRect(0, 0, width(), BANNER_STRIP_HEIGHT), m_bmpBanner,
                    QRect(0, 0, m_nBannerWidth, m_nBannerHeight));
}

Status CChildView::FillDeviceMenu(QMenu* deviceMenu) {
  CVideoCap enumerator(m_io);  // enumeration never touches the running engine
  m_devices.clear();
  m_strCurDir = QDir::currentPath();
  const Status status = enumerator.EnumDevices(&m_devices);
  if (status != kOk) {
    const QString text =
        m_pUiTexts ? QString::fromStdU16String((*m_pUiTexts)[IDS_NO_CAMERA]) : QString();
    const QString caption =
        m_pUiTexts ? QString::fromStdU16String((*m_pUiTexts)[IDS_ERROR_CAPTION]) : QString();
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok,
                    isVisible() ? this : nullptr);
    box.exec();
    return status;
  }
  const QList<QAction*> items = deviceMenu->actions();
  QAction* first = items.isEmpty() ? deviceMenu->addAction(QString()) : items.first();
  first->setData(ID_DEVICE_FIRST);
  first->setText(QString::fromStdString(m_devices.pRecords[0].szFriendlyName));
  for (std::uint32_t i = 1; i < m_devices.nCount(); ++i) {
    QAction* item =
        deviceMenu->addAction(QString::fromStdString(m_devices.pRecords[i].szFriendlyName));
    item->setData(ID_DEVICE_FIRST + i);
  }
  LoadDeviceChoice();
  return kOk;
}

void CChildView::LoadDeviceChoice() {
  m_nCurDevice = ID_DEVICE_FIRST;
  const auto stored = readDeviceChoice(m_strCurDir.toStdString(), std::cerr);
  if (!stored) return;
  auto index = findDeviceChoice(m_devices, *stored);
  if (!index) index = findFormerDeviceChoice(m_io, m_devices, *stored);
  if (index) {
    m_nCurDevice = ID_DEVICE_FIRST + static_cast<std::uint32_t>(*index);
  }
}

void CChildView::SaveDeviceChoice(std::uint32_t id) {
  m_nCurDevice = id;  // in force for this run whatever becomes of the file
  const DeviceRecord* record = recordAt(static_cast<int>(id - ID_DEVICE_FIRST));
  std::string reason;
  if (record && !writeDeviceChoice(m_strCurDir.toStdString(), record->szDisplayName, &reason)) {
    std::cerr << "kovracam: the camera choice cannot be saved in " << m_strCurDir.toStdString()
              << " (" << reason
              << "); the preview keeps it, the Device menu shows the saved one again\n";
  }
}

const DeviceRecord* CChildView::recordAt(int index) const {
  if (index < 0 || static_cast<std::uint32_t>(index) >= m_devices.nCount()) return nullptr;
  return &m_devices.pRecords[static_cast<std::size_t>(index)];
}

// Binds the record's device and builds its graph; on failure the graph is torn down.
Status CChildView::BuildAround(const DeviceRecord& record, int* width, int* height) {
  m_videoCap.SelectDevice(record.szDisplayName);
  const Status status = m_videoCap.BuildGraph(width, height);
  if (status != kOk) m_videoCap.TearDown();
  return status;
}

Status CChildView::StartPreview(int index, int* width, int* heightWithBanner) {
  const DeviceRecord* record = recordAt(index);
  if (!record) return kDeviceNotFound;
  // A start that failed may have left its graph built (a recording whose file could not be
  // made); the callers release only a graph that ran, and the engine builds no second one.
  m_videoCap.TearDown();
  int w = 0;
  int h = 0;
  Status status = BuildAround(*record, &w, &h);
  if (status != kOk) return status;
  if ((status = m_videoCap.RenderPreview()) != kOk) {
    m_videoCap.TearDown();  // nothing half-built is kept around
    return status;
  }
  m_videoCap.PlaceVideoWindow(this, w, h);
  // A camera that will not stream (busy, gone, no picture in time) fails the start: counting it
  // as previewing would leave an empty window and a frame rate of 0 unexplained.
  if ((status = m_videoCap.Run()) != kOk) {
    m_videoCap.TearDown();
    return status;
  }
  *width = w;
  *heightWithBanner = h + BANNER_STRIP_HEIGHT;
  m_bRunning = true;
  return kOk;
}

// Stops and releases the running graph (completing a recording), then builds the current
// camera's graph again.
Status CChildView::RebuildCurrent(int* width, int* height) {
  m_videoCap.Stop();
  m_videoCap.TearDown();
  const DeviceRecord* record = recordAt(static_cast<int>(m_nCurDevice - ID_DEVICE_FIRST));
  if (!record) return kDeviceNotFound;
  return BuildAround(*record, width, height);
}

Status CChildView::RestartWithPinProperties(int* width, int* heightWithBanner) {
  int w = 0;
  int h = 0;
  Status status = RebuildCurrent(&w, &h);
  if (status != kOk) return status;
  m_videoCap.ShowPinProperties(this, &w, &h);
  if ((status = m_videoCap.RenderPreview()) != kOk) {
    m_videoCap.TearDown();
    return status;
  }
  m_videoCap.PlaceVideoWindow(this, w, h);
  // A camera that lists a format it cannot deliver, or one gone meanwhile: nothing runs, and
  // no picture of the old graph is left standing.
  if ((status = m_videoCap.Run()) != kOk) {
    m_videoCap.TearDown();
    m_bRunning = false;
    return status;
  }
  *width = w;
  *heightWithBanner = h + BANNER_STRIP_HEIGHT;
  return kOk;
}

Status CChildView::StartRecording(const QString& path, int* width, int* heightWithBanner) {
  int w = 0;
  int h = 0;
  const Status status = RebuildCurrent(&w, &h);
  if (status != kOk) return status;
  *width = w;
  *heightWithBanner = h + BANNER_STRIP_HEIGHT;
  return m_videoCap.StartFileCapture(path.toStdString(), this, w, h);
}

}  // namespace kovracam
