#include "records/record_dialogs_widget.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>

namespace ulv {

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
