// ulvreader-cli against the simulated controller on a pseudo-terminal: the
// real binaries, the real QSerialPort path.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>
#include <functional>

#include "cli/cli_session.h"
#include "e2e_support.h"
#include "sim/pty_simulator.h"

namespace {

ulv::SimOptions SmallFast() {
  ulv::SimOptions o;
  o.scenarioFile = e2e::SmallPlant();
  o.lineTiming = false;
  return o;
}

// The simulator library on a pty inside the test, so the test can look at
// what the plant was told.
struct InProcessSim {
  InProcessSim() { started = sim.Start(&path, &error); }
  ulv::PtySimulator sim{SmallFast()};
  QString path, error;
  bool started = false;
};

}  // namespace

TEST(CliEndToEnd, VersionFromUlvSimOnAPty) {
  e2e::SimProcess sim({u"--no-line-timing"_s, u"--scenario"_s, e2e::SmallPlant()});
  ASSERT_TRUE(sim.Path().startsWith(QLatin1String("/dev/"))) << qPrintable(sim.Path());
  // The port trace goes to the main log (report position 10).
  const e2e::WorkDir dir("[logfiles]\r\nmainlogfile=main.log\r\nreports=0000000001\r\n");
  const e2e::CliResult r = dir.Run({u"--port"_s, sim.Path(), u"version"_s});
  ASSERT_TRUE(r.Ok()) << qPrintable(r.Describe());
  // The 15 text bytes after the FF header, blanks included.
  EXPECT_EQ(r.out, u"TEST 1.00      \n"_s);
  EXPECT_TRUE(sim.Terminate()) << "ulv-sim stops cleanly on SIGTERM";
  // The device is opened once (a second open drops and raises DTR): its open
  // is traced as asked for and as done, and the line starts with the reset.
  QFile log(dir.File(u"main.log"_s));
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  const QByteArray text = log.readAll();
  EXPECT_EQ(text.count("myport: open"), 2) << text.constData();
  EXPECT_TRUE(text.contains("> ~F0~")) << text.constData();
}

TEST(CliEndToEnd, BuiltInSimulator) {
  e2e::WorkDir dir;
  // The shipped default plant, line timing on: what a fresh machine shows.
  e2e::CliResult r = dir.Run({u"--port"_s, u"sim"_s, u"version"_s});
  ASSERT_TRUE(r.Ok()) << qPrintable(r.Describe());
  ASSERT_EQ(e2e::Lines(r.out).size(), 1);
  EXPECT_EQ(e2e::Lines(r.out).first().size(), 15);

  QStringList args = e2e::SmallSim();
  args[1] = u"SIM"_s;
  r = dir.Run(args << u"identity"_s);
  ASSERT_TRUE(r.Ok()) << qPrintable(r.Describe());
  const QStringList lines = e2e::Lines(r.out);
  ASSERT_EQ(lines.size(), 7) << qPrintable(r.out);
  EXPECT_EQ(lines[0], u"namen.270702"_s);
  EXPECT_EQ(lines.mid(2), (QStringList{u" Anlagen-Kennung: HAUS 7"_s, u"         Telefon: .04012345"_s,
                                       u"Software-Version: TEST 1.00      "_s, u"  EEProm.Version: 07.03"_s,
                                       u"  Fahrten-Zähler: 20003"_s}));
}

TEST(CliEndToEnd, SendTimeSetsTheControllerClock) {
  InProcessSim s;
  ASSERT_TRUE(s.started) << qPrintable(s.error);
  const QDateTime before = QDateTime::currentDateTime();
  const e2e::CliResult r = e2e::WorkDir().Run({u"--port"_s, s.path, u"send-time"_s});
  const QDateTime after = QDateTime::currentDateTime();
  ASSERT_TRUE(r.Ok()) << qPrintable(r.Describe());
  EXPECT_EQ(r.out, u"date.send\n"_s);
  const ulv::SimWrites w = s.sim.Writes();
  if (before.date() == after.date()) {
    EXPECT_EQ(w.dayValue, QDate(2000, 1, 1).daysTo(before.date()));
    EXPECT_GE(w.timeValue, before.time().msecsSinceStartOfDay() / 2000);
    EXPECT_LE(w.timeValue, after.time().msecsSinceStartOfDay() / 2000);
  }
}

