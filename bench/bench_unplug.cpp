// Unplugging: the tool's link stack on the real serial-port path opens a
// symlink to the pty of a separate ulv-sim process. Each cycle kills the
// simulator (SIGKILL on odd cycles, SIGTERM on even ones) and removes the
// symlink while a request is out, leaves the device away for a while, then
// starts a new simulator and points the symlink at its new pty. Measured per
// cycle: the tool's CPU share while the device is away, the lines the link
// reports, the time from the device's return to the link, and every reply
// after the return compared with the controller's own (version text and the
// four EEPROM bytes in turn, so a stale or glued reply shows).
//
//   bench_unplug [cycles, default 100] [away ms, default 1000 to 3000 at random] [ulv-sim path]
//
// ULV_UNPLUG_TRACE=1 prints the lines the link reports.
#include <signal.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "bench_rig.h"

namespace {

int64_t ProcessCpuNs() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return (int64_t{u.ru_utime.tv_sec} + u.ru_stime.tv_sec) * 1000000000 +
         (int64_t{u.ru_utime.tv_usec} + u.ru_stime.tv_usec) * 1000;
}

class Device {
public:
  Device(QString sim, QString link) : sim_(std::move(sim)), link_(std::move(link)) {}
  ~Device() { Pull(SIGKILL); }
  // A new simulator, and the symlink to its pty.
  bool Plug() {
    proc_ = std::make_unique<QProcess>();
    proc_->setProcessChannelMode(QProcess::SeparateChannels);
    proc_->start(sim_, {QStringLiteral("--pty")});
    if (!proc_->waitForStarted(5000) || !proc_->waitForReadyRead(5000)) return false;
    const QString pty = QString::fromLocal8Bit(proc_->readLine()).trimmed();
    QFile::remove(link_);
    return !pty.isEmpty() && QFile::link(pty, link_);
  }
  void Pull(int sig) {
    QFile::remove(link_);
    if (!proc_) return;
    ::kill(static_cast<pid_t>(proc_->processId()), sig);
    proc_->waitForFinished(5000);
    proc_.reset();
  }

private:
  QString sim_;
  QString link_;
  std::unique_ptr<QProcess> proc_;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int cycles = argc > 1 ? std::max(1, atoi(argv[1])) : 100;
  const int awayFixedMs = argc > 2 ? atoi(argv[2]) : 0;
  const QString simPath = argc > 3 ? QString::fromLocal8Bit(argv[3])
                                   : QCoreApplication::applicationDirPath() + QStringLiteral("/../src/sim/ulv-sim");
  QTemporaryDir dir;
  const QString link = dir.filePath(QStringLiteral("ttyULV"));
  Device device(simPath, link);
  if (!device.Plug()) {
    std::fprintf(stderr, "bench_unplug: cannot start %s\n", qPrintable(simPath));
    return 1;
  }

  ulv::SystemClock clock;
  ulv::QtTimerFactory timers;
  ulv::LogHooks logs;
  ulv::QtSerialLine line(false);
  ulv::ComPort port(line, logs, clock, timers);
  ulv::LinePort linePort(port, timers);
  ulv::TransferQueue queue(port.Link(), linePort, logs, clock, timers);
  ulv::QelUtils utils(queue, clock);
  int64_t reportLines = 0;
  const bool trace = qEnvironmentVariableIsSet("ULV_UNPLUG_TRACE");
  line.OnTrace = [&](const QString& l) { port.PortReport(l); };
  port.OnTraceLine = [&](const QString& l) {
    // Byte traces start with the time of day; reports do not.
    if (!l.isEmpty() && l.at(0).isDigit()) return;
    ++reportLines;
    if (trace) std::fprintf(stderr, "    %s\n", qPrintable(l));
  };
  port.DeviceForCom = [&](int) { return link; };
  linePort.ComPortNumber = [] { return 1; };
  queue.SetTransport(false);
  linePort.StartExchange();
  auto spin = [&](const std::function<bool()>& done, int limitMs) {
    QDeadlineTimer deadline(limitMs);
    std::unique_ptr<ulv::Timer> wake = timers.CreateTimer();
    wake->OnTimeout = [] {};
    wake->Start(50);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
  };
  if (!spin([&] { return port.Link().IsLinked(); }, 10000)) {
    std::fprintf(stderr, "bench_unplug: no link at the start\n");
    return 1;
  }

  // The controller's own answers, read on the clean line first.
  QString version;
  QByteArray eeprom;
  bool pending = false;
  utils.ReadVersion([&](const QString& t, ulv::ReplyStatus) { version = t; });
  queue.AddTransfer(QByteArray::fromHex("F102"), 5, [&](const QByteArray& r) { eeprom = r; });
  spin([&] { return !eeprom.isEmpty(); }, 10000);
  if (version.isEmpty() || eeprom.count('\0') == eeprom.size()) {
    std::fprintf(stderr, "bench_unplug: no clean reference replies\n");
    return 1;
  }

