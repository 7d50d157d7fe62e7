#pragma once
// TForm8: the SysVar window. "Read" fetches sys_t through the record reader
// and appends its short form; the lamp enables "Read" while the link is up.
#include <QWidget>
#include <functional>

#include "system/record_reader.h"

class QPlainTextEdit;
class QToolBar;
class QToolButton;

namespace ulv {

class TLinkPanel;

class TForm8 : public QWidget {
  Q_OBJECT

public:
  explicit TForm8(RecordReader& reader, QWidget* parent = nullptr);

  void ReadButtonClick();
  TLinkPanel* LinkLed() const { return linkLed_; }
  QPlainTextEdit* Memo() const { return memo_; }
  QToolButton* ReadButton() const { return readButton_; }

  // The help button: the topic "SysVar".
  std::function<void(const QString& topic)> OnHelp;
  // Closing hides the window and shows the data window.
  std::function<void()> OnClosed;

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  RecordReader& reader_;
  QToolBar* toolBar_ = nullptr;
  QToolButton* readButton_ = nullptr;
  TLinkPanel* linkLed_ = nullptr;
  QPlainTextEdit* memo_ = nullptr;
};

}  // namespace ulv