TEST(CliEndToEnd, ErrorListDecodedAndInHex) {
  e2e::WorkDir dir;
  e2e::CliResult r = dir.Run(e2e::SmallSim() << u"errors"_s);
  ASSERT_TRUE(r.Ok()) << qPrintable(r.Describe());
  const QStringList lines = e2e::Lines(r.out);
  ASSERT_GE(lines.size(), 4);
  EXPECT_EQ(lines.first(), u"ulv_fehler.270702"_s);
  EXPECT_EQ(lines.last(), u" OK"_s);
  EXPECT_TRUE(lines.contains(u" 3 Fehler gespeichert"_s)) << qPrintable(r.out);
  // The oldest record is listed first: it was fetched last (k = 2).
  const QStringList numbered = lines.filter(QRegularExpression(u"^ 00[0-9] :"_s));
  ASSERT_EQ(numbered.size(), 3) << qPrintable(r.out);
  const std::pair<const char*, const char*> expected[] = {
      {" 001 :  03.11.25  14:22:08", "Netzausfall"},
      {" 002 :  14.03.26  01:01:00", "Lichtschranke Seite 2 dauernd unterbrochen"},
      {" 003 :", "Uhr gestellt"},
  };
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(numbered[i].startsWith(QLatin1String(expected[i].first))) << qPrintable(numbered[i]);
    EXPECT_TRUE(numbered[i].endsWith(QLatin1String(expected[i].second))) << qPrintable(numbered[i]);
  }
  EXPECT_EQ(QFile(dir.File(u"fehler.bin"_s)).size(), 3 * 16);

  r = dir.Run(e2e::SmallSim() << u"errors"_s << u"--hex"_s);
  ASSERT_TRUE(r.Ok()) << qPrintable(r.Describe());
  // Day 9438 = 0x24DE, 14:22:08 = 25864 two-second units = 0x6508.
  EXPECT_EQ(r.out.count(u" 001 : 05 01 00 DE 24 08 65"_s), 1) << qPrintable(r.out);
}

TEST(CliEndToEnd, ReportWrittenToAFile) {
  e2e::WorkDir dir;
  const QString out = dir.File(u"report.txt"_s);
  const e2e::CliResult r = dir.Run(e2e::SmallSim() << u"report"_s << u"--out"_s << out);
  ASSERT_TRUE(r.Ok()) << qPrintable(r.Describe());
  EXPECT_TRUE(r.out.isEmpty()) << qPrintable(r.out);
  QFile f(out);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray data = f.readAll();
  EXPECT_TRUE(data.endsWith("\r\n"));
  EXPECT_EQ(data.count("\n"), data.count("\r\n")) << "every line ends with CR LF";
  const QString text = QString::fromUtf8(data);
  for (const char* expected :
       {"namen.270702\r\n", " Anlagen-Kennung: HAUS 7\r\n", "  Fahrten-Zähler: 20003\r\n",
        "ulv_fehler.270702\r\n", "           Kennung: HAUS 7\r\n", " 3 Fehler gespeichert\r\n", " OK\r\n"}) {
    EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
  }
  // The identity listing comes before the error list.
  EXPECT_LT(text.indexOf(u"namen.270702"_s), text.indexOf(u"ulv_fehler.270702"_s));
}

TEST(CliEndToEnd, DeleteErrorsNeedsYesAndEmptiesTheMemory) {
  InProcessSim s;
  ASSERT_TRUE(s.started) << qPrintable(s.error);
  e2e::WorkDir dir;
  e2e::CliResult r = dir.Run({u"--port"_s, s.path, u"delete-errors"_s});
  EXPECT_EQ(r.exitCode, 2) << qPrintable(r.Describe());
  EXPECT_EQ(s.sim.PlantState().errors.size(), 3u) << "nothing was sent";

  r = dir.Run({u"--port"_s, s.path, u"delete-errors"_s, u"--yes"_s});
  ASSERT_TRUE(r.Ok()) << qPrintable(r.Describe());
  EXPECT_EQ(r.out, u"error memory deleted\n"_s);
  EXPECT_TRUE(s.sim.PlantState().errors.empty());
}

TEST(CliEndToEnd, SilentControllerFailsCleanly) {
  e2e::SimProcess sim({u"--silent"_s});
  ASSERT_FALSE(sim.Path().isEmpty());
  e2e::WorkDir dir;
  const QString out = dir.File(u"version.txt"_s);
  for (const QString& command : {u"version"_s, u"delete-errors --yes"_s}) {
    const e2e::CliResult r = dir.Run(QStringList{u"--port"_s, sim.Path(), u"--out"_s, out} + command.split(' '));
    ASSERT_TRUE(r.finished) << qPrintable(r.Describe());
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 1) << qPrintable(command);
    EXPECT_TRUE(r.err.contains(u"does not answer"_s)) << qPrintable(r.err);
    EXPECT_FALSE(QFile::exists(out)) << "a failed read writes no output file";
  }
}

