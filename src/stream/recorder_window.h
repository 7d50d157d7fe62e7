#pragma once
// TForm14: the event stream recorder window. Buttons run, stop and restart
// the recording, poll the header and fetch the stream into the capture file
// named in Edit3; Memo1 shows every fetched entry decoded. All work is done
// by StreamRecorder; the window shows its view.
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>

#include "link/link_state.h"
#include "records/record_dialogs_widget.h"
#include "stream/stream_recorder.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;
class QToolBar;
class QToolButton;

namespace ulv {

class TLinkPanel;

class TForm14 : public QWidget {
  Q_OBJECT

public:
  explicit TForm14(StreamRecorder& recorder, QWidget* parent = nullptr);
  ~TForm14() override;

  // The message box of a file problem (standard dialog unless replaced).
  RecordDialogs Dialogs = RecordDialogs::Defaults();
  // "Transfer Data": every line of Memo1, for the data window.
  std::function<void(const QStringList& lines)> TransferDataHook;

  // StartRecorder: registers Link_Led, then starts the recorder.
  void StartRecorder(LinkState& link);
  QToolBar* ToolBar() const { return toolBar_; }
  QPlainTextEdit* Memo() const { return memo_; }
  TLinkPanel* LinkLed() const { return linkLed_; }
  // Lines waiting for the memo go in now (they are appended in batches).
  void FlushMemo();

  void InterfaceButtonClick();
  void BitBtn3Click();

private:
  QToolButton* AddButton(QWidget* parent, const char* name, const QString& caption, const QString& hint,
                         bool checkable = false);
  QLabel* AddLabel(QWidget* parent, const char* name);
  void ShowView();

  StreamRecorder& recorder_;
  QToolBar* toolBar_ = nullptr;
  TLinkPanel* linkLed_ = nullptr;
  QToolButton* interfaceButton_ = nullptr;
  std::array<QToolButton*, 6> bits_{};
  std::vector<QToolButton*> linkedButtons_;
  QToolButton* fetchButton_ = nullptr;
  QLabel* hLed_ = nullptr;
  QLabel* openLed_ = nullptr;
  QLabel* stopLed_ = nullptr;
  QLabel* size_ = nullptr;
  QLabel* openDate_ = nullptr;
  QLabel* openTime_ = nullptr;
  QLabel* count_ = nullptr;
  QLabel* wrap_ = nullptr;
  QLabel* fetch_ = nullptr;
  QGroupBox* fileBox_ = nullptr;
  QLineEdit* edit3_ = nullptr;
  QPlainTextEdit* memo_ = nullptr;
  QTimer* memoTimer_ = nullptr;
  QStringList pending_;
};

}  // namespace ulv
