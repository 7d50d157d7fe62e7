#pragma once
// TForm5: the memory dump window. "Dump" reads 1408 bytes from the address
// in Edit1 and lists the first 128; Edit1 then holds the next address.
#include <QWidget>
#include <functional>

#include "system/memory_dump.h"

class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QToolBar;
class QToolButton;

namespace ulv {

class TForm5 : public QWidget {
  Q_OBJECT

public:
  explicit TForm5(MemoryDump& dump, QWidget* parent = nullptr);
  ~TForm5() override;

  // The memory debugger's way in (after it wrote its address into Edit1):
  // clears the memo, shows the window in front.
  void ShowDump();
  void DumpButtonClick();
  void CloseButtonClick();
  void SetToolButtonHeight(int height);

  QLineEdit* Edit1() const { return edit_; }
  QPlainTextEdit* Memo() const { return memo_; }
  QProgressBar* Gauge() const { return gauge_; }
  QToolBar* ToolBar() const { return toolBar_; }

  // Each block's 13 bytes as text, for the memory debugger's Receiver.
  std::function<void(const QString& text)> OnReceiver;

private:
  MemoryDump& dump_;
  QToolBar* toolBar_ = nullptr;
  QProgressBar* gauge_ = nullptr;
  QLineEdit* edit_ = nullptr;
  QPlainTextEdit* memo_ = nullptr;
};

}  // namespace ulv