TEST(CliEndToEnd, SimulatorKilledDuringARead) {
  e2e::SimProcess sim({u"--scenario"_s, u"many-errors"_s});  // line timing on: ~3 s
  ASSERT_FALSE(sim.Path().isEmpty());
  e2e::WorkDir dir;
  QProcess cli;
  cli.setWorkingDirectory(dir.Path());
  cli.start(e2e::CliPath(), {u"--port"_s, sim.Path(), u"errors"_s});
  ASSERT_TRUE(cli.waitForStarted(10000));
  cli.waitForFinished(800);  // let the read get under way
  sim.Kill();
  ASSERT_TRUE(cli.waitForFinished(60000)) << "the command hangs after the device vanished";
  EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
  EXPECT_NE(cli.exitCode(), 0);
  const QString err = QString::fromUtf8(cli.readAllStandardError());
  EXPECT_TRUE(err.contains(u"lost"_s) || err.contains(u"does not answer"_s)) << qPrintable(err);
}

TEST(CliEndToEnd, CorruptedBytesEndCleanly) {
  // The line has no checksum: a corrupted reply may even pass. What must hold:
  // no crash, no hang, and a failure says so.
  for (const char* every : {"3", "7", "13"}) {
    SCOPED_TRACE(every);
    e2e::SimProcess sim({u"--no-line-timing"_s, u"--corrupt-every"_s, QLatin1String(every)});
    ASSERT_FALSE(sim.Path().isEmpty());
    const e2e::CliResult r = e2e::WorkDir().Run({u"--port"_s, sim.Path(), u"report"_s});
    ASSERT_TRUE(r.finished) << qPrintable(r.Describe());
    EXPECT_FALSE(r.crashed);
    EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 1) << qPrintable(r.Describe());
    if (r.exitCode != 0) {
      EXPECT_FALSE(r.err.trimmed().isEmpty());
    }
  }
}

TEST(CliEndToEnd, LostAnswersAreRecoveredByTheLineTimeout) {
  e2e::SimProcess sim(
      {u"--no-line-timing"_s, u"--drop-every"_s, u"150"_s, u"--scenario"_s, e2e::SmallPlant()});
  ASSERT_FALSE(sim.Path().isEmpty());
  const e2e::CliResult r = e2e::WorkDir().Run({u"--port"_s, sim.Path(), u"errors"_s});
  ASSERT_TRUE(r.Ok()) << qPrintable(r.Describe());
  EXPECT_TRUE(r.out.contains(u"Lichtschranke Seite 2 dauernd unterbrochen"_s)) << qPrintable(r.out);
  EXPECT_TRUE(r.out.endsWith(u" OK\n"_s));
}

// Usage errors and a port that cannot be opened end at once with their exit
// code and a message that says why.
TEST(CliEndToEnd, UsageErrorsAndUnopenablePort) {
  e2e::WorkDir dir;
  const struct {
    QStringList args;
    int exitCode;
    const char* says;
  } cases[] = {
      {{}, 2, "no command"},
      {{u"read-everything"_s}, 2, "unknown command"},
      {{u"--frobnicate"_s, u"version"_s}, 2, "unknown option"},
      {{u"version"_s, u"--hex"_s}, 2, "--hex"},
      {{u"--port"_s, u"/dev/null"_s, u"--scenario"_s, e2e::SmallPlant(), u"version"_s}, 2, "--port sim"},
      {{u"--port"_s, u"/dev/ttyNoSuchUlvAdapter"_s, u"version"_s},
       3,
       "/dev/ttyNoSuchUlvAdapter does not exist"},
      {{u"--help"_s}, 0, "Usage: ulvreader-cli"},
      {{u"--version"_s}, 0, "ulvreader-cli"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const e2e::CliResult r = dir.Run(c.args);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_TRUE((c.exitCode == 0 ? r.out : r.err).contains(QLatin1String(c.says)))
        << qPrintable(r.Describe());
    if (c.exitCode != 0) {
      EXPECT_TRUE(r.out.isEmpty()) << qPrintable(r.out);
    }
  }
}

// The windowed program, offscreen: in an empty folder its start-up box about
// the missing edit file is open, and SIGTERM still ends it cleanly.
TEST(ProgramEndToEnd, SigtermEndsItWhileTheStartUpBoxIsOpen) {
  QTemporaryDir dir;
  QProcess p;
  p.setWorkingDirectory(dir.path());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(ULV_BIN_DIR "/src/app/ulvreader"), {});
  ASSERT_TRUE(p.waitForStarted(10000));
  EXPECT_FALSE(p.waitForFinished(1500)) << "the box waits for an answer";
  p.terminate();
  const bool ended = p.waitForFinished(10000);
  if (!ended) p.kill();
  EXPECT_TRUE(ended);
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
}

