// ulvreader-cli against the simulated controller on a pseudo-terminal: the
// real binaries, the real QSerialPort path.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>

#include "e2e_support.h"
#include "sim/pty_simulator.h"

using e2e::RunCli;

namespace {

ulv::SimOptions SmallFast() {
  ulv::SimOptions o;
  o.scenarioFile = e2e::SmallPlant();
  o.lineTiming = false;
  return o;
}

QString Failure(const e2e::CliResult& r) {
  return QStringLiteral("exit %1, finished %2, crashed %3\nstdout:\n%4\nstderr:\n%5")
      .arg(QString::number(r.exitCode), QString::number(r.finished), QString::number(r.crashed), r.out,
           r.err);
}

}  // namespace

TEST(CliEndToEnd, VersionFromUlvSimOnAPty) {
  e2e::SimProcess sim({QStringLiteral("--no-line-timing"), QStringLiteral("--scenario"), e2e::SmallPlant()});
  ASSERT_TRUE(sim.Path().startsWith(QLatin1String("/dev/"))) << qPrintable(sim.Path());
  e2e::WorkDir dir;
  const e2e::CliResult r =
      RunCli({QStringLiteral("--port"), sim.Path(), QStringLiteral("version")}, dir.Path());
  ASSERT_TRUE(r.finished && r.exitCode == 0) << qPrintable(Failure(r));
  // The 15 text bytes after the FF header, blanks included.
  EXPECT_EQ(r.out, QStringLiteral("TEST 1.00      \n"));
  EXPECT_TRUE(sim.Terminate()) << "ulv-sim stops cleanly on SIGTERM";
}

TEST(CliEndToEnd, BuiltInSimulator) {
  e2e::WorkDir dir;
  // The shipped default plant, line timing on: what a fresh machine shows.
  e2e::CliResult r =
      RunCli({QStringLiteral("--port"), QStringLiteral("sim"), QStringLiteral("version")}, dir.Path());
  ASSERT_TRUE(r.finished && r.exitCode == 0) << qPrintable(Failure(r));
  ASSERT_EQ(e2e::Lines(r.out).size(), 1);
  EXPECT_EQ(e2e::Lines(r.out).first().size(), 15);

  r = RunCli({QStringLiteral("--port"), QStringLiteral("SIM"), QStringLiteral("--scenario"),
              e2e::SmallPlant(), QStringLiteral("--no-line-timing"), QStringLiteral("identity")},
             dir.Path());
  ASSERT_TRUE(r.finished && r.exitCode == 0) << qPrintable(Failure(r));
  const QStringList lines = e2e::Lines(r.out);
  ASSERT_EQ(lines.size(), 7) << qPrintable(r.out);
  EXPECT_EQ(lines[0], QStringLiteral("namen.270702"));
  EXPECT_EQ(lines[2], QStringLiteral(" Anlagen-Kennung: HAUS 7"));
  EXPECT_EQ(lines[3], QStringLiteral("         Telefon: .04012345"));
  EXPECT_EQ(lines[4], QStringLiteral("Software-Version: TEST 1.00      "));
  EXPECT_EQ(lines[5], QStringLiteral("  EEProm.Version: 07.03"));
  EXPECT_EQ(lines[6], QStringLiteral("  Fahrten-Zähler: 20003"));
}

TEST(CliEndToEnd, SendTimeSetsTheControllerClock) {
  ulv::PtySimulator sim(SmallFast());
  QString path, error;
  ASSERT_TRUE(sim.Start(&path, &error)) << qPrintable(error);
  e2e::WorkDir dir;
  const QDateTime before = QDateTime::currentDateTime();
  const e2e::CliResult r = RunCli({QStringLiteral("--port"), path, QStringLiteral("send-time")}, dir.Path());
  const QDateTime after = QDateTime::currentDateTime();
  ASSERT_TRUE(r.finished && r.exitCode == 0) << qPrintable(Failure(r));
  EXPECT_EQ(r.out, QStringLiteral("date.send\n"));
  const ulv::SimWrites w = sim.Writes();
  if (before.date() == after.date()) {
    EXPECT_EQ(w.dayValue, QDate(2000, 1, 1).daysTo(before.date()));
    EXPECT_GE(w.timeValue, before.time().msecsSinceStartOfDay() / 2000);
    EXPECT_LE(w.timeValue, after.time().msecsSinceStartOfDay() / 2000);
  }
}

