#pragma once
// The serial port unit: owns the one line, traces every byte, hands received
// bytes to the protocol layer that installed ReceiveHook, assembles modem
// answer lines when none has, and holds the link state. The window
// TMyComPort binds to it; the CLI and the tests use it directly.
#include "common/clock.h"
#include "common/log_hooks.h"
#include "common/timer.h"
#include "link/link_state.h"
#include "link/serial_line.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace ulv {

class ComPort {
public:
  ComPort(SerialLine& line, LogHooks& logs, const Clock& clock, TimerFactory& timers);
  ~ComPort();

  // Maps COM n to a device path ([comport] comN; default /dev/ttyS(n-1) on
  // Linux, "COMn" on Windows). Installed by whoever owns the configuration.
  std::function<QString(int comNumber)> DeviceForCom;

  bool OpenPort(int comNumber);
  // The built-in simulated controller's device: COM 0 opened on it is
  // described as "SIM", any other device as its COM number.
  void SetSimulatorDevice(const QString& device) { simulatorDevice_ = device; }
  // Opens a device path directly (ptys, the simulator) with the same steps as
  // OpenPort; the port is described as COM `comNumber`.
  bool OpenDevice(const QString& device, int comNumber);
  bool ClosePort();
  bool IsOpen() const;
  void SendByte(uint8_t b);
  bool SendString(const QByteArray& s);
  uint8_t ReadByte();
  QByteArray ReadString(int count);
  qint64 BytesWaiting() const;

  // The protocol layer that currently owns the input; called with the number
  // of bytes waiting, it reads them itself.
  std::function<void(int count)> ReceiveHook;
  // Installed by the line port: a click on any lamp.
  std::function<void(bool portOpen)> LineToggleHook;
  void SetPartnerHook(std::function<void(const QString&)> hook);
  void CallPartnerHook(const QString& text);

  // Trace lines ("%d %s %s"; the long form with hex in DataMode).
  void TraceOut(const QByteArray& s);
  void TraceIn(const QByteArray& s);
  void PortReport(const QString& line);

  LinkState& Link() { return link_; }
  const LinkState& Link() const { return link_; }

  int ComNumber() const { return comNumber_; }
  QString PortDescription() const { return portDescription_; }
  bool PortBlocked() const { return portBlocked_; }
  bool DataMode() const { return dataMode_; }
  void SetDataMode(bool on) { dataMode_ = on; }
  QString LastError() const { return lastError_; }
  QString ModemLine() const { return modemLine_; }
  QString LastModemLine() const { return lastModemLine_; }
  void SetLastModemLine(const QString& line) { lastModemLine_ = line; }
  // The message field `Nachricht`.
  QString Message() const { return message_; }
  void SetMessage(const QString& text);
  // A modem answer line is cut here; the rest of it is dropped.
  static constexpr int kModemLineMax = 256;

  // The last kTraceKept trace and report lines are kept, single bytes
  // unformatted with their times, so that a byte costs no text work while
  // nobody looks: the serial window formats them only while it shows them.
  static constexpr int kTraceKept = 2000;
  // Lines traced since the start.
  uint64_t TraceCount() const { return traceCount_; }
  // The kept lines among those traced after the first `from` ones, formatted.
  QStringList TraceLinesSince(uint64_t from) const;
  // Whether such a line went in direction `dir` ('>' sent, '<' received).
  bool TracedSince(uint64_t from, char dir) const;

  // Every trace or report line at once, formatted (tests, the headless
  // command); for the window: the port state ("PORT OPEN"/"PORT CLOSED"),
  // modem-line texts.
  std::function<void(const QString& line)> OnTraceLine;
  std::function<void()> OnPortStateChanged;
  std::function<void(const QString& text)> OnMessage;     // message field `Nachricht`
  std::function<void(const QString& text)> OnConnectText; // `ConnectLabel`
  std::function<void()> OnModemOk;
  // Every complete, non-empty modem answer line, before OnModemOk or the
  // message field take it (the modem driver reads its answers here).
  std::function<void(const QString& line)> OnModemLine;
  // While this says true (a dial is in progress) received bytes are read as
  // modem answers even when a protocol layer has installed ReceiveHook.
  std::function<bool()> ModemOwnsInput;
  // After a vanished device has been reopened (the line port restarts its line).
  std::function<void()> OnReopened;

  // "PORT OPEN" / "PORT CLOSED", as the window's group box shows it.
  QString PortStateText() const;
  // True once the port has been closed by ClosePort (the window's close query).
  bool CanClose() const { return canClose_; }
  // Delay of the next quiet reopen attempt (0 when none is planned).
  int ReopenDelayMs() const { return reopenTimer_->IsActive() ? reopenDelayMs_ : 0; }

  // The data-available path (public so the in-memory line and tests can drive it).
  void DataAvailable();

private:
  struct TraceEntry {
    qint64 msecsSinceEpoch = 0;
    QString text;  // the formatted line of anything but a single byte
    uint8_t byte = 0;
    char dir = 0;  // '>' sent, '<' received, 0 a report line
    bool isByte = false;
    bool dataMode = false;
  };
  static QString FormatTrace(int msecsSinceMidnight, char dir, const char* data, qsizetype size, bool dataMode);
  bool Tracing() const { return OnTraceLine || logs_.Flag(9); }
  void Trace(char dir, const QByteArray& s);
  void TraceByte(char dir, uint8_t b);
  void Keep(char dir, uint8_t b, bool isByte, const QString& text);
  // The index of the first kept line at or after `from`.
  uint64_t OldestKept(uint64_t from) const;
  void ModemByte(uint8_t b);
  void Lost(const QString& reason);
  void ScheduleReopen();
  void TryReopen();

  SerialLine& line_;
  LogHooks& logs_;
  const Clock& clock_;
  LinkState link_;
  std::function<void(const QString&)> partnerHook_;
  int comNumber_ = 1;
  QString device_;
  QString simulatorDevice_;
  QString portDescription_;
  QString lastError_;
  bool portBlocked_ = false;
  bool dataMode_ = false;
  bool wantOpen_ = false;
  bool open_ = false;  // opened by us and not yet closed or lost
  bool quietOpen_ = false;
  bool canClose_ = false;
  QString modemLine_;
  QString lastModemLine_;
  QString message_;
  std::unique_ptr<Timer> reopenTimer_;
  int reopenDelayMs_ = 0;
  std::vector<TraceEntry> traceRing_;
  uint64_t traceCount_ = 0;
};

}  // namespace ulv
