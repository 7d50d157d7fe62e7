#include "cli/cli_main.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

#include "cli/cli_options.h"
#include "cli/cli_session.h"
#include "common/user_config.h"
#include "context/app_context.h"

namespace ulv {

int CliMain(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("ulvreader-cli"));

  CliOptions options;
  int exitCode = 0;
  QString message;
  if (ParseCliArguments(QCoreApplication::arguments(), &options, &exitCode, &message) == CliParse::Exit) {
    std::fputs(message.toUtf8().constData(), exitCode == 0 ? stdout : stderr);
    return exitCode;
  }

  AppContext ctx;
  ctx.config.OnInfoMessage = [](const QString& text) {
    std::fprintf(stderr, "ulvreader-cli: %s\n", text.toUtf8().constData());
  };
  // The windowed program's own configuration file: "/i=" as on its command line.
  QString ini = options.ini;
  if (ini.isEmpty()) {
    ini = QStringLiteral("ulvreader.INI");
    QString error;
    const QString user = FallbackConfiguration(ini, QCoreApplication::applicationDirPath(), &error);
    if (!user.isEmpty()) ini = user;
    if (!error.isEmpty()) ctx.config.InfoMessage(error);
  }
  ctx.Start({QCoreApplication::applicationFilePath(), QStringLiteral("/i=") + ini}, QDir::currentPath());

  CliSession session(ctx, options);
  session.OnError = [](const QString& text) {
    std::fprintf(stderr, "ulvreader-cli: %s\n", text.toUtf8().constData());
  };
  if (isatty(STDERR_FILENO)) {
    session.OnProgress = [](const QString& text) {
      // One line, rewritten in place; blanked at the end.
      std::fprintf(stderr, "\r%-60s", text.toUtf8().constData());
      if (text.isEmpty()) std::fputc('\r', stderr);
      std::fflush(stderr);
    };
  }
  const int code = session.Run();
  ctx.Finish();
  return code;
}

}  // namespace ulv