TEST(CliEndToEnd, ErrorListDecodedAndInHex) {
  e2e::WorkDir dir;
  const QStringList sim = {QStringLiteral("--port"), QStringLiteral("sim"), QStringLiteral("--scenario"),
                           e2e::SmallPlant(), QStringLiteral("--no-line-timing")};
  e2e::CliResult r = RunCli(sim + QStringList{QStringLiteral("errors")}, dir.Path());
  ASSERT_TRUE(r.finished && r.exitCode == 0) << qPrintable(Failure(r));
  const QStringList lines = e2e::Lines(r.out);
  ASSERT_GE(lines.size(), 4);
  EXPECT_EQ(lines.first(), QStringLiteral("ulv_fehler.270702"));
  EXPECT_EQ(lines.last(), QStringLiteral(" OK"));
  EXPECT_TRUE(lines.contains(QStringLiteral(" 3 Fehler gespeichert"))) << qPrintable(r.out);
  // The oldest record is listed first: it was fetched last (k = 2).
  const QStringList numbered = lines.filter(QRegularExpression(QStringLiteral("^ 00[0-9] :")));
  ASSERT_EQ(numbered.size(), 3) << qPrintable(r.out);
  EXPECT_TRUE(numbered[0].startsWith(QLatin1String(" 001 :  03.11.25  14:22:08"))) << qPrintable(numbered[0]);
  EXPECT_TRUE(numbered[0].endsWith(QLatin1String("Netzausfall"))) << qPrintable(numbered[0]);
  EXPECT_TRUE(numbered[1].startsWith(QLatin1String(" 002 :  14.03.26  01:01:00"))) << qPrintable(numbered[1]);
  EXPECT_TRUE(numbered[1].endsWith(QLatin1String("Lichtschranke Seite 2 dauernd unterbrochen")))
      << qPrintable(numbered[1]);
  EXPECT_TRUE(numbered[2].endsWith(QLatin1String("Uhr gestellt"))) << qPrintable(numbered[2]);

  QFile bin(dir.File(QStringLiteral("fehler.bin")));
  ASSERT_TRUE(bin.open(QIODevice::ReadOnly));
  EXPECT_EQ(bin.size(), 3 * 16);
  bin.close();

  r = RunCli(sim + QStringList{QStringLiteral("errors"), QStringLiteral("--hex")}, dir.Path());
  ASSERT_TRUE(r.finished && r.exitCode == 0) << qPrintable(Failure(r));
  // Day 9438 = 0x24DE, 14:22:08 = 25864 two-second units = 0x6508.
  EXPECT_EQ(r.out.count(QStringLiteral(" 001 : 05 01 00 DE 24 08 65")), 1) << qPrintable(r.out);
}

TEST(CliEndToEnd, ReportWrittenToAFile) {
  e2e::WorkDir dir;
  const QString out = dir.File(QStringLiteral("report.txt"));
  const e2e::CliResult r = RunCli(
      {QStringLiteral("--port"), QStringLiteral("sim"), QStringLiteral("--scenario"), e2e::SmallPlant(),
       QStringLiteral("--no-line-timing"), QStringLiteral("report"), QStringLiteral("--out"), out},
      dir.Path());
  ASSERT_TRUE(r.finished && r.exitCode == 0) << qPrintable(Failure(r));
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
  EXPECT_LT(text.indexOf(QLatin1String("namen.270702")), text.indexOf(QLatin1String("ulv_fehler.270702")));
}

TEST(CliEndToEnd, DeleteErrorsNeedsYesAndEmptiesTheMemory) {
  ulv::PtySimulator sim(SmallFast());
  QString path, error;
  ASSERT_TRUE(sim.Start(&path, &error)) << qPrintable(error);
  e2e::WorkDir dir;
  e2e::CliResult r = RunCli({QStringLiteral("--port"), path, QStringLiteral("delete-errors")}, dir.Path());
  EXPECT_EQ(r.exitCode, 2) << qPrintable(Failure(r));
  EXPECT_EQ(sim.PlantState().errors.size(), 3u) << "nothing was sent";

  r = RunCli({QStringLiteral("--port"), path, QStringLiteral("delete-errors"), QStringLiteral("--yes")},
             dir.Path());
  ASSERT_TRUE(r.finished && r.exitCode == 0) << qPrintable(Failure(r));
  EXPECT_EQ(r.out, QStringLiteral("error memory deleted\n"));
  EXPECT_TRUE(sim.PlantState().errors.empty());
}

TEST(CliEndToEnd, PortThatCannotBeOpenedSaysWhy) {
  e2e::WorkDir dir;
  const e2e::CliResult r = RunCli(
      {QStringLiteral("--port"), QStringLiteral("/dev/ttyNoSuchUlvAdapter"), QStringLiteral("version")},
      dir.Path());
  ASSERT_TRUE(r.finished) << qPrintable(Failure(r));
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_TRUE(r.err.contains(QLatin1String("/dev/ttyNoSuchUlvAdapter does not exist"))) << qPrintable(r.err);
  EXPECT_TRUE(r.out.isEmpty());
}

