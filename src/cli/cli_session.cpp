#include "cli/cli_session.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <cstdio>

#include "common/save_file.h"
#include "context/app_units.h"
#include "diag/memory_debugger.h"
#include "diag/monitor_test.h"
#include "link/link_state.h"
#include "link/port_doctor.h"
#include "link/qt_serial_line.h"
#include "sim/scenario.h"

namespace ulv {

// The windowed program's link units on the CLI's own serial line, plus what
// only the CLI needs: its lamp, its timers and the loop a command runs in.
struct CliSession::Units {
  Units(AppContext& ctx, bool hardwareFlow)
      : line(hardwareFlow),
        units(ctx, line),
        linkTimer(ctx.timers.CreateTimer()),
        limitTimer(ctx.timers.CreateTimer()),
        startTimer(ctx.timers.CreateTimer()),
        tickTimer(ctx.timers.CreateTimer()) {}

  // Before the units: when they go they close the line, then stop the
  // simulator behind it.
  QtSerialLine line;
  AppUnits units;
  LinkLampModel lamp;
  std::unique_ptr<Timer> linkTimer;
  std::unique_ptr<Timer> limitTimer;
  std::unique_ptr<Timer> startTimer;
  std::unique_ptr<Timer> tickTimer;
  std::unique_ptr<MemoryDebugger> debugger;  // peek and poke
  std::unique_ptr<Timer> monitorTimer;
  QEventLoop loop;
};

CliSession::CliSession(AppContext& ctx, CliOptions options) : ctx_(ctx), options_(std::move(options)) {}

CliSession::~CliSession() = default;

QString CliSession::ResolveDevice(int* comNumber, QString* error) {
  QString port = options_.port;
  if (port.isEmpty()) port = QStringLiteral("COM%1").arg(ctx_.config.ComPort());
  *comNumber = 1;
  bool sim = port.compare(QLatin1String("sim"), Qt::CaseInsensitive) == 0;
  QString device = port;
  static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                      QRegularExpression::CaseInsensitiveOption);
  if (const QRegularExpressionMatch m = com.match(port); !sim && m.hasMatch()) {
    *comNumber = m.captured(1).toInt();
    device = ctx_.config.ComDevice(*comNumber);
    sim = device.compare(QLatin1String("sim"), Qt::CaseInsensitive) == 0;
  }
  if (!sim) return device;

  u_->units.simOptions.scenarioFile = ScenarioPath(options_.scenario);
  u_->units.simOptions.lineTiming = options_.lineTiming;
  // Checked here: the simulator's own read would wait forever on a FIFO.
  const QString& plant = u_->units.simOptions.scenarioFile;
  QByteArray bytes;
  if (!plant.isEmpty() && !plant.startsWith(QLatin1Char(':')) && !ReadWholeFile(plant, &bytes, error)) {
    *error = QStringLiteral("the simulated controller cannot start: scenario ") + *error;
    return QString();
  }
  const QString slave = u_->units.StartSimulator(error);
  if (slave.isEmpty()) {
    *error = QStringLiteral("the simulated controller cannot start: ") + *error;
    return QString();
  }
  return slave;
}

