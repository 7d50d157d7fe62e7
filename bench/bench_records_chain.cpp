// The data window's "Alles" chain (version block, shaft data, monitor
// block, SysPerm, SysVar, shift status, I/O ports, port image) against the
// simulated controller with line timing on.
#include <cstdio>

#include "bench_rig.h"
#include "records/plant_identity.h"
#include "system/data_report.h"
#include "system/record_reader.h"

namespace {

// Passes requests on to the queue and counts them with their nibbles.
class CountingTransfers : public ulv::Transfers {
public:
  explicit CountingTransfers(ulv::Transfers& next) : next_(next) {}
  bool AddTransfer(const QByteArray& command, int replyLength, ulv::TransferReplyHandler onReply) override {
    ++transfers;
    nibbles += 2 * (command.size() + replyLength);
    return next_.AddTransfer(command, replyLength, std::move(onReply));
  }
  bool IsLinked() const override { return next_.IsLinked(); }
  int transfers = 0;
  int64_t nibbles = 0;

private:
  ulv::Transfers& next_;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  bench::Rig rig{QString()};
  if (!rig.Start()) {
    std::fprintf(stderr, "bench_records_chain: no link to the simulated controller\n");
    return 1;
  }
  ulv::SystemClock clock;
  CountingTransfers counting(rig.queue);
  ulv::PlantIdentity identity(rig.queue, rig.utils, clock);
  ulv::RecordReader reader(counting);
  ulv::DataReport report(reader, identity, clock);
  int lines = 0;
  bool ended = false;
  ulv::DataReport::Ending ending = ulv::DataReport::Ending::Refused;
  report.Output = [&](const QString&) { ++lines; };
  report.OnEnded = [&](ulv::DataReport::Ending e) {
    ending = e;
    ended = true;
  };
  rig.BeginMeasure();
  report.Alles();
  const bool finished = rig.SpinUntil([&] { return ended; }, 60000);
  rig.EndMeasure();
  if (!finished || ending != ulv::DataReport::Ending::Done) {
    std::fprintf(stderr, "bench_records_chain: the chain did not complete (%d lines)\n", lines);
    return 1;
  }
  std::printf("%d lines printed\n", lines);
  rig.Report("Alles chain: shaft, monitor block, SysPerm, SysVar, shift status, I/O ports, port image",
             counting.transfers, static_cast<double>(counting.nibbles) / counting.transfers);
  bench::PrintRawBaseline(rig.Turns());
  return 0;
}