TEST(CliEndToEnd, SilentControllerFailsCleanly) {
  e2e::SimProcess sim({QStringLiteral("--silent")});
  ASSERT_FALSE(sim.Path().isEmpty());
  e2e::WorkDir dir;
  const QString out = dir.File(QStringLiteral("version.txt"));
  const e2e::CliResult r =
      RunCli({QStringLiteral("--port"), sim.Path(), QStringLiteral("version"), QStringLiteral("--out"), out},
             dir.Path());
  ASSERT_TRUE(r.finished) << qPrintable(Failure(r));
  EXPECT_FALSE(r.crashed);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.err.contains(QLatin1String("does not answer"))) << qPrintable(r.err);
  EXPECT_FALSE(QFile::exists(out)) << "a failed read writes no output file";
}

TEST(CliEndToEnd, SimulatorKilledDuringARead) {
  e2e::SimProcess sim({QStringLiteral("--scenario"), QStringLiteral("many-errors")});  // line timing on: ~3 s
  ASSERT_FALSE(sim.Path().isEmpty());
  e2e::WorkDir dir;
  QProcess cli;
  cli.setWorkingDirectory(dir.Path());
  cli.start(e2e::CliPath(), {QStringLiteral("--port"), sim.Path(), QStringLiteral("errors")});
  ASSERT_TRUE(cli.waitForStarted(10000));
  cli.waitForFinished(800);  // let the read get under way
  sim.Kill();
  ASSERT_TRUE(cli.waitForFinished(60000)) << "the command hangs after the device vanished";
  EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
  EXPECT_NE(cli.exitCode(), 0);
  const QString err = QString::fromUtf8(cli.readAllStandardError());
  EXPECT_TRUE(err.contains(QLatin1String("lost")) || err.contains(QLatin1String("does not answer")))
      << qPrintable(err);
}

TEST(CliEndToEnd, CorruptedBytesEndCleanly) {
  // The line has no checksum: a corrupted reply may even pass. What must hold:
  // no crash, no hang, and a failure says so.
  for (const char* every : {"3", "7", "13"}) {
    e2e::SimProcess sim(
        {QStringLiteral("--no-line-timing"), QStringLiteral("--corrupt-every"), QLatin1String(every)});
    ASSERT_FALSE(sim.Path().isEmpty());
    e2e::WorkDir dir;
    const e2e::CliResult r =
        RunCli({QStringLiteral("--port"), sim.Path(), QStringLiteral("report")}, dir.Path());
    ASSERT_TRUE(r.finished) << every << qPrintable(Failure(r));
    EXPECT_FALSE(r.crashed) << every;
    EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 1) << every << qPrintable(Failure(r));
    if (r.exitCode != 0) {
      EXPECT_FALSE(r.err.trimmed().isEmpty()) << every;
    }
  }
}

TEST(CliEndToEnd, LostAnswersAreRecoveredByTheLineTimeout) {
  e2e::SimProcess sim({QStringLiteral("--no-line-timing"), QStringLiteral("--drop-every"),
                       QStringLiteral("150"), QStringLiteral("--scenario"), e2e::SmallPlant()});
  ASSERT_FALSE(sim.Path().isEmpty());
  e2e::WorkDir dir;
  const e2e::CliResult r =
      RunCli({QStringLiteral("--port"), sim.Path(), QStringLiteral("errors")}, dir.Path());
  ASSERT_TRUE(r.finished && r.exitCode == 0) << qPrintable(Failure(r));
  EXPECT_TRUE(r.out.contains(QLatin1String("Lichtschranke Seite 2 dauernd unterbrochen")))
      << qPrintable(r.out);
  EXPECT_TRUE(r.out.endsWith(QLatin1String(" OK\n")));
}

TEST(CliEndToEnd, UsageErrors) {
  e2e::WorkDir dir;
  const struct {
    QStringList args;
    int exitCode;
    const char* says;
  } cases[] = {
      {{}, 2, "no command"},
      {{QStringLiteral("read-everything")}, 2, "unknown command"},
      {{QStringLiteral("--frobnicate"), QStringLiteral("version")}, 2, "unknown option"},
      {{QStringLiteral("version"), QStringLiteral("--hex")}, 2, "--hex"},
      {{QStringLiteral("--port"), QStringLiteral("/dev/null"), QStringLiteral("--scenario"),
        e2e::SmallPlant(), QStringLiteral("version")},
       2,
       "--port sim"},
      {{QStringLiteral("--help")}, 0, "Usage: ulvreader-cli"},
      {{QStringLiteral("--version")}, 0, "ulvreader-cli"},
  };
  for (const auto& c : cases) {
    const e2e::CliResult r = RunCli(c.args, dir.Path());
    ASSERT_TRUE(r.finished) << qPrintable(c.args.join(' '));
    EXPECT_EQ(r.exitCode, c.exitCode) << qPrintable(c.args.join(' '));
    EXPECT_TRUE((r.out + r.err).contains(QLatin1String(c.says)))
        << qPrintable(c.args.join(' ')) << qPrintable(Failure(r));
  }
}
