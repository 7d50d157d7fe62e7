#pragma once
// TForm4: the error log window. Its toolbar starts a read, re-lists the last
// records in hexadecimal, saves the list, hands it to the data window and
// deletes the controller's error memory; Memo1 holds the list. All work is
// done by ErrorLogReader.
#include <QStringList>
#include <QWidget>
#include <functional>

#include "records/error_log_reader.h"
#include "records/record_dialogs_widget.h"

class QPlainTextEdit;
class QProgressBar;
class QToolBar;
class QToolButton;

namespace ulv {

class TForm4 : public QWidget {
  Q_OBJECT

public:
  explicit TForm4(ErrorLogReader& reader, QWidget* parent = nullptr);
  ~TForm4() override;

  // Modal questions (standard dialogs unless a test replaces them).
  RecordDialogs Dialogs = RecordDialogs::Defaults();
  // Default folder of the save dialog (the configuration's Dokudir); the
  // working directory when unset or empty.
  std::function<QString()> Dokudir;
  // "Transfer Daten": every line of the list, for the data window's "Alles"
  // page.
  std::function<void(const QStringList& lines)> TransferDataHook;

  // Caption state 0 (start-up, reads the catalogue) or 1.
  void SetStatus(int state);
  // Tool windows are shown with their toolbar buttons 34 pixels high.
  void SetToolButtonHeight(int height);
  QToolBar* ToolBar() const { return toolBar_; }
  QPlainTextEdit* Memo() const { return memo_; }
  // Appends a line without marking the list as changed by the user.
  void AddLine(const QString& line);

  void CloseButtonClick();
  void HolenButtonClick();
  void BitBtn1Click();
  // The save flow; true when the list was written.
  bool SaveButtonClick();
  void BitBtn2Click();
  void DeleteButtonClick();

private:
  QToolButton* AddButton(const char* name, const QString& caption, const QString& hint);
  void ShowCaption();

  ErrorLogReader& reader_;
  QToolBar* toolBar_ = nullptr;
  QProgressBar* gauge_ = nullptr;
  QPlainTextEdit* memo_ = nullptr;
};

}  // namespace ulv
