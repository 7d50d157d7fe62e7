#include "sim/sim_modem.h"

#include <algorithm>
#include <cstring>

namespace ulv {

namespace {

constexpr int kMaxLine = 256;  // a command line longer than this is cut
constexpr int kRingOnMs = 1000;
constexpr int kMaxEventsPerRun = 100000;  // a guard, never reached by sound logic

// Identification texts for ATI0..ATI10.
constexpr const char* kInfo[11] = {
    "56000", "255", "000", "ULV-SIM V.90 MODEM", "ulv-sim modem 1.0", "049",
    "DSP 1.0", "ULV-SIM 56K EXTERNAL", "V.90 V.34 V.32BIS", "NO PNP ID", "ULV-SIM"};

// S0..S12 as a plain Hayes modem starts (S3 CR, S4 LF, S5 BS, S7 carrier wait).
constexpr uint8_t kSregDefaults[13] = {0, 0, 43, 13, 10, 8, 2, 50, 2, 6, 14, 95, 50};

const QByteArray kNotifyBody("\x0C\x05", 2);
const QByteArray kNameRequestBody("\x28\xFF\x90", 3);
const QByteArray kRequestHeader("\x28\xFF\xFF", 3);
const QByteArray kNameHeader("\x28\xFF\x91", 3);

QByteArray Byte(uint8_t b) { return QByteArray(1, static_cast<char>(b)); }

}  // namespace

SimModem::SimModem(PlantModel& plant, SimModemOptions options) : plant_(plant), options_(std::move(options)) {
  numeric_ = options_.numeric;
  std::copy(std::begin(kSregDefaults), std::end(kSregDefaults), sregs_.begin());
}

uint8_t SimModem::Checksum(const QByteArray& lenAndBody) {
  unsigned sum = 0;
  for (char c : lenAndBody) sum += static_cast<uint8_t>(c);
  return static_cast<uint8_t>(sum - 1);
}

QByteArray SimModem::Frame(const QByteArray& body) {
  QByteArray lb = Byte(static_cast<uint8_t>(body.size() + 1)) + body;
  return Byte(kStx) + lb + Byte(Checksum(lb));
}

bool SimModem::ValidPartnerName(const QByteArray& name) {
  return !name.isEmpty() && std::all_of(name.cbegin(), name.cend(), [](char c) { return c >= '0' && c <= 'z'; });
}

QByteArray SimModem::Feed(const QByteArray& toolBytes, int64_t nowMs) {
  RunDue(nowMs);
  for (char c : toolBytes) {
    const auto b = static_cast<uint8_t>(c);
    if (state_ == State::Online) {
      PartnerByte(b, nowMs);
    } else {
      CommandByte(b, nowMs);
    }
  }
  RunDue(nowMs);
  return TakeDue(nowMs);
}

QByteArray SimModem::Tick(int64_t nowMs) {
  RunDue(nowMs);
  return TakeDue(nowMs);
}

void SimModem::SetDtr(bool on, int64_t nowMs) {
  // What fell due while the line was as it was happens first, so a DTR held
  // low for the hang-up time hangs up even without a Tick in between.
  RunDue(nowMs);
  if (!on && dtr_) dtrLowSince_ = nowMs;
  dtr_ = on;
}

void SimModem::PortClosed(int64_t nowMs) {
  SetDtr(false, nowMs);
  if (state_ == State::Command) return;
  HangUp(nowMs);
  // Nobody heard the NO CARRIER: the port it was for is closed.
  out_.clear();
}

ModemLines SimModem::Lines() const {
  ModemLines l;
  l.dsr = true;
  l.cts = true;
  l.dcd = state_ == State::Online;
  l.ring = ringOffDue_.has_value();
  return l;
}

std::optional<int64_t> SimModem::NextDueMs() const {
  std::optional<int64_t> due;
  if (!out_.empty()) due = out_.front().dueMs;
  const auto [e, at] = NextEvent();
  if (e != Event::None && (!due || at < *due)) due = at;
  return due;
}

std::pair<SimModem::Event, int64_t> SimModem::NextEvent() const {
  std::pair<Event, int64_t> best{Event::None, 0};
  auto consider = [&best](Event e, std::optional<int64_t> at) {
    if (at && (best.first == Event::None || *at < best.second)) best = {e, *at};
  };
  if (state_ == State::Dialling) consider(Event::Dial, dialDue_);
  if (state_ == State::Online) consider(Event::Drop, dropDue_);
  if (!dtr_ && state_ != State::Command) consider(Event::Dtr, dtrLowSince_ + kHangUpDtrMs);
  if (ringsDone_ < options_.rings) {
    consider(Event::Ring, int64_t{ringsDone_ + 1} * options_.ringIntervalMs);
  }
  consider(Event::RingOff, ringOffDue_);
  if (state_ == State::Online) {
    consider(Event::PartnerTimeout, partnerDue_);
    if (partner_ == Partner::Idle && !tx_.empty()) consider(Event::SendNext, tx_.front().dueMs);
  }
  return best;
}

void SimModem::RunDue(int64_t nowMs) {
  for (int n = 0; n < kMaxEventsPerRun; ++n) {
    const auto [e, at] = NextEvent();
    if (e == Event::None || at > nowMs) return;
    Fire(e, at);
  }
}

void SimModem::Fire(Event e, int64_t at) {
  switch (e) {
    case Event::None:
      break;
    case Event::Dial:
      DialDone(at);
      break;
    case Event::Drop:
    case Event::Dtr:
      HangUp(at);
      break;
    case Event::Ring:
      ++ringsDone_;
      // No auto-answer: a RING is only a line in command state.
      if (state_ == State::Command) {
        SendResult(at, Result::Ring);
        ringOffDue_ = at + kRingOnMs;
      }
      break;
    case Event::RingOff:
      ringOffDue_.reset();
      break;
    case Event::PartnerTimeout:
      PartnerTimeout(at);
      break;
    case Event::SendNext:
      sohTries_ = 0;
      SendSoh(at);
      break;
  }
}

QByteArray SimModem::TakeDue(int64_t nowMs) {
  QByteArray bytes;
  while (!out_.empty() && out_.front().dueMs <= nowMs) {
    bytes += out_.front().bytes;
    out_.pop_front();
  }
  return bytes;
}

// Bytes leave in order: nothing overtakes bytes still waiting for their time.
// Returns when these bytes are due.
int64_t SimModem::SendAt(int64_t at, const QByteArray& bytes) {
  if (!out_.empty()) at = std::max(at, out_.back().dueMs);
  if (bytes.isEmpty()) return at;
  if (!out_.empty() && out_.back().dueMs == at) {
    out_.back().bytes += bytes;
  } else {
    out_.push_back({at, bytes});
  }
  return at;
}

void SimModem::SendAnswer(int64_t at, const QByteArray& text) {
  if (!options_.splitAnswers || text.size() < 2) {
    SendAt(at, text);
    return;
  }
  const int half = static_cast<int>(text.size() / 2);
  const int64_t first = SendAt(at, text.left(half));
  SendAt(first + options_.splitGapMs, text.mid(half));
}

void SimModem::SendResult(int64_t at, Result r) {
  struct Code {
    int number;
    const char* text;
  };
  static constexpr Code kCodes[] = {{0, "OK"},         {12, "CONNECT 9600"}, {2, "RING"},
                                    {3, "NO CARRIER"}, {4, "ERROR"},         {6, "NO DIALTONE"},
                                    {7, "BUSY"}};
  const Code& c = kCodes[static_cast<int>(r)];
  SendAnswer(at, numeric_ ? QByteArray::number(c.number) + '\r' : "\r\n" + QByteArray(c.text) + "\r\n");
}

// ---- modem front ----

void SimModem::CommandByte(uint8_t b, int64_t at) {
  if (state_ == State::Dialling) {
    HangUp(at);  // any byte aborts a dial
    return;
  }
  if (echo_) SendAt(at, Byte(b));
  if (b == sregs_[3]) {
    ExecuteLine(at);
    line_.clear();
  } else if (b == sregs_[5]) {
    line_.chop(1);
  } else if (b != sregs_[4] && line_.size() < kMaxLine) {
    line_.append(static_cast<char>(b));
  }
}

void SimModem::ExecuteLine(int64_t at) {
  QByteArray s = line_.toUpper();
  s.replace(' ', QByteArray());
  // A modem hunts for "AT": noise before it is dropped, a line without it
  // (an empty one too) gets no answer.
  const qsizetype a = s.indexOf("AT");
  if (a < 0) return;
  std::vector<QByteArray> info;
  std::optional<QByteArray> dial;
  if (!RunCommands(s.mid(a + 2), &info, &dial)) {
    SendResult(at, Result::Error);
    return;
  }
  for (const QByteArray& text : info) SendAnswer(at, numeric_ ? text + "\r\n" : "\r\n" + text + "\r\n");
  if (!dial) {
    SendResult(at, Result::Ok);
    return;
  }
  dialled_ = *dial;
  state_ = State::Dialling;
  // A silent dial never ends by itself: only a byte or DTR ends it.
  if (options_.dialResult == SimDialResult::Silence) {
    dialDue_.reset();
  } else {
    dialDue_ = at + options_.dialDelayMs;
  }
}

bool SimModem::RunCommands(const QByteArray& s, std::vector<QByteArray>* info, std::optional<QByteArray>* dial) {
  qsizetype i = 0;
  const qsizetype n = s.size();
  auto number = [&](int fallback) {
    int v = -1;
    while (i < n && s[i] >= '0' && s[i] <= '9') v = std::min(9999, std::max(v, 0) * 10 + (s[i++] - '0'));
    return v < 0 ? fallback : v;
  };
  auto defaults = [this] {
    echo_ = true;
    numeric_ = options_.numeric;
    sregs_.fill(0);
    std::copy(std::begin(kSregDefaults), std::end(kSregDefaults), sregs_.begin());
  };
  while (i < n) {
    const char c = s[i++];
    if (c == '&') {
      if (i >= n || std::strchr("FCDKW", s[i]) == nullptr) return false;
      const char what = s[i++];
      number(0);
      if (what == 'F') defaults();
      continue;
    }
    switch (c) {
      case 'E':
      case 'V': {
        const int v = number(0);
        if (v > 1) return false;
        if (c == 'E') {
          echo_ = v == 1;
        } else {
          numeric_ = v == 0;
        }
        break;
      }
      case 'Q':
      case 'X':
      case 'M':
      case 'L':
      case 'H':
        number(0);
        break;
      case 'Z':
        number(0);
        defaults();
        break;
      case 'I': {
        const int v = number(0);
        if (v > 10) return false;
        info->push_back(kInfo[v]);
        break;
      }
      case 'S': {
        const int r = number(-1);
        if (r < 0 || r > 255 || i >= n) return false;
        if (s[i] == '?') {
          ++i;
          info->push_back(QByteArray::number(sregs_[static_cast<size_t>(r)]).rightJustified(3, '0'));
        } else if (s[i] == '=') {
          ++i;
          const int v = number(0);
          if (v > 255) return false;
          sregs_[static_cast<size_t>(r)] = static_cast<uint8_t>(v);
        } else {
          return false;
        }
        break;
      }
      case 'D': {
        QByteArray digits = s.mid(i);
        if (digits.startsWith('T') || digits.startsWith('P')) digits.remove(0, 1);
        *dial = digits;
        return true;
      }
      default:
        return false;
    }
  }
  return true;
}

void SimModem::DialDone(int64_t at) {
  dialDue_.reset();
  switch (options_.dialResult) {
    case SimDialResult::Connect:
      state_ = State::Online;
      ResetPartner();
      SendResult(at, Result::Connect);
      if (options_.faults.dropCarrierIn == SimModemPhase::Dial) dropDue_ = at + options_.dropAfterConnectMs;
      return;
    case SimDialResult::Busy:
      state_ = State::Command;
      SendResult(at, Result::Busy);
      return;
    case SimDialResult::NoCarrier:
    case SimDialResult::Silence:
      state_ = State::Command;
      SendResult(at, Result::NoCarrier);
      return;
    case SimDialResult::NoDialtone:
      state_ = State::Command;
      SendResult(at, Result::NoDialtone);
      return;
  }
}

void SimModem::HangUp(int64_t at) {
  state_ = State::Command;
  dialDue_.reset();
  dropDue_.reset();
  ResetPartner();
  // What the partner had not yet sent never leaves.
  while (!out_.empty() && out_.back().dueMs > at) out_.pop_back();
  SendResult(at, Result::NoCarrier);
}

// ---- framed partner ----

void SimModem::ResetPartner() {
  partner_ = Partner::Idle;
  partnerDue_.reset();
  rxFrame_.clear();
  tx_.clear();
  sohTries_ = 0;
  syncAnswered_ = false;
  sohSeen_ = false;
  framesAccepted_ = 0;
  naksGiven_ = 0;
  latesGiven_ = 0;
}

void SimModem::AckSoh(int64_t at) {
  if (!(options_.faults.noAck && syncAnswered_)) SendAt(at, Byte(kAck));
  partner_ = Partner::WaitStx;
  partnerDue_ = at + kStxWaitMs;
}

void SimModem::PartnerByte(uint8_t b, int64_t at) {
  const SimPartnerFaults& f = options_.faults;
  if (f.silent) return;
  if (f.ackEveryByte) {
    SendAt(at, Byte(kAck));
    return;
  }
  switch (partner_) {
    case Partner::Idle:
      if (b != kSoh) return;
      if (!sohSeen_) {
        sohSeen_ = true;
        if (f.dropCarrierIn == SimModemPhase::Sync) {
          HangUp(at);
          return;
        }
      }
      AckSoh(at);
      return;
    case Partner::WaitStx:
      if (b == kStx) {
        partner_ = Partner::InFrame;
        rxFrame_.clear();
        partnerDue_ = at + kFrameWaitMs;
      } else if (b == kSoh) {
        AckSoh(at);  // the tool did not see our ACK and asks again
      }
      return;
    case Partner::InFrame: {
      rxFrame_.append(static_cast<char>(b));
      const int len = static_cast<uint8_t>(rxFrame_[0]);
      if (len < 2 || len > kMaxLen) {
        SendAt(at, Byte(kNak));
        partner_ = Partner::Idle;
        partnerDue_.reset();
      } else if (rxFrame_.size() == len + 1) {
        FrameDone(at);
      } else {
        partnerDue_ = at + kFrameWaitMs;
      }
      return;
    }
    case Partner::SohSent:
      if (b == kAck) {
        const QByteArray frame = PartnerFrame(tx_.front().body);
        const int chunk = f.splitChunk > 0 ? f.splitChunk : static_cast<int>(frame.size());
        int64_t last = at;
        for (qsizetype p = 0; p < frame.size(); p += chunk) {
          last = SendAt(p == 0 ? at : last + options_.frameGapMs, frame.mid(p, chunk));
        }
        partner_ = Partner::FrameSent;
        partnerDue_ = last + kAckWaitMs;
      } else if (b == kNak) {
        SendSoh(at);
      }
      return;
    case Partner::FrameSent:
      if (b == kAck) {
        tx_.pop_front();
        partner_ = Partner::Idle;
        partnerDue_.reset();
      } else if (b == kNak) {
        SendSoh(at);  // again from SOH, within the same tries
      }
      return;
  }
}

void SimModem::FrameDone(int64_t at) {
  partner_ = Partner::Idle;
  partnerDue_.reset();
  const int len = static_cast<uint8_t>(rxFrame_[0]);
  const QByteArray body = rxFrame_.mid(1, len - 1);
  if (Checksum(rxFrame_.left(len)) != static_cast<uint8_t>(rxFrame_[len])) {
    SendAt(at, Byte(kNak));
    return;
  }
  SimModemPhase phase = SimModemPhase::None;
  if (body.startsWith(kNotifyBody)) {
    phase = SimModemPhase::Notify;
  } else if (body.startsWith(kNameRequestBody)) {
    phase = SimModemPhase::Name;
  } else if (body.startsWith(kRequestHeader)) {
    phase = SimModemPhase::Request;
  }
  const SimPartnerFaults& f = options_.faults;
  if (phase != SimModemPhase::None && phase == f.dropCarrierIn) {
    HangUp(at);
    return;
  }
  if (f.nakAlways || naksGiven_ < f.nakFirst) {
    ++naksGiven_;
    SendAt(at, Byte(kNak));
    return;
  }
  ++framesAccepted_;
  SendAt(at, Byte(kAck));
  const int64_t replyAt = at + options_.replyDelayMs;
  if (phase == SimModemPhase::Name) {
    if (!f.ignoreName) Queue(replyAt, kNameHeader + options_.partnerName + Byte(0));
  } else if (phase == SimModemPhase::Request) {
    const QByteArray request = body.mid(kRequestHeader.size());
    if (request.isEmpty()) return;
    if (OnRequest) OnRequest(request);
    // A reply the plant held back (a late answer) goes out first.
    if (std::optional<QByteArray> held = plant_.TakeHeldReply()) Queue(replyAt, kRequestHeader + *held);
    if (std::optional<QByteArray> reply = plant_.Answer(request)) {
      int64_t due = replyAt;
      if (latesGiven_ < f.lateReplies) {
        ++latesGiven_;
        due = at + options_.lateReplyMs;
      }
      Queue(due, kRequestHeader + *reply);
    }
  }
}

void SimModem::Queue(int64_t dueMs, const QByteArray& body) { tx_.push_back({dueMs, body}); }

void SimModem::SendSoh(int64_t at) {
  if (sohTries_ >= kSohTries) {
    tx_.pop_front();  // given up
    partner_ = Partner::Idle;
    partnerDue_.reset();
    return;
  }
  ++sohTries_;
  SendAt(at, Byte(kSoh));
  partner_ = Partner::SohSent;
  partnerDue_ = at + kAckWaitMs;
}

QByteArray SimModem::PartnerFrame(const QByteArray& body) const {
  const SimPartnerFaults& f = options_.faults;
  int len = static_cast<int>(body.size()) + 1;
  QByteArray b = body;
  if (f.frameLen >= 0 && f.frameLen <= 4) {
    len = f.frameLen;
    b = body.left(std::max(len - 1, 0));
  }
  const QByteArray lb = Byte(static_cast<uint8_t>(len)) + b;
  const auto chk = static_cast<uint8_t>(Checksum(lb) + (f.wrongChk ? 1 : 0));
  return f.garbage + Byte(kStx) + lb + Byte(chk);
}

void SimModem::PartnerTimeout(int64_t at) {
  partnerDue_.reset();
  switch (partner_) {
    case Partner::Idle:
      break;
    case Partner::WaitStx:
      // A lone SOH (the tool's sync byte): the defined answer ends with NAK NAK.
      SendAt(at, Byte(kNak) + Byte(kNak));
      syncAnswered_ = true;
      partner_ = Partner::Idle;
      break;
    case Partner::InFrame:
      SendAt(at, Byte(kNak));
      partner_ = Partner::Idle;
      break;
    case Partner::SohSent:
      SendSoh(at);
      break;
    case Partner::FrameSent:
      tx_.pop_front();  // no ACK for our frame: given up
      partner_ = Partner::Idle;
      break;
  }
}

}  // namespace ulv