int CliSession::Run() {
  if (options_.command == QLatin1String("decode")) return RunDecode();
  if (options_.command == QLatin1String("doctor")) return RunDoctor();
  const bool hardwareFlow =
      ctx_.config.FlowControl().compare(QLatin1String("none"), Qt::CaseInsensitive) != 0;
  u_ = std::make_unique<Units>(ctx_, hardwareFlow);
  Units& u = *u_;

  int comNumber = 1;
  QString error;
  device_ = ResolveDevice(&comNumber, &error);
  if (device_.isEmpty()) {
    Finish(kExitPort, error.isEmpty() ? QStringLiteral("no serial device configured") : error);
    return exitCode_;
  }

  u.line.OnTrace = [this](const QString& line) {
    lastTrace_ = line;
    if (u_) u_->units.port.PortReport(line);
  };
  u.units.port.DeviceForCom = [this](int) { return device_; };
  u.units.linePort.ComPortNumber = [comNumber] { return comNumber; };
  u.units.errorReader.OnProgress = [this](int value, int maximum) {
    Progress(QStringLiteral("error records %1/%2").arg(QString::number(value), QString::number(maximum)));
  };

  // Mode 2 over the line port; this opens the port.
  u.units.queue.SetTransport(false);
  if (!u.units.port.IsOpen()) {
    Finish(kExitPort, u.units.port.LastError().isEmpty() ? QStringLiteral("%1 cannot be opened").arg(device_)
                                                         : u.units.port.LastError());
    return exitCode_;
  }

  u.lamp.OnLink = [this](LinkLamp*, bool up) {
    // Started outside the line's receive handling.
    if (up && !started_ && !finished_) u_->startTimer->Start(0);
  };
  u.units.port.Link().RegisterLinkLed(&u.lamp);
  u.startTimer->SetSingleShot(true);
  u.startTimer->OnTimeout = [this] { StartCommand(); };

  u.linkTimer->SetSingleShot(true);
  u.linkTimer->OnTimeout = [this] {
    if (!started_) {
      Finish(kExitFailed, QStringLiteral("the controller does not answer on %1 (no link within %2 s)")
                              .arg(device_, QString::number(kLinkLimitMs / 1000)));
    }
  };
  u.limitTimer->SetSingleShot(true);
  u.limitTimer->OnTimeout = [this] {
    Finish(kExitFailed, QStringLiteral("%1 did not finish within %2 s")
                            .arg(options_.command, QString::number(kCommandLimitMs / 1000)));
  };
  u.tickTimer->OnTimeout = [this] { Tick(); };

  // The line runs from here on the port already open: the reset request goes
  // out now (or the modem dials, and the session carries the requests).
  if (options_.dial.isEmpty()) {
    u.units.linePort.StartExchange();
  } else {
    StartDialSession();
  }
  u.units.port.OnPortStateChanged = [this] {
    if (!finished_ && u_ && !u_->units.port.IsOpen()) {
      Finish(kExitFailed, lastTrace_.startsWith(QLatin1String("serial line lost"))
                              ? lastTrace_
                              : QStringLiteral("serial line lost: %1").arg(device_));
    }
  };
  u.linkTimer->Start(options_.dial.isEmpty() ? kLinkLimitMs : kDialLinkLimitMs);
  // A whole stream of 65,535 entries takes far longer than any other read.
  u.limitTimer->Start(options_.command == QLatin1String("capture") ? kCaptureLimitMs : kCommandLimitMs);
  u.tickTimer->Start(100);

  if (!finished_) u.loop.exec();
  // A modem keeps its call until DTR has been low long enough: the run ends
  // once the hang-up is done, so that the next run finds the modem idle.
  if (u.units.modem.Modem().HangingUp()) {
    u.units.modem.GiveBackLine([&u] { u.loop.exit(0); });
    u.loop.exec();
  }

  // Stop the line and let go of the port before the simulator goes.
  u.tickTimer->Stop();
  u.units.port.OnPortStateChanged = nullptr;
  if (u.units.linePort.LineTimerActive()) u.units.linePort.LineToggle(true);
  if (u.units.port.IsOpen()) u.units.port.ClosePort();
  if (PtySimulator* sim = u.units.Simulator()) sim->Stop();
  Progress(QString());

  if (exitCode_ == kExitOk && options_.json) {
    exitCode_ = OutputJson();
  } else if (exitCode_ == kExitOk && !options_.out.isEmpty() && options_.command != QLatin1String("capture")) {
    QString why;
    if (!WriteOut(&why)) {
      exitCode_ = kExitOutput;
      if (OnError) OnError(why);
    }
  }
  return exitCode_;
}

