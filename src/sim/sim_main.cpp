#include "sim/sim_main.h"

#include <pthread.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <utility>

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

bool DialResult(const QString& name, SimDialResult* out) {
  static const std::pair<const char*, SimDialResult> kResults[] = {
      {"connect", SimDialResult::Connect},         {"busy", SimDialResult::Busy},
      {"no-carrier", SimDialResult::NoCarrier},    {"no-dialtone", SimDialResult::NoDialtone},
      {"silence", SimDialResult::Silence}};
  for (const auto& [text, result] : kResults) {
    if (name == QLatin1String(text)) {
      *out = result;
      return true;
    }
  }
  return false;
}

// One --partner-fault: a name, some with "=N".
bool PartnerFault(const QString& fault, SimPartnerFaults* f) {
  const QString name = fault.section(QLatin1Char('='), 0, 0);
  const bool hasN = fault.contains(QLatin1Char('='));
  bool ok = true;
  const int n = hasN ? fault.section(QLatin1Char('='), 1).toInt(&ok) : 1;
  if (!ok || n < 0) return false;
  static const std::pair<const char*, SimModemPhase> kDrops[] = {
      {"drop-at-dial", SimModemPhase::Dial},     {"drop-at-sync", SimModemPhase::Sync},
      {"drop-at-notify", SimModemPhase::Notify}, {"drop-at-name", SimModemPhase::Name},
      {"drop-at-request", SimModemPhase::Request}};
  for (const auto& [text, phase] : kDrops) {
    if (name == QLatin1String(text)) {
      f->dropCarrierIn = phase;
      return true;
    }
  }
  if (name == u"nak-first") {
    f->nakFirst = n;
  } else if (name == u"nak-always") {
    f->nakAlways = true;
  } else if (name == u"no-ack") {
    f->noAck = true;
  } else if (name == u"wrong-chk") {
    f->wrongChk = true;
  } else if (name == u"len" && hasN && n <= 4) {
    f->frameLen = n;
  } else if (name == u"split") {
    f->splitChunk = hasN ? n : 3;
  } else if (name == u"garbage") {
    f->garbage = QByteArray("\x00\x33\x55\xAA\x28", 5);
  } else if (name == u"silent") {
    f->silent = true;
  } else if (name == u"ignore-name") {
    f->ignoreName = true;
  } else if (name == u"ack-every-byte") {
    f->ackEveryByte = true;
  } else if (name == u"late-reply") {
    f->lateReplies = n;
  } else {
    return false;
  }
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
      {QStringLiteral("modem"),
       QStringLiteral("Serve a Hayes modem with the framed partner behind it instead of the 401 exchange.")},
      {QStringLiteral("lines-dir"),
       QStringLiteral("The modem lines' directory (files lines, dtr and holder; default: a new temporary one)."),
       QStringLiteral("DIR")},
      {QStringLiteral("dial-result"),
       QStringLiteral("connect, busy, no-carrier, no-dialtone or silence (default connect)."), QStringLiteral("R")},
      {QStringLiteral("partner-name"), QStringLiteral("The partner's name (characters 0..z)."),
       QStringLiteral("NAME")},
      {QStringLiteral("partner-fault"),
       QStringLiteral("A fault of the framed partner (repeatable): nak-first[=N], nak-always, no-ack, wrong-chk, "
                      "len=N, split[=N], garbage, silent, ignore-name, ack-every-byte, late-reply[=N], "
                      "drop-at-dial|sync|notify|name|request."),
       QStringLiteral("F")},
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
  options.modem = p.isSet(QStringLiteral("modem"));
  options.linesDir = p.value(QStringLiteral("lines-dir"));
  if (p.isSet(QStringLiteral("dial-result")) &&
      !DialResult(p.value(QStringLiteral("dial-result")), &options.modemOptions.dialResult)) {
    std::fprintf(stderr, "ulv-sim: --dial-result is connect, busy, no-carrier, no-dialtone or silence\n");
    return 2;
  }
  if (p.isSet(QStringLiteral("partner-name"))) {
    options.modemOptions.partnerName = p.value(QStringLiteral("partner-name")).toLatin1();
    if (!SimModem::ValidPartnerName(options.modemOptions.partnerName)) {
      std::fprintf(stderr, "ulv-sim: --partner-name takes only the characters 0..z\n");
      return 2;
    }
  }
  for (const QString& f : p.values(QStringLiteral("partner-fault"))) {
    if (!PartnerFault(f, &options.modemOptions.faults)) {
      std::fprintf(stderr, "ulv-sim: unknown --partner-fault %s (see --help)\n", qPrintable(f));
      return 2;
    }
  }

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
    if (options.modem) std::printf("lines: %s\n", qPrintable(sim.LinesDir()));
    std::fflush(stdout);
  } else {
    const QString device = p.value(QStringLiteral("device"));
    if (!sim.StartOnDevice(device, &error)) {
      std::fprintf(stderr, "ulv-sim: %s\n", qPrintable(error));
      return 1;
    }
    std::fprintf(stderr, "ulv-sim: serving %s\n", qPrintable(device));
    if (options.modem) {
      std::printf("lines: %s\n", qPrintable(sim.LinesDir()));
      std::fflush(stdout);
    }
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
