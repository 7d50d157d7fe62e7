#include "link/com_port.h"

#include <QDateTime>
#include <algorithm>
#include <climits>

namespace ulv {

namespace {

constexpr int kReopenFirstMs = 250;
constexpr int kReopenMaxMs = 2000;
const char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(QString& out, uint8_t b) {
  out += QLatin1Char(kHexDigits[b >> 4]);
  out += QLatin1Char(kHexDigits[b & 0x0F]);
}

QString DefaultDevice(int comNumber) {
#ifdef Q_OS_WIN
  return QStringLiteral("COM%1").arg(comNumber);
#else
  return QStringLiteral("/dev/ttyS%1").arg(comNumber - 1);
#endif
}

}  // namespace

ComPort::ComPort(SerialLine& line, LogHooks& logs, const Clock& clock, TimerFactory& timers)
    : line_(line), logs_(logs), clock_(clock), reopenTimer_(timers.CreateTimer()), traceRing_(kTraceKept) {
  line_.OnDataAvailable = [this] { DataAvailable(); };
  line_.OnLost = [this](const QString& reason) { Lost(reason); };
  link_.OnLampClick = [this] {
    if (LineToggleHook) {
      auto toggle = LineToggleHook;
      toggle(IsOpen());
    }
  };
  reopenTimer_->SetSingleShot(true);
  reopenTimer_->OnTimeout = [this] { TryReopen(); };
}

ComPort::~ComPort() {
  line_.OnDataAvailable = nullptr;
  line_.OnLost = nullptr;
}

bool ComPort::OpenPort(int comNumber) {
  const QString device = DeviceForCom ? DeviceForCom(comNumber) : DefaultDevice(comNumber);
  return OpenDevice(device, comNumber);
}

bool ComPort::OpenDevice(const QString& device, int comNumber) {
  const bool quiet = quietOpen_;
  if (!quiet) {
    // A deliberate (re)open replaces whatever line was meant to run before.
    wantOpen_ = false;
    reopenTimer_->Stop();
    reopenDelayMs_ = 0;
    TraceOut(QByteArrayLiteral("myport: open"));
  }
  const bool wasOpen = open_;
  if (line_.IsOpen()) line_.Close();
  open_ = false;
  comNumber_ = comNumber;
  QString error;
  if (!line_.Open(device, &error)) {
    lastError_ = error.isEmpty() ? QStringLiteral("%1 cannot be opened").arg(device) : error;
    if (wasOpen && OnPortStateChanged) OnPortStateChanged();
    return false;
  }
  line_.SetDtr(true);
  if (quiet) TraceOut(QByteArrayLiteral("myport: open"));
  TraceOut(QByteArrayLiteral("myport: open"));
  open_ = true;
  portBlocked_ = false;
  wantOpen_ = true;
  device_ = device;
  lastError_.clear();
  // COM number 0 opened on the built-in simulated controller shows as such;
  // a real device never passes for it.
  portDescription_ = comNumber == 0 && !simulatorDevice_.isEmpty() && device == simulatorDevice_
                         ? QStringLiteral("SIM/19200/8N1")
                         : QStringLiteral("COM%1/19200/8N1").arg(comNumber);
  if (partnerHook_) {
    auto partner = partnerHook_;
    partner(portDescription_);
  }
  if (OnPortStateChanged) OnPortStateChanged();
  return true;
}

bool ComPort::ClosePort() {
  logs_.WriteReport(QStringLiteral("myport: closing"));
  portBlocked_ = true;
  wantOpen_ = false;
  reopenTimer_->Stop();
  reopenDelayMs_ = 0;
  if (line_.IsOpen()) line_.Close();
  open_ = false;
  logs_.WriteReport(QStringLiteral("myport: closed"));
  if (OnPortStateChanged) OnPortStateChanged();
  if (partnerHook_) {
    auto partner = partnerHook_;
    partner(QStringLiteral("CLOSED"));
  }
  canClose_ = true;
  return true;
}

bool ComPort::IsOpen() const { return line_.IsOpen(); }

QString ComPort::PortStateText() const {
  return open_ && line_.IsOpen() ? QStringLiteral("PORT OPEN") : QStringLiteral("PORT CLOSED");
}

void ComPort::SendByte(uint8_t b) {
  if (portBlocked_ || !line_.IsOpen()) return;
  TraceByte('>', b);
  const char c = static_cast<char>(b);
  line_.Write(&c, 1);
}

bool ComPort::SendString(const QByteArray& s) {
  if (portBlocked_ || !line_.IsOpen()) return false;
  TraceOut(s);
  line_.Write(s);
  return true;
}

uint8_t ComPort::ReadByte() {
  if (portBlocked_) return 0;
  char c = 0;
  if (line_.Read(&c, 1) != 1) return 0;
  TraceByte('<', static_cast<uint8_t>(c));
  return static_cast<uint8_t>(c);
}

QByteArray ComPort::ReadString(int count) {
  if (portBlocked_) return {};
  QByteArray s = line_.Read(count);
  TraceIn(s);
  return s;
}

qint64 ComPort::BytesWaiting() const { return line_.BytesAvailable(); }

void ComPort::SetPartnerHook(std::function<void(const QString&)> hook) { partnerHook_ = std::move(hook); }

void ComPort::CallPartnerHook(const QString& text) {
  if (partnerHook_) {
    auto partner = partnerHook_;
    partner(text);
  }
}

void ComPort::TraceOut(const QByteArray& s) { Trace('>', s); }

void ComPort::TraceIn(const QByteArray& s) { Trace('<', s); }

// Lines other than single bytes are rare: they are formatted at once.
void ComPort::Trace(char dir, const QByteArray& s) {
  const QString line = FormatTrace(clock_.MsecsSinceMidnight(), dir, s.constData(), s.size(), dataMode_);
  Keep(dir, 0, false, line);
  if (OnTraceLine) OnTraceLine(line);
  if (logs_.Flag(9)) logs_.WriteLog(line);
}

// One byte of the exchange: kept unformatted unless someone takes every line
// now (the main log with report flag 9, or a line hook).
void ComPort::TraceByte(char dir, uint8_t b) {
  Keep(dir, b, true, QString());
  if (!Tracing()) return;
  const char c = static_cast<char>(b);
  const QString line = FormatTrace(clock_.MsecsSinceMidnight(), dir, &c, 1, dataMode_);
  if (OnTraceLine) OnTraceLine(line);
  if (logs_.Flag(9)) logs_.WriteLog(line);
}

void ComPort::Keep(char dir, uint8_t b, bool isByte, const QString& text) {
  TraceEntry& e = traceRing_[traceCount_ % kTraceKept];
  ++traceCount_;
  e.msecsSinceEpoch = clock_.MsecsSinceEpoch();
  e.text = text;
  e.byte = b;
  e.dir = dir;
  e.isByte = isByte;
  e.dataMode = dataMode_;
}

uint64_t ComPort::OldestKept(uint64_t from) const {
  const uint64_t oldest = traceCount_ > uint64_t{kTraceKept} ? traceCount_ - kTraceKept : 0;
  return std::min(std::max(from, oldest), traceCount_);
}

bool ComPort::TracedSince(uint64_t from, char dir) const {
  for (uint64_t i = OldestKept(from); i < traceCount_; ++i)
    if (traceRing_[i % kTraceKept].dir == dir) return true;
  return false;
}

QStringList ComPort::TraceLinesSince(uint64_t from) const {
  constexpr qint64 kMinuteMs = 60000;
  constexpr qint64 kDayMs = 86400000;
  QStringList lines;
  lines.reserve(static_cast<qsizetype>(traceCount_ - OldestKept(from)));
  // The local zone's offset is looked up once per minute of lines, not per
  // line: offsets change only on whole minutes.
  qint64 minute = -1;
  qint64 offsetMs = 0;
  for (uint64_t i = OldestKept(from); i < traceCount_; ++i) {
    const TraceEntry& e = traceRing_[i % kTraceKept];
    if (!e.isByte) {
      lines.append(e.text);
      continue;
    }
    if (e.msecsSinceEpoch / kMinuteMs != minute) {
      minute = e.msecsSinceEpoch / kMinuteMs;
      offsetMs = qint64{QDateTime::fromMSecsSinceEpoch(e.msecsSinceEpoch).offsetFromUtc()} * 1000;
    }
    const char c = static_cast<char>(e.byte);
    const int ms = static_cast<int>(((e.msecsSinceEpoch + offsetMs) % kDayMs + kDayMs) % kDayMs);
    lines.append(FormatTrace(ms, e.dir, &c, 1, e.dataMode));
  }
  return lines;
}

QString ComPort::FormatTrace(int msecsSinceMidnight, char dir, const char* data, qsizetype size, bool dataMode) {
  qsizetype from = 0;
  qsizetype to = size;
  while (from < to && static_cast<uint8_t>(data[from]) <= 32) ++from;
  while (to > from && static_cast<uint8_t>(data[to - 1]) <= 32) --to;
  QString line;
  line.reserve(16 + (dataMode ? 2 * size + 3 : 0) + 4 * (to - from));
  line += QString::number(msecsSinceMidnight);
  line += QLatin1Char(' ');
  line += QLatin1Char(dir);
  line += QLatin1Char(' ');
  if (dataMode) {
    for (qsizetype i = 0; i < size; ++i) AppendHex(line, static_cast<uint8_t>(data[i]));
    line += QLatin1String("   ");
  }
  for (qsizetype i = from; i < to; ++i) {
    const auto b = static_cast<uint8_t>(data[i]);
    if (b >= 32 && b <= 127) {
      line += QLatin1Char(static_cast<char>(b));
    } else {
      line += QLatin1Char('~');
      AppendHex(line, b);
      line += QLatin1Char('~');
    }
  }
  return line;
}

void ComPort::PortReport(const QString& line) {
  Keep(0, 0, false, line);
  if (OnTraceLine) OnTraceLine(line);
  if (logs_.Flag(9)) logs_.WriteLog(line);
}

void ComPort::DataAvailable() {
  if (portBlocked_ || !line_.IsOpen()) return;
  const qint64 waiting = line_.BytesAvailable();
  if (waiting <= 0) return;
  const bool modemFirst = ModemOwnsInput && ModemOwnsInput();
  if (ReceiveHook && !modemFirst) {
    // The hook may replace itself while it runs.
    auto hook = ReceiveHook;
    hook(static_cast<int>(std::min<qint64>(waiting, INT_MAX)));
    return;
  }
  const QByteArray bytes = line_.Read(waiting);
  for (char c : bytes) ModemByte(static_cast<uint8_t>(c));
}

// Modem answers arrive as text lines ended by CR; in DataMode every byte is a
// line of its own.
void ComPort::ModemByte(uint8_t b) {
  if (b != 13 && b != 10 && modemLine_.size() < kModemLineMax) {
    if (b >= 32 && b <= 122) {
      modemLine_ += QLatin1Char(static_cast<char>(b));
    } else {
      modemLine_ += QLatin1Char('$');
      AppendHex(modemLine_, b);
    }
  }
  if (b != 13 && !dataMode_) return;
  if (!modemLine_.isEmpty()) {
    // The line is taken before anyone runs: a handler may send the next
    // command, whose answer must start a new line.
    const QString line = modemLine_;
    modemLine_.clear();
    TraceIn(line.toLatin1());
    lastModemLine_ = line;
    if (line.contains(QLatin1String("CONNECT")) && OnConnectText) OnConnectText(line);
    if (OnModemLine) {
      auto tap = OnModemLine;
      tap(line);
    }
    if (line == QLatin1String("OK")) {
      if (OnModemOk) {
        auto ok = OnModemOk;
        ok();
      }
    } else {
      SetMessage(line);
    }
    return;
  }
  modemLine_.clear();
}

void ComPort::SetMessage(const QString& text) {
  message_ = text;
  if (OnMessage) OnMessage(text);
}

void ComPort::Lost(const QString& reason) {
  if (!open_) return;
  open_ = false;
  if (line_.IsOpen()) line_.Close();
  link_.SetLinkState(false);
  PortReport(QStringLiteral("myport: %1 lost (%2)").arg(device_, reason));
  if (OnPortStateChanged) OnPortStateChanged();
  if (partnerHook_) {
    auto partner = partnerHook_;
    partner(QStringLiteral("CLOSED"));
  }
  if (wantOpen_) ScheduleReopen();
}

void ComPort::ScheduleReopen() {
  reopenDelayMs_ = reopenDelayMs_ <= 0 ? kReopenFirstMs : std::min(2 * reopenDelayMs_, kReopenMaxMs);
  reopenTimer_->Start(reopenDelayMs_);
}

void ComPort::TryReopen() {
  if (!wantOpen_ || open_) return;
  quietOpen_ = true;
  const bool ok = OpenDevice(device_, comNumber_);
  quietOpen_ = false;
  if (!ok) {
    ScheduleReopen();
    return;
  }
  reopenDelayMs_ = 0;
  if (OnReopened) {
    auto reopened = OnReopened;
    reopened();
  }
}

}  // namespace ulv
