#include "link/transfer_queue.h"

#include <algorithm>

#include "common/bytes.h"

namespace ulv {

namespace {

constexpr int kMaxCommand = 32;
constexpr int kCountdownStepMs = 100;
constexpr int kMsPerDay = 24 * 60 * 60 * 1000;

}  // namespace

TransferQueue::TransferQueue(LinkState& link, LinePort& line, LogHooks& logs, const Clock& clock,
                             TimerFactory& timers)
    : link_(link),
      line_(line),
      logs_(logs),
      clock_(clock),
      waitTimer_(timers.CreateTimer()),
      qelTimer_(timers.CreateTimer()) {
  waitTimer_->OnTimeout = [this] { WaitTimerTick(); };
  qelTimer_->OnTimeout = [this] { CountdownTick(); };
}

TransferQueue::~TransferQueue() {
  // The line port must not call back into a queue that is gone.
  line_.SendMessage(QByteArray(), nullptr);
}

bool TransferQueue::AddTransfer(const QByteArray& command, int replyLength, TransferReplyHandler onReply) {
  if (!link_.IsLinked()) return false;
  if (busy_) {
    LogSent(QStringLiteral("transfer/blocked") + HexString(command));
    busy_ = false;
    return false;
  }
  busy_ = true;
  const QByteArray cut = command.left(kMaxCommand);
  lastCommand_ = cut;
  lastReplyLength_ = replyLength;
  bool accepted = false;
  if (maxStopped_) {
    LogSent(QStringLiteral("transfer/FOverflow") + HexString(command));
  } else if (mode_ != 2) {
    // The framed transport is not part of this program yet.
    LogSent(QStringLiteral("transfer/no framed transport") + HexString(command));
  } else if (Count() < kMaxEntries) {
    fifo_.push_back(TransferEntry{cut, std::move(onReply), replyLength});
    sendOnTimeout_ = true;
    // A request that finds the queue idle goes on the line at once (after a
    // time-out the line port holds it back until the reset is done).
    if (Count() == 1) {
      LogSent(HexString(command));
      if (replyLength <= 0) fifo_.pop_front();
      SendHead(command);
      if (replyLength > 0) StartCountdown();
    }
    accepted = true;
    StateChanged();
  } else {
    maxStopped_ = true;
    LogSent(QStringLiteral("*** gestoppt wegen transfer-fifo max ***") + HexString(command));
    waitTimer_->Start(timeout_);
    StateChanged();
  }
  busy_ = false;
  return accepted;
}

void TransferQueue::DispatchReply(const QByteArray& reply) {
  StopCountdown();
  LogReceived(HexString(reply));
  if (!maxStopped_) waitTimer_->Stop();
  if (fifo_.empty()) {
    LogReceived(QStringLiteral("transfer/fifo leer ?"));
    StateChanged();
    return;
  }
  TransferEntry done = std::move(fifo_.front());
  fifo_.pop_front();
  // The next request goes on the line before the finished one's handler runs.
  SendNextWaiting();
  if (done.OnReply && done.ReplyLength > 0) done.OnReply(reply);
  StateChanged();
}

// Sends the request now at the head. One that expects no reply is removed as
// it goes out, and the one behind it follows at once.
void TransferQueue::SendNextWaiting() {
  while (!fifo_.empty()) {
    TransferEntry& next = fifo_.front();
    LogSent(HexString(next.Command));
    const QByteArray command = next.Command;
    if (next.ReplyLength > 0) {
      SendHead(command);
      StartCountdown();
      return;
    }
    fifo_.pop_front();
    LogSent(QStringLiteral("transfer/process ohne return.."));
    SendHead(command);
  }
}

void TransferQueue::SendHead(const QByteArray& command) {
  line_.SendMessage(command, [this](const QByteArray& reply) { DispatchReply(reply); });
}

// Only the entries go: a countdown that runs keeps running, and its expiry
// finds the queue empty.
void TransferQueue::FlushQueue() {
  fifo_.clear();
  StateChanged();
}

void TransferQueue::SetTransport(bool framed) {
  if (framed) {
    mode_ = 1;
    line_.SetWritesBlocked(true);
  } else {
    line_.SetWritesBlocked(false);
    line_.Init401();
    line_.LineStart();
    mode_ = 2;
  }
  StateChanged();
}

void TransferQueue::StartCountdown() {
  lineCountdown_ = kReplyTimeoutMs;
  qelTimer_->Start(kCountdownStepMs);
}

void TransferQueue::StopCountdown() {
  qelTimer_->Stop();
  lineCountdown_ = 0;
}

void TransferQueue::CountdownTick() {
  lineCountdown_ -= kCountdownStepMs;
  if (lineCountdown_ > 0) {
    StateChanged();
    return;
  }
  lineCountdown_ = 0;
  qelTimer_->Stop();
  StateChanged();
  TimeoutAction();
}

// No reply in time: the requests waiting behind the head are discarded, the
// line is reset (no tail of the given-up request goes out, and a reply the
// controller still holds can never answer a later request), and the head's
// handler gets the substitute reply, also when the queue stood stopped. A
// request its handler adds waits in the line port until the reset is done.
void TransferQueue::TimeoutAction() {
  maxStopped_ = false;
  waitTimer_->Stop();
  lastCommand_ = QByteArray(std::clamp(lastReplyLength_, 0, kMaxCommand), '\0');
  line_.AbortExchange();
  if (fifo_.size() > 1) fifo_.erase(fifo_.begin() + 1, fifo_.end());
  if (sendOnTimeout_) {
    DispatchReply(lastCommand_);
  } else {
    FlushQueue();
  }
}

// Overflow wait: the stop ends once the fill has dropped to 40; the head keeps
// waiting for its own reply.
void TransferQueue::WaitTimerTick() {
  if (maxStopped_ && Count() > kRestartFill) {
    waitTimer_->Start(timeout_);
    ++waitCount_;
    StateChanged();
    return;
  }
  maxStopped_ = false;
  waitTimer_->Stop();
  StateChanged();
}

void TransferQueue::LogSent(const QString& text) {
  const int ms = clock_.MsecsSinceMidnight();
  sendTime_ = ms;
  const bool toLog = logs_.Flag(10);
  const bool local = reportLocal_ && OnLogLine;
  if (!toLog && !local) return;
  const QString line = QString::number(ms) + QStringLiteral(" >> ") + text;
  if (toLog) logs_.WriteLog(line);
  if (local) OnLogLine(true, line);
}

void TransferQueue::LogReceived(const QString& text) {
  const int ms = clock_.MsecsSinceMidnight();
  lastTransferTime_ = ms - sendTime_;
  if (lastTransferTime_ < 0) lastTransferTime_ += kMsPerDay;
  const bool toLog = logs_.Flag(10);
  const bool local = reportLocal_ && OnLogLine;
  if (!toLog && !local) return;
  const QString line = QString::number(ms) + QStringLiteral(" << ") + text;
  if (toLog) logs_.WriteLog(line);
  if (local) OnLogLine(false, line);
}

void TransferQueue::StateChanged() {
  if (OnStateChanged) OnStateChanged();
}

}  // namespace ulv