void CliSession::StartCommand() {
  if (started_ || finished_) return;
  started_ = true;
  u_->linkTimer->Stop();
  Units& u = *u_;
  const QString& c = options_.command;

  if (c == QLatin1String("version")) {
    u.units.utils.ReadVersion([this](const QString& text, ReplyStatus status) {
      if (status != ReplyStatus::Replied || text == QLatin1String("Transfer.Fehler")) {
        Finish(kExitFailed, QStringLiteral("the controller did not answer the version request"));
        return;
      }
      Emit(text);
      Finish(kExitOk);
    });
  } else if (c == QLatin1String("send-time")) {
    auto reported = std::make_shared<QString>();
    // The send takes OnReport over when it starts.
    u.units.utils.OnReport = [reported](const QString& text) { *reported = text; };
    u.units.utils.SendDateTime([this, reported](QelUtils* done) {
      if (done == nullptr || *reported != QLatin1String("date.send")) {
        Finish(kExitFailed, QStringLiteral("the controller did not take the date and time"));
        return;
      }
      Emit(*reported);
      Finish(kExitOk);
    });
  } else if (c == QLatin1String("identity")) {
    u.units.identity.OnReadEnded = [this](bool ok) {
      if (ok) {
        Finish(kExitOk);
      } else {
        Finish(kExitFailed, QStringLiteral("the plant identity could not be read (no reply)"));
      }
    };
    waiting_ = Waiting::Identity;
    if (!u.units.identity.Read([this](const QString& line) { Emit(line); })) {
      Finish(kExitFailed, QStringLiteral("the link to the controller is down"));
    }
  } else if (c == QLatin1String("errors")) {
    RunErrors(false);
  } else if (c == QLatin1String("report")) {
    RunErrors(true);
  } else if (c == QLatin1String("records")) {
    RunRecords();
  } else if (c == QLatin1String("dump")) {
    RunDump();
  } else if (c == QLatin1String("peek") || c == QLatin1String("poke")) {
    RunPeekPoke(c == QLatin1String("poke"));
  } else if (c == QLatin1String("monitor")) {
    RunMonitor();
  } else if (c == QLatin1String("capture")) {
    RunCapture();
  } else if (c == QLatin1String("delete-errors")) {
    waiting_ = Waiting::Delete;
    u.units.errorReader.DeleteErrorLog([this](bool answered) { deleteAnswered_ = answered ? 1 : 0; });
  } else {
    Finish(kExitUsage, QStringLiteral("unknown command %1").arg(c));
  }
}

// errors: the identity is read silently first (the window's identity block
// shows what the automatic read after the port report found), then the read
// flow of "holen". report: the identity listing, then the same.
void CliSession::RunErrors(bool withIdentityListing) {
  Units& u = *u_;
  u.units.errorReader.OnReadEnded = [this](ErrorLogReader::ReadOutcome outcome) {
    waiting_ = Waiting::Nothing;
    switch (outcome) {
      case ErrorLogReader::ReadOutcome::Completed:
        if (listFileFailed_) {
          Finish(kExitOutput);
          return;
        }
        if (options_.hex) {
          QString why;
          if (!u_->units.errorReader.HexListing(&why)) {
            Finish(kExitFailed, why);
            return;
          }
        }
        Finish(kExitOk);
        return;
      case ErrorLogReader::ReadOutcome::CountFailed:
        Finish(kExitFailed, QStringLiteral("the error count could not be read (no reply)"));
        return;
      case ErrorLogReader::ReadOutcome::TimedOut:
        Finish(kExitFailed, QStringLiteral("the controller stopped answering during the read"));
        return;
      case ErrorLogReader::ReadOutcome::Refused:
        Finish(kExitFailed, QStringLiteral("the link to the controller went down during the read"));
        return;
    }
  };
  u.units.errorReader.OnFileError = [this](const QString& message) {
    listFileFailed_ = true;
    if (OnError) OnError(message);
  };
  u.units.identity.OnReadEnded = [this, withIdentityListing](bool) {
    if (finished_ || waiting_ != Waiting::Identity) return;
    if (withIdentityListing) Emit(QStringLiteral(" "));
    waiting_ = Waiting::Errors;
    if (!u_->units.errorReader.StartRead([this](const QString& line) { Emit(line); })) {
      Finish(kExitFailed, QStringLiteral("the error memory could not be read (link down or a read running)"));
    }
  };
  waiting_ = Waiting::Identity;
  PlantIdentity::Output identityOutput;
  if (withIdentityListing) identityOutput = [this](const QString& line) { Emit(line); };
  if (!u.units.identity.Read(identityOutput)) {
    Finish(kExitFailed, QStringLiteral("the link to the controller is down"));
  }
}

