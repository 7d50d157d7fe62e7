// The QSerialPort adapter against a pseudo-terminal: a pty refuses DTR and
// the modem lines, which must not matter; a vanished device closes once.
#include "link/qt_serial_line.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <functional>

#include "link/pty.h"
#include "sim/pty_simulator.h"
#include "tool_side.h"

namespace {

// Runs the event loop until `done` or the limit.
bool SpinUntil(const std::function<bool()>& done, int limitMs = 3000) {
  QDeadlineTimer deadline(limitMs);
  while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

void SpinFor(int ms) {
  QDeadlineTimer deadline(ms);
  while (!deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// An adapter opened on a fresh pty, with its reports collected.
struct PtyLine {
  PtyLine() {
    ok = pty.Open(&error);
    if (!ok) return;
    line.OnTrace = [this](const QString& l) { trace << l; };
    line.OnDataAvailable = [this] { ++available; };
    line.OnLost = [this](const QString& r) { lost << r; };
    ok = line.Open(pty.SlavePath(), &error);
  }
  ulv::PtyPair pty;
  ulv::QtSerialLine line;
  QString error;
  bool ok = false;
  QStringList trace;
  int available = 0;
  QStringList lost;
};

}  // namespace

TEST(QtSerialLine, PermissionDeniedNamesGroupAndCommand) {
  // Directly in /tmp, so that an ordinary user can see it.
  QFile file(QStringLiteral("/tmp/ulv-tty-%1").arg(QCoreApplication::applicationPid()));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  ASSERT_TRUE(file.setPermissions(QFileDevice::Permissions()));
  struct Remove {
    QFile& f;
    ~Remove() { f.remove(); }
  } remove{file};
  const bool root = geteuid() == 0;
  // As root every file is accessible: look at it as an ordinary user.
  if (root) {
    ASSERT_EQ(seteuid(65534), 0);
  }
  const QString text = ulv::QtSerialLine::DescribeOpenFailure(file.fileName(), EACCES, QString());
  if (root) {
    ASSERT_EQ(seteuid(0), 0);
  }
  EXPECT_TRUE(text.contains(file.fileName())) << qPrintable(text);
  EXPECT_TRUE(text.contains(QLatin1String("No permission"))) << qPrintable(text);
  EXPECT_TRUE(text.contains(QLatin1String("usermod -aG "))) << qPrintable(text);
  // The group is the file's own group.
  struct stat st {};
  ASSERT_EQ(::stat(file.fileName().toLocal8Bit().constData(), &st), 0);
  if (const group* g = getgrgid(st.st_gid)) {
    EXPECT_TRUE(text.contains(QStringLiteral("\"%1\"").arg(QString::fromLocal8Bit(g->gr_name))))
        << qPrintable(text);
  }
}

// A missing or busy device is named in the error with the reason.
TEST(QtSerialLine, OpenFailuresSayWhy) {
  ulv::PtyPair pty;
  QString error;
  ASSERT_TRUE(pty.Open(&error)) << qPrintable(error);
  ulv::QtSerialLine first;
  ASSERT_TRUE(first.Open(pty.SlavePath(), &error)) << qPrintable(error);
  // The message names the device the port really tried: a bare name is
  // looked up in /dev.
  const struct {
    QString device;
    QString named;
    const char* reason;
  } cases[] = {{u"/dev/ttyNoSuchUlvPort"_s, u"/dev/ttyNoSuchUlvPort"_s, "does not exist"},
               {u"ttyNoSuchUlvPort"_s, u"/dev/ttyNoSuchUlvPort"_s, "does not exist"},
               {pty.SlavePath(), pty.SlavePath(), "busy"}};
  for (const auto& c : cases) {
    ulv::QtSerialLine line;
    EXPECT_FALSE(line.Open(c.device, &error));
    EXPECT_TRUE(error.contains(c.named) && error.contains(QLatin1String(c.reason))) << qPrintable(error);
    EXPECT_FALSE(line.IsOpen());
  }
  EXPECT_TRUE(first.IsOpen());
  // A relative path with a slash is taken from the working directory.
  ulv::PtyPair second;
  ASSERT_TRUE(second.Open(&error)) << qPrintable(error);
  const QString cwd = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(u"/dev"_s));
  ulv::QtSerialLine relative;
  const bool opened = relative.Open(second.SlavePath().mid(5), &error);
  QDir::setCurrent(cwd);
  EXPECT_TRUE(opened) << qPrintable(error);
  EXPECT_EQ(relative.Device(), second.SlavePath());
}

TEST(QtSerialLine, WorksOverAPtyAndFlushesAtOnce) {
  PtyLine p;
  ASSERT_TRUE(p.ok) << qPrintable(p.error);
  auto& [pty, line, error, ok, trace, available, lost] = p;
  EXPECT_TRUE(line.IsOpen());
  EXPECT_EQ(line.Device(), pty.SlavePath());
  // The low-latency request is answered in the trace, whatever the driver says.
  EXPECT_TRUE(trace.join(QLatin1Char('\n')).contains(QLatin1String("low latency")))
      << qPrintable(trace.join('\n'));

  // DTR and modem lines do not exist on a pty: no error, no loss.
  line.SetDtr(false);
  line.SetDtr(true);
  (void)line.Lines();

  // Written bytes are on the line without an event-loop pass; 0x11 and 0x13
  // pass untouched (no XON/XOFF).
  const QByteArray out("\x11\x13\xF0\x40\x00", 5);
  ASSERT_TRUE(line.Write(out));
  EXPECT_EQ(ulvtest::ReadFd(pty.MasterFd(), out.size()).toHex(), out.toHex());

  const QByteArray in("\x13\x11\x2F", 3);
  ASSERT_EQ(::write(pty.MasterFd(), in.constData(), static_cast<size_t>(in.size())), in.size());
  ASSERT_TRUE(SpinUntil([&] { return line.BytesAvailable() >= in.size(); }));
  EXPECT_GE(available, 1);
  EXPECT_EQ(line.Read(100).toHex(), in.toHex());
  EXPECT_TRUE(lost.isEmpty());
  EXPECT_TRUE(line.IsOpen());
  line.Close();
  EXPECT_FALSE(line.IsOpen());
  EXPECT_TRUE(lost.isEmpty()) << "closing on purpose is no loss";
}

// A vanished device closes once, without a flood of reports, and the line
// opens again on a new device.
TEST(QtSerialLine, VanishedDeviceClosesOnceWithoutFloodAndReopens) {
  PtyLine p;
  ASSERT_TRUE(p.ok) << qPrintable(p.error);
  auto& [pty, line, error, ok, trace, available, lost] = p;
  pty.CloseMaster();
  // Reading or writing notices the loss.
  line.Write(QByteArray(1, '\x40'));
  ASSERT_TRUE(SpinUntil([&] { return !lost.isEmpty(); }));
  SpinFor(300);  // no more reports while the loop keeps running
  ASSERT_EQ(lost.size(), 1);
  EXPECT_FALSE(lost[0].isEmpty());
  EXPECT_FALSE(line.IsOpen());
  EXPECT_FALSE(line.Write(QByteArray(1, '\x40')));
  EXPECT_TRUE(line.Read(10).isEmpty());
  EXPECT_EQ(trace.filter(QStringLiteral("lost")).size(), 1) << qPrintable(trace.join('\n'));
  EXPECT_LE(available, 1);

  ulv::PtyPair second;
  ASSERT_TRUE(second.Open(&error));
  ASSERT_TRUE(line.Open(second.SlavePath(), &error)) << qPrintable(error);
  EXPECT_TRUE(line.IsOpen());
  ASSERT_TRUE(line.Write(QByteArray(1, '\x21')));
  EXPECT_EQ(ulvtest::ReadFd(second.MasterFd(), 1).toHex(), QByteArray("21"));
  SpinFor(100);
  EXPECT_EQ(lost.size(), 1);
}

// ulv-sim's modem on a pty: the adapter takes the modem lines from the
// simulator's control directory and hands its DTR back through it.
TEST(QtSerialLine, ModemLinesThroughTheControlDirectory) {
  ulv::SimOptions o;
  o.modem = true;
  ulv::PtySimulator sim(o);
  QString path, error;
  ASSERT_TRUE(sim.Start(&path, &error)) << qPrintable(error);
  ulv::QtSerialLine line(false);
  line.SetControlDir(sim.LinesDir());
  ASSERT_TRUE(line.Open(path, &error)) << qPrintable(error);
  QByteArray got;
  auto receive = [&](const QByteArray& expect) {
    return SpinUntil([&] {
      got += line.Read(256);
      return got.endsWith(expect);
    });
  };
  EXPECT_TRUE(line.Lines().dsr);
  EXPECT_FALSE(line.Lines().dcd);
  line.Write("ATE0\rATDT1\r"_ba);
  ASSERT_TRUE(receive("\r\nCONNECT 9600\r\n"_ba)) << got.constData();
  EXPECT_TRUE(SpinUntil([&] { return line.Lines().dcd; }));
  got.clear();
  line.Write("AT01\r\x01"_ba);
  EXPECT_TRUE(receive("\x06\x15\x15"_ba)) << got.toHex(' ').constData();
  line.SetDtr(false);
  EXPECT_TRUE(receive("\r\nNO CARRIER\r\n"_ba)) << got.toHex(' ').constData();
  EXPECT_TRUE(SpinUntil([&] { return !line.Lines().dcd; }));
}
