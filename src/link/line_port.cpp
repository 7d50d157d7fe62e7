#include "link/line_port.h"

#include <algorithm>

namespace ulv {

namespace {

// Flags of the tool's byte (high nibble).
constexpr uint8_t kOwnRepeat = 0x10;
constexpr uint8_t kOwnLowNibble = 0x20;
constexpr uint8_t kOwnIdle = 0x40;
constexpr uint8_t kOwnError = 0x80;
// Flags of the controller's byte.
constexpr uint8_t kPeerRepeat = 0x80;
constexpr uint8_t kPeerIdle = 0x40;
constexpr uint8_t kPeerLowNibble = 0x20;
// All four flags and no data: the reset request, and the controller's answer to it.
constexpr uint8_t kReset = 0xF0;

constexpr int kRingCapacity = 1000;
constexpr qsizetype kLineDataKept = 4096;
constexpr int kSilentSteps = 2000;
constexpr int kRepeatsBeforeReset = 3;
constexpr int kRepeatTimerMs = 500;

}  // namespace

LinePort::LinePort(ComPort& port, TimerFactory& timers) : port_(port), lineTimer_(timers.CreateTimer()) {
  lineTimer_->OnTimeout = [this] { LineTimerExpired(); };
}

LinePort::~LinePort() {
  if (hooksInstalled_) {
    port_.ReceiveHook = nullptr;
    port_.LineToggleHook = nullptr;
    port_.OnReopened = nullptr;
  }
}

void LinePort::Init401() {
  r_ = Record401{};
  r_.txByte = kReset;
  r_.lineOk = false;
}

void LinePort::Step401() {
  Record401& r = r_;
  if (r.phase == 0) {
    if (r.txByte != kReset) {
      if (r.rxByte == kReset) {
        // The controller answered the reset request: both ends start clean.
        // The message being sent was given up when the reset began, so the
        // next nibble is the next ring byte's (or idle), never a repetition
        // and never flagged idle while it carries data.
        r.curByte = 0;
        r.ownLowNibble = r.ownIdle = true;
        r.ownRepeat = r.ownError = false;
        r.repeatCount = 0;
        r.peerRepeat = r.peerIdle = r.peerLowNibble = r.peerBit4 = false;
        r.rxAcc = 0;
        r.rxByte = 0;
      }
      uint8_t nibble = 0;
      if (r.peerRepeat) {
        ++r.repeatCount;
        if (r.repeatCount >= kRepeatsBeforeReset) {
          nibble = 0;
          r.ownError = r.ownIdle = r.ownLowNibble = r.ownRepeat = true;
          r.repeatCount = 0;
          r.lineOk = false;
          // The controller drops a half-received request and its pending
          // reply on the reset: the rest of ours would read as a new header.
          DiscardMessages();
        } else {
          r.ownRepeat = true;
          nibble = r.txByte & 0x0F;
        }
      } else if (!r.ownLowNibble && !r.ownIdle) {
        nibble = r.curByte & 0x0F;
        r.ownLowNibble = true;
        r.ownRepeat = false;
        r.repeatCount = 0;
      } else if (r.count > 0) {
        r.curByte = r.txRing[r.readIndex];
        r.readIndex = (r.readIndex + 1) % Record401::kRingSize;
        --r.count;
        nibble = r.curByte >> 4;
        r.ownIdle = r.ownRepeat = r.ownLowNibble = false;
        r.repeatCount = 0;
      } else {
        r.curByte = 0;
        nibble = 0;
        r.ownIdle = true;
        r.ownRepeat = r.ownLowNibble = false;
        r.repeatCount = 0;
      }
      r.txByte = static_cast<uint8_t>(nibble | (r.ownRepeat ? kOwnRepeat : 0) | (r.ownIdle ? kOwnIdle : 0) |
                                      (r.ownLowNibble ? kOwnLowNibble : 0) | (r.ownError ? kOwnError : 0));
    }
    WriteTx();
    r.ownError = false;
    r.phase = 1;
    r.waitCount = 0;
    return;
  }

  if (!r.byteReceived) {
    if (++r.waitCount >= kSilentSteps) {
      r.phase = 0;
      r.lineOk = false;
    }
    return;
  }
  r.rxByte = r.lastRxByte;
  r.byteReceived = false;
  if (r.txByte == kReset) {
    if (r.rxByte == kReset) {
      r.txByte = 0;
      r.lineOk = true;
    }
  } else {
    r.lineOk = true;
    r.peerRepeat = (r.rxByte & kPeerRepeat) != 0;
    r.peerIdle = (r.rxByte & kPeerIdle) != 0;
    r.peerLowNibble = (r.rxByte & kPeerLowNibble) != 0;
    r.peerBit4 = true;
    r.rxAcc |= r.rxByte & 0x0F;
    if ((r.rxByte & 0x0F) == (r.rxAcc & 0x0F)) {
      r.ownError = false;
      if (r.peerIdle) {
        // An idle byte carries no data, whatever its other flags say (the
        // line watch's fake reset byte has them all).
        r.rxAcc = 0;
        r.rxByte = 0;
      } else if (r.peerLowNibble) {
        r.rxAcc |= r.rxByte & 0x0F;
        const uint8_t b = r.rxAcc;
        r.rxAcc = 0;
        r.rxByte = 0;
        r.lineOk = true;
        DeliverByte(b);
      } else {
        r.rxAcc = static_cast<uint8_t>(r.rxAcc << 4);
      }
    }
  }
  r.phase = 0;
}

void LinePort::SendMessage(const QByteArray& msg, std::function<void(const QByteArray&)> onMessage) {
  onMessage_ = std::move(onMessage);
  for (char c : msg) {
    if (r_.count >= kRingCapacity) continue;
    r_.txRing[r_.writeIndex] = static_cast<uint8_t>(c);
    r_.writeIndex = (r_.writeIndex + 1) % Record401::kRingSize;
    ++r_.count;
  }
}

// Received bytes of kind 0xF start a controller message whose length the
// header's low nibble gives; other bytes outside a message are line data.
void LinePort::DeliverByte(uint8_t b) {
  if (msgRemaining_ == 0) {
    if ((b >> 4) != 0x0F) {
      // Bytes nobody takes (no reply, no monitor) must not pile up for ever:
      // the newest ones are kept.
      if (lineData_.size() >= kLineDataKept) lineData_.remove(0, kLineDataKept / 4);
      lineData_.append(static_cast<char>(b));
      ++lineDataCount_;
      return;
    }
    msgRemaining_ = (b & 0x0F) + 1;
  }
  msg_.append(static_cast<char>(b));
  if (--msgRemaining_ > 0) return;
  const QByteArray message = std::move(msg_);
  msg_.clear();
  if (onMessage_) {
    // The handler may install the next one while it runs.
    auto handler = onMessage_;
    handler(message);
  }
  // Line data from before the reply goes only once the reply is handled.
  lineData_.clear();
}

// The unsent rest of the outgoing messages and a half-received reply go.
void LinePort::DiscardMessages() {
  r_.count = 0;
  r_.readIndex = r_.writeIndex;
  msg_.clear();
  msgRemaining_ = 0;
}

void LinePort::AbortExchange() {
  DiscardMessages();
  Record401& r = r_;
  r.curByte = 0;
  r.ownLowNibble = r.ownIdle = true;
  r.ownRepeat = r.ownError = false;
  r.repeatCount = 0;
  r.rxAcc = 0;
  r.txByte = kReset;
  r.lineOk = false;
}

QByteArray LinePort::TakeLineData() {
  QByteArray out = std::move(lineData_);
  lineData_.clear();
  return out;
}

void LinePort::LineStart() {
  // A reply cut off by a port change must not be completed by the bytes of
  // the next one.
  msg_.clear();
  msgRemaining_ = 0;
  if (WindowLamp != nullptr) port_.Link().RegisterLinkLed(WindowLamp);
  port_.ReceiveHook = LineHook{this};
  port_.LineToggleHook = [this](bool portOpen) { LineToggle(portOpen); };
  port_.OnReopened = [this] { Reopened(); };
  hooksInstalled_ = true;
  const int comNumber = ComPortNumber ? ComPortNumber() : port_.ComNumber();
  const bool ok = port_.OpenPort(comNumber);
  if (OnPortLabel) OnPortLabel(ok ? port_.PortDescription() : QStringLiteral("ERROR"));
}

void LinePort::LineReceive(int count) {
  if (lineStopped_ || count <= 0) return;
  port_.Link().SetLinkState(r_.lineOk);
  SetLineLed(clGreen);
  lineTimer_->Start(lineTimeout_);
  // Only the last byte of a receive event counts; the others are lost.
  uint8_t last = 0;
  for (int i = 0; i < count; ++i) last = port_.ReadByte();
  r_.lastRxByte = last;
  r_.byteReceived = true;
  ++readCount_;
  const bool answerDue = r_.phase == 1;
  Step401();
  if (!answerDue && r_.txByte == kReset) {
    // The reset request just went out: a byte that came before it cannot be
    // its answer.
    r_.byteReceived = false;
  } else {
    Step401();
  }
  CountersChanged();
}

void LinePort::LineTimerExpired() {
  port_.Link().SetLinkState(false);
  ++timeoutCount_;
  SetLineLed(lineLed_ != clYellow ? clYellow : clRed);
  if (r_.txByte == kReset) {
    // A faked byte must not pass for the controller's answer to a reset
    // request: the request goes out again instead.
    r_.phase = 0;
    r_.byteReceived = false;
  } else {
    r_.lastRxByte = kReset;
    r_.byteReceived = true;
  }
  Step401();
  lineTimer_->Start(kRepeatTimerMs);
  CountersChanged();
}

bool LinePort::OwnsReceiveHook() const {
  const LineHook* hook = port_.ReceiveHook.target<LineHook>();
  return hook && hook->self == this;
}

void LinePort::ReleaseLine() {
  if (!lineTimer_->IsActive() && !OwnsReceiveHook()) return;
  lineTimer_->Stop();
  port_.Link().SetLinkState(false);
  SetLineLed(clRed);
  lineStopped_ = true;
  if (OwnsReceiveHook()) port_.ReceiveHook = nullptr;
}

void LinePort::LineToggle(bool /*portOpen*/) {
  if (!lineTimer_->IsActive()) {
    LineStart();
    StartExchange();
  } else {
    lineTimer_->Stop();
    port_.Link().SetLinkState(false);
    SetLineLed(clRed);
    lineStopped_ = true;
  }
}

void LinePort::Restart() {
  Init401();
  Step401();
}

void LinePort::StartExchange() {
  Init401();
  Step401();
  lineTimer_->Start(lineTimeout_);
  lineStopped_ = false;
}

// The port came back after its device had vanished: the port and its hooks
// are in place, only the exchange starts again. What was half received
// before belongs to no reply that can still come.
void LinePort::Reopened() {
  DiscardMessages();
  if (OnPortLabel) OnPortLabel(port_.PortDescription());
  if (lineStopped_) return;
  Init401();
  Step401();
  lineTimer_->Start(lineTimeout_);
}

void LinePort::SetLineTimeout(int ms) { lineTimeout_ = std::clamp(ms, 200, 10000); }

bool LinePort::LineTimerActive() const { return lineTimer_->IsActive(); }

void LinePort::WriteTx() {
  if (writesBlocked_) return;
  port_.SendByte(r_.txByte);
  ++sendCount_;
  CountersChanged();
}

void LinePort::CountersChanged() {
  if (OnCountersChanged) OnCountersChanged();
}

void LinePort::SetLineLed(uint32_t color) {
  if (color == lineLed_) return;
  lineLed_ = color;
  if (OnLineLed) OnLineLed(color);
}

}  // namespace ulv
