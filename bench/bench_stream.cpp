// The event stream: decoding a capture file of 65,535 entries (entries per
// second; target: the whole file in under 1 s), and a fetch of 3,000 entries
// by the recorder against the simulated controller with line timing on
// (elapsed against the line's physical limit; target <= 1.10).
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "bench_rig.h"
#include "common/configuration.h"
#include "records/plant_identity.h"
#include "stream/event_decoder.h"
#include "stream/stream_recorder.h"

namespace {

constexpr int kDecodeEntries = 65535;
constexpr int kFetchEntries = 3000;

bool WriteFile(const QString& path, const QByteArray& data) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// Every kind the decoder prints, calls and commands through templates.
bool BenchDecode(const QTemporaryDir& dir) {
  QByteArray capture(" \r\nDatum\r\nKennung\r\nSoftware\r\nEEprom\r\n");
  for (int i = 0; i < kDecodeEntries; ++i) {
    const int kind = i % 11 == 10 ? 0xFE : 1 + i % 10;
    capture += QString::asprintf("%02X,%02X,%02X,%02X\r\n", kind, i % 8, (i / 8) % 256, i % 128).toLatin1();
  }
  const QString capturePath = dir.filePath(QStringLiteral("bench.cap"));
  const QString decodePath = dir.filePath(QStringLiteral("decode.ini"));
  if (!WriteFile(capturePath, capture) ||
      !WriteFile(decodePath, "[test]\r\nkennung=version-3\r\n[1:0]\r\n<>=Ruf [dd]\r\n[2:1]\r\n<>=Kdo [hh]\r\n"))
    return false;

  const int64_t start = bench::MonoNs();
  ulv::EventDecoder decoder;
  decoder.Init(decodePath, QString());
  QFile f(capturePath);
  if (!f.open(QIODevice::ReadOnly)) return false;
  const QStringList lines =
      QString::fromLatin1(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  int shown = 0;
  for (qsizetype i = 5; i < lines.size(); ++i) shown += decoder.DecodeCaptureLine(lines.at(i)).isEmpty() ? 0 : 1;
  const double seconds = static_cast<double>(bench::MonoNs() - start) / 1e9;
  std::printf("decoding a capture file of %d entries (read, split, decode)\n", kDecodeEntries);
  std::printf("  lines shown            %d\n", shown);
  std::printf("  elapsed                %.3f s (target < 1 s)\n", seconds);
  std::printf("  entries per second     %.0f\n", kDecodeEntries / seconds);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  if (!BenchDecode(dir)) {
    std::fprintf(stderr, "bench_stream: the capture file could not be written or read\n");
    return 1;
  }

  const QString scenario = dir.filePath(QStringLiteral("stream.json"));
  WriteFile(scenario, QStringLiteral(R"({"stream": {"count": %1, "size": 4000}})").arg(kFetchEntries).toLatin1());
  WriteFile(dir.filePath(QStringLiteral("b.ini")), "[files]\r\nDokuDir=" + dir.path().toUtf8() + "\r\n");
  bench::Rig rig(scenario);
  if (!rig.Start()) {
    std::fprintf(stderr, "bench_stream: no link to the simulated controller\n");
    return 1;
  }
  ulv::SystemClock clock;
  ulv::QtTimerFactory timers;
  ulv::LogHooks logs;
  ulv::Configuration config(clock, logs);
  config.OnInfoMessage = [](const QString&) {};  // a bare configuration lacks the default edit file
  config.Start({QStringLiteral("bench"), QStringLiteral("/i=") + dir.filePath(QStringLiteral("b.ini"))}, dir.path());
  ulv::PlantIdentity identity(rig.queue, rig.utils, clock);
  ulv::EventDecoder decoder;
  ulv::StreamRecorder recorder(rig.queue, clock, timers, config, identity, decoder);
  int ended = -1;
  recorder.OnFetchEnded = [&](bool ok) { ended = ok ? 1 : 0; };
  rig.BeginMeasure();
  recorder.Fetch();
  // The run request and its header after the last entry belong to the fetch.
  const bool finished = rig.SpinUntil([&] { return ended >= 0 && rig.queue.Count() == 0; }, 120000);
  rig.EndMeasure();
  if (!finished || ended != 1 || recorder.WriteCount() != kFetchEntries) {
    std::fprintf(stderr, "bench_stream: the fetch did not complete (%d entries)\n", recorder.WriteCount());
    return 1;
  }
  // 1000 x (F2 4B 03: 6 nibbles + FC reply: 26), plus stop and run (8 + 4
  // each) and three headers (6 + 30 each).
  const int transfers = kFetchEntries / 3 + 5;
  rig.Report("event stream: fetch of 3,000 entries", transfers,
             (kFetchEntries / 3 * 32.0 + 2 * 12 + 3 * 36) / transfers);
  bench::PrintRawBaseline(rig.Turns());
  return 0;
}
