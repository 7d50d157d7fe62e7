#pragma once
// The Hayes modem on the serial line: its own initialisation, dialling with a
// time-out, cancelling, hang-up by dropping DTR, and the answers that tell a
// dial's outcome. Sequenced by timers only; the answer lines come from the
// serial port's modem-line assembly.
#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

#include "common/timer.h"
#include "link/com_port.h"
#include "link/serial_line.h"

namespace ulv {

enum class ModemAnswer { None, Ok, Connect, Ring, NoCarrier, Error, NoDialtone, Busy, NoAnswer, Voice };

// What an answer line says. Numeric answers (a modem set to V0) are read
// only where `numeric` allows: an identification such as "56000" must stay
// text. `speed` gets the number after "CONNECT", 0 when none.
ModemAnswer ClassifyModemAnswer(const QString& line, bool numeric, int* speed = nullptr);

class HayesModem {
public:
  static constexpr int kDialTimeoutSec = 45;
  // DTR stays low at least a second, so every modem takes it as a hang-up.
  static constexpr int kHangUpDtrLowMs = 1100;

  HayesModem(ComPort& port, SerialLine& line, TimerFactory& timers);
  ~HayesModem();
  HayesModem(const HayesModem&) = delete;
  HayesModem& operator=(const HayesModem&) = delete;

  // The modem's configured strings ("^M" stands for CR).
  QByteArray InitString = "AT^M";
  QByteArray DialPrefix = "ATDT";
  QByteArray DialTerminator = "^M";
  QByteArray DialCancel = "^M";
  static QByteArray Expand(const QByteArray& configured);

  // Sends the initialisation string.
  void Initialize();
  // Dials (after a hang-up in progress has ended). False when the port is
  // closed or blocked.
  bool Dial(const QString& number);
  bool Dialling() const { return dialling_ || pendingDial_; }
  void CancelDial();
  // Drops DTR, raises it again after kHangUpDtrLowMs.
  void HangUp();
  bool HangingUp() const { return hangUpTimer_->IsActive(); }

  // Installed on the serial port: its complete answer lines.
  void AnswerLine(const QString& line);

  // The answer that ended the last failed dial (None: its time-out).
  ModemAnswer LastFailure() const { return lastFailure_; }

  std::function<void()> OnConnected;
  std::function<void()> OnConnectFailed;
  std::function<void(int speed)> OnLineSpeed;
  // DTR is up again after a hang-up.
  std::function<void()> OnHungUp;

private:
  void StartDial();
  void DialTimedOut();
  void Failed();

  ComPort& port_;
  SerialLine& line_;
  std::unique_ptr<Timer> dialTimer_;
  std::unique_ptr<Timer> hangUpTimer_;
  QString number_;
  bool dialling_ = false;
  bool pendingDial_ = false;
  ModemAnswer lastFailure_ = ModemAnswer::None;
};

}  // namespace ulv
