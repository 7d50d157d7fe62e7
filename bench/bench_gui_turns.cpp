// Line turns of the windowed program against the built-in simulated
// controller, offscreen: the program's units alone (as the headless command
// runs them), then with every window and the serial port window hidden, then
// shown; prints the program thread's CPU time per turn of each. Then a read
// loop with the serial port window shown, reporting the longest stall of the
// event loop. Under callgrind (--instr-atstart=no) each measured stretch is
// dumped on its own, named after it, for instructions per turn.
//
//   bench_gui_turns [turns per stretch, default 5000] [read-loop seconds, default 60]
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

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define ULV_BENCH_ZERO() \
  CALLGRIND_START_INSTRUMENTATION; \
  CALLGRIND_ZERO_STATS
#define ULV_BENCH_DUMP(name)      \
  CALLGRIND_DUMP_STATS_AT(name); \
  CALLGRIND_STOP_INSTRUMENTATION
#else
#define ULV_BENCH_ZERO()
#define ULV_BENCH_DUMP(name)
#endif

namespace {

// Runs the event loop until done or the limit; false at the limit.
bool SpinUntil(ulv::TimerFactory& timers, const std::function<bool()>& done, int limitMs) {
  QDeadlineTimer deadline(limitMs);
  std::unique_ptr<ulv::Timer> wake = timers.CreateTimer();
  wake->OnTimeout = [] {};
  wake->Start(50);
  while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return done();
}

// The demo configuration with its output folder moved to `dir`.
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

struct Figures {
  int64_t turns = 0;
  double cpuUsPerTurn = 0;
};

// N turns of the idle line: the program thread's CPU time per receive event.
Figures MeasureTurns(ulv::AppContext& ctx, ulv::AppUnits& units, int64_t turns, const char* name) {
  const int64_t from = units.linePort.ReadCount();
  const int64_t cpu = bench::ThreadCpuNs();
  ULV_BENCH_ZERO();
  SpinUntil(ctx.timers, [&] { return units.linePort.ReadCount() - from >= turns; }, 600000);
  ULV_BENCH_DUMP(name);
  Figures f;
  f.turns = units.linePort.ReadCount() - from;
  f.cpuUsPerTurn = f.turns > 0 ? static_cast<double>(bench::ThreadCpuNs() - cpu) / 1000.0 / f.turns : 0;
  std::printf("  %-34s %lld turns, CPU %.2f us per turn\n", name, static_cast<long long>(f.turns),
              f.cpuUsPerTurn);
  std::fflush(stdout);
  return f;
}

class Program {
public:
  Program(const QString& ini, const QString& dir) : line_(false) {
    ctx.config.OnInfoMessage = [](const QString&) {};
    ctx.Start({QStringLiteral("bench_gui_turns"), QStringLiteral("/i=") + ini}, dir);
    units = std::make_unique<ulv::AppUnits>(ctx, line_);
    units->simulatorChosen = true;
  }
  ~Program() {
    windows.reset();
    units.reset();
    ctx.Finish();
  }
  // The link, then the start-up's own work (the windowed program reads the
  // plant identity a second after the link came up) done and painted.
  bool WaitForLink() {
    if (!SpinUntil(ctx.timers, [this] { return units->port.Link().IsLinked(); }, 20000)) return false;
    SpinUntil(ctx.timers, [] { return false; }, 1500);
    SpinUntil(ctx.timers, [this] { return units->queue.Count() == 0; }, 120000);
    SpinUntil(ctx.timers, [] { return false; }, 500);
    return true;
  }

  ulv::AppContext ctx;
  std::unique_ptr<ulv::AppUnits> units;
  std::unique_ptr<ulv::ProgramWindows> windows;

private:
  ulv::QtSerialLine line_;
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  const int64_t turns = argc > 1 ? std::max(100, atoi(argv[1])) : 5000;
  const int readSeconds = argc > 2 ? std::max(0, atoi(argv[2])) : 60;
  QTemporaryDir dir;
  const QString ini = dir.isValid() ? WriteIni(dir.path()) : QString();
  if (ini.isEmpty()) {
    std::fprintf(stderr, "bench_gui_turns: cannot write the configuration\n");
    return 1;
  }
  std::printf("line turns against the built-in simulated controller (offscreen, %lld turns each)\n",
              static_cast<long long>(turns));

  Figures headless;
  {
    // The headless command's units: mode 2 over the line port, the line
    // started by hand.
    Program p(ini, dir.path());
    p.units->linePort.ComPortNumber = [] { return ulv::AppUnits::kSimulatorPort; };
    p.units->queue.SetTransport(false);
    p.units->linePort.StartExchange();
    if (!p.WaitForLink()) {
      std::fprintf(stderr, "bench_gui_turns: no link (headless)\n");
      return 1;
    }
    headless = MeasureTurns(p.ctx, *p.units, turns, "headless units");
    p.units->linePort.LineToggle(true);
  }

  Program p(ini, dir.path());
  p.windows = std::make_unique<ulv::ProgramWindows>(p.ctx, *p.units);
  p.windows->Start(true);
  if (!p.units->linePort.LineTimerActive()) p.units->linePort.StartExchange();
  if (!p.WaitForLink()) {
    std::fprintf(stderr, "bench_gui_turns: no link (windowed)\n");
    return 1;
  }
  const Figures hidden = MeasureTurns(p.ctx, *p.units, turns, "windows, serial window hidden");
  p.windows->MyComPort->show();
  SpinUntil(p.ctx.timers, [] { return false; }, 300);
  const Figures shown = MeasureTurns(p.ctx, *p.units, turns, "windows, serial window shown");
  if (headless.cpuUsPerTurn > 0) {
    std::printf("  ratio to headless: hidden %.2f (target <= 2), shown %.2f (target <= 5)\n",
                hidden.cpuUsPerTurn / headless.cpuUsPerTurn, shown.cpuUsPerTurn / headless.cpuUsPerTurn);
  }

  if (readSeconds > 0) {
    // Version reads back to back with the trace shown; a 5 ms timer measures
    // how late the event loop comes round.
    constexpr int kTickMs = 5;
    int reads = 0;
    int failed = 0;
    int64_t lastTick = bench::MonoNs();
    int64_t worstNs = 0;
    std::unique_ptr<ulv::Timer> tick = p.ctx.timers.CreateTimer();
    tick->OnTimeout = [&] {
      const int64_t now = bench::MonoNs();
      worstNs = std::max(worstNs, now - lastTick - int64_t{kTickMs} * 1000000);
      lastTick = now;
    };
    std::function<void()> next = [&] {
      p.units->utils.ReadVersion([&](const QString&, ulv::ReplyStatus status) {
        if (status != ulv::ReplyStatus::Replied) ++failed;
        ++reads;
        next();
      });
    };
    tick->Start(kTickMs);
    lastTick = bench::MonoNs();
    next();
    SpinUntil(p.ctx.timers, [] { return false; }, readSeconds * 1000);
    tick->Stop();
    next = [] {};
    std::printf("  read loop, serial window shown: %d s, %d version reads (%d failed), longest event-loop "
                "stall %.1f ms (target <= 50)\n",
                readSeconds, reads, failed, static_cast<double>(worstNs) / 1e6);
  }
  p.units->linePort.LineToggle(true);
  return 0;
}
