#pragma once
// The tool's link stack over the real QSerialPort path against the simulated
// controller on a pty (its own thread, line timing on), and the figures a
// benchmark prints: elapsed time against the physical limit (turns times two
// character times), the tool's turnaround as the simulator sees it, and the
// tool's CPU time per turn.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "common/clock.h"
#include "common/log_hooks.h"
#include "common/timer.h"
#include "link/com_port.h"
#include "link/line_port.h"
#include "link/link_state.h"
#include "link/qel_utils.h"
#include "link/qt_serial_line.h"
#include "link/transfer_queue.h"
#include "sim/pty_simulator.h"

namespace bench {

inline int64_t MonoNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

inline int64_t ThreadCpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

struct Spread {
  double medianUs = 0;
  double p99Us = 0;
  double meanUs = 0;
};

inline Spread SpreadOf(std::vector<int64_t> v) {
  Spread s;
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  auto at = [&](double p) {
    return static_cast<double>(
               v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))]) /
           1000.0;
  };
  s.medianUs = at(0.5);
  s.p99Us = at(0.99);
  double sum = 0;
  for (int64_t x : v) sum += static_cast<double>(x);
  s.meanUs = sum / static_cast<double>(v.size()) / 1000.0;
  return s;
}

// The simulator as a measuring device: line timing on, a real-time thread
// where the system allows it, watching the clock for the last 100 us before
// each answer is due (a timer wake-up on a virtual machine comes some 60 us
// late) and polling the line after each answer until the tool's next byte
// comes, so that the simulator's own timer and wake-up latency do not count
// as line time or as the tool's turnaround. ULV_BENCH_SIM=sleep (the thread
// only sleeps) or =clock (clock watching only) gives the other pacings for
// comparison.
inline ulv::SimOptions MeasuringSim(const QString& scenario = QString()) {
  ulv::SimOptions o;
  o.scenarioFile = scenario;
  o.lineTiming = true;
  o.realtime = true;
  const QString pacing = qEnvironmentVariable("ULV_BENCH_SIM");
  if (pacing != QLatin1String("sleep")) o.spinBeforeDueUs = 100;
  if (pacing != QLatin1String("sleep") && pacing != QLatin1String("clock")) o.spinAfterAnswerUs = 400;
  return o;
}

inline const char* PacingText(const ulv::SimOptions& o) {
  if (o.spinBeforeDueUs > 0 && o.spinAfterAnswerUs > 0) {
    return "watching the clock before and polling the line after each answer";
  }
  if (o.spinBeforeDueUs > 0) return "watching the clock before each answer";
  if (o.spinAfterAnswerUs > 0) return "polling the line after each answer";
  return "sleeping between bytes";
}

// The same number of idle turns from a plain POSIX client on its own pty:
// what this machine's pseudo-terminals allow, without the tool.
inline void PrintRawBaseline(int64_t turns) {
  ulv::PtySimulator sim(MeasuringSim());
  QString path, error;
  if (!sim.Start(&path, &error)) return;
  const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
  if (fd < 0) return;
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  sim.ResetStats();
  const int64_t start = MonoNs();
  const int64_t startCpu = ThreadCpuNs();
  for (int64_t i = 0; i < turns; ++i) {
    unsigned char b = 0x40;
    if (::write(fd, &b, 1) != 1) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 1000) != 1 || ::read(fd, &b, 1) != 1) break;
  }
  const double elapsed = static_cast<double>(MonoNs() - start);
  const double cpu = static_cast<double>(ThreadCpuNs() - startCpu);
  ::close(fd);
  sim.Stop();
  const ulv::SimStats stats = sim.Stats();
  const Spread ta = SpreadOf(stats.turnaroundNs);
  const double done = static_cast<double>(stats.turns);
  const double limit = done * 2 * static_cast<double>(ulv::PtySimulator::CharTimeNs(19200));
  std::printf(
      "  raw POSIX client        ratio %.3f, turnaround median %.1f us, p99 %.1f us, mean %.1f us,\n"
      "                          CPU per turn %.1f us (same turns, no tool: the machine's pty cost)\n",
      done > 0 ? elapsed / limit : 0.0, ta.medianUs, ta.p99Us, ta.meanUs,
      done > 0 ? cpu / done / 1000.0 : 0.0);
}

class Rig {
public:
  explicit Rig(const QString& scenario)
      : simOptions_(MeasuringSim(scenario)),
        sim_(simOptions_),
        port_(line_, logs_, clock_, timers_),
        linePort_(port_, timers_),
        queue(port_.Link(), linePort_, logs_, clock_, timers_),
        utils(queue, clock_) {}

