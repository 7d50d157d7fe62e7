#pragma once
// The transfer queue: every request to the controller goes through it, one on
// the line at a time, replies matched by order. Mode 2 carries requests over
// the line port. The window TSend shows its state and log.
#include "common/clock.h"
#include "common/log_hooks.h"
#include "common/timer.h"
#include "link/line_port.h"
#include "link/link_state.h"
#include "link/new_com.h"
#include "link/transfers.h"

#include <QByteArray>
#include <QString>
#include <deque>
#include <functional>
#include <memory>

namespace ulv {

struct TransferEntry {
  QByteArray Command;  // cut to 32 bytes
  TransferReplyHandler OnReply;
  int ReplyLength = 0;
};

class TransferQueue : public Transfers {
public:
  static constexpr int kMaxEntries = 50;
  static constexpr int kRestartFill = 40;
  static constexpr int kReplyTimeoutMs = 4000;
  // Mode 1: a framed error text is held this long before the queue empties.
  static constexpr int kFramedErrorDelayMs = 2500;

  TransferQueue(LinkState& link, LinePort& line, LogHooks& logs, const Clock& clock, TimerFactory& timers);
  ~TransferQueue() override;

  bool AddTransfer(const QByteArray& command, int replyLength, TransferReplyHandler onReply) override;
  bool IsLinked() const override { return link_.IsLinked(); }
  void DispatchReply(const QByteArray& reply);
  void FlushQueue();
  // false: mode 2 over the line port (Init401 and LineStart run); true: mode 1
  // over the framed transport (the line port stops and writes nothing). A
  // switch finishes the head request with the substitute reply.
  void SetTransport(bool framed);
  // The end of a modem session: the head request gets the substitute, the
  // rest is flushed, and the queue is back in mode 2 with the line port left
  // stopped (the line returns through the lamp or the COM menu).
  void EndFramedSession();
  // The framed transport of mode 1 (none: mode 1 refuses every request).
  void SetFramedTransport(TNewCom* newCom);
  // Mode 1 reply path: a reply text from the framed transport.
  void FramedReply(const QByteArray& text);
  QByteArray LastFramedReply() const { return lastFramedReply_; }
  bool DelayTimerActive() const { return delayTimer_->IsActive(); }

  int Mode() const { return mode_; }
  int Count() const { return static_cast<int>(fifo_.size()); }
  bool MaxStopped() const { return maxStopped_; }
  QString StateText() const { return maxStopped_ ? QStringLiteral("MAX/STOPPED") : QStringLiteral("RUN"); }
  int LineCountdown() const { return lineCountdown_; }
  QByteArray LastCommand() const { return lastCommand_; }
  int LastReplyLength() const { return lastReplyLength_; }

  // Settings of the window.
  int Timeout() const { return timeout_; }
  void SetTimeout(int ms) { timeout_ = ms; }
  int DelayInterval() const { return delayInterval_; }
  void SetDelayInterval(int ms) { delayInterval_ = ms; }
  bool SendOnTimeout() const { return sendOnTimeout_; }
  void SetSendOnTimeout(bool on) { sendOnTimeout_ = on; }
  bool ReportLocal() const { return reportLocal_; }
  void SetReportLocal(bool on) { reportLocal_ = on; }
  int WaitCount() const { return waitCount_; }
  // Milliseconds between the last sent and the last received log line.
  int LastTransferTime() const { return lastTransferTime_; }

  // For the window: a log line (sent or received) when "report lokal" is on,
  // and any change of count, state or countdown.
  std::function<void(bool sent, const QString& line)> OnLogLine;
  std::function<void()> OnStateChanged;

private:
  void LogSent(const QString& text);
  void LogReceived(const QString& text);
  void SendHead(const QByteArray& command, int replyLength);
  void SwitchMode(int mode);
  QByteArray Substitute();
  // The head request is finished with the substitute reply; the requests
  // behind it are discarded (a handler may add new ones).
  void FinishHeadWithSubstitute(const QString& flushNote = QString());
  void DelayTimerExpired();
  void FramedSent();
  void SendNextWaiting();
  void StartCountdown();
  void StopCountdown();
  void TimeoutAction();
  void WaitTimerTick();
  void CountdownTick();
  void StateChanged();

  LinkState& link_;
  LinePort& line_;
  LogHooks& logs_;
  const Clock& clock_;
  std::deque<TransferEntry> fifo_;
  std::unique_ptr<Timer> waitTimer_;
  std::unique_ptr<Timer> qelTimer_;
  std::unique_ptr<Timer> delayTimer_;
  TNewCom* newCom_ = nullptr;
  QByteArray lastFramedReply_;
  int mode_ = 1;
  bool maxStopped_ = false;
  bool busy_ = false;
  QByteArray lastCommand_;
  int lastReplyLength_ = 0;
  int sendTime_ = 0;
  int lastTransferTime_ = 0;
  bool sendOnTimeout_ = false;
  int timeout_ = 8000;
  int delayInterval_ = 50;
  int lineCountdown_ = 0;
  bool reportLocal_ = false;
  int waitCount_ = 0;
};

}  // namespace ulv
