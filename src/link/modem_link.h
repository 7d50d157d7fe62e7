#pragma once
// The modem half of the serial port unit: initialisation and test of the
// Hayes modem, dialling with its countdown, the connection change, the
// synchronisation with the framed partner, the partner notification and
// name, the carrier watch and the one session end; and the serial window's
// modem and framed-transport test buttons. Pure logic: the window TMyComPort
// shows its state and calls its operations; the headless dial uses it too.
//
// A modem action takes the line from the 401 line port, and a synchronised
// session carries the transfer queue in mode 1 until it ends; then the queue
// is back in mode 2 with the line port stopped until the lamp or the COM menu
// restarts it.
#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

#include "common/log_hooks.h"
#include "common/timer.h"
#include "link/com_port.h"
#include "link/hayes_modem.h"
#include "link/line_port.h"
#include "link/new_com.h"
#include "link/serial_line.h"
#include "link/transfer_queue.h"

namespace ulv {

class ModemLink {
public:
  static constexpr int kInitGapMs = 200;
  // Each step of the modem test and the end of the initialisation wait at
  // most this long for their "OK".
  static constexpr int kModemStepMs = 3000;
  // After the initialisation's last answer: late answers drain before a test
  // probe starts.
  static constexpr int kDrainMs = 300;
  static constexpr int kConnectSettleMs = 200;
  static constexpr int kSyncRetries = 10;
  static constexpr int kSyncStepMs = 500;
  static constexpr int kCarrierWatchMs = 1000;

  using TextFn = std::function<void(const QString& text)>;

  ModemLink(ComPort& port, SerialLine& line, TNewCom& newCom, LinePort& linePort, TransferQueue& queue,
            LogHooks& logs, TimerFactory& timers);
  ~ModemLink();
  ModemLink(const ModemLink&) = delete;
  ModemLink& operator=(const ModemLink&) = delete;

  // Reads a configuration value (section, key, default); none: defaults.
  std::function<QString(const QString& section, const QString& key, const QString& def)> ReadConfig;

  HayesModem& Modem() { return modem_; }

  // INIT: the init strings, then the modem's own initialisation; `done` runs
  // once its answers have drained (or its time-out ended it).
  void Init(std::function<void()> done = nullptr);
  // TEST: initialisation, then the probe; `completion` gets the port text
  // with "/MODEM", or an empty text when no modem answered.
  void Test(TextFn completion);
  // Dials; false (after onFail) when a data connection stands or the port
  // is closed or blocked.
  bool Dial(const QString& number, TextFn onStatus, TextFn onFail);
  // The dial test button: dials `number` and runs the countdown.
  bool DialTest(const QString& number);
  // HangUp button: ends a session, or only cancels a dial and hangs up.
  void HangUp();
  // Ends a modem session standing on the line (hang-up included) and then
  // runs `then`, which hands the line to the line port: at once without a
  // session, after the hang-up with one.
  void GiveBackLine(std::function<void()> then);

  // Framed-transport buttons.
  void MstSync();
  void RequestPartnerName();
  void SendNotify();
  void NcReset();
  void SendFramedTest(const QByteArray& bytes);
  // Modem test buttons.
  void SendAt();
  void SendSoh();
  void SendAts();
  void SendIdent();
  void SendEchoOff();
  void SendInput(const QString& text);
  void ToggleLocal();

  // What the window shows.
  QString ModemId() const { return modemId_; }
  QString DialStatus() const { return dialStatus_; }
  QString TimerString() const { return timerString_; }
  QString ConnectLabel() const { return connectLabel_; }
  // ComPortLabel: the port text, with "/MODEM" once a modem answered.
  QString PortLabel() const { return portLabel_.isEmpty() ? port_.PortDescription() : portLabel_; }
  uint32_t ModemOpenColor() const { return modemOpenColor_; }
  uint32_t ConnectLedColor() const { return connectLedColor_; }
  uint32_t DataModLedColor() const { return dataModLedColor_; }
  int AtsCounter() const { return atsCounter_; }
  int IdentCounter() const { return identCounter_; }
  bool LocalMode() const { return localMode_; }
  int SyncRetries() const { return syncRetries_; }
  int Countdown() const { return countdown_; }
  QString PartnerName() const { return partnerName_; }
  // A session is being set up or carries the queue.
  bool SessionActive() const { return sessionActive_; }
  bool Synchronised() const { return synchronised_; }

  QString AskModemCmd = QStringLiteral("ATI0");
  QString EchoOffCmd = QStringLiteral("ATE0");
  QString DialNumber = QStringLiteral("0815471100");

  std::function<void()> OnChanged;
  std::function<void(const QString& name)> OnPartnerName;
  // The session carries requests (partner name exchange ended).
  std::function<void()> OnSessionReady;
  // The session ended (carrier loss, hang-up, sync or connect failure).
  std::function<void(const QString& why)> OnSessionEnded;

private:
  enum class T1 { Idle, Countdown, Settle, SyncWait, SyncFound, NotifyWait, CarrierWatch };
  struct SyncHook;

  void TakeLine();
  void Changed();
  void Send(const QByteArray& bytes);
  QString Config(const QString& section, const QString& key, const QString& def) const;
  void InitStep(int step);
  void InitAnswered();
  void Probe();
  void ProbeOk();
  void ProbeDone();
  void StepTimedOut();
  void Connected();
  void ConnectFailed();
  void ConnectionChange(bool connected);
  void StartSync();
  void SyncReceive(int count);
  void SyncFailed();
  void Notify();
  void Notified();
  void NameReceived(const QByteArray& payload);
  void NameExchangeEnded();
  void Timer1Fired();
  void EndSession(bool hangUp, const QString& why);
  void CallError(const QByteArray& text);
  bool OwnsReceiveHook() const;

  ComPort& port_;
  SerialLine& line_;
  TNewCom& com_;
  LinePort& linePort_;
  TransferQueue& queue_;
  LogHooks& logs_;
  HayesModem modem_;
  std::unique_ptr<Timer> timer1_;
  std::unique_ptr<Timer> stepTimer_;
  T1 t1_ = T1::Idle;
  std::function<void()> stepAction_;
  std::function<void()> initDone_;
  TextFn onModemDone_;
  QByteArray initStrings_[3];
  QByteArray syncBuffer_;
  int syncRetries_ = 0;
  int countdown_ = 0;
  int carrierTicks_ = 0;
  int atsCounter_ = 0;
  int identCounter_ = 0;
  bool localMode_ = false;
  std::function<void(int)> savedReceiveHook_;
  std::function<void()> lampClick_;
  std::function<void()> afterHangUp_;
  bool sessionActive_ = false;
  bool naming_ = false;
  bool synchronised_ = false;
  QString modemId_ = QStringLiteral("keine ModemId");
  QString dialStatus_;
  QString timerString_;
  QString connectLabel_ = QStringLiteral("NC");
  QString portLabel_;
  QString partnerName_;
  uint32_t modemOpenColor_ = clRed;
  uint32_t connectLedColor_ = clMaroon;
  uint32_t dataModLedColor_ = clRed;
};

}  // namespace ulv
