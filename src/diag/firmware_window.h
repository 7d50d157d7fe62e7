#pragma once
// TForm1: the firmware data view. Binds its buttons to FirmwareView and
// shows its printout in Memo2 beside the fixed reference text in Memo1.
#include <QWidget>
#include <functional>

#include "diag/firmware_view.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QToolButton;

namespace ulv {

class TLinkPanel;

class TForm1 : public QWidget {
  Q_OBJECT

public:
  explicit TForm1(FirmwareView& view, QWidget* parent = nullptr);
  ~TForm1() override;

  TLinkPanel* LinkLed() const { return linkLed_; }
  // Where "SaveRam" writes (Datadir; the working directory when empty).
  std::function<QString()> Datadir;
  // Message boxes (replaced in tests).
  std::function<void(const QString& text)> ShowMessage;
  // Closing the window shows the main window.
  std::function<void()> OnClosed;

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void ShowText(const QString& text, bool error);

  FirmwareView& view_;
  TLinkPanel* linkLed_ = nullptr;
  QToolButton* readButton_ = nullptr;
  QCheckBox* checkBox1_ = nullptr;
  QRadioButton* ram_ = nullptr;
  QLineEdit* errorDisplay_ = nullptr;
  QLineEdit* interf_ = nullptr;
  QLineEdit* edit1_ = nullptr;
  QPlainTextEdit* memo2_ = nullptr;
};

}  // namespace ulv