// records: the identity is read silently first (its values head the version
// block), then the record or the Alles chain of the data window.
void CliSession::RunRecords() {
  Units& u = *u_;
  DataReport& report = u.units.dataReport;
  report.Output = [this](const QString& line) { Emit(line); };
  report.OnEnded = [this](DataReport::Ending ending) { RecordsEnded(ending); };
  u.units.identity.OnReadEnded = [this](bool) {
    if (finished_ || waiting_ != Waiting::Identity) return;
    waiting_ = Waiting::Nothing;
    using R = DataReport::Record;
    static const R kRecords[] = {R::Version, R::Version, R::Shaft,       R::MonBlock, R::SysPerm,
                                 R::SysVar,  R::ShiftStatus, R::IoPorts, R::Ports,    R::CallsMap};
    const qsizetype which = RecordNames().indexOf(options_.argument);
    DataReport& r = u_->units.dataReport;
    if (which <= 0) {
      r.Alles();
    } else {
      r.Press(kRecords[which]);
    }
  };
  waiting_ = Waiting::Identity;
  if (!u.units.identity.Read(nullptr)) Finish(kExitFailed, QStringLiteral("the link to the controller is down"));
}

void CliSession::RecordsEnded(DataReport::Ending ending) {
  switch (ending) {
    case DataReport::Ending::Done:
      // A failed shift status read lets the chain go on, but it failed.
      if (lines_.contains(RecordReader::FailureText())) {
        Finish(kExitFailed, RecordReader::FailureText());
      } else {
        Finish(kExitOk);
      }
      return;
    case DataReport::Ending::Unsupported:
      Finish(kExitFailed, QStringLiteral("the controller does not offer this record (its highest function is too low)"));
      return;
    case DataReport::Ending::Failed:
      Finish(kExitFailed, RecordReader::FailureText());
      return;
    case DataReport::Ending::Refused:
      Finish(kExitFailed, QStringLiteral("the link to the controller went down during the read"));
      return;
  }
}

void CliSession::RunDump() {
  MemoryDump& dump = u_->units.memoryDump;
  dump.OnShow = [this](const QStringList& lines) {
    for (const QString& l : lines) Emit(l);
  };
  dump.OnEnded = [this](bool shown) {
    if (shown) {
      Finish(kExitOk);
    } else {
      Finish(kExitFailed, RecordReader::FailureText());
    }
  };
  if (!dump.Start(options_.argument, nullptr))
    Finish(kExitFailed, QStringLiteral("the link to the controller is down"));
}

