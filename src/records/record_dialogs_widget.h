#pragma once
// The modal questions of the records windows, as replaceable hooks: the
// defaults open the standard dialogs, tests answer them directly.
#include <QByteArray>
#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace ulv {

struct RecordDialogs {
  // A file to save to; empty when the user cancelled.
  std::function<QString(QWidget* parent, const QString& directory, const QString& proposedName,
                        const QString& filter)>
      SaveFileName;
  // A question with the given buttons; the button chosen.
  std::function<QMessageBox::StandardButton(QWidget* parent, const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons)>
      Question;
  // An input box pre-filled with *text; false when the user cancelled.
  std::function<bool(QWidget* parent, const QString& caption, const QString& prompt, QString* text)>
      InputText;
  // A file problem shown to the user.
  std::function<void(QWidget* parent, const QString& text)> FileError;

  // "Sichern": asks for a file in `directory` (the working directory when
  // empty), asks before overwriting one, writes `bytes` through the shared
  // save path and shows a failure. True once the file is written.
  bool SaveFile(QWidget* parent, QString directory, const QString& proposedName, const QString& filter,
                const QByteArray& bytes) const;

  // QFileDialog, QMessageBox and QInputDialog.
  static RecordDialogs Defaults();
};

}  // namespace ulv
