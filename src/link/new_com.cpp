#include "link/new_com.h"

namespace ulv {

namespace {

constexpr int kSohAckWaitMs = 2000;
constexpr int kFrameAckWaitMs = 1000;
constexpr int kNakBackoffMs = 200;
constexpr int kNakRepeatMs = 100;
constexpr int kLookAgainMs = 50;
constexpr int kOtherByteWaitMs = 500;
constexpr int kRescanMs = 100;
constexpr int kFrameGapMs = 1000;

}  // namespace

// The receive hook is a named callable, so the protocol can tell its own hook
// from another layer's.
struct TNewCom::Hook {
  TNewCom* self;
  void operator()(int count) const { self->Receive(count); }
};

TNewCom::TNewCom(ComPort& port, TimerFactory& timers)
    : port_(port), protocolTimer_(timers.CreateTimer()), replyTimer_(timers.CreateTimer()) {
  protocolTimer_->SetSingleShot(true);
  protocolTimer_->OnTimeout = [this] { ProtocolTimerExpired(); };
  replyTimer_->SetSingleShot(true);
  replyTimer_->OnTimeout = [this] { ReplyTimerExpired(); };
}

TNewCom::~TNewCom() {
  if (OwnsReceiveHook()) port_.ReceiveHook = nullptr;
}

QByteArray TNewCom::FrameOfBody(const QByteArray& body) {
  QByteArray frame;
  frame.reserve(body.size() + 2);
  frame += static_cast<char>(body.size() + 1);
  frame += body;
  unsigned sum = 0;
  for (char c : frame) sum += static_cast<uint8_t>(c);
  frame += static_cast<char>((sum - 1) & 0xFF);
  return frame;
}

QByteArray TNewCom::BuildFrame(const QByteArray& message) { return FrameOfBody(RequestHeader() + message); }

QByteArray TNewCom::NotifyFrame() { return FrameOfBody(QByteArray("\x0C\x05", 2)); }

QByteArray TNewCom::NameRequestFrame() { return FrameOfBody(QByteArray("\x28\xFF\x90", 3)); }

QByteArray TNewCom::ParseReply(const QByteArray& payload, bool* error) {
  const bool ours = payload.startsWith(RequestHeader());
  if (error) *error = !ours;
  // Header and CHK leave no data in a payload of four bytes or fewer.
  if (payload.size() <= 4 && (ours || RequestHeader().startsWith(payload))) return {};
  if (!ours) return payload;
  return payload.mid(3, payload.size() - 4);
}

bool TNewCom::OwnsReceiveHook() const {
  const Hook* hook = port_.ReceiveHook.target<Hook>();
  return hook && hook->self == this;
}

bool TNewCom::ReplyTimerActive() const { return replyTimer_->IsActive(); }

bool TNewCom::ProtocolTimerActive() const { return protocolTimer_->IsActive(); }

// A request whose reply is awaited, or a frame whose return or answering
// frame is, keeps the line: another frame would take over its end and stop
// its reply bound.
bool TNewCom::LineTaken() const { return state_ != Idle || onReply_ || onSent_ || onFrame_; }

bool TNewCom::SendFrame(const QByteArray& frame, FrameHandler onFrame) {
  if (LineTaken()) {
    Log(QStringLiteral("Send nicht erlaubt"));
    return false;
  }
  StartFrame(frame, std::move(onFrame));
  return true;
}

void TNewCom::StartFrame(const QByteArray& frame, FrameHandler onFrame) {
  onFrame_ = std::move(onFrame);
  port_.ReceiveHook = Hook{this};
  state_ = SohSent;
  txFrame_ = QByteArray(1, static_cast<char>(STX)) + frame;
  Send(SOH);
  Timer(kSohAckWaitMs);
  // Every exchange ends, answered or not.
  replyTimer_->Start(kReplyBoundMs);
}

bool TNewCom::SendFrameWithReturn(const QByteArray& frame, TextHandler onSent) {
  if (LineTaken()) {
    Log(QStringLiteral("Send nicht erlaubt"));
    return false;
  }
  const bool sent = SendFrame(frame, nullptr);
  if (sent) onSent_ = std::move(onSent);
  return sent;
}

bool TNewCom::SendRequest(const QByteArray& message, TextHandler onReply) {
  // While a reply is awaited the line is Idle but not free: a second request
  // would take that reply (replies carry no request id) and leave the first
  // one's handler uncalled.
  if (LineTaken()) {
    if (onReply) onReply(QByteArrayLiteral("<ERROR> NC/STATUS"));
    return false;
  }
  onReply_ = std::move(onReply);
  StartFrame(BuildFrame(message), [this](const QByteArray& payload) { Adaptor(payload); });
  return true;
}

void TNewCom::ResetProtocol() {
  const bool abandoned = onReply_ || onSent_;
  protocolTimer_->Stop();
  replyTimer_->Stop();
  onReply_ = nullptr;
  onFrame_ = nullptr;
  onSent_ = nullptr;
  rxBuffer_.clear();
  rxFrame_.clear();
  matchHeader_ = RequestHeader();
  if (OwnsReceiveHook()) port_.ReceiveHook = nullptr;
  state_ = Idle;
  ++generation_;
  if (abandoned && OnAbandoned) OnAbandoned();
}

void TNewCom::Receive(int count) {
  rxBuffer_ += port_.ReadString(count);
  if (rxBuffer_.isEmpty()) return;
  Feed(TakeFirst());
}

uint8_t TNewCom::TakeFirst() {
  const auto b = static_cast<uint8_t>(rxBuffer_.at(0));
  rxBuffer_.remove(0, 1);
  return b;
}

void TNewCom::Feed(uint8_t b) {
  switch (state_) {
    case Idle: {
      if (b == SOH) {
        StartReceiving();
        return;
      }
      const qsizetype soh = rxBuffer_.indexOf(static_cast<char>(SOH));
      if (soh < 0) {
        rxBuffer_.clear();
        Timer(kRescanMs);
        return;
      }
      rxBuffer_.remove(0, soh + 1);
      StartReceiving();
      return;
    }
    case SohSent:
      if (b == ACK) {
        port_.SendString(txFrame_);
        state_ = FrameSent;
        Timer(kFrameAckWaitMs);
      } else if (b == NAK) {
        state_ = NakBackoff;
        Timer(kNakBackoffMs);
      } else {
        state_ = Idle;
        Send(NAK);
      }
      return;
    case FrameSent:
      if (b == ACK) {
        protocolTimer_->Stop();
        state_ = Idle;
        if (onSent_) {
          replyTimer_->Stop();
          TextHandler sent = std::move(onSent_);
          onSent_ = nullptr;
          sent(QByteArrayLiteral("return with no answer"));
          return;
        }
        // Nothing follows a frame sent without a handler: its exchange is done.
        if (!onFrame_) replyTimer_->Stop();
        Timer(kLookAgainMs);
      } else if (b == NAK) {
        Log(QStringLiteral("Fehler <NAK> : senden wiederholen"));
        Send(SOH);
        state_ = SohSent;
        Timer(kNakRepeatMs);
      } else {
        Timer(kOtherByteWaitMs);
      }
      return;
    case Receiving: {
      rxFrame_ += static_cast<char>(b);
      rxFrame_ += rxBuffer_;
      rxBuffer_.clear();
      QByteArray payload;
      if (FindFrame(&payload)) {
        LogWrongCheck(payload);
        Send(ACK);
        state_ = Idle;
        protocolTimer_->Stop();
        rxFrame_.clear();
        if (onFrame_) {
          replyTimer_->Stop();
          FrameHandler handler = std::move(onFrame_);
          onFrame_ = nullptr;
          handler(payload);
        }
        return;
      }
      if (rxFrame_.size() > kMaxRxFrame) {
        rxFrame_.clear();
        Send(NAK);
        state_ = Idle;
        protocolTimer_->Stop();
        return;
      }
      Timer(kFrameGapMs);
      return;
    }
    default:
      return;
  }
}

void TNewCom::StartReceiving() {
  rxFrame_.clear();
  state_ = Receiving;
  Send(ACK);
  Timer(kFrameGapMs);
}

// The first STX that is followed by LEN and the match header starts the
// frame; it is complete once LEN bytes follow its LEN byte. The CHK is not
// checked: the partner's frames are taken as they come.
bool TNewCom::FindFrame(QByteArray* payload) const {
  const qsizetype size = rxFrame_.size();
  for (qsizetype p = 0; p + 4 < size; ++p) {
    if (static_cast<uint8_t>(rxFrame_.at(p)) != STX) continue;
    if (rxFrame_.mid(p + 2, 3) != matchHeader_) continue;
    const int len = static_cast<uint8_t>(rxFrame_.at(p + 1));
    if (len > size - (p + 2)) return false;
    *payload = rxFrame_.mid(p + 2, len);
    return true;
  }
  return false;
}

// The partner's CHK is not enforced (its frames are taken as they come), but
// a wrong one is worth a note when a line gives trouble.
void TNewCom::LogWrongCheck(const QByteArray& payload) const {
  if (payload.isEmpty()) return;
  int sum = payload.size();
  for (qsizetype i = 0; i + 1 < payload.size(); ++i) sum += static_cast<uint8_t>(payload.at(i));
  const auto expected = static_cast<uint8_t>(sum - 1);
  const auto got = static_cast<uint8_t>(payload.back());
  if (got != expected) Log(QString::asprintf("CHK %2.2X statt %2.2X", got, expected));
}

void TNewCom::ProtocolTimerExpired() {
  protocolTimer_->Stop();
  switch (state_) {
    case Idle:
      if (!rxBuffer_.isEmpty()) Feed(TakeFirst());
      return;
    case FrameSent:
      while (!rxBuffer_.isEmpty()) {
        const uint8_t b = TakeFirst();
        if (b == ACK || b == NAK) {
          Feed(b);
          return;
        }
        if (b == SOH) {
          Feed(ACK);
          Feed(SOH);
          return;
        }
      }
      return;
    case Receiving:
      rxBuffer_.clear();
      rxFrame_.clear();
      Send(NAK);
      state_ = Idle;
      return;
    case NakBackoff:
      Send(SOH);
      state_ = SohSent;
      Timer(kFrameAckWaitMs);
      return;
    default:
      return;
  }
}

void TNewCom::ReplyTimerExpired() {
  replyTimer_->Stop();
  const QByteArray text = QByteArrayLiteral("<ERROR> NC/TIME.OUT ") + QByteArray::number(kReplyBoundMs);
  if (onReply_) {
    if (OnExchangeTimeout) OnExchangeTimeout();
    Adaptor(text);
    return;
  }
  ResetProtocol();
  const uint64_t generation = generation_;
  if (OnExchangeTimeout) OnExchangeTimeout();
  if (OnError && generation == generation_) {
    TextHandler error = OnError;
    error(text);
  }
}

void TNewCom::Adaptor(const QByteArray& payload) {
  replyTimer_->Stop();
  TextHandler reply = std::move(onReply_);
  onReply_ = nullptr;
  bool error = false;
  const QByteArray data = ParseReply(payload, &error);
  if (error) {
    ResetProtocol();
    if (OnError) {
      TextHandler onError = OnError;
      onError(QByteArrayLiteral("NEWCOM_TO_QEL Error"));
    }
  }
  if (reply) reply(data);
}

void TNewCom::Timer(int ms) { protocolTimer_->Start(ms); }

void TNewCom::Log(const QString& line) const {
  if (OnLog) OnLog(line);
}

}  // namespace ulv
