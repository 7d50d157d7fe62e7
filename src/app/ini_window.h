#pragma once
// Tini_form, the settings editor: the configuration file as plain text, saved
// back on request. Before it loads the file, values the program changed in
// memory are written to it; after a save the program reloads the file, so
// the write-back at program end keeps the user's edits.
#include <QWidget>
#include <functional>

#include "common/configuration.h"

class QLabel;
class QPlainTextEdit;
class QToolBar;
class QToolButton;

namespace ulv {

// Asks a yes/no question; true for OK.
using QuestionHook = std::function<bool(const QString& title, const QString& text)>;
// Shows a message with an OK button.
using MessageHook = std::function<void(const QString& title, const QString& text)>;

class Tini_form : public QWidget {
  Q_OBJECT

public:
  explicit Tini_form(Configuration& config, QWidget* parent = nullptr);

  QToolBar* ToolBar1 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QLabel* Panel1 = nullptr;

  // "Änderung sichern ?" (QMessageBox by default).
  QuestionHook AskSave;
  // A save that failed (QMessageBox by default).
  MessageHook ShowError;

  // Empties the memo and loads the configuration file (what showing does).
  void LoadFile();
  // "Sichern": asks when the text was modified; OK writes it and reloads
  // the configuration. True when the file was written.
  bool Sichern();
  // "Schliessen": "Sichern" when modified, then hide.
  void Schliessen();
  bool CanSave() const { return canSave_; }

protected:
  // Explicitly shown (not merely uncovered with its parent): reload.
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  Configuration& config_;
  QToolButton* saveButton_ = nullptr;
  bool canSave_ = false;
  bool utf8_ = true;
};

}  // namespace ulv
