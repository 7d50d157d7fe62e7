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
      qelTimer_(timers.CreateTimer()),
      delayTimer_(timers.CreateTimer()) {
  waitTimer_->OnTimeout = [this] { WaitTimerTick(); };
  qelTimer_->OnTimeout = [this] { CountdownTick(); };
  delayTimer_->SetSingleShot(true);
  delayTimer_->OnTimeout = [this] { DelayTimerExpired(); };
}

TransferQueue::~TransferQueue() {
  // Neither transport may call back into a queue that is gone.
  line_.SendMessage(QByteArray(), nullptr);
  SetFramedTransport(nullptr);
}

void TransferQueue::SetFramedTransport(TNewCom* newCom) {
  if (newCom_) newCom_->OnAbandoned = nullptr;
  newCom_ = newCom;
  // A request the framed transport drops unanswered (a reset) fails like
  // one the partner refused.
  if (newCom_) newCom_->OnAbandoned = [this] {
    if (mode_ == 1 && !fifo_.empty()) FramedReply(QByteArrayLiteral("<ERROR> NC/STATUS"));
  };
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
  } else if (mode_ == 1 && !newCom_) {
    LogSent(QStringLiteral("transfer/no framed transport") + HexString(command));
  } else if (Count() < kMaxEntries) {
    fifo_.push_back(TransferEntry{cut, std::move(onReply), replyLength});
    if (mode_ == 2) sendOnTimeout_ = true;
    // A request that finds the queue idle goes on the line at once (after a
    // time-out the line port holds it back until the reset is done). In mode
    // 1 a request without reply stays at the head until the partner's ACK.
    if (Count() == 1) {
      LogSent(HexString(command));
      if (replyLength <= 0 && mode_ == 2) fifo_.pop_front();
      SendHead(command, replyLength);
      if (replyLength > 0 && mode_ == 2) StartCountdown();
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
    const int replyLength = next.ReplyLength;
    if (replyLength > 0) {
      SendHead(command, replyLength);
      if (mode_ == 2) StartCountdown();
      return;
    }
    LogSent(QStringLiteral("transfer/process ohne return.."));
    if (mode_ == 1) {
      SendHead(command, replyLength);
      return;
    }
    fifo_.pop_front();
    SendHead(command, replyLength);
  }
}

void TransferQueue::SendHead(const QByteArray& command, int replyLength) {
  if (mode_ == 2) {
    line_.SendMessage(command, [this](const QByteArray& reply) { DispatchReply(reply); });
    return;
  }
  if (replyLength > 0) {
    newCom_->SendRequest(command, [this](const QByteArray& text) { FramedReply(text); });
    return;
  }
  if (!newCom_->SendFrameWithReturn(TNewCom::BuildFrame(command), [this](const QByteArray&) { FramedSent(); }))
    FramedReply(QByteArrayLiteral("<ERROR> NC/STATUS"));
}

// The partner acknowledged a request that expects no reply: it is done.
void TransferQueue::FramedSent() {
  if (mode_ != 1 || fifo_.empty() || fifo_.front().ReplyLength > 0) return;
  fifo_.pop_front();
  SendNextWaiting();
  StateChanged();
}

void TransferQueue::FramedReply(const QByteArray& text) {
  lastFramedReply_ = text;
  const bool error = text.startsWith("<ERROR> NC/STATUS") || text.startsWith("<ERROR> NC/TIME.OUT");
  delayTimer_->Start(error ? kFramedErrorDelayMs : delayInterval_);
}

// A framed reply counts only when its length fits its header byte; anything
// else (an error text, a cut frame) finishes the head with the substitute.
void TransferQueue::DelayTimerExpired() {
  delayTimer_->Stop();
  const QByteArray text = lastFramedReply_;
  if (text.startsWith("<ERROR> NC/STATUS") || text.startsWith("<ERROR> NC/TIME.OUT")) {
    FinishHeadWithSubstitute(QStringLiteral("Send.flush, restart.."));
    return;
  }
  const bool whole = !text.isEmpty() && text.size() <= 16 &&
                     text.size() == (static_cast<uint8_t>(text.at(0)) & 0x0F) + 1;
  DispatchReply(whole ? text : Substitute());
}

QByteArray TransferQueue::Substitute() {
  lastCommand_ = QByteArray(std::clamp(lastReplyLength_, 0, kMaxCommand), '\0');
  return lastCommand_;
}

// The flush note follows the flush and comes before anything the handler
// queues anew.
void TransferQueue::FinishHeadWithSubstitute(const QString& flushNote) {
  if (fifo_.empty()) {
    if (!flushNote.isEmpty()) LogReceived(flushNote);
    StateChanged();
    return;
  }
  const QByteArray substitute = Substitute();
  TransferEntry done = std::move(fifo_.front());
  LogReceived(HexString(substitute));
  fifo_.clear();
  if (!flushNote.isEmpty()) LogReceived(flushNote);
  if (done.OnReply && done.ReplyLength > 0) done.OnReply(substitute);
  StateChanged();
}

// Only the entries go: a countdown that runs keeps running, and its expiry
// finds the queue empty.
void TransferQueue::FlushQueue() {
  fifo_.clear();
  StateChanged();
}

void TransferQueue::SetTransport(bool framed) {
  if (framed) {
    line_.ReleaseLine();
    line_.SetWritesBlocked(true);
    SwitchMode(1);
  } else {
    line_.SetWritesBlocked(false);
    line_.Init401();
    line_.LineStart();
    SwitchMode(2);
  }
}

void TransferQueue::EndFramedSession() {
  StopCountdown();
  delayTimer_->Stop();
  FinishHeadWithSubstitute();
  line_.ReleaseLine();
  line_.SetWritesBlocked(false);
  mode_ = 2;
  StateChanged();
}

// A request on the line of one transport can never be answered by the other:
// the head is finished with the substitute, and the requests behind it go out
// on the new transport.
void TransferQueue::SwitchMode(int mode) {
  StopCountdown();
  delayTimer_->Stop();
  mode_ = mode;
  if (fifo_.empty()) {
    StateChanged();
    return;
  }
  DispatchReply(Substitute());
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
  if (mode_ != 2) {
    StopCountdown();
    return;
  }
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
  Substitute();
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
