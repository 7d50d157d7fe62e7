// The connection doctor on a made-up /dev, /sys and /proc, and on a real
// pseudo-terminal this test holds open.
#include "link/port_doctor.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>

#include "link/pty.h"
#include "support/test_support.h"

using namespace Qt::StringLiterals;

namespace ulv {
namespace {

using Kind = DoctorFinding::Kind;
using Level = DoctorFinding::Level;

// One USB adapter (FTDI, by-id name, latency timer 16 ms), a built-in port
// that is not fitted and a virtual console.
struct Tree {
  Tree() {
    const QString usb = At(u"sys/devices/usb1/1-1"_s);
    for (const auto& [file, text] : {std::pair{"idVendor", "0403"}, {"idProduct", "6001"}, {"product", "FT232R"}})
      test::WriteBytes(usb + u'/' + QLatin1String(file), text);
    test::WriteBytes(At(u"sys/bus/usb-serial/drivers/ftdi_sio/bind"_s), {});
    test::WriteBytes(At(u"sys/bus/usb-serial/devices/ttyUSB0/latency_timer"_s), "16\n");
    QDir().mkpath(usb + u"/1-1:1.0/ttyUSB0"_s);
    QFile::link(At(u"sys/bus/usb-serial/drivers/ftdi_sio"_s), usb + u"/1-1:1.0/ttyUSB0/driver"_s);
    QDir().mkpath(At(u"sys/class/tty/ttyUSB0"_s));
    QFile::link(usb + u"/1-1:1.0/ttyUSB0"_s, At(u"sys/class/tty/ttyUSB0/device"_s));
    test::WriteBytes(At(u"sys/class/tty/ttyS1/device/uevent"_s), {});
    test::WriteBytes(At(u"sys/class/tty/ttyS1/type"_s), "0\n");
    QDir().mkpath(At(u"sys/class/tty/tty0"_s));
    test::WriteBytes(Device(), {});
    QDir().mkpath(At(u"dev/serial/by-id"_s));
    QFile::link(u"../../ttyUSB0"_s, ById());
    QDir().mkpath(At(u"proc"_s));
    QDir().mkpath(At(u"lock"_s));
  }
  QString At(const QString& rel) const { return dir.filePath(rel); }
  QString Device() const { return At(u"dev/ttyUSB0"_s); }
  QString ById() const { return At(u"dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0"_s); }
  DoctorRoots Roots() const { return {At(u"dev"_s), At(u"sys"_s), At(u"proc"_s), {At(u"lock"_s)}}; }
  // A process with its name and, optionally, the device open.
  void Process(const char* pid, const char* name, bool holdsDevice) const {
    const QString base = At(u"proc/"_s + QLatin1String(pid));
    test::WriteBytes(base + u"/comm"_s, QByteArray(name) + '\n');
    QDir().mkpath(base + u"/fd"_s);
    if (holdsDevice) QFile::link(QFileInfo(Device()).canonicalFilePath(), base + u"/fd/7"_s);
  }
  QTemporaryDir dir;
};

bool Has(const QList<DoctorFinding>& f, Kind kind, Level level, const QString& says) {
  return std::any_of(f.cbegin(), f.cend(), [&](const DoctorFinding& d) {
    return d.kind == kind && d.level == level && (d.text + u' ' + d.advice).contains(says);
  });
}

TEST(PortDoctorTest, ListsAdaptersWithTheirStableNames) {
  const Tree t;
  const PortDoctor doctor(t.Roots());
  const QList<SerialDevice> devices = doctor.Devices();
  ASSERT_EQ(devices.size(), 1);
  const SerialDevice& d = devices.first();
  EXPECT_EQ(d.path, t.Device());
  EXPECT_EQ(d.byId, QStringList{t.ById()});
  EXPECT_EQ(d.driver, u"ftdi_sio"_s);
  EXPECT_EQ(d.vendorId + u':' + d.productId, u"0403:6001"_s);
  EXPECT_EQ(d.latencyTimer, u"16"_s);
  const QString report = PortDoctor::Report(devices, t.Device(), doctor.Examine(t.Device()));
  EXPECT_TRUE(report.contains(t.ById()) && report.contains(u"latency timer 16 ms"_s)) << qPrintable(report);
  // The stable name is what gets stored; a device without one stays as given.
  for (const QString& given : {t.Device(), u"ttyUSB0"_s, t.ById()}) EXPECT_EQ(doctor.StableName(given), t.ById());
  EXPECT_EQ(doctor.StableName(u"/nowhere/ttyX"_s), u"/nowhere/ttyX"_s);
}

// Permission is computed for a user who is not root, so the answers hold
// when the test runs as root too.
TEST(PortDoctorTest, ExplainsMissingPermissionAndBusyDevices) {
  const uint gid = getegid();
  const QString group = QString::fromLocal8Bit(getgrgid(gid) ? getgrgid(gid)->gr_name : "");
  struct Case {
    const char* name;
    bool byId;            // ask for the by-id name (else the device)
    bool gone;            // the device is unplugged
    int mode;
    QList<uint> groups;   // of this login
    QList<uint> memberOf; // in the user database
    const char* holder;   // a process that holds the device
    Kind kind;
    Level level;
    QString says;
  };
  const Case cases[] = {
      {"unplugged", true, true, 0660, {}, {}, nullptr, Kind::Missing, Level::Problem, u"not plugged in"_s},
      {"not in the group", false, false, 0660, {}, {}, nullptr, Kind::Permission, Level::Problem,
       u"sudo usermod -aG %1 tech, then log out"_s.arg(group)},
      {"added, same login", true, false, 0660, {}, {gid}, nullptr, Kind::Permission, Level::Problem,
       u"Log out and log in again"_s},
      {"in the group", false, false, 0660, {gid}, {gid}, nullptr, Kind::Permission, Level::Ok, u"allowed"_s},
      {"owner only", false, false, 0600, {gid}, {gid}, nullptr, Kind::Permission, Level::Problem, u"udev rule"_s},
      {"open elsewhere", false, false, 0666, {}, {}, "200", Kind::Busy, Level::Problem, u"process 200 (minicom)"_s},
      {"free", false, false, 0666, {}, {}, nullptr, Kind::Busy, Level::Ok, u"No other program"_s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Tree t;
    t.Process("100", "ModemManager", false);
    if (c.holder) t.Process(c.holder, "minicom", true);
    ASSERT_EQ(chmod(QFile::encodeName(t.Device()).constData(), c.mode), 0);
    if (c.gone) QFile::remove(t.Device());
    const PortDoctor doctor(t.Roots(), DoctorUser{4242, u"tech"_s, c.groups, c.memberOf});
    const QList<DoctorFinding> f = doctor.Examine(c.byId ? t.ById() : t.Device());
    const QString report = PortDoctor::Report(doctor.Devices(), t.Device(), f);
    EXPECT_TRUE(Has(f, c.kind, c.level, c.says)) << qPrintable(report);
    EXPECT_EQ(PortDoctor::HasProblem(f), c.level == Level::Problem) << qPrintable(report);
    EXPECT_TRUE(Has(f, Kind::Grabber, Level::Note, u"ModemManager"_s));
    if (!c.gone) {
      EXPECT_TRUE(Has(f, Kind::Latency, Level::Note, u"16 ms"_s)) << qPrintable(report);
    }
  }
}

TEST(PortDoctorTest, NamesTheProcessThatHoldsAPty) {
  PtyPair pty;  // keeps its slave open in this process
  QString error;
  ASSERT_TRUE(pty.Open(&error)) << qPrintable(error);
  const QList<DoctorFinding> f = PortDoctor().Examine(pty.SlavePath());
  EXPECT_TRUE(Has(f, Kind::Busy, Level::Note, u"process %1 ("_s.arg(QCoreApplication::applicationPid())))
      << qPrintable(PortDoctor::Report({}, pty.SlavePath(), f));
}

}  // namespace
}  // namespace ulv
