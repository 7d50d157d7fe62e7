// The windowed program: unit initialisation (configuration and logs), the
// link units, every window, the start-up steps, the message loop, and the
// unit finalisation at the end.
#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <algorithm>
#include <cstdio>

#include "app/app_shell.h"
#include "app/program_window.h"
#include "common/user_config.h"
#include "context/app_context.h"
#include "context/app_units.h"
#include "link/qt_serial_line.h"

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace {

// SIGINT and SIGTERM end the program like "&Beenden", so the configuration
// and the logs are finished: the handler only writes to a socket that the
// event loop watches.
int signalPipe[2] = {-1, -1};
bool terminationRequested = false;

void OnSignal(int) {
  const char b = 1;
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[0], &b, 1);
}

void QuitOnTerminationSignals(QObject* parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, parent);
  QObject::connect(notifier, &QSocketNotifier::activated, parent, [] {
    char b = 0;
    [[maybe_unused]] const ssize_t n = ::read(signalPipe[1], &b, 1);
    terminationRequested = true;
    // A modal box (the start-up information among them) runs its own loop,
    // which quit() does not end before the main loop runs: close the boxes.
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (!w->isModal() || !w->isVisible()) continue;
      if (auto* box = qobject_cast<QDialog*>(w))
        box->reject();
      else
        w->close();
    }
    QCoreApplication::quit();
  });
  struct sigaction sa = {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
}

}  // namespace
#endif

namespace {
bool Terminating() {
#ifdef Q_OS_UNIX
  return terminationRequested;
#else
  return false;
#endif
}
}  // namespace

int main(int argc, char** argv) {
  QStringList rawArgs;
  for (int i = 0; i < argc; ++i) rawArgs.append(QString::fromLocal8Bit(argv[i]));
  const QString programName = QFileInfo(rawArgs.value(0, QStringLiteral("ulvreader"))).fileName();
  ulv::StartOptions options = ulv::ParseStartOptions(rawArgs);
  // Answered before any window system is needed.
  if (options.help) {
    std::fputs(qPrintable(ulv::UsageText(programName)), stdout);
    return 0;
  }
  if (options.version) {
    std::fputs(qPrintable(ulv::VersionText()), stdout);
    return 0;
  }

  QApplication app(argc, argv);
  // Qt has taken its own options out of the arguments by now.
  const QStringList args = QCoreApplication::arguments();
  options = ulv::ParseStartOptions(args);
  if (!options.unknown.isEmpty()) {
    std::fprintf(stderr, "%s: unknown option %s\n\n", qPrintable(programName),
                 qPrintable(options.unknown.first()));
    std::fputs(qPrintable(ulv::UsageText(programName)), stderr);
    return 2;
  }

#ifdef Q_OS_UNIX
  QuitOnTerminationSignals(&app);
#endif

  ulv::AppContext ctx;
  // The information box for a missing default edit file comes before the
  // main window.
  ctx.config.OnInfoMessage = [](const QString& text) {
    QMessageBox::information(nullptr, ulv::ApplicationTitle(), text, QMessageBox::Ok);
  };
  // An installed program started without "/i=" and without its configuration
  // in the working directory takes the user's own, made on first start.
  QStringList startArgs = args;
  if (std::none_of(args.begin(), args.end(), [](const QString& a) { return a.contains(QLatin1String("/i=")); })) {
    QString error;
    const QString user = ulv::FallbackConfiguration(QFileInfo(args.value(0)).completeBaseName() + QStringLiteral(".INI"),
                                                    QCoreApplication::applicationDirPath(), &error);
    if (!user.isEmpty())
      startArgs.append(QStringLiteral("/i=") + user);
    else if (!error.isEmpty())
      ctx.config.InfoMessage(error);
  }
  ctx.Start(startArgs);

  int rc = 0;
  if (!Terminating()) {
    const bool flowControl =
        ctx.config.FlowControl().compare(QLatin1String("none"), Qt::CaseInsensitive) != 0;
    ulv::QtSerialLine line(flowControl && !options.simulate);
    ulv::AppUnits units(ctx, line);
    line.OnTrace = [&units](const QString& text) { units.port.PortReport(text); };
    {
      ulv::ProgramWindows windows(ctx, units);
      windows.Start(options.simulate);
      if (options.readErrors) windows.ReadErrorsWhenLinked();
      // A signal during the start-up boxes came before the loop could end.
      if (!Terminating()) rc = app.exec();
    }
    line.OnTrace = nullptr;
  }
  // The configuration write-back must not fail unnoticed.
  QString saveError;
  if (!ctx.config.SaveIfChanged(&saveError)) {
    if (!Terminating()) QMessageBox::warning(nullptr, ulv::ApplicationTitle(), saveError);
    if (rc == 0) rc = 1;
  }
  ctx.Finish();
  return rc;
}