  ~Rig() {
    if (linePort_.LineTimerActive()) linePort_.LineToggle(true);
    if (port_.IsOpen()) port_.ClosePort();
    sim_.Stop();
  }

  // Opens the pty, starts the line and waits (bounded) for the link.
  bool Start() {
    QString path, error;
    if (!sim_.Start(&path, &error)) {
      std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
      return false;
    }
    port_.DeviceForCom = [path](int) { return path; };
    queue.SetTransport(false);
    if (!port_.IsOpen()) {
      std::fprintf(stderr, "port: %s\n", qPrintable(port_.LastError()));
      return false;
    }
    linePort_.LineToggle(true);
    return SpinUntil([this] { return port_.Link().IsLinked(); }, 10000);
  }

  // Runs the event loop (sleeping while there is nothing to do) until done
  // or the limit.
  template <typename Done>
  bool SpinUntil(Done done, int limitMs) {
    QDeadlineTimer deadline(limitMs);
    std::unique_ptr<ulv::Timer> wake = timers_.CreateTimer();
    wake->OnTimeout = [] {};
    wake->Start(50);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
  }

  int64_t Turns() const { return stats_.turns; }

  void BeginMeasure() {
    sim_.ResetStats();
    startNs_ = MonoNs();
    startCpuNs_ = ThreadCpuNs();
  }
  void EndMeasure() {
    elapsedNs_ = MonoNs() - startNs_;
    cpuNs_ = ThreadCpuNs() - startCpuNs_;
    stats_ = sim_.Stats();
  }

  // Prints the figures; `transfers` and `minTurnsPerTransfer` (the request
  // and reply nibbles) put the turn count in proportion.
  void Report(const char* what, int transfers, double minTurnsPerTransfer) const {
    const double charNs = static_cast<double>(ulv::PtySimulator::CharTimeNs(19200));
    const double turns = static_cast<double>(stats_.turns);
    const double limitNs = turns * 2 * charNs;
    const Spread ta = SpreadOf(stats_.turnaroundNs);
    const Spread late = SpreadOf(stats_.pacingLateNs);
    std::printf("%s\n", what);
    std::printf("  transfers              %d\n", transfers);
    std::printf("  turns                  %lld (%.2f per transfer; request + reply nibbles %.0f)\n",
                static_cast<long long>(stats_.turns), turns / transfers, minTurnsPerTransfer);
    std::printf("  elapsed                %.3f s\n", static_cast<double>(elapsedNs_) / 1e9);
    std::printf("  physical limit         %.3f s (turns x 2 character times at 19200 8N1)\n", limitNs / 1e9);
    std::printf("  ratio                  %.3f (target <= 1.10)\n",
                static_cast<double>(elapsedNs_) / limitNs);
    std::printf(
        "  tool turnaround        median %.1f us, p99 %.1f us, mean %.1f us (target median <= 50 us; %zu "
        "samples)\n",
        ta.medianUs, ta.p99Us, ta.meanUs, stats_.turnaroundNs.size());
    std::printf("  tool CPU per turn      %.1f us\n", static_cast<double>(cpuNs_) / turns / 1000.0);
    // Each turn takes two character times, plus the answer's lateness, plus
    // the simulator's write into the pty, plus the turnaround (the write and
    // the run's two ends are what is left over).
    const double overUs = (static_cast<double>(elapsedNs_) - limitNs) / turns / 1000.0;
    std::printf(
        "  time over the limit    %.1f us per turn: answers late %.1f us (median %.1f, p99 %.1f), "
        "turnaround %.1f us, the rest (handing each answer to the pty) %.1f us\n",
        overUs, late.meanUs, late.medianUs, late.p99Us, ta.meanUs, overUs - late.meanUs - ta.meanUs);
    std::printf("  simulator pacing       %s, %s\n",
                sim_.RealtimeGranted() ? "real-time thread" : "normal thread (no real-time priority granted)",
                PacingText(simOptions_));
  }

private:
  ulv::SimOptions simOptions_;
  ulv::SystemClock clock_;
  ulv::QtTimerFactory timers_;
  ulv::LogHooks logs_;
  ulv::PtySimulator sim_;
  ulv::QtSerialLine line_{false};
  ulv::ComPort port_;
  ulv::LinePort linePort_;

public:
  // After the objects they use (members are built in this order).
  ulv::TransferQueue queue;
  ulv::QelUtils utils;

private:
  int64_t startNs_ = 0;
  int64_t startCpuNs_ = 0;
  int64_t elapsedNs_ = 0;
  int64_t cpuNs_ = 0;
  ulv::SimStats stats_;
};

}  // namespace bench
