#pragma once
// TForm9: the data window. Each record button appends a record's printed
// form to Memo1, "Alles" the whole chain; "Sichern" writes the text as
// "Info.txt", "Schliessen" clears and hides it (only when nothing is lost).
#include <QStringList>
#include <QWidget>
#include <functional>

#include "records/record_dialogs_widget.h"
#include "system/data_report.h"

class QPlainTextEdit;
class QToolBar;
class QToolButton;

namespace ulv {

class TForm9 : public QWidget {
  Q_OBJECT

public:
  TForm9(DataReport& report, const Clock& clock, QWidget* parent = nullptr);
  ~TForm9() override;

  // Modal questions (standard dialogs unless a test replaces them).
  RecordDialogs Dialogs = RecordDialogs::Defaults();
  // Default folder of the save dialog (the configuration's Dokudir).
  std::function<QString()> Dokudir;

  void SetToolButtonHeight(int height);
  QToolBar* ToolBar() const { return toolBar_; }
  QPlainTextEdit* Memo() const { return memo_; }
  QStringList Lines() const;
  // Lines from elsewhere ("Transfer Daten"): appended and unsaved.
  void AppendLines(const QStringList& lines);

  void AllesButtonClick() { report_.Alles(); }
  void VersionButtonClick() { report_.Press(DataReport::Record::Version); }
  void CallsButtonClick();
  // The save flow; true when the file was written.
  bool SaveButtonClick();
  // Clears and hides unless unsaved text would be lost.
  void CloseButtonClick();

private:
  QToolButton* AddButton(const char* name, const QString& caption, const QString& hint = QString());

  DataReport& report_;
  const Clock& clock_;
  QToolBar* toolBar_ = nullptr;
  QPlainTextEdit* memo_ = nullptr;
};

}  // namespace ulv
