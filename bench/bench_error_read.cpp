// Reads an error memory of 100 records (the count, then records k = 0..99 of
// a plant holding 150) against the simulated controller with line timing on.
#include <QTemporaryDir>
#include <cstdio>

#include "bench_rig.h"
#include "records/error_catalogue.h"
#include "records/error_log_reader.h"
#include "records/plant_identity.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  bench::Rig rig(QString::fromLatin1(ulv::kManyErrorsScenarioResource));
  if (!rig.Start()) {
    std::fprintf(stderr, "bench_error_read: no link to the simulated controller\n");
    return 1;
  }
  ulv::SystemClock clock;
  ulv::ErrorCatalogue catalogue;
  ulv::PlantIdentity identity(rig.queue, rig.utils, clock);
  ulv::ErrorLogReader reader(rig.queue, rig.utils, catalogue, identity, clock);
  QTemporaryDir dir;
  reader.SetListDirectory(dir.path());
  int lines = 0;
  bool ended = false;
  ulv::ErrorLogReader::ReadOutcome outcome = ulv::ErrorLogReader::ReadOutcome::Refused;
  reader.OnReadEnded = [&](ulv::ErrorLogReader::ReadOutcome o) {
    outcome = o;
    ended = true;
  };
  rig.BeginMeasure();
  reader.ReadErrorLog([&](const QString&) { ++lines; });
  const bool finished = rig.SpinUntil([&] { return ended; }, 60000);
  rig.EndMeasure();
  if (!finished || outcome != ulv::ErrorLogReader::ReadOutcome::Completed || reader.ProgressValue() != 100) {
    std::fprintf(stderr, "bench_error_read: the read did not complete (%d records)\n",
                 reader.ProgressValue());
    return 1;
  }
  // F1 31 (4 nibbles) + F4 reply (10); 100 x (F3 55 07 k: 8 nibbles + F7 reply: 16).
  rig.Report("error memory: count and 100 records", 101, (14.0 + 100 * 24.0) / 101);
  bench::PrintRawBaseline(rig.Turns());
  return 0;
}
