// The configuration's write-back over and over, for the crash-safety run of
// scripts/reliability: each turn starts the configuration from FILE, changes
// the capture file number to the turn's number and writes the file back as
// the programs do when they end. Prints each number once its file is written;
// a failed write prints the message on stderr and ends with status 4.
//
//   bench_config_save FILE [turns, default endless]
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

#include "context/app_context.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_config_save FILE [turns]\n");
    return 2;
  }
  const QString path = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
  const long turns = argc > 2 ? atol(argv[2]) : -1;
  for (long n = 1; turns < 0 || n <= turns; ++n) {
    ulv::AppContext ctx;
    ctx.config.OnInfoMessage = [](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); };
    ctx.Start({QStringLiteral("bench_config_save"), QStringLiteral("/i=") + path}, QFileInfo(path).path());
    ctx.config.SetTarvoNummer(static_cast<int>(n % 100000));
    QString error;
    if (!ctx.config.SaveIfChanged(&error)) {
      std::fprintf(stderr, "%s\n", qPrintable(error));
      return 4;
    }
    std::printf("%ld\n", n);
    std::fflush(stdout);
  }
  return 0;
}
