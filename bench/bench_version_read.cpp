// Reads the controller's version text 100 times against the simulated
// controller with line timing on and prints how close the tool comes to the
// line's physical limit.
#include <cstdio>

#include "bench_rig.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  constexpr int kReads = 100;
  bench::Rig rig(QString::fromLatin1(ulv::kDefaultScenarioResource));
  if (!rig.Start()) {
    std::fprintf(stderr, "bench_version_read: no link to the simulated controller\n");
    return 1;
  }
  int done = 0;
  int failed = 0;
  std::function<void()> next = [&] {
    rig.utils.ReadVersion([&](const QString&, ulv::ReplyStatus status) {
      if (status != ulv::ReplyStatus::Replied) ++failed;
      if (++done < kReads) next();
    });
  };
  rig.BeginMeasure();
  next();
  const bool finished = rig.SpinUntil([&] { return done >= kReads; }, 60000);
  rig.EndMeasure();
  if (!finished || failed > 0) {
    std::fprintf(stderr, "bench_version_read: %d of %d reads done, %d failed\n", done, kReads, failed);
    return 1;
  }
  // F1 01 is 2 bytes (4 nibbles), the reply 16 bytes (32 nibbles).
  rig.Report("version text (F1 01) read 100 times", kReads, 4 + 32);
  bench::PrintRawBaseline(rig.Turns());
  return 0;
}
