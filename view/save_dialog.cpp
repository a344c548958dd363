#include "view/save_dialog.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <memory>

#include "capture/frame_stats.h"

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

}  // namespace

std::optional<QString> askSavePath(QWidget* parent, const SaveDialogSpec& spec) {
  QStringList filters;
  for (const auto& [text, pattern] : spec.filters) filters << text + " (" + pattern + ")";
  // One dialog of each kind for the owner's life, set up afresh for every use: each file dialog
  // Qt builds leaves about 20 KB behind when it goes, which a long session would pile up.
  const QString name = QStringLiteral("save dialog ") + spec.defaultSuffix;
  auto* dialog =
      parent ? parent->findChild<SaveDialog*>(name, Qt::FindDirectChildrenOnly) : nullptr;
  std::unique_ptr<SaveDialog> unowned;
  if (!dialog) {
    dialog = new SaveDialog(parent, QStringLiteral("Save As"));
    if (!parent) unowned.reset(dialog);
    dialog->setObjectName(name);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    // The filter texts are shown exactly as written; the patterns behind them stay hidden.
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    dialog->setNameFilters(filters);
    dialog->setDefaultSuffix(spec.defaultSuffix);
  }
  dialog->setDirectory(startFolder(spec.userFolder));
  dialog->selectNameFilter(filters.value(0));
  // No name from the last time (selecting an empty name is ignored): clear the name field.
  auto* nameField = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (nameField) {
    nameField->clear();
    nameField->setFocus();
  }
  const bool accepted = dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
  // A hidden dialog does not take its name completions with it; they would hold the keyboard.
  if (nameField && nameField->completer() && nameField->completer()->popup()) {
    nameField->completer()->popup()->hide();
  }
  if (!accepted) return std::nullopt;
  return dialog->selectedFiles().first();
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
