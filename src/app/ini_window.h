#pragma once
// Tini_form, the settings editor: the configuration file as plain text, saved
// back on request. Before it loads the file, values the program changed in
// memory are written to it; after a save the program reloads the file, so
// the write-back at program end keeps the user's edits. Its port row picks
// the device of COM1..COM4 from the adapters' stable /dev/serial/by-id names
// (or takes any path typed) and enters it in the text.
#include <QWidget>
#include <functional>

#include "common/configuration.h"
#include "link/port_doctor.h"

class QComboBox;
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
  // The port row: COM number, device (editable), "Eintragen".
  QComboBox* ComNumberBox = nullptr;
  QComboBox* ComDeviceBox = nullptr;

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
  // "Eintragen": the device typed or picked (a device with a stable name is
  // entered by that name) as [comport] comN in the text, then "Sichern".
  bool EnterComDevice();
  // Lists the serial devices' stable names again and shows the chosen COM
  // number's device as the text has it.
  void RefreshPorts();
  // Where the port list looks (tests point it into a temporary tree).
  DoctorRoots PortRoots;

protected:
  // Explicitly shown (not merely uncovered with its parent): reload.
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  Configuration& config_;
  void ShowComDevice();

  QToolButton* saveButton_ = nullptr;
  QToolButton* enterButton_ = nullptr;
  bool canSave_ = false;
  bool utf8_ = true;
};

}  // namespace ulv