  // Reads back to back, each reply compared; a substitute is a failed read.
  int64_t reads = 0, matched = 0, substitutes = 0, wrong = 0, turn = 0;
  std::function<void()> next = [&] {
    if (!queue.IsLinked()) {
      pending = false;
      return;
    }
    pending = true;
    auto done = [&](bool ok, bool substitute) {
      ++reads;
      if (substitute) {
        ++substitutes;
      } else if (ok) {
        ++matched;
      } else {
        ++wrong;
      }
      QMetaObject::invokeMethod(&app, [&] { next(); }, Qt::QueuedConnection);
    };
    const bool queued = ++turn % 2 == 0
        ? queue.AddTransfer(QByteArray::fromHex("F102"), 5,
                            [=](const QByteArray& r) { done(r == eeprom, r.count('\0') == r.size()); })
        : (utils.ReadVersion([=](const QString& t, ulv::ReplyStatus s) {
             done(t == version, s != ulv::ReplyStatus::Replied);
           }),
           true);
    if (!queued) pending = false;
  };

  int64_t worstBackMs = 0, worstLines = 0, totalLines = 0, cyclesBack = 0, wrongAfterReturn = 0;
  double worstCpu = 0, cpuSum = 0;
  std::printf("unplugging: %d cycles of ulv-sim killed and its symlink removed, then both back\n", cycles);
  std::fflush(stdout);
  for (int c = 1; c <= cycles; ++c) {
    // Some reads on the line, then the device goes while a request is out.
    if (!pending) next();
    spin([] { return false; }, 200 + static_cast<int>(QRandomGenerator::global()->bounded(300)));
    const int64_t linesBefore = reportLines;
    device.Pull(c % 2 == 1 ? SIGKILL : SIGTERM);
    // Away for 1 to 3 s; the CPU share counts from when the loss was seen.
    spin([&] { return !port.IsOpen(); }, 5000);
    const int awayMs =
        awayFixedMs > 0 ? awayFixedMs : 1000 + static_cast<int>(QRandomGenerator::global()->bounded(2000));
    const int64_t cpu0 = ProcessCpuNs(), t0 = bench::MonoNs();
    spin([] { return false; }, awayMs);
    const double cpu = 100.0 * static_cast<double>(ProcessCpuNs() - cpu0) / static_cast<double>(bench::MonoNs() - t0);
    worstCpu = std::max(worstCpu, cpu);
    cpuSum += cpu;
    if (!device.Plug()) {
      std::fprintf(stderr, "bench_unplug: cycle %d: cannot restart the simulator\n", c);
      return 1;
    }
    const int64_t back0 = bench::MonoNs();
    const bool back = spin([&] { return port.Link().IsLinked(); }, 10000);
    const int64_t backMs = (bench::MonoNs() - back0) / 1000000;
    if (back) {
      ++cyclesBack;
      worstBackMs = std::max(worstBackMs, backMs);
    }
    const int64_t lines = reportLines - linesBefore;
    worstLines = std::max(worstLines, lines);
    totalLines += lines;
    // The reads after the return: every reply must be the controller's.
    const int64_t wrongBefore = wrong;
    const int64_t matchedBefore = matched;
    if (!pending) next();
    spin([&] { return matched - matchedBefore >= 6; }, 10000);
    wrongAfterReturn += wrong - wrongBefore;
    if (c % 10 == 0 || !back) {
      std::printf("  cycle %3d: link back %s after %lld ms, %lld report lines, CPU away %.2f %%\n", c,
                  back ? "" : "NOT", static_cast<long long>(backMs), static_cast<long long>(lines), cpu);
      std::fflush(stdout);
    }
  }
  next = [] {};
  std::printf("  cycles %d, link back in %lld (worst %lld ms from the device's return; reopen back-off at most "
              "2000 ms)\n",
              cycles, static_cast<long long>(cyclesBack), static_cast<long long>(worstBackMs));
  std::printf("  report lines per disconnect: worst %lld, mean %.1f\n", static_cast<long long>(worstLines),
              static_cast<double>(totalLines) / cycles);
  std::printf("  tool CPU while unplugged: worst %.2f %%, mean %.2f %% of one core\n", worstCpu, cpuSum / cycles);
  std::printf("  reads %lld: %lld with the controller's reply, %lld failed cleanly (substitute), %lld WRONG "
              "(%lld of them after a return)\n",
              static_cast<long long>(reads), static_cast<long long>(matched), static_cast<long long>(substitutes),
              static_cast<long long>(wrong), static_cast<long long>(wrongAfterReturn));
  if (linePort.LineTimerActive()) linePort.LineToggle(true);
  if (port.IsOpen()) port.ClosePort();
  const bool pass = cyclesBack == cycles && wrong == 0 && worstCpu < 5.0;
  std::printf("  %s\n", pass ? "PASS" : "FAIL");
  return pass ? 0 : 1;
}
