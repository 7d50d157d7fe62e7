#include "sim/sim_controller.h"

namespace ulv {

std::optional<uint8_t> SimController::Feed(uint8_t toolByte) {
  ++turns_;
  if (faults_.silent) return std::nullopt;  // a dead controller takes nothing in either
  if (toolByte == kReset) {
    ++resets_;
    high_.reset();
    lastWasLow_ = false;
    req_.clear();
    reqLength_ = 0;
    // A reset starts both ends clean: a reply not yet sent belongs to a
    // request the tool has given up.
    out_.clear();
    plant_.DropHeldReply();
    lowPending_ = false;
    lastSent_ = Sent::Reset;
    repeatWindow_ = 0;
    return ApplyFaults(kReset);
  }
  if (toolByte & kRepeat) {
    if (repeatWindow_ == 0) UndoLastAnswer();
    repeatWindow_ = 0;
  } else if (repeatWindow_ > 0) {
    --repeatWindow_;
  }
  TakeNibble(toolByte);
  return ApplyFaults(NextOutput());
}

QByteArray SimController::FeedAll(const QByteArray& toolBytes) {
  QByteArray answers;
  for (char c : toolBytes) {
    if (std::optional<uint8_t> a = Feed(static_cast<uint8_t>(c))) answers.append(static_cast<char>(*a));
  }
  return answers;
}

std::optional<uint8_t> SimController::IdleTick() {
  if (faults_.silent) return std::nullopt;
  // The tool clears a half-received byte on an idle byte; resend it whole.
  lowPending_ = false;
  lastSent_ = Sent::Idle;
  return kIdle;
}

void SimController::UndoLastAnswer() {
  if (lastSent_ == Sent::Low) {
    out_.push_front(lastLowByte_);
  }
  if (lastSent_ == Sent::Low || lastSent_ == Sent::High) lowPending_ = false;
  lastSent_ = Sent::Nothing;
}

void SimController::TakeNibble(uint8_t b) {
  if (b & kIdle) return;
  const uint8_t nibble = b & 0x0F;
  if (!(b & kLowNibble)) {
    high_ = nibble;  // a repeated high nibble replaces the pending one
    lastWasLow_ = false;
    return;
  }
  if ((b & kRepeat) && lastWasLow_ && !req_.isEmpty() && !high_) {
    // The low nibble of the byte just completed is sent again: replace it.
    const uint8_t last = static_cast<uint8_t>(req_.back());
    req_.back() = static_cast<char>((last & 0xF0) | nibble);
    return;
  }
  if (!high_) return;  // a low nibble without its high nibble carries no byte
  const uint8_t whole = static_cast<uint8_t>((*high_ << 4) | nibble);
  high_.reset();
  lastWasLow_ = true;
  AddRequestByte(whole);
}

void SimController::AddRequestByte(uint8_t b) {
  if (req_.isEmpty()) {
    reqLength_ = (b & 0x0F) + 1;
    // Header 0xF0 announces a long message: the next byte's high nibble
    // counts the bytes after it, less one.
    if (b == kLongHeader) reqLength_ = 2;
  } else if (req_.size() == 1 && static_cast<uint8_t>(req_[0]) == kLongHeader) {
    reqLength_ = 2 + (b >> 4) + 1;
  }
  req_.append(static_cast<char>(b));
  if (req_.size() < reqLength_) return;
  ++requests_;
  const QByteArray request = req_;
  req_.clear();
  reqLength_ = 0;
  if (OnRequest) OnRequest(request);
  // A reply held back (a late answer) goes out first, as if it had only now
  // been ready.
  if (std::optional<QByteArray> late = plant_.TakeHeldReply()) {
    for (char c : *late) out_.push_back(static_cast<uint8_t>(c));
  }
  if (std::optional<QByteArray> reply = plant_.Answer(request)) {
    for (char c : *reply) out_.push_back(static_cast<uint8_t>(c));
  }
}

uint8_t SimController::NextOutput() {
  if (out_.empty()) {
    lastSent_ = Sent::Idle;
    return kIdle;
  }
  const uint8_t b = out_.front();
  if (!lowPending_) {
    lowPending_ = true;
    lastSent_ = Sent::High;
    return static_cast<uint8_t>(b >> 4);
  }
  lowPending_ = false;
  out_.pop_front();
  lastSent_ = Sent::Low;
  lastLowByte_ = b;
  return static_cast<uint8_t>(kLowNibble | (b & 0x0F));
}

std::optional<uint8_t> SimController::ApplyFaults(uint8_t answer) {
  ++answers_;
  auto due = [this](int every) { return every > 0 && answers_ % every == 0; };
  if (dropNext_ || due(faults_.dropEvery)) {
    dropNext_ = false;
    return std::nullopt;
  }
  if (corruptNext_ || due(faults_.corruptEvery)) {
    corruptNext_ = false;
    answer ^= 0x0F;
  }
  if (repeatNext_ || due(faults_.repeatEvery)) {
    repeatNext_ = false;
    if (answer != kReset) {
      answer |= kRepeatRequest;
      // A tool that sends before it reads the answer repeats one byte later.
      repeatWindow_ = 2;
    }
  }
  return answer;
}

}  // namespace ulv
