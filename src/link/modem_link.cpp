#include "link/modem_link.h"

namespace ulv {

namespace {

constexpr int kAtsLast = 20;
constexpr int kIdentLast = 10;
const char kHex[] = "0123456789ABCDEF";

// Data bytes as the message field shows them: printable as they are, any
// other byte as ~XX~.
QString Readable(const QByteArray& data) {
  QString out;
  for (char c : data) {
    const auto b = static_cast<uint8_t>(c);
    if (b >= 32 && b <= 127) {
      out += QLatin1Char(c);
    } else {
      out += QLatin1Char('~');
      out += QLatin1Char(kHex[b >> 4]);
      out += QLatin1Char(kHex[b & 0x0F]);
      out += QLatin1Char('~');
    }
  }
  return out;
}

}  // namespace

// The synchronisation's receive hooks, named so that a session end clears
// only its own.
struct ModemLink::SyncHook {
  ModemLink* self;
  bool storeOnly;
  void operator()(int count) const {
    if (!storeOnly) {
      self->SyncReceive(count);
      return;
    }
    self->port_.ReadString(count);
    self->port_.PortReport(QStringLiteral("** es sollte nichts kommen !! **"));
  }
};

ModemLink::ModemLink(ComPort& port, SerialLine& line, TNewCom& newCom, LinePort& linePort, TransferQueue& queue,
                     LogHooks& logs, TimerFactory& timers)
    : port_(port),
      line_(line),
      com_(newCom),
      linePort_(linePort),
      queue_(queue),
      logs_(logs),
      modem_(port, line, timers),
      timer1_(timers.CreateTimer()),
      stepTimer_(timers.CreateTimer()) {
  timer1_->OnTimeout = [this] { Timer1Fired(); };
  // The protocol's own notes (refusals, NAK repeats, a wrong CHK) go to the
  // main log with the serial trace.
  com_.OnLog = [this](const QString& line) {
    if (logs_.Flag(9)) logs_.WriteLog(QStringLiteral("newcom: ") + line);
  };
  stepTimer_->SetSingleShot(true);
  stepTimer_->OnTimeout = [this] {
    stepTimer_->Stop();
    if (auto action = std::move(stepAction_)) action();
  };
  modem_.OnConnected = [this] { Connected(); };
  modem_.OnConnectFailed = [this] { ConnectFailed(); };
  modem_.OnLineSpeed = [this](int speed) {
    dialStatus_ = QStringLiteral("LineSpeed: ") + QString::number(speed);
    logs_.WriteLog(QStringLiteral("CONNECT ") + QString::number(speed));
    Changed();
  };
  port_.OnModemLine = [this](const QString& line) { modem_.AnswerLine(line); };
  port_.ModemOwnsInput = [this] { return modem_.Dialling(); };
  port_.OnConnectText = [this](const QString& text) {
    connectLabel_ = text;
    Changed();
  };
  // A lamp click gives the line back to the line port.
  lampClick_ = port_.Link().OnLampClick;
  port_.Link().OnLampClick = [this] {
    GiveBackLine([this] {
      if (auto click = lampClick_) click();
    });
  };
  modem_.OnHungUp = [this] {
    auto then = std::move(afterHangUp_);
    afterHangUp_ = nullptr;
    if (then) then();
  };
}

// A session standing on the line ends first, and the line goes back once the
// modem has hung up: the line port's restart reopens the port, which would
// cut the DTR drop short.
void ModemLink::GiveBackLine(std::function<void()> then) {
  if (sessionActive_ || port_.DataMode()) EndSession(true, QStringLiteral("line restarted"));
  if (modem_.HangingUp()) {
    afterHangUp_ = std::move(then);
    return;
  }
  afterHangUp_ = nullptr;
  if (then) then();
}

ModemLink::~ModemLink() {
  port_.Link().OnLampClick = lampClick_;
  if (OwnsReceiveHook()) port_.ReceiveHook = nullptr;
  port_.OnModemLine = nullptr;
  port_.ModemOwnsInput = nullptr;
  port_.OnConnectText = nullptr;
  port_.OnModemOk = nullptr;
  com_.OnExchangeTimeout = nullptr;
  com_.OnLog = nullptr;
}

QString ModemLink::Config(const QString& section, const QString& key, const QString& def) const {
  return ReadConfig ? ReadConfig(section, key, def) : def;
}

void ModemLink::Changed() {
  if (OnChanged) OnChanged();
}

void ModemLink::Send(const QByteArray& bytes) { port_.SendString(bytes); }

void ModemLink::TakeLine() { linePort_.ReleaseLine(); }

bool ModemLink::OwnsReceiveHook() const { return port_.ReceiveHook.target<SyncHook>() != nullptr; }

void ModemLink::CallError(const QByteArray& text) {
  if (com_.OnError) {
    auto error = com_.OnError;
    error(text);
  }
}

// ---- INIT and TEST ----

void ModemLink::Init(std::function<void()> done) {
  TakeLine();
  for (int i = 0; i < 3; ++i)
    initStrings_[i] = HayesModem::Expand(Config(QStringLiteral("Modem"), QStringLiteral("i%1").arg(i + 1), QString()).toLatin1());
  AskModemCmd = Config(QStringLiteral("modem"), QStringLiteral("askmodem"), QStringLiteral("AT"));
  EchoOffCmd = Config(QStringLiteral("modem"), QStringLiteral("echooff"), QStringLiteral("AT"));
  port_.TraceOut(QByteArrayLiteral("MyComport/Modem-Init-Strings senden"));
  port_.SetLastModemLine(QString());
  port_.OnModemOk = nullptr;
  onModemDone_ = nullptr;
  initDone_ = std::move(done);
  Send(HayesModem::Expand(EchoOffCmd.toLatin1()) + '\r');
  Send(initStrings_[0] + '\r');
  stepAction_ = [this] { InitStep(1); };
  stepTimer_->Start(kInitGapMs);
}

void ModemLink::InitStep(int step) {
  if (step < 3) {
    Send(initStrings_[step] + '\r');
    stepAction_ = [this, step] { InitStep(step + 1); };
    stepTimer_->Start(kInitGapMs);
    return;
  }
  port_.OnModemOk = [this] { InitAnswered(); };
  modem_.Initialize();
  stepAction_ = [this] { InitAnswered(); };
  stepTimer_->Start(kModemStepMs);
}

// The modem's own initialisation answered (or did not in time): its late
// answers drain before anything waits for the next "OK".
void ModemLink::InitAnswered() {
  port_.OnModemOk = nullptr;
  stepAction_ = [this] {
    if (auto done = std::move(initDone_)) done();
  };
  stepTimer_->Start(kDrainMs);
}

void ModemLink::Test(TextFn completion) {
  port_.SetMessage(QStringLiteral("test Modem COM") + QString::number(port_.ComNumber()));
  Init([this, completion = std::move(completion)] {
    onModemDone_ = completion;
    Probe();
  });
}

void ModemLink::Probe() {
  modemId_ = QStringLiteral("keine ModemId");
  modemOpenColor_ = clRed;
  Changed();
  if (!port_.IsOpen() || !line_.Lines().dsr) {
    if (auto done = std::move(onModemDone_)) done(QString());
    return;
  }
  port_.SetMessage(QString());
  port_.SetLastModemLine(QString());
  port_.OnModemOk = [this] { ProbeOk(); };
  Send(QByteArrayLiteral("AT\r"));
  stepAction_ = [this] { StepTimedOut(); };
  stepTimer_->Start(kModemStepMs);
}

void ModemLink::ProbeOk() {
  stepTimer_->Stop();
  port_.SetMessage(QStringLiteral("Modem ") + QString::number(port_.ComNumber()));
  portLabel_ = port_.PortDescription() + QStringLiteral("/MODEM");
  modemOpenColor_ = clGreen;
  port_.SetLastModemLine(QString());
  port_.OnModemOk = [this] { ProbeDone(); };
  port_.PortReport(QStringLiteral("*****"));
  Changed();
  Send(AskModemCmd.toUpper().toLatin1() + '\r');
  stepAction_ = [this] { StepTimedOut(); };
  stepTimer_->Start(kModemStepMs);
}

// The identification is the last answer line before the "OK".
void ModemLink::ProbeDone() {
  stepTimer_->Stop();
  stepAction_ = nullptr;
  modemId_ = port_.Message();
  port_.OnModemOk = nullptr;
  Changed();
  const QString label = PortLabel();
  if (auto done = std::move(onModemDone_)) done(label);
  onModemDone_ = nullptr;
  port_.CallPartnerHook(label);
}

void ModemLink::StepTimedOut() {
  port_.OnModemOk = nullptr;
  if (auto done = std::move(onModemDone_)) done(QString());
  onModemDone_ = nullptr;
}

// ---- Dialling and the connection ----

bool ModemLink::Dial(const QString& number, TextFn onStatus, TextFn onFail) {
  if (port_.DataMode() || !port_.IsOpen() || port_.PortBlocked()) {
    if (onFail) onFail(QString());
    return false;
  }
  TakeLine();
  com_.OnError = [onFail](const QByteArray& text) {
    if (onFail) onFail(QString::fromLatin1(text));
  };
  OnPartnerName = std::move(onStatus);
  port_.SetMessage(number);
  logs_.WriteLog(QStringLiteral("wähle: ") + number);
  sessionActive_ = true;
  if (!modem_.Dial(number)) {
    sessionActive_ = false;
    if (onFail) onFail(QString());
    return false;
  }
  Changed();
  return true;
}

bool ModemLink::DialTest(const QString& number) {
  DialNumber = number;
  if (number.isEmpty()) return false;
  OnPartnerName = nullptr;
  const bool dialling = Dial(
      number, [this](const QString& text) { port_.SetMessage(text); },
      [this](const QString&) { port_.SetMessage(QStringLiteral("WAHL-FEHLER")); });
  if (!dialling) return false;
  countdown_ = HayesModem::kDialTimeoutSec;
  t1_ = T1::Countdown;
  timer1_->Start(1000);
  return true;
}

void ModemLink::Connected() {
  timer1_->Stop();
  ConnectionChange(true);
}

void ModemLink::ConnectFailed() {
  timer1_->Stop();
  dialStatus_ = QStringLiteral("Modem Connect Fehler");
  logs_.WriteLog(QStringLiteral("MODEM CONNECT FEHLER"));
  CallError(QByteArrayLiteral("port>Modem Connect Fehler"));
  EndSession(false, QStringLiteral("connect failed"));
}

void ModemLink::ConnectionChange(bool connected) {
  if (connected) {
    connectLedColor_ = clLime;
    dialStatus_ = QStringLiteral("Connected");
    t1_ = T1::Settle;
    timer1_->Start(kConnectSettleMs);
  } else {
    connectLabel_ = QStringLiteral("NC");
    dataModLedColor_ = clRed;
    port_.SetDataMode(false);
    connectLedColor_ = clMaroon;
    port_.Link().SetLinkState(false);
  }
  Changed();
}

// ---- Synchronisation, notification, partner name ----

void ModemLink::StartSync() {
  com_.ResetProtocol();
  port_.PortReport(QStringLiteral("start-sync"));
  port_.ReceiveHook = SyncHook{this, false};
  syncBuffer_.clear();
  port_.SendByte(TNewCom::SOH);
  t1_ = T1::SyncWait;
  timer1_->Start(kSyncStepMs);
}

void ModemLink::SyncReceive(int count) {
  --syncRetries_;
  // Only the tail can still begin the answer: the buffer never grows.
  syncBuffer_ = syncBuffer_.right(2) + port_.ReadString(count);
  if (syncBuffer_.size() < 3) return;
  timer1_->Stop();
  if (syncBuffer_.contains(QByteArray("\x06\x15\x15", 3))) {
    port_.PortReport(QStringLiteral("** MST.SYNC **"));
    port_.ReceiveHook = SyncHook{this, true};
    t1_ = T1::SyncFound;
    timer1_->Start(kSyncStepMs);
    return;
  }
  // A partner that answers every byte must not keep the sync going forever.
  if (syncRetries_ <= 0) {
    SyncFailed();
    return;
  }
  t1_ = T1::SyncWait;
  timer1_->Start(kSyncStepMs);
  port_.SendByte(TNewCom::SOH);
}

void ModemLink::SyncFailed() {
  timer1_->Stop();
  OnPartnerName = nullptr;
  CallError(QByteArrayLiteral("MST.SYNC FAILED"));
  EndSession(true, QStringLiteral("sync failed"));
}

void ModemLink::Notify() {
  port_.PortReport(QStringLiteral("** NOTIFY PARTNER **"));
  if (!com_.SendFrameWithReturn(TNewCom::NotifyFrame(), [this](const QByteArray&) { Notified(); })) {
    SyncFailed();
    return;
  }
  t1_ = T1::NotifyWait;
  timer1_->Start(kSyncStepMs);
}

void ModemLink::Notified() {
  timer1_->Stop();
  logs_.WriteLog(QStringLiteral("SYNCHRONISIERT"));
  port_.PortReport(QStringLiteral("NOTIFIED/CONNECTED"));
  port_.ReceiveHook = nullptr;
  synchronised_ = true;
  carrierTicks_ = 0;
  t1_ = T1::CarrierWatch;
  timer1_->Start(kCarrierWatchMs);
  com_.OnError = nullptr;
  // The link goes up only once the queue runs over frames (after the name).
  com_.SetMatchHeader(TNewCom::PartnerReplyHeader());
  naming_ = true;
  com_.OnExchangeTimeout = [this] { NameExchangeEnded(); };
  if (!com_.SendFrame(TNewCom::NameRequestFrame(), [this](const QByteArray& p) { NameReceived(p); })) {
    com_.SetMatchHeader(TNewCom::RequestHeader());
    NameExchangeEnded();
  }
  Changed();
}

void ModemLink::NameReceived(const QByteArray& payload) {
  const QByteArray raw = payload.left(std::max<qsizetype>(0, payload.size() - 2));
  QString name;
  for (char c : raw) {
    const auto b = static_cast<uint8_t>(c);
    if (b >= '0' && b <= 'z') name += QLatin1Char(c);
  }
  port_.SetMessage(name);
  com_.OnError = nullptr;
  com_.SetMatchHeader(TNewCom::RequestHeader());
  partnerName_ = name;
  if (OnPartnerName) {
    auto partner = OnPartnerName;
    partner(name);
  }
  NameExchangeEnded();
}

void ModemLink::NameExchangeEnded() {
  com_.OnExchangeTimeout = nullptr;
  if (!naming_) return;
  naming_ = false;
  if (!sessionActive_ || !synchronised_ || queue_.Mode() == 1) return;
  queue_.SetTransport(true);
  port_.Link().SetLinkState(true);
  Changed();
  if (OnSessionReady) OnSessionReady();
}

// ---- Timer1: countdown, sync steps, carrier watch ----

void ModemLink::Timer1Fired() {
  switch (t1_) {
    case T1::Countdown:
      --countdown_;
      dialStatus_ = QStringLiteral("noch %1 sec").arg(countdown_);
      if (countdown_ <= 0) timer1_->Stop();
      break;
    case T1::Settle:
      timer1_->Stop();
      port_.SetDataMode(true);
      Send(QByteArrayLiteral("AT01\r"));
      dataModLedColor_ = clGreen;
      syncRetries_ = kSyncRetries;
      StartSync();
      break;
    case T1::SyncWait:
      if (--syncRetries_ > 0) {
        port_.SendByte(TNewCom::SOH);
        break;
      }
      SyncFailed();
      return;
    case T1::SyncFound:
      timer1_->Stop();
      Notify();
      return;
    case T1::NotifyWait:
      if (--syncRetries_ > 0) break;
      SyncFailed();
      return;
    case T1::CarrierWatch:
      if (!line_.IsOpen() || !line_.Lines().dcd) {
        EndSession(false, QStringLiteral("carrier lost"));
        return;
      }
      timerString_ = QString::number(carrierTicks_++);
      break;
    case T1::Idle:
      timer1_->Stop();
      return;
  }
  Changed();
}

// ---- The one session end ----

void ModemLink::EndSession(bool hangUp, const QString& why) {
  const bool wasActive = sessionActive_;
  timer1_->Stop();
  t1_ = T1::Idle;
  naming_ = false;
  synchronised_ = false;
  sessionActive_ = false;
  com_.OnExchangeTimeout = nullptr;
  com_.ResetProtocol();
  if (OwnsReceiveHook()) port_.ReceiveHook = nullptr;
  if (port_.DataMode()) ConnectionChange(false);
  port_.Link().SetLinkState(false);
  if (queue_.Mode() == 1) queue_.EndFramedSession();
  if (hangUp) modem_.HangUp();
  Changed();
  if (wasActive && OnSessionEnded) OnSessionEnded(why);
}

void ModemLink::HangUp() {
  port_.SetMessage(QStringLiteral("HangUp"));
  TakeLine();
  port_.ReceiveHook = nullptr;
  if (sessionActive_ || port_.DataMode()) {
    EndSession(true, QStringLiteral("hang-up"));
    return;
  }
  if (t1_ == T1::Countdown) {
    timer1_->Stop();
    t1_ = T1::Idle;
  }
  modem_.HangUp();
  Changed();
}

// ---- Buttons ----

void ModemLink::MstSync() {
  TakeLine();
  com_.OnError = [this](const QByteArray& text) { port_.SetMessage(QString::fromLatin1(text)); };
  sessionActive_ = true;
  StartSync();
}

void ModemLink::RequestPartnerName() {
  TakeLine();
  port_.PortReport(QStringLiteral("REQUEST PARTNER NAME"));
  // A refused request leaves the header of the exchange that keeps the line.
  const QByteArray header = com_.MatchHeader();
  com_.SetMatchHeader(TNewCom::PartnerReplyHeader());
  if (!com_.SendFrame(TNewCom::NameRequestFrame(), [this](const QByteArray& p) { NameReceived(p); }))
    com_.SetMatchHeader(header);
}

void ModemLink::SendNotify() {
  TakeLine();
  com_.SendFrame(TNewCom::NotifyFrame(), nullptr);
}

void ModemLink::NcReset() { com_.ResetProtocol(); }

void ModemLink::SendFramedTest(const QByteArray& bytes) {
  TakeLine();
  com_.SendFrame(TNewCom::BuildFrame(bytes), [this](const QByteArray& payload) {
    bool error = false;
    const QByteArray data = TNewCom::ParseReply(payload, &error);
    port_.SetMessage(QStringLiteral("error=%1 %2").arg(error ? 1 : 0).arg(Readable(data)));
  });
}

void ModemLink::SendAt() {
  TakeLine();
  Send(QByteArrayLiteral("AT\r"));
}

void ModemLink::SendSoh() {
  TakeLine();
  port_.SendByte(TNewCom::SOH);
}

void ModemLink::SendAts() {
  TakeLine();
  Send("ATS" + QByteArray::number(atsCounter_) + "?\r");
  atsCounter_ = atsCounter_ >= kAtsLast ? 0 : atsCounter_ + 1;
  Changed();
}

void ModemLink::SendIdent() {
  TakeLine();
  Send("ATI" + QByteArray::number(identCounter_) + "\r");
  identCounter_ = identCounter_ >= kIdentLast ? 0 : identCounter_ + 1;
  Changed();
}

void ModemLink::SendEchoOff() {
  TakeLine();
  Send(HayesModem::Expand(EchoOffCmd.toLatin1()) + '\r');
}

void ModemLink::SendInput(const QString& text) {
  TakeLine();
  Send(HayesModem::Expand(text.toLatin1()) + '\r');
}

// First press: received bytes go to the modem-line assembly; the next press
// gives them back to the layer that owned them.
void ModemLink::ToggleLocal() {
  TakeLine();
  if (!localMode_) {
    savedReceiveHook_ = std::move(port_.ReceiveHook);
    port_.ReceiveHook = nullptr;
  } else {
    port_.ReceiveHook = std::move(savedReceiveHook_);
    savedReceiveHook_ = nullptr;
  }
  localMode_ = !localMode_;
  Changed();
}

}  // namespace ulv