// peek: reads of four bytes from the address on, one line each. poke: the
// debugger's Send (the address set and confirmed before the write), then a
// read of the four bytes back.
void CliSession::RunPeekPoke(bool poke) {
  Units& u = *u_;
  u.debugger = std::make_unique<MemoryDebugger>(u.units.queue, u.units.utils, u.units.recordReader,
                                                u.units.memoryDump, ctx_.timers);
  MemoryDebugger* d = u.debugger.get();
  const uint16_t start = MemoryDump::ParseAddress(options_.argument);
  // The reads that print: from `start` on until `count` bytes are shown.
  auto readFrom = [this, d, start](int count) {
    auto address = std::make_shared<uint16_t>(start);
    auto left = std::make_shared<int>(count);
    d->OnResult = [this, address, left](const QString& hex, const QString&, const QString&, const QString&) {
      const int shown = std::min(*left, 4);
      Emit(MemoryDebugger::AddressText(*address) + QStringLiteral("  ") + hex.left(3 * shown));
      *left -= shown;
      *address = static_cast<uint16_t>(*address + 4);
    };
    d->OnReadEnded = [this, d, address, left](bool shown) {
      if (!shown) {
        Finish(kExitFailed, RecordReader::FailureText());
      } else if (*left > 0) {
        d->SetAddress(MemoryDebugger::AddressText(*address), QStringLiteral("0"));
      } else {
        Finish(kExitOk);
      }
    };
    d->SetAddress(MemoryDebugger::AddressText(start), QStringLiteral("0"));
  };
  if (!poke) {
    readFrom(options_.count);
    return;
  }
  d->OnWriteEnded = [this, readFrom](bool ok) {
    if (ok) {
      readFrom(4);
    } else {
      Finish(kExitFailed, QStringLiteral("the controller did not confirm the address; nothing was written"));
    }
  };
  // Showing the address starts a read; the write waits for it and then
  // sets the address itself.
  d->SetAddress(MemoryDebugger::AddressText(start), QStringLiteral("0"));
  const QString& v = options_.value;
  const QString dotted = v.mid(0, 2) + u'.' + v.mid(2, 2) + u'.' + v.mid(4, 2) + u'.' + v.mid(6, 2) + u'.';
  if (!d->Send(dotted)) Finish(kExitFailed, QStringLiteral("the link to the controller is down"));
}

// monitor: F1 60 once a second (one request out at a time), each answer
// decoded as the monitor window shows it; a substitute gives "Timeout".
void CliSession::RunMonitor() {
  Units& u = *u_;
  u.monitorTimer = ctx_.timers.CreateTimer();
  auto state = std::make_shared<std::pair<int, bool>>(0, false);  // seconds run, request out
  auto answered = std::make_shared<int>(0);
  u.monitorTimer->OnTimeout = [this, state, answered] {
    if (finished_) return;
    if (++state->first > options_.seconds) {
      u_->monitorTimer->Stop();
      if (*answered > 0) {
        Finish(kExitOk);
      } else {
        Finish(kExitFailed, QStringLiteral("the controller did not answer the monitor request"));
      }
      return;
    }
    if (state->second) return;
    state->second = u_->units.queue.AddTransfer(QByteArray::fromHex("F160"), 7, [this, state, answered](const QByteArray& r) {
      state->second = false;
      if (!MonitorTest::Answered(r, 7)) {
        Emit(QStringLiteral("Timeout"));
        return;
      }
      ++*answered;
      const MonitorLabels l = MonitorTest::DecodeMonitor(r);
      Emit(QStringLiteral("Etage %1  %2  Richtung=%3  WEIZ=%4  Ziel=%5  %6  TürA=%7  TürB=%8  Vollast=%9  Störung=%10")
               .arg(l.floor, l.mode, l.direction.value_or(QStringLiteral("?")), l.weiz, l.target,
                    l.safety.value_or(QStringLiteral("?")), l.doorA, l.doorB, l.fullLoad)
               .arg(l.fault));
    });
  };
  u.monitorTimer->Start(1000);
  u.monitorTimer->OnTimeout();
}

