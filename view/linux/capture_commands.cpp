// The Capture menu's commands: Start Capture, Stop Capture and Snapshot, and what the frame does
// when a recording cannot be written any more.

#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <iostream>
#include <utility>
#include <vector>

#include "app/linux/main_frame.h"
#include "capture/linux/frame_stats.h"
#include "capture/pixel/pixel_conversion.h"
#include "res/command_ids.h"
#include "view/linux/atomic_file.h"
#include "view/linux/child_view.h"
#include "view/linux/jpeg_encoder.h"
#include "view/linux/save_dialog.h"
#include "view/snapshot_file.h"

namespace kovracam {
namespace {

// Why a recording did not start: the engine's words when it came as far as the file, otherwise
// what the status says of the camera.
QString recordingStartFailure(Status status, const CVideoCap& engine) {
  if (!engine.recordingFailure().empty()) {
    return QString::fromStdString(engine.recordingFailure());
  }
  switch (status) {
    case kDeviceNotFound:
    case kNotBound:  // the name no longer binds a camera
      return QStringLiteral("the camera is no longer connected");
    case kDeviceUnavailable:
      return QStringLiteral("the camera cannot be opened: another program may be using it");
    default:
      return QStringLiteral("the camera could not be started");
  }
}

}  // namespace

void CMainFrame::showCaptureFailure(const QString& text) {
  const QString caption =
      m_pUiTexts ? QString::fromStdU16String((*m_pUiTexts)[IDS_ERROR_CAPTION]) : QString();
  std::cerr << "kovracam: " << text.toStdString() << "\n";  // for a start from a terminal
  QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, this);
  box.exec();
}

void CMainFrame::OnCaptureStart() {
  const auto path = askSavePath(this, recordingSaveDialog());
  if (!path) return;
  int width = 0;
  int heightWithBanner = 0;
  CChildView& view = *m_wndView;
  if (const Status status = view.StartRecording(*path, &width, &heightWithBanner); status != kOk) {
    // The preview that ran before is gone; Preview off and on starts it again. The recording
    // fails in one box that says why: an unsupported format has had the engine's own.
    if (status != kUnsupportedSubtype) {
      showCaptureFailure(QStringLiteral("Can't record to \"%1\": %2.")
                             .arg(*path, recordingStartFailure(status, view.m_videoCap)));
    }
    return;
  }
  m_bRecording = true;
  m_strRecordingPath = *path;
  frame_stats::recordingMaxGapNs.store(0, std::memory_order_relaxed);
  frame_stats::recordingSinceNs.store(frame_stats::nowNs(), std::memory_order_relaxed);
  FitToVideo(width, heightWithBanner);
}

void CMainFrame::OnCaptureStop() {
  frame_stats::stopNs.store(frame_stats::nowNs(), std::memory_order_relaxed);
  frame_stats::recordingSinceNs.store(0, std::memory_order_relaxed);
  m_bRecording = false;
  CChildView& view = *m_wndView;
  if (view.m_bRunning) {
    view.m_videoCap.Stop();  // completes the file
    view.m_videoCap.TearDown();
    view.m_bRunning = false;
    frame_stats::recordingClosedNs.store(frame_stats::nowNs(), std::memory_order_relaxed);
  }
  int width = 0;
  int heightWithBanner = 0;
  if (view.StartPreview(static_cast<int>(view.m_nCurDevice - ID_DEVICE_FIRST), &width,
                        &heightWithBanner) == kOk) {
    frame_stats::previewRunNs.store(frame_stats::nowNs(), std::memory_order_relaxed);
    frame_stats::awaitingPreviewPaint.store(true, std::memory_order_relaxed);
    FitToVideo(width, heightWithBanner);
  }
  // The writer cannot notice that its file or folder was removed: it writes on into nothing.
  const QString recorded = std::exchange(m_strRecordingPath, QString());
  if (!recorded.isEmpty() && !QFileInfo::exists(recorded)) {
    showCaptureFailure(
        QStringLiteral("The recording \"%1\" is lost: the file or its folder was removed while "
                       "recording.")
            .arg(recorded));
  }
}

void CMainFrame::OnRecordingFailed(const QString& path, const QString& reason) {
  // What was written so far is completed as far as the medium allows, and the preview goes on.
  if (m_bRecording) OnCaptureStop();
  showCaptureFailure(
      QStringLiteral("Recording to \"%1\" stopped: %2.\nWhat was recorded until then is kept.")
          .arg(path, reason));
}

void CMainFrame::watchRecordingFailures() {
  m_wndView->m_videoCap.setRecordingFailedHandler(
      [this](const std::string& path, const std::string& reason) {
        // Stopping the graph must wait until the graph's own event delivery has returned.
        QTimer::singleShot(
            0, this,
            [this, path = QString::fromStdString(path), reason = QString::fromStdString(reason)] {
              OnRecordingFailed(path, reason);
            });
      });
}

void CMainFrame::OnCaptureSnapshot() {
  const auto chosen = askSavePath(this, snapshotSaveDialog());
  if (!chosen) return;
  frame_stats::snapshotAskedNs.store(frame_stats::nowNs(), std::memory_order_relaxed);
  const SnapshotTarget target = snapshotTarget(chosen->toStdString());
  const QString shownPath = QString::fromStdString(target.path);
  CVideoCap& engine = m_wndView->m_videoCap;
  const int width = engine.m_nWidth;
  const int height = engine.m_nHeight;
  if (width <= 0 || height <= 0 || !engine.isRunning()) {
    showCaptureFailure(QStringLiteral("No picture was taken for \"%1\": the camera is not running.")
                           .arg(shownPath));
    return;
  }
  std::vector<std::uint8_t> bits(rgb24Stride(width) * static_cast<std::size_t>(height));
  if (!engine.GetSnapshot(bits.data(), bits.size())) {
    showCaptureFailure(
        QStringLiteral("No picture was taken for \"%1\": the camera sent no frame in time.")
            .arg(shownPath));
    return;
  }
  frame_stats::snapshotFrameNs.store(frame_stats::nowNs(), std::memory_order_relaxed);
  const std::vector<std::uint8_t> file = target.format == PictureFormat::Bmp
                                             ? encodeBmp(bits.data(), width, height)
                                             : encodeJpeg(bits.data(), width, height);
  frame_stats::snapshotEncodedNs.store(frame_stats::nowNs(), std::memory_order_relaxed);
  std::string reason = "the picture could not be encoded";
  if (file.empty() || !writeFileAtomically(target.path, file.data(), file.size(), &reason)) {
    showCaptureFailure(QStringLiteral("Can't save the picture \"%1\": %2.")
                           .arg(shownPath, QString::fromStdString(reason)));
    return;
  }
  frame_stats::snapshotSavedNs.store(frame_stats::nowNs(), std::memory_order_relaxed);
}

}  // namespace kovracam
