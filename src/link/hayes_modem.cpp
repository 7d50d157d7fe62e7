#include "link/hayes_modem.h"

namespace ulv {

ModemAnswer ClassifyModemAnswer(const QString& raw, bool numeric, int* speed) {
  const QString line = raw.trimmed();
  if (speed) *speed = 0;
  if (line.startsWith(QLatin1String("CONNECT"))) {
    if (speed) *speed = line.mid(7).trimmed().section(QLatin1Char(' '), 0, 0).section(QLatin1Char('/'), 0, 0).toInt();
    return ModemAnswer::Connect;
  }
  static const struct {
    const char* text;
    ModemAnswer answer;
  } kTexts[] = {{"OK", ModemAnswer::Ok},           {"RING", ModemAnswer::Ring},
                {"NO CARRIER", ModemAnswer::NoCarrier}, {"ERROR", ModemAnswer::Error},
                {"NO DIALTONE", ModemAnswer::NoDialtone}, {"BUSY", ModemAnswer::Busy},
                {"NO ANSWER", ModemAnswer::NoAnswer},   {"VOICE", ModemAnswer::Voice}};
  for (const auto& t : kTexts)
    if (line == QLatin1String(t.text)) return t.answer;
  if (!numeric || line.isEmpty() || line.size() > 2) return ModemAnswer::None;
  bool ok = false;
  const int code = line.toInt(&ok);
  if (!ok) return ModemAnswer::None;
  switch (code) {
    case 0: return ModemAnswer::Ok;
    case 1: return ModemAnswer::Connect;
    case 2: return ModemAnswer::Ring;
    case 3: return ModemAnswer::NoCarrier;
    case 4: return ModemAnswer::Error;
    case 6: return ModemAnswer::NoDialtone;
    case 7: return ModemAnswer::Busy;
    case 8: return ModemAnswer::NoAnswer;
    default: return code >= 10 ? ModemAnswer::Connect : ModemAnswer::None;
  }
}

HayesModem::HayesModem(ComPort& port, SerialLine& line, TimerFactory& timers)
    : port_(port), line_(line), dialTimer_(timers.CreateTimer()), hangUpTimer_(timers.CreateTimer()) {
  dialTimer_->SetSingleShot(true);
  dialTimer_->OnTimeout = [this] { DialTimedOut(); };
  hangUpTimer_->SetSingleShot(true);
  hangUpTimer_->OnTimeout = [this] {
    hangUpTimer_->Stop();
    if (port_.IsOpen()) line_.SetDtr(true);
    if (pendingDial_) StartDial();
    if (OnHungUp) OnHungUp();
  };
}

HayesModem::~HayesModem() = default;

QByteArray HayesModem::Expand(const QByteArray& configured) {
  QByteArray s = configured;
  return s.replace("^M", "\r");
}

void HayesModem::Initialize() { port_.SendString(Expand(InitString)); }

bool HayesModem::Dial(const QString& number) {
  if (!port_.IsOpen() || port_.PortBlocked()) return false;
  number_ = number;
  if (dialling_) CancelDial();
  pendingDial_ = true;
  if (!HangingUp()) StartDial();
  return true;
}

void HayesModem::StartDial() {
  pendingDial_ = false;
  if (!port_.SendString(Expand(DialPrefix) + number_.toLatin1() + Expand(DialTerminator))) {
    lastFailure_ = ModemAnswer::Error;
    Failed();
    return;
  }
  dialling_ = true;
  dialTimer_->Start(kDialTimeoutSec * 1000);
}

void HayesModem::CancelDial() {
  pendingDial_ = false;
  if (!dialling_) return;
  dialling_ = false;
  dialTimer_->Stop();
  port_.SendString(Expand(DialCancel));
}

void HayesModem::HangUp() {
  CancelDial();
  if (!port_.IsOpen()) return;
  line_.SetDtr(false);
  hangUpTimer_->Start(kHangUpDtrLowMs);
}

void HayesModem::DialTimedOut() {
  CancelDial();
  lastFailure_ = ModemAnswer::None;
  Failed();
}

void HayesModem::Failed() {
  dialling_ = false;
  dialTimer_->Stop();
  if (OnConnectFailed) OnConnectFailed();
}

void HayesModem::AnswerLine(const QString& line) {
  if (!dialling_) return;
  int speed = 0;
  const ModemAnswer answer = ClassifyModemAnswer(line, true, &speed);
  switch (answer) {
    case ModemAnswer::Connect:
      dialling_ = false;
      dialTimer_->Stop();
      if (speed > 0 && OnLineSpeed) OnLineSpeed(speed);
      if (OnConnected) OnConnected();
      return;
    case ModemAnswer::NoCarrier:
    case ModemAnswer::Error:
    case ModemAnswer::NoDialtone:
    case ModemAnswer::Busy:
    case ModemAnswer::NoAnswer:
    case ModemAnswer::Voice:
      lastFailure_ = answer;
      Failed();
      return;
    default:
      return;
  }
}

}  // namespace ulv