void CliSession::RunCapture() {
  Units& u = *u_;
  StreamRecorder& rec = u.units.recorder;
  QString problem;
  u.units.decoder.Init(ctx_.config.DecodeFile(), ctx_.config.ErrorCatalogueFile(), &problem);
  if (!problem.isEmpty() && OnError) OnError(problem);
  u.units.decoder.EventTypeFilter = EventDecoder::kDefaultFilter;
  if (!options_.out.isEmpty()) rec.SetFileName(QFileInfo(options_.out).absoluteFilePath());
  // Only the fetch's memo, as the decode command prints it.
  auto fetchMemo = std::make_shared<bool>(false);
  rec.OnMemoClear = [fetchMemo] { *fetchMemo = true; };
  rec.OnMemoLines = [this, fetchMemo](const QStringList& lines) {
    if (!*fetchMemo) return;
    for (const QString& l : lines) Emit(l);
  };
  rec.OnFileError = [this](const QString& message) {
    captureFileFailed_ = true;
    if (OnError) OnError(message);
  };
  rec.OnViewChanged = [this] {
    const StreamRecorder& r = u_->units.recorder;
    if (r.IsFetching())
      Progress(QStringLiteral("capture: %1 entries, %2 to go")
                   .arg(QString::number(r.WriteCount()), QString::number(r.FetchRemaining())));
  };
  rec.OnFetchEnded = [this](bool ok) {
    const StreamRecorder& r = u_->units.recorder;
    if (ok) {
      Finish(kExitOk);
      return;
    }
    const RecorderView& v = r.View();
    const QString why = captureFileFailed_                  ? QStringLiteral("the capture file could not be written")
                        : v.size == QLatin1String("MAGIC?") ? QStringLiteral("the stream header has a wrong magic")
                        : v.fetch == QLatin1String("???")   ? QStringLiteral("a fetch reply failed")
                        : v.hLed == Led::Red                ? QStringLiteral("the stream header could not be read")
                                                            : QStringLiteral("the fetch was cut off");
    Finish(captureFileFailed_ ? kExitOutput : kExitFailed,
           QStringLiteral("%1; %2 holds the %3 entries received").arg(why, r.CapturePath(), QString::number(r.WriteCount())));
  };
  rec.OnInterfaceChecked = [this](bool valid) {
    if (finished_) return;
    StreamRecorder& r = u_->units.recorder;
    r.OnInterfaceChecked = nullptr;
    if (!valid) {
      Finish(kExitFailed, QStringLiteral("the controller does not offer the event stream interface (%1)")
                              .arg(r.View().interfaceCaption));
      return;
    }
    if (!r.Fetch()) Finish(captureFileFailed_ ? kExitOutput : kExitFailed, QStringLiteral("the fetch could not start"));
  };
  // The identity values head the capture file, as after the window's
  // automatic identity read.
  u.units.identity.OnReadEnded = [this](bool) {
    if (finished_ || waiting_ != Waiting::Identity) return;
    waiting_ = Waiting::Nothing;
    u_->units.recorder.CheckInterface();
  };
  waiting_ = Waiting::Identity;
  if (!u.units.identity.Read(nullptr)) Finish(kExitFailed, QStringLiteral("the link to the controller is down"));
}

bool CliSession::DecodeCapture(const QString& path, QStringList* head, std::vector<DecodedEntry>* entries,
                               QString* error) const {
  EventDecoder decoder;
  QString problem;
  decoder.Init(ctx_.config.DecodeFile(), ctx_.config.ErrorCatalogueFile(), &problem);
  // capture has said it when it started.
  if (!problem.isEmpty() && OnError && options_.command != QLatin1String("capture")) OnError(problem);
  decoder.EventTypeFilter = EventDecoder::kDefaultFilter;
  QByteArray data;
  if (!ReadWholeFile(path, &data, error)) return false;
  QStringList lines = QString::fromLatin1(data).split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  for (QString& l : lines) {
    if (l.endsWith(QLatin1Char('\r'))) l.chop(1);
  }
  // The file's head, then one entry a line.
  constexpr int kHeadLines = 5;
  *head = lines.mid(0, kHeadLines);
  entries->clear();
  for (int i = kHeadLines; i < lines.size(); ++i) {
    const QString shown = decoder.DecodeCaptureLine(lines.at(i));
    if (!shown.isEmpty()) entries->push_back({lines.at(i), shown});
  }
  return true;
}

namespace {

QStringList DecoderLines() {
  return {QString::fromLatin1(StreamRecorder::kVersionLine),
          QStringLiteral("dekodiert mit ") + QLatin1String(EventDecoder::kVersion)};
}

}  // namespace

