#pragma once
// Runs the real programs: ulvreader-cli and ulv-sim, every wait bounded.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace e2e {

inline QString CliPath() { return QStringLiteral(ULV_BIN_DIR "/src/cli/ulvreader-cli"); }
inline QString SimPath() { return QStringLiteral(ULV_BIN_DIR "/src/sim/ulv-sim"); }
inline QString SmallPlant() { return QStringLiteral(ULV_TEST_DATA "/scenarios/small_plant.json"); }
// The built-in simulated controller with the small test plant, no line timing.
inline QStringList SmallSim() {
  return {u"--port"_s, u"sim"_s, u"--scenario"_s, SmallPlant(), u"--no-line-timing"_s};
}

struct CliResult {
  bool finished = false;  // ended on its own within the limit
  bool crashed = false;
  int exitCode = -1;
  QString out;
  QString err;
  bool Ok() const { return finished && exitCode == 0; }
  QString Describe() const {
    return u"exit %1, finished %2, crashed %3\nstdout:\n%4\nstderr:\n%5"_s.arg(
        QString::number(exitCode), QString::number(finished), QString::number(crashed), out, err);
  }
};

inline CliResult RunCli(const QStringList& args, const QString& workDir, int limitMs = 60000) {
  QProcess p;
  p.setWorkingDirectory(workDir);
  p.start(CliPath(), args);
  CliResult r;
  if (!p.waitForStarted(10000)) return r;
  r.finished = p.waitForFinished(limitMs);
  if (!r.finished) {
    p.kill();
    p.waitForFinished(5000);
  }
  r.crashed = p.exitStatus() == QProcess::CrashExit;
  r.exitCode = p.exitCode();
  r.out = QString::fromUtf8(p.readAllStandardOutput());
  r.err = QString::fromUtf8(p.readAllStandardError());
  return r;
}

// ulv-sim --pty as its own process.
class SimProcess {
public:
  explicit SimProcess(const QStringList& args) {
    p_.start(SimPath(), QStringList{u"--pty"_s} + args);
    if (!p_.waitForStarted(10000)) return;
    QByteArray first;
    while (!first.contains('\n') && p_.waitForReadyRead(10000)) first += p_.readAllStandardOutput();
    path_ = QString::fromLocal8Bit(first).section(QLatin1Char('\n'), 0, 0).trimmed();
  }
  ~SimProcess() {
    if (p_.state() != QProcess::NotRunning) {
      p_.terminate();
      if (!p_.waitForFinished(5000)) Kill();
    }
  }
  QString Path() const { return path_; }
  void Kill() {
    p_.kill();
    p_.waitForFinished(5000);
  }
  // SIGTERM; true when it stopped cleanly with status 0.
  bool Terminate() {
    p_.terminate();
    return p_.waitForFinished(10000) && p_.exitStatus() == QProcess::NormalExit && p_.exitCode() == 0;
  }

private:
  QProcess p_;
  QString path_;
};

// A working directory with a configuration that names the test catalogue.
class WorkDir {
public:
  // `more`: further lines of the configuration.
  explicit WorkDir(const QByteArray& more = {}) {
    QFile ini(dir_.filePath(u"ulvreader.INI"_s));
    if (ini.open(QIODevice::WriteOnly))
      ini.write("[Files]\r\nFehler=" +
                QFile::encodeName(ULV_TEST_DATA "/scenarios/small_plant_catalogue.ini") + "\r\n" + more);
  }
  QString Path() const { return dir_.path(); }
  QString File(const QString& name) const { return dir_.filePath(name); }
  CliResult Run(const QStringList& args) const { return RunCli(args, Path()); }

private:
  QTemporaryDir dir_;
};

inline QStringList Lines(const QString& text) {
  QStringList l = text.split(QLatin1Char('\n'));
  if (!l.isEmpty() && l.last().isEmpty()) l.removeLast();
  return l;
}

}  // namespace e2e