// doctor: a controller on a pty answers, a silent one does not, a missing
// device is named; the exit status tells which.
TEST(CliEndToEnd, DoctorExplainsThePort) {
  e2e::SimProcess answering({u"--no-line-timing"_s});
  e2e::SimProcess silent({u"--silent"_s});
  const struct {
    QString port;
    int exitCode;
    const char* says;
  } cases[] = {
      {answering.Path(), 0, "a controller answered the reset handshake"},
      {silent.Path(), 1, "no answer to the reset request"},
      {u"/dev/serial/by-id/usb-none-if00"_s, 3, "not plugged in"},
  };
  const e2e::WorkDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.port.toStdString());
    const e2e::CliResult r = dir.Run({u"doctor"_s, u"--port"_s, c.port});
    EXPECT_EQ(r.exitCode, c.exitCode) << qPrintable(r.Describe());
    EXPECT_TRUE(r.out.contains(u"Serial devices present:"_s) && r.out.contains(QLatin1String(c.says)))
        << qPrintable(r.out);
  }
}

// --format json of each command against the text of the same command: the
// text's lines rebuilt from the document's fields.
TEST(CliEndToEnd, JsonMatchesTheText) {
  const e2e::WorkDir dir("DokuDir=doku\r\n");
  ASSERT_TRUE(QDir(dir.Path()).mkdir(u"doku"_s));
  using Rebuild = std::function<QStringList(const QJsonObject&)>;
  const auto strings = [](const QJsonValue& v) { return v.toVariant().toStringList(); };
  const auto entries = [](const QJsonObject& o) {
    QStringList l;
    for (const QJsonValue& e : o[u"entries"_s].toArray()) l << e[u"text"_s].toString();
    return l;
  };
  const struct {
    QStringList args;
    int skip;  // text lines before those rebuilt
    Rebuild rebuild;
  } cases[] = {
      {{u"identity"_s}, 2, [](const QJsonObject& o) {
         const QJsonObject i = o[u"identity"_s].toObject();
         return QStringList{u" Anlagen-Kennung: "_s + i[u"plantId"_s].toString(),
                            u"         Telefon: "_s + i[u"telephone"_s].toString(),
                            u"Software-Version: "_s + i[u"softwareVersion"_s].toString(),
                            u"  EEProm.Version: "_s + i[u"eepromVersion"_s].toString(),
                            u"  Fahrten-Zähler: "_s + QString::number(i[u"tripCount"_s].toInteger())};
       }},
      {{u"errors"_s}, 14, [](const QJsonObject& o) {
         QStringList l{u" %1 Fehler gespeichert"_s.arg(o[u"stored"_s].toInt())};
         for (const QJsonValue& e : o[u"errors"_s].toArray()) {
           const QByteArray raw = QByteArray::fromHex(e[u"raw"_s].toString().toLatin1());
           l << QString::asprintf(" %03d :  ", e[u"number"_s].toInt()) + e[u"date"_s].toString() + u"  "_s +
                    e[u"time"_s].toString() + u" [%1:%2,%3] "_s.arg(e[u"name"_s].toString())
                                                   .arg(uint8_t(raw.at(2)))
                                                   .arg(uint8_t(raw.at(3))) +
                    e[u"text"_s].toString();
         }
         return l << u" OK"_s;
       }},
      {{u"records"_s}, 0, [&](const QJsonObject& o) {
         QStringList l = strings(o[u"head"_s]);
         for (const QJsonValue& r : o[u"records"_s].toArray())
           l << r[u"heading"_s].toString() << strings(r[u"lines"_s]);
         return l;
       }},
      {{u"capture"_s, u"--out"_s, u"c.cap"_s}, 9, entries},
      {{u"decode"_s, u"c.cap"_s}, 0, [&](const QJsonObject& o) {
         return strings(o[u"head"_s]) << u" "_s << strings(o[u"decoder"_s]) << u" "_s << entries(o);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(u' ').toStdString());
    const QStringList args = (c.args.first() == u"decode"_s ? QStringList{} : e2e::SmallSim()) + c.args;
    const e2e::CliResult text = dir.Run(args);
    const e2e::CliResult json = dir.Run(args + QStringList{u"--format"_s, u"json"_s});
    ASSERT_TRUE(text.Ok() && json.Ok()) << qPrintable(text.Describe() + json.Describe());
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.out.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << qPrintable(json.out);
    EXPECT_EQ(doc[u"command"_s].toString(), c.args.first());
    // The dated lines of two runs may differ by a second.
    const auto undated = [](QStringList l) { return l.filter(QRegularExpression(u"^((?!Datum:).)*$"_s)).join(u'\n'); };
    EXPECT_EQ(undated(e2e::Lines(text.out).mid(c.skip)).toStdString(), undated(c.rebuild(doc.object())).toStdString());
  }
}

namespace {

// --dial through the simulated modem on a pty: a command over frames gives
// the same lines as over the line port, and each failed phase its own exit.
TEST(CliEndToEnd, DialRunsTheCommandOverAModemSession) {
  e2e::WorkDir work;
  const e2e::CliResult direct = work.Run(e2e::SmallSim() << u"errors"_s);
  ASSERT_TRUE(direct.Ok()) << qPrintable(direct.Describe());
  const struct {
    QStringList sim;
    bool modemLines;
    int exit;
  } rows[] = {
      {{}, true, ulv::CliSession::kExitOk},
      {{u"--dial-result"_s, u"busy"_s}, true, ulv::CliSession::kExitBusy},
      {{u"--dial-result"_s, u"no-carrier"_s}, true, ulv::CliSession::kExitNoCarrier},
      {{u"--partner-fault"_s, u"silent"_s}, true, ulv::CliSession::kExitSyncFailed},
      {{}, false, ulv::CliSession::kExitNoModem},
  };
  for (const auto& r : rows) {
    QTemporaryDir lines;
    e2e::SimProcess sim(QStringList{u"--modem"_s, u"--lines-dir"_s, lines.path(), u"--scenario"_s,
                                    e2e::SmallPlant(), u"--no-line-timing"_s} +
                        r.sim);
    ASSERT_FALSE(sim.Path().isEmpty());
    if (r.modemLines) qputenv("ULV_MODEM_LINES", QFile::encodeName(lines.path()));
    const e2e::CliResult got = work.Run({u"--port"_s, sim.Path(), u"--dial"_s, u"0815"_s, u"errors"_s});
    qunsetenv("ULV_MODEM_LINES");
    EXPECT_EQ(got.exitCode, r.exit) << qPrintable(got.Describe());
    // The lines that carry the time of the run may differ by a second.
    const auto untimed = [](const QString& out) {
      return e2e::Lines(out).filter(QRegularExpression(u"^((?!Datum:|Fehlerliste ).)*$"_s)).join(u'\n').toStdString();
    };
    if (r.exit == ulv::CliSession::kExitOk) {
      EXPECT_EQ(untimed(got.out), untimed(direct.out));
    }
  }
}

// The next run dials again whether the last one hung up or was killed in the
// call (its port went without a hang-up).
TEST(CliEndToEnd, DialAgainAfterAnEndedOrKilledRun) {
  e2e::WorkDir work;
  QTemporaryDir lines;
  e2e::SimProcess sim(
      {u"--modem"_s, u"--lines-dir"_s, lines.path(), u"--scenario"_s, e2e::SmallPlant(), u"--no-line-timing"_s});
  ASSERT_FALSE(sim.Path().isEmpty());
  qputenv("ULV_MODEM_LINES", QFile::encodeName(lines.path()));
  const QStringList dial{u"--port"_s, sim.Path(), u"--dial"_s, u"0815"_s};
  const e2e::CliResult first = work.Run(dial + QStringList{u"version"_s});
  EXPECT_TRUE(first.Ok()) << qPrintable(first.Describe());
  const e2e::CliResult second = work.Run(dial + QStringList{u"version"_s});
  EXPECT_TRUE(second.Ok()) << qPrintable(second.Describe());
  QProcess killed;
  killed.setWorkingDirectory(work.Path());
  killed.start(e2e::CliPath(), dial + QStringList{u"monitor"_s, u"--seconds"_s, u"30"_s});
  QFile status(lines.path() + u"/lines"_s);
  for (int i = 0; i < 400 && !(status.open(QIODevice::ReadOnly) && status.readAll().contains("DCD=1")); ++i) {
    status.close();
    QThread::msleep(50);
  }
  killed.kill();
  killed.waitForFinished();
  const e2e::CliResult after = work.Run(dial + QStringList{u"version"_s});
  qunsetenv("ULV_MODEM_LINES");
  EXPECT_TRUE(after.Ok()) << qPrintable(after.Describe());
}

}  // namespace
