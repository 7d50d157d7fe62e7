#include "sim/sim_main.h"

#include <pthread.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <csignal>
#include <cstdio>

#include "sim/pty_simulator.h"

namespace ulv {

namespace {

bool IntOption(const QCommandLineParser& p, const QString& name, int* out) {
  if (!p.isSet(name)) return true;
  bool ok = false;
  const int v = p.value(name).toInt(&ok);
  if (!ok || v < 0) {
    std::fprintf(stderr, "ulv-sim: --%s needs a number >= 0\n", qPrintable(name));
    return false;
  }
  *out = v;
  return true;
}

void PrintStats(const SimStats& s) {
  std::vector<int64_t> t = s.turnaroundNs;
  std::sort(t.begin(), t.end());
  const double median = t.empty() ? 0.0 : static_cast<double>(t[t.size() / 2]) / 1000.0;
  std::fprintf(stderr,
               "ulv-sim: %lld turns, %lld requests, %lld idle bytes, tool turnaround median %.1f us\n",
               static_cast<long long>(s.turns), static_cast<long long>(s.requests),
               static_cast<long long>(s.idleBytes), median);
}

}  // namespace

int SimMain(int argc, char** argv) {
  // SIGINT/SIGTERM are taken by sigwait below; the serving thread inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGUSR1);  // the served device went away
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("ulv-sim"));
  QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

  QCommandLineParser p;
  p.setApplicationDescription(QStringLiteral("Simulated lift controller for the service tool."));
  p.addHelpOption();
  p.addVersionOption();
  p.addOptions({
      {QStringLiteral("pty"), QStringLiteral("Serve on a new pseudo-terminal and print its path first.")},
      {QStringLiteral("device"), QStringLiteral("Serve a serial device."), QStringLiteral("PATH")},
      {QStringLiteral("scenario"),
       QStringLiteral("Plant data (JSON file, or \"default\" / \"many-errors\")."), QStringLiteral("FILE")},
      {QStringLiteral("no-line-timing"), QStringLiteral("Answer at once (no two-character delay).")},
      {QStringLiteral("silent"), QStringLiteral("Never answer.")},
      {QStringLiteral("corrupt-every"), QStringLiteral("Corrupt every Nth answer."), QStringLiteral("N")},
      {QStringLiteral("drop-every"), QStringLiteral("Drop every Nth answer."), QStringLiteral("N")},
      {QStringLiteral("repeat-every"), QStringLiteral("Ask for a repetition in every Nth answer."),
       QStringLiteral("N")},
      {QStringLiteral("vanish-after"), QStringLiteral("Let the device vanish after MS milliseconds."),
       QStringLiteral("MS")},
      {QStringLiteral("stats"), QStringLiteral("Print turn statistics on stderr at the end.")},
  });
  p.process(app);

  if (p.isSet(QStringLiteral("pty")) == p.isSet(QStringLiteral("device"))) {
    std::fprintf(stderr, "ulv-sim: give either --pty or --device PATH (see --help)\n");
    return 2;
  }
  SimOptions options;
  options.scenarioFile = ScenarioPath(p.value(QStringLiteral("scenario")));
  options.lineTiming = !p.isSet(QStringLiteral("no-line-timing"));
  options.faults.silent = p.isSet(QStringLiteral("silent"));
  if (!IntOption(p, QStringLiteral("corrupt-every"), &options.faults.corruptEvery) ||
      !IntOption(p, QStringLiteral("drop-every"), &options.faults.dropEvery) ||
      !IntOption(p, QStringLiteral("repeat-every"), &options.faults.repeatEvery) ||
      !IntOption(p, QStringLiteral("vanish-after"), &options.vanishAfterMs)) {
    return 2;
  }
  if (!p.isSet(QStringLiteral("vanish-after"))) options.vanishAfterMs = -1;

  options.onDeviceLost = [] { ::kill(::getpid(), SIGUSR1); };
  PtySimulator sim(options);
  QString error;
  if (p.isSet(QStringLiteral("pty"))) {
    QString slave;
    if (!sim.Start(&slave, &error)) {
      std::fprintf(stderr, "ulv-sim: %s\n", qPrintable(error));
      return 1;
    }
    std::printf("%s\n", qPrintable(slave));
    std::fflush(stdout);
  } else {
    const QString device = p.value(QStringLiteral("device"));
    if (!sim.StartOnDevice(device, &error)) {
      std::fprintf(stderr, "ulv-sim: %s\n", qPrintable(error));
      return 1;
    }
    std::fprintf(stderr, "ulv-sim: serving %s\n", qPrintable(device));
  }

  int sig = 0;
  sigwait(&stopSignals, &sig);
  sim.Stop();
  if (p.isSet(QStringLiteral("stats"))) PrintStats(sim.Stats());
  if (sig == SIGUSR1) {
    std::fprintf(stderr, "ulv-sim: %s has gone away (unplugged?); stopping\n",
                 qPrintable(p.value(QStringLiteral("device"))));
    return 1;
  }
  return 0;
}

}  // namespace ulv
