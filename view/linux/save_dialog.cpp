#include "view/linux/save_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmapCache>

#include "capture/linux/frame_stats.h"

namespace kovracam {
namespace {

// Refuses a name whose folder does not exist, as the dialog's own checks would, and stays open.
class SaveDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

 protected:
  void accept() override {
    frame_stats::saveAcceptedNs.store(frame_stats::nowNs(), std::memory_order_relaxed);
    const QStringList chosen = selectedFiles();
    if (!chosen.isEmpty() && !QFileInfo(chosen.first()).isDir() &&
        !QFileInfo(chosen.first()).absoluteDir().exists()) {
      QMessageBox::warning(this, windowTitle(),
                           QStringLiteral("%1\nThe folder does not exist.").arg(chosen.first()));
      return;
    }
    QFileDialog::accept();
  }
};

QString startFolder(QStandardPaths::StandardLocation userFolder) {
  if (!qEnvironmentVariableIsEmpty("KOVRACAM_LAUNCHER")) {
    const QString folder = QStandardPaths::writableLocation(userFolder);
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
  }
  return QDir::currentPath();
}

std::optional<QString> runSaveDialog(QWidget* parent, const SaveDialogSpec& spec) {
  SaveDialog dialog(parent, QStringLiteral("Save As"), startFolder(spec.userFolder));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  // The filter texts are shown exactly as written; the patterns behind them stay hidden.
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  QStringList filters;
  for (const auto& [text, pattern] : spec.filters) filters << text + " (" + pattern + ")";
  dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(spec.defaultSuffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

}  // namespace

std::optional<QString> askSavePath(QWidget* parent, const SaveDialogSpec& spec) {
  const auto chosen = runSaveDialog(parent, spec);
  // Every dialog paints its file icons anew, under new keys, into Qt's pixmap cache, which holds
  // them until its 10 MiB limit: a long session would grow by that much for pictures nobody
  // will see again.
  QPixmapCache::clear();
  return chosen;
}

SaveDialogSpec recordingSaveDialog() {
  return {QStringLiteral("avi"),
          {{QStringLiteral("(*.avi)"), QStringLiteral("*.avi")}},
          QStandardPaths::MoviesLocation};
}

SaveDialogSpec snapshotSaveDialog() {
  return {QStringLiteral("jpg"),
          {{QStringLiteral("JPEG(*.jpg)"), QStringLiteral("*.jpg")},
           {QStringLiteral("BMP(*.bmp)"), QStringLiteral("*.BMP")}},
          QStandardPaths::PicturesLocation};
}

}  // namespace kovracam