int CliSession::RunDecode() {
  QStringList head;
  std::vector<DecodedEntry> entries;
  QString error;
  if (!DecodeCapture(options_.argument, &head, &entries, &error)) {
    if (OnError) OnError(error);
    return kExitFailed;
  }
  if (options_.json) return OutputJson();
  // The memo of the fetch that wrote the file: its head, the blank line
  // after it, the version lines, then every entry decoded.
  for (const QString& l : head) Emit(l);
  Emit(QStringLiteral(" "));
  for (const QString& l : DecoderLines()) Emit(l);
  Emit(QStringLiteral(" "));
  for (const DecodedEntry& e : entries) Emit(e.text);
  if (!options_.out.isEmpty()) {
    if (!WriteOut(&error)) {
      if (OnError) OnError(error);
      return kExitOutput;
    }
  }
  return kExitOk;
}

int CliSession::OutputJson() {
  const QString& c = options_.command;
  QJsonObject doc;
  QString error;
  if (c == QLatin1String("identity")) {
    doc = IdentityJson(u_->units.identity);
  } else if (c == QLatin1String("errors")) {
    if (!ErrorsJson(u_->units.errorReader, &doc, &error)) {
      if (OnError) OnError(error);
      return kExitOutput;
    }
  } else if (c == QLatin1String("records")) {
    doc = RecordsJson(options_.argument, lines_);
  } else {
    // capture and decode: the capture file decoded as the decode command does.
    const QString file = c == QLatin1String("capture") ? u_->units.recorder.CapturePath() : options_.argument;
    QStringList head;
    std::vector<DecodedEntry> entries;
    if (!DecodeCapture(file, &head, &entries, &error)) {
      if (OnError) OnError(error);
      return kExitFailed;
    }
    doc = CaptureJson(QFileInfo(file).absoluteFilePath(), head, DecoderLines(), entries);
    doc.insert(QStringLiteral("command"), c);
  }
  const QByteArray bytes = QJsonDocument(doc).toJson(QJsonDocument::Indented);
  // capture's --out names the capture file; the document goes to stdout.
  if (!options_.out.isEmpty() && c != QLatin1String("capture")) {
    if (!SaveWholeFile(options_.out, bytes, &error)) {
      if (OnError) OnError(error);
      return kExitOutput;
    }
    return kExitOk;
  }
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
  std::fflush(stdout);
  return kExitOk;
}

int CliSession::RunDoctor() {
  QString port = options_.port;
  if (port.isEmpty()) port = QStringLiteral("COM%1").arg(ctx_.config.ComPort());
  static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"), QRegularExpression::CaseInsensitiveOption);
  if (const QRegularExpressionMatch m = com.match(port); m.hasMatch()) port = ctx_.config.ComDevice(m.captured(1).toInt());
  if (port.compare(QLatin1String("sim"), Qt::CaseInsensitive) == 0) {
    if (OnError) OnError(QStringLiteral("%1 is the built-in simulated controller; it needs no doctor").arg(options_.port));
    return kExitUsage;
  }
  const QString device = QtSerialLine::SystemPath(port);
  const bool hardwareFlow = ctx_.config.FlowControl().compare(QLatin1String("none"), Qt::CaseInsensitive) != 0;
  DoctorRun run(ctx_.logs, ctx_.clock, ctx_.timers, hardwareFlow);
  QEventLoop loop;
  int code = -1;
  Progress(QStringLiteral("checking %1").arg(device));
  run.Start(device, std::nullopt, [&](const QString& report, bool usable, bool answered) {
    Progress(QString());
    QStringList lines = report.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (const QString& l : lines) Emit(l);
    code = answered ? kExitOk : usable ? kExitFailed : kExitPort;
    loop.quit();
  });
  if (code < 0) loop.exec();
  if (!options_.out.isEmpty()) {
    QString error;
    if (!WriteOut(&error)) {
      if (OnError) OnError(error);
      return kExitOutput;
    }
  }
  return code;
}

