#include "records/record_dialogs_widget.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>

#include "common/save_file.h"

namespace ulv {

bool RecordDialogs::SaveFile(QWidget* parent, QString directory, const QString& proposedName,
                             const QString& filter, const QByteArray& bytes) const {
  if (!SaveFileName) return false;
  if (directory.isEmpty()) directory = QDir::currentPath();
  const QString name = SaveFileName(parent, directory, proposedName, filter);
  if (name.isEmpty()) return false;
  if (QFileInfo::exists(name)) {
    if (!Question || Question(parent, QStringLiteral("Sichern"), name + QStringLiteral(" überschreiben ?"),
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel) != QMessageBox::Yes)
      return false;
  }
  QString error;
  if (!SaveWholeFile(name, bytes, &error)) {
    if (FileError) FileError(parent, error);
    return false;
  }
  return true;
}

RecordDialogs RecordDialogs::Defaults() {
  RecordDialogs d;
  d.SaveFileName = [](QWidget* parent, const QString& directory, const QString& proposedName,
                      const QString& filter) {
    // The window asks its own overwrite question.
    return QFileDialog::getSaveFileName(parent, QString(), QDir(directory).filePath(proposedName), filter,
                                        nullptr, QFileDialog::DontConfirmOverwrite);
  };
  d.Question = [](QWidget* parent, const QString& title, const QString& text,
                  QMessageBox::StandardButtons buttons) {
    return QMessageBox::question(parent, title, text, buttons);
  };
  d.InputText = [](QWidget* parent, const QString& caption, const QString& prompt, QString* text) {
    bool ok = false;
    const QString answer = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, *text, &ok);
    if (ok) *text = answer;
    return ok;
  };
  d.FileError = [](QWidget* parent, const QString& text) { QMessageBox::warning(parent, QString(), text); };
  return d;
}

}  // namespace ulv
