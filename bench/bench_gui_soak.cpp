// A long run of the windowed program against the built-in simulated
// controller (offscreen or under Xvfb) with the serial port window and its
// trace shown and reads running back to back: a version read, then every
// tenth turn an error log read through the error log reader. Prints, every
// few minutes and at the end, the longest event-loop stall, the resident
// memory against the start, and the process's CPU share (the simulator's
// thread included).
//
//   nice -n 19 bench_gui_soak [seconds, default 3600] [report every N seconds, default 300]
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "app/program_window.h"
#include "bench_rig.h"
#include "context/app_context.h"
#include "context/app_units.h"
#include "link/qt_serial_line.h"

namespace {

bool SpinUntil(ulv::TimerFactory& timers, const std::function<bool()>& done, int limitMs) {
  QDeadlineTimer deadline(limitMs);
  std::unique_ptr<ulv::Timer> wake = timers.CreateTimer();
  wake->OnTimeout = [] {};
  wake->Start(50);
  while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return done();
}

QString WriteIni(const QString& dir) {
  const QString demo = QStringLiteral(ULV_SOURCE_DIR "/demo");
  QFile in(demo + QStringLiteral("/ulvreader.INI"));
  if (!in.open(QIODevice::ReadOnly)) return QString();
  QByteArray text = in.readAll();
  text.replace("base=.", "base=" + demo.toUtf8());
  text.replace("$(BASE)/work", dir.toUtf8());
  const QString path = dir + QStringLiteral("/ulvreader.INI");
  QFile out(path);
  if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size()) return QString();
  return path;
}

// Resident set in KiB (from /proc/self/statm).
long RssKiB() {
  QFile f(QStringLiteral("/proc/self/statm"));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  const QList<QByteArray> parts = f.readAll().split(' ');
  if (parts.size() < 2) return -1;
  return parts[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

int64_t ProcessCpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

}  // namespace

int main(int argc, char** argv) {
  if (qgetenv("QT_QPA_PLATFORM").isEmpty() && qgetenv("DISPLAY").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int seconds = argc > 1 ? std::max(10, atoi(argv[1])) : 3600;
  const int every = argc > 2 ? std::max(10, atoi(argv[2])) : 300;
  QTemporaryDir dir;
  const QString ini = dir.isValid() ? WriteIni(dir.path()) : QString();
  if (ini.isEmpty()) {
    std::fprintf(stderr, "bench_gui_soak: cannot write the configuration\n");
    return 1;
  }
  ulv::QtSerialLine line(false);
  ulv::AppContext ctx;
  ctx.config.OnInfoMessage = [](const QString&) {};
  ctx.Start({QStringLiteral("bench_gui_soak"), QStringLiteral("/i=") + ini}, dir.path());
  auto units = std::make_unique<ulv::AppUnits>(ctx, line);
  units->simulatorChosen = true;
  auto windows = std::make_unique<ulv::ProgramWindows>(ctx, *units);
  windows->Start(true);
  if (!units->linePort.LineTimerActive()) units->linePort.StartExchange();
  if (!SpinUntil(ctx.timers, [&] { return units->port.Link().IsLinked(); }, 20000)) {
    std::fprintf(stderr, "bench_gui_soak: no link\n");
    return 1;
  }
  // The start-up's own reads done, then the trace shown.
  SpinUntil(ctx.timers, [] { return false; }, 1500);
  SpinUntil(ctx.timers, [&] { return units->queue.Count() == 0; }, 120000);
  windows->MyComPort->show();
  SpinUntil(ctx.timers, [] { return false; }, 500);

  constexpr int kTickMs = 5;
  int64_t reads = 0, failed = 0, errorReads = 0, errorFailed = 0, turn = 0;
  int64_t lastTick = bench::MonoNs();
  int64_t worstNs = 0, windowWorstNs = 0;
  std::unique_ptr<ulv::Timer> tick = ctx.timers.CreateTimer();
  tick->OnTimeout = [&] {
    const int64_t now = bench::MonoNs();
    const int64_t late = now - lastTick - int64_t{kTickMs} * 1000000;
    worstNs = std::max(worstNs, late);
    windowWorstNs = std::max(windowWorstNs, late);
    lastTick = now;
  };
  std::function<void()> next;
  units->errorReader.OnReadEnded = [&](ulv::ErrorLogReader::ReadOutcome outcome) {
    ++errorReads;
    if (outcome != ulv::ErrorLogReader::ReadOutcome::Completed) ++errorFailed;
    // Not from inside the reader's own callback.
    QMetaObject::invokeMethod(&app, [&] { next(); }, Qt::QueuedConnection);
  };
  next = [&] {
    if (++turn % 10 == 0 && units->errorReader.ReadErrorLog([](const QString&) {})) return;
    units->utils.ReadVersion([&](const QString&, ulv::ReplyStatus status) {
      if (status != ulv::ReplyStatus::Replied) ++failed;
      ++reads;
      next();
    });
  };

  const long rssStart = RssKiB();
  const int64_t cpuStart = ProcessCpuNs();
  const int64_t start = bench::MonoNs();
  std::printf("soak: windowed program, serial window and trace shown, reads back to back, %d s\n", seconds);
  std::printf("  start: RSS %ld KiB\n", rssStart);
  std::fflush(stdout);
  tick->Start(kTickMs);
  lastTick = bench::MonoNs();
  next();
  int64_t cpuMark = cpuStart, markNs = start;
  for (int done = 0; done < seconds; done += every) {
    SpinUntil(ctx.timers, [] { return false; }, std::min(every, seconds - done) * 1000);
    const int64_t now = bench::MonoNs(), cpu = ProcessCpuNs();
    std::printf("  %5d s: %lld version reads (%lld failed), %lld error log reads (%lld failed), stall %.1f ms "
                "(worst so far %.1f ms), RSS %ld KiB, CPU %.1f %%\n",
                static_cast<int>((now - start) / 1000000000), static_cast<long long>(reads),
                static_cast<long long>(failed), static_cast<long long>(errorReads),
                static_cast<long long>(errorFailed), static_cast<double>(windowWorstNs) / 1e6,
                static_cast<double>(worstNs) / 1e6, RssKiB(),
                100.0 * static_cast<double>(cpu - cpuMark) / static_cast<double>(now - markNs));
    std::fflush(stdout);
    windowWorstNs = 0;
    cpuMark = cpu;
    markNs = now;
  }
  tick->Stop();
  next = [] {};
  const double elapsed = static_cast<double>(bench::MonoNs() - start);
  std::printf("  end: %.0f s, %lld version reads (%lld failed), %lld error log reads (%lld failed)\n",
              elapsed / 1e9, static_cast<long long>(reads), static_cast<long long>(failed),
              static_cast<long long>(errorReads), static_cast<long long>(errorFailed));
  std::printf("  longest event-loop stall %.1f ms; RSS start %ld KiB, end %ld KiB; CPU %.1f %% of one core "
              "(program and simulator thread)\n",
              static_cast<double>(worstNs) / 1e6, rssStart, RssKiB(),
              100.0 * static_cast<double>(ProcessCpuNs() - cpuStart) / elapsed);
  units->errorReader.OnReadEnded = nullptr;
  units->linePort.LineToggle(true);
  windows.reset();
  units.reset();
  ctx.Finish();
  return 0;
}