void CliSession::Tick() {
  if (finished_ || !u_) return;
  // A chain the queue dropped after a time-out ends without its handler.
  switch (waiting_) {
    case Waiting::Identity:
      if (!u_->units.identity.IsReading()) {
        if (u_->units.identity.OnReadEnded) {
          auto ended = u_->units.identity.OnReadEnded;
          ended(false);
        }
      }
      break;
    case Waiting::Errors:
      if (!u_->units.errorReader.IsReading())
        Finish(kExitFailed, QStringLiteral("the error read ended without a result"));
      break;
    case Waiting::Delete:
      if (deleteAnswered_ >= 0 && !u_->units.errorReader.IsReading()) {
        if (deleteAnswered_ == 1) {
          Emit(QStringLiteral("error memory deleted"));
          Finish(kExitOk);
        } else {
          Finish(kExitFailed, QStringLiteral("the controller did not answer the delete request"));
        }
      }
      break;
    case Waiting::Nothing:
      break;
  }
}

void CliSession::Emit(const QString& line) {
  lines_.append(line);
  // With --format json the lines only feed the document.
  if (options_.json) return;
  // capture's --out names the capture file; its lines always go to stdout.
  if (!options_.out.isEmpty() && options_.command != QLatin1String("capture")) return;
  if (OnLine) {
    OnLine(line);
  } else {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
}

void CliSession::Progress(const QString& text) {
  if (text.isEmpty() && !progressShown_) return;
  progressShown_ = !text.isEmpty();
  if (OnProgress) OnProgress(text);
}

void CliSession::StartDialSession() {
  ModemLink& modem = u_->units.modem;
  if (!u_->line.Lines().dsr) {
    Finish(kExitNoModem, QStringLiteral("no modem on %1 (DSR is off)").arg(device_));
    return;
  }
  modem.OnSessionEnded = [this](const QString& why) {
    if (finished_ || !u_) return;
    if (why == QLatin1String("sync failed")) {
      Finish(kExitSyncFailed, QStringLiteral("the partner did not synchronise after dialling %1").arg(options_.dial));
    } else if (why == QLatin1String("connect failed")) {
      const ModemAnswer answer = u_->units.modem.Modem().LastFailure();
      if (answer == ModemAnswer::Busy) {
        Finish(kExitBusy, QStringLiteral("%1 is busy").arg(options_.dial));
      } else {
        Finish(kExitNoCarrier, QStringLiteral("no connection to %1 (%2)")
                                   .arg(options_.dial, answer == ModemAnswer::None ? QStringLiteral("no answer in time")
                                                                                   : u_->units.port.LastModemLine()));
      }
    } else {
      Finish(kExitFailed, QStringLiteral("the modem connection ended (%1)").arg(why));
    }
  };
  Progress(QStringLiteral("initialising the modem"));
  modem.Init([this] {
    if (finished_ || !u_) return;
    Progress(QStringLiteral("dialling %1").arg(options_.dial));
    const bool dialling = u_->units.modem.Dial(
        options_.dial, [this](const QString& name) { Progress(QStringLiteral("partner %1").arg(name)); },
        [](const QString&) {});
    if (!dialling) Finish(kExitNoModem, QStringLiteral("the modem on %1 cannot dial").arg(device_));
  });
}

void CliSession::Finish(int code, const QString& message) {
  if (finished_) return;
  finished_ = true;
  // A modem session ends with the run: DTR drops, the modem hangs up.
  if (u_ && !options_.dial.isEmpty()) u_->units.modem.HangUp();
  exitCode_ = code;
  waiting_ = Waiting::Nothing;
  Progress(QString());
  if (!message.isEmpty() && OnError) OnError(message);
  if (u_) u_->loop.exit(code);
}

bool CliSession::WriteOut(QString* error) const {
  QByteArray data;
  if (options_.command == QLatin1String("records")) {
    data = InfoFileBytes(lines_);  // as the data window writes Info.txt
  } else {
    for (const QString& line : lines_) data += line.toUtf8() + "\r\n";
  }
  return SaveWholeFile(options_.out, data, error);
}

}  // namespace ulv
