#pragma once
// TNamenForm: the plant identity window. "holen" reads the identity into
// Memo1 and the edit fields; "Set-Name" and "Set-Telefon" write a new plant
// identifier or telephone number. All work is done by PlantIdentity.
#include <QWidget>

#include "records/plant_identity.h"
#include "records/record_dialogs_widget.h"

class QLineEdit;
class QPlainTextEdit;
class QToolBar;
class QToolButton;

namespace ulv {

class TNamenForm : public QWidget {
  Q_OBJECT

public:
  explicit TNamenForm(PlantIdentity& identity, QWidget* parent = nullptr);
  ~TNamenForm() override;

  // The input boxes of "Set-Name" and "Set-Telefon".
  RecordDialogs Dialogs = RecordDialogs::Defaults();

  void SetToolButtonHeight(int height);
  QToolBar* ToolBar() const { return toolBar_; }
  QPlainTextEdit* Memo() const { return memo_; }
  void AddLine(const QString& line);

  void CloseButtonClick();
  // The read; the main window's timer runs it too, visible or not.
  void HolenButtonClick();
  void SpeedButton1Click();
  void SpeedButton2Click();

private:
  QToolButton* AddButton(QWidget* parent, const char* name, const QString& caption);

  PlantIdentity& identity_;
  QToolBar* toolBar_ = nullptr;
  QLineEdit* nameEdit_ = nullptr;
  QLineEdit* telEdit_ = nullptr;
  QPlainTextEdit* memo_ = nullptr;
};

}  // namespace ulv
