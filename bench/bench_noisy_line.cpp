// The tool against the simulated controller on a noisy line, in virtual
// time: 1 % of the bytes corrupted and 1 % dropped in each direction (or the
// rates given), N requests of every request family, then the noise off.
// Prints per family what became of the commands and their requests, and how
// soon after the noise every family succeeds again. "differ": commands that
// succeeded with output other than the clean run's (the line has no checksum,
// so a corrupted byte can pass, or turn a request into one that changes the
// plant).
//
//   bench_noisy_line [requests per family, default 10000] [corrupt ppm, default 10000] [drop ppm, default 10000] [seed]
#include <QCoreApplication>
#include <cstdio>

#include "noisy_rig.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int64_t requests = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
  const int corrupt = argc > 2 ? atoi(argv[2]) : 10000;
  const int drop = argc > 3 ? atoi(argv[3]) : 10000;
  const uint32_t seed = argc > 4 ? static_cast<uint32_t>(strtoul(argv[4], nullptr, 10)) : 15u;
  noisy::Rig rig(seed, corrupt, drop);
  const noisy::Result r = noisy::Run(rig, requests);
  std::printf("noisy line: %.2f %% corrupted, %.2f %% dropped each way, seed %u, %lld requests per family\n",
              corrupt / 1e4, drop / 1e4, seed, static_cast<long long>(requests));
  std::printf("  clean references: %s\n", r.referencesOk ? "all families succeeded" : "A FAMILY FAILED");
  for (const char* name : r.uncompared) std::printf("  %s: output changes by itself, not compared\n", name);
  std::printf("  %-17s %8s %8s %6s %8s %8s %8s %7s %7s %5s %6s %6s %7s\n", "family", "commands", "ok",
              "hung", "requests", "replied", "timeout", "dropped", "refused", "late", "twice", "differ",
              "worst");
  bool clean = r.referencesOk && r.recovered;
  for (const auto& [name, c] : r.families) {
    std::printf("  %-17s %8lld %8lld %6lld %8lld %8lld %8lld %7lld %7lld %5lld %6lld %6lld %5lld ms\n", name,
                static_cast<long long>(c.operations), static_cast<long long>(c.operationsOk),
                static_cast<long long>(c.hung), static_cast<long long>(c.requests),
                static_cast<long long>(c.replied), static_cast<long long>(c.timedOut),
                static_cast<long long>(c.dropped), static_cast<long long>(c.refused),
                static_cast<long long>(c.late), static_cast<long long>(c.calledTwice),
                static_cast<long long>(c.wrongOutput), static_cast<long long>(c.worstMs));
    clean = clean && c.hung == 0 && c.late == 0 && c.calledTwice == 0;
  }
  const ulv::NoiseStats& s = rig.noisy.Sent();
  const ulv::NoiseStats& g = rig.noisy.Received();
  std::printf("  bytes sent %lld (%lld corrupted, %lld dropped), received %lld (%lld corrupted, %lld dropped)\n",
              static_cast<long long>(s.passed + s.corrupted + s.dropped), static_cast<long long>(s.corrupted),
              static_cast<long long>(s.dropped), static_cast<long long>(g.passed + g.corrupted + g.dropped),
              static_cast<long long>(g.corrupted), static_cast<long long>(g.dropped));
  std::printf("  after the noise: %s; first command done %lld ms after the noise stopped (time-out %d ms), "
              "slowest family %lld ms; %.0f s of virtual time in all\n",
              r.recovered ? "every family succeeded with the controller's output" : "A FAMILY FAILED",
              static_cast<long long>(r.recoveryMs), ulv::TransferQueue::kReplyTimeoutMs,
              static_cast<long long>(r.worstRecoveryCommandMs), rig.clock.ElapsedMs() / 1000.0);
  for (const char* name : r.notRecovered) std::printf("  after the noise: %s FAILED\n", name);
  std::printf("  %s\n", clean ? "PASS: no hang, no late or doubled handler, recovered" : "FAIL");
  return clean ? 0 : 1;
}
