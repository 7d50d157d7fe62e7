// ulv-screenshots DIR: the windowed program offscreen against its built-in
// simulated controller, in a temporary copy of the demo folder. Each window is opened the way a user opens it,
// filled by its own read, and saved as DIR/screenshot_<name>.png; embedded
// windows are shown inside the main window. scripts/screenshots runs it for
// docs/, so the user guide's pictures follow the program.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/program_window.h"
#include "context/app_context.h"
#include "context/app_units.h"
#include "link/com_port_window.h"
#include "link/qt_serial_line.h"
#include "sim/pty_simulator.h"

namespace {

using namespace ulv;

// A copy of the demo folder in `dir` (its configuration names "." as base,
// so the program runs in the copy as scripts/run runs in demo/); the path of
// its configuration.
QString CopyDemo(const QString& dir) {
  const QDir demo(QStringLiteral(ULV_SOURCE_DIR "/demo"));
  QDirIterator it(demo.path(), QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString from = it.next();
    const QString rel = demo.relativeFilePath(from);
    if (rel.startsWith(QLatin1String("work/"))) continue;
    const QString to = dir + u'/' + rel;
    if (!QDir().mkpath(QFileInfo(to).path()) || !QFile::copy(from, to)) return QString();
  }
  if (!QDir().mkpath(dir + QStringLiteral("/work"))) return QString();
  return dir + QStringLiteral("/ulvreader.INI");
}

// Runs the event loop until `done` or `limitMs`; at least `minMs`, so that a
// read a click started has begun before its end is looked for.
bool SpinUntil(const std::function<bool()>& done, int minMs, int limitMs) {
  QDeadlineTimer least(minMs);
  QDeadlineTimer deadline(limitMs);
  while (!(least.hasExpired() && done()) && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  return done();
}

bool Empty(QWidget* in, const char* name) {
  if (auto* e = in->findChild<QLineEdit*>(QLatin1String(name))) return e->text().isEmpty();
  if (auto* l = in->findChild<QLabel*>(QLatin1String(name))) return l->text().isEmpty();
  if (auto* m = in->findChild<QPlainTextEdit*>(QLatin1String(name))) return m->toPlainText().isEmpty();
  return true;
}

void Click(QWidget* in, const char* name) {
  if (auto* b = in->findChild<QAbstractButton*>(QLatin1String(name))) b->click();
}

struct Shot {
  const char* name;
  QWidget* window;
  const char* action;            // toolbar button or menu item that opens it; null: already open
  std::function<void()> start;   // the user's clicks in the window
  std::function<bool()> ready;   // the window shows what its read brought
};

// The serial window in a modem session: the simulated modem with its framed
// partner on a pty of its own, tested and dialled from the window's buttons;
// the error memory is then read over frames. The number of failures.
int ModemShot(AppUnits& units, ProgramWindows& windows, QtSerialLine& line, const QString& outDir) {
  SimOptions options;
  options.modem = true;
  options.lineTiming = false;
  options.sampleLimit = 0;
  PtySimulator modem(options);
  QString slave;
  QString error;
  if (!modem.Start(&slave, &error)) {
    std::fprintf(stderr, "ulv-screenshots: modem: %s\n", qPrintable(error));
    return 1;
  }
  line.SetControlDir(modem.LinesDir());
  units.linePort.ReleaseLine();
  units.port.OpenDevice(slave, 2);
  TMyComPort* w = windows.MyComPort;
  w->InputBox = [](const QString&, const QString&, QString* text) {
    *text = QStringLiteral("0815");
    return true;
  };
  w->show();
  int failed = 0;
  Click(w, "TestButton");
  if (!SpinUntil([&] { return units.modem.ModemOpenColor() == clGreen && !units.modem.ModemId().startsWith(u"keine"); },
                 0, 15000))
    ++failed;
  Click(w, "DialButton");
  if (!SpinUntil([&] { return units.queue.Mode() == 1 && units.port.Link().IsLinked(); }, 0, 30000)) ++failed;
  windows.Form4->HolenButtonClick();
  if (!SpinUntil([&] { return !units.errorReader.IsReading(); }, 500, 60000)) ++failed;
  SpinUntil([] { return true; }, 500, 500);
  const QString file = outDir + QStringLiteral("/screenshot_modem.png");
  if (failed > 0) std::fputs("ulv-screenshots: modem: the session did not come up in time\n", stderr);
  if (!w->grab().save(file)) {
    std::fprintf(stderr, "ulv-screenshots: %s cannot be written\n", qPrintable(file));
    ++failed;
  }
  Click(w, "HangUpButton");
  SpinUntil([] { return true; }, 1500, 1500);
  w->hide();
  line.SetControlDir(QString());
  return failed;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() != 2 || args.at(1).startsWith(u'-')) {
    std::fputs("usage: ulv-screenshots DIR\n", stderr);
    return 2;
  }
  const QString outDir = QDir(args.at(1)).absolutePath();
  QTemporaryDir work(QDir::tempPath() + QStringLiteral("/ulvreader-demo-XXXXXX"));
  const QString ini = work.isValid() ? CopyDemo(work.path()) : QString();
  if (ini.isEmpty()) {
    std::fputs("ulv-screenshots: cannot copy the demo folder\n", stderr);
    return 1;
  }

  // As scripts/run runs in demo/: fehler.bin and other relative names land in the copy.
  QDir::setCurrent(work.path());
  AppContext ctx;
  ctx.Start({QStringLiteral("ulvreader"), QStringLiteral("/i=") + ini}, work.path());
  QtSerialLine line(false);
  AppUnits units(ctx, line);
  line.OnTrace = [&units](const QString& text) { units.port.PortReport(text); };
  units.simOptions.lineTiming = false;
  ProgramWindows windows(ctx, units);
  TForm3& main = *windows.Form3;
  main.OpenHelpUrl = [](const QUrl&) {};
  windows.Start(true);
  windows.ReadErrorsWhenLinked();
  // Wakes the loop while a window waits for a read.
  QTimer tick;
  tick.start(20);

  bool fetchStarted = false;
  const Shot shots[] = {
      {"main", windows.Form4, nullptr, nullptr,
       [&] { return !units.errorReader.IsReading() && windows.Form4->Memo()->toPlainText().trimmed().endsWith(u"OK"); }},
      {"identity", windows.NamenForm, "SpeedButton2", nullptr, [] { return true; }},
      {"data", windows.Form9, "DataButton", [&] { Click(windows.Form9, "AllesButton"); },
       [&] { return !units.dataReport.ChainFlag(); }},
      {"recorder", windows.Form14, "RecordButton", [&] { units.recorder.CheckInterface(); },
       [&] {
         if (units.recorder.InterfaceValid() && !fetchStarted) fetchStarted = units.recorder.Fetch();
         return fetchStarted && !units.recorder.IsFetching();
       }},
      {"firmware", windows.Form1, "HKFWButton", [&] { Click(windows.Form1, "ReadButton"); },
       [&] { return !Empty(windows.Form1, "ErrorDisplay") && !Empty(windows.Form1, "Memo2"); }},
      {"debugger", windows.UlvDebug, "DebugButton", [&] { Click(windows.UlvDebug, "Button3"); },
       [&] { return windows.UlvDebug->findChild<QAbstractButton*>(QStringLiteral("Button5"))->isEnabled(); }},
      {"monitor", windows.Form10, "SpeedButton1", [&] { Click(windows.Form10, "BitBtn1"); },
       [&] { return !Empty(windows.Form10, "LCD_1"); }},
      {"sysvar", windows.Form8, "SysVar1", [&] { windows.Form8->ReadButtonClick(); },
       [&] { return !units.recordReader.IsReading(); }},
      {"dump", windows.Form5, "Dump1",
       [&] {
         windows.Form5->Edit1()->setText(QStringLiteral("$D000"));
         windows.Form5->DumpButtonClick();
       },
       [&] { return !units.memoryDump.IsRunning(); }},
      {"line", windows.Qel_Form, "QelButton", nullptr, [] { return true; }},
      {"transfers", windows.Send, "SendButton", [&] { main.SendTime(); }, [] { return true; }},
      {"comport", windows.MyComPort, "ComWindow1", nullptr, [] { return true; }},
      {"settings", windows.ini_form, "IniFile1", nullptr, [] { return true; }},
      {"files", windows.Files, "FILES1", nullptr, [] { return true; }},
  };

  if (!SpinUntil([&] { return units.port.Link().IsLinked(); }, 0, 30000)) {
    std::fputs("ulv-screenshots: the simulated controller did not answer\n", stderr);
    return 1;
  }
  int failed = 0;
  for (const Shot& s : shots) {
    if (s.action != nullptr) {
      auto* a = main.findChild<QAction*>(QLatin1String(s.action));
      if (a == nullptr) {
        std::fprintf(stderr, "ulv-screenshots: %s: no item %s\n", s.name, s.action);
        ++failed;
        continue;
      }
      a->trigger();
    }
    if (s.start) s.start();
    // A second of line traffic for the windows that show the line.
    if (!SpinUntil(s.ready, 1000, 60000)) {
      std::fprintf(stderr, "ulv-screenshots: %s: the window did not fill in time\n", s.name);
      ++failed;
    }
    const QString file = outDir + QStringLiteral("/screenshot_") + QLatin1String(s.name) + QStringLiteral(".png");
    if (!s.window->window()->grab().save(file)) {
      std::fprintf(stderr, "ulv-screenshots: %s cannot be written\n", qPrintable(file));
      ++failed;
    }
    // A hidden window ends its loops, so the next one has the line to itself.
    s.window->hide();
  }
  failed += ModemShot(units, windows, line, outDir);
  line.OnTrace = nullptr;
  return failed == 0 ? 0 : 1;
}
