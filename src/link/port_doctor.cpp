#include "link/port_doctor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <vector>

#include "link/com_port.h"
#include "link/line_port.h"
#include "link/link_state.h"
#include "link/qt_serial_line.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace ulv {

namespace {

using Kind = DoctorFinding::Kind;
using Level = DoctorFinding::Level;

QString ReadSmallFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(f.read(4096)).trimmed();
}

bool IsNumber(const QString& s) {
  bool ok = false;
  s.toUInt(&ok);
  return ok;
}

// The target of a symbolic link as it is written (a /proc fd link names the
// opened file this way).
QString LinkText(const QString& path) {
#ifdef Q_OS_UNIX
  char buf[4096];
  const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buf, sizeof buf);
  if (n > 0) return QFile::decodeName(QByteArray(buf, static_cast<int>(n)));
#else
  Q_UNUSED(path);
#endif
  return QString();
}

QString GroupName(uint gid) {
#ifdef Q_OS_UNIX
  if (const group* g = getgrgid(gid)) return QString::fromLocal8Bit(g->gr_name);
#endif
  return QString::number(gid);
}

QString UserName(uint uid) {
#ifdef Q_OS_UNIX
  if (const passwd* p = getpwuid(uid)) return QString::fromLocal8Bit(p->pw_name);
#endif
  return QString::number(uid);
}

QString ModeText(uint mode) {
  QString s;
  const char* letters = "rwxrwxrwx";
  for (int bit = 8; bit >= 0; --bit) s += (mode & (1u << bit)) ? QLatin1Char(letters[8 - bit]) : QLatin1Char('-');
  return s;
}

DoctorFinding Make(Kind kind, Level level, const QString& text, const QString& advice = QString()) {
  return DoctorFinding{kind, level, text, advice};
}

// Programs known to open serial adapters that appear, by their process name.
struct Grabber {
  const char* process;
  const char* text;
  const char* advice;
};
constexpr Grabber kGrabbers[] = {
    {"ModemManager",
     "ModemManager is running: it probes newly plugged serial adapters for modems and holds them for a few "
     "seconds, longer for adapters it takes for a modem.",
     "If the port is busy right after plugging in, wait a moment; if it stays busy: "
     "sudo systemctl stop ModemManager (for good: sudo systemctl disable ModemManager)."},
    {"brltty",
     "brltty is running: it takes USB serial adapters with some chips (CH340, CP210x) for braille displays, "
     "and their device disappears again.",
     "Without a braille display: sudo apt remove brltty, then plug the adapter in again."},
};

}  // namespace

DoctorUser DoctorUser::Current() {
  DoctorUser u;
#ifdef Q_OS_UNIX
  u.uid = geteuid();
  gid_t primary = getegid();
  if (const passwd* p = getpwuid(u.uid)) {
    u.name = QString::fromLocal8Bit(p->pw_name);
    primary = p->pw_gid;
    int count = 256;
    std::vector<gid_t> list(static_cast<size_t>(count));
    if (getgrouplist(p->pw_name, primary, list.data(), &count) >= 0) {
      for (int i = 0; i < count; ++i) u.memberOf.append(list[static_cast<size_t>(i)]);
    }
  }
  u.groups.append(getegid());
  const int n = getgroups(0, nullptr);
  if (n > 0) {
    std::vector<gid_t> list(static_cast<size_t>(n));
    const int got = getgroups(n, list.data());
    for (int i = 0; i < got; ++i) u.groups.append(list[static_cast<size_t>(i)]);
  }
#endif
  if (u.name.isEmpty()) u.name = qEnvironmentVariable("USER", QStringLiteral("$USER"));
  return u;
}

PortDoctor::PortDoctor(DoctorRoots roots, DoctorUser user) : roots_(std::move(roots)), user_(std::move(user)) {}

SerialDevice PortDoctor::Describe(const QString& name) const {
  SerialDevice d;
  d.name = name;
  d.path = roots_.dev + QLatin1Char('/') + name;
  const QString devLink = roots_.sys + QStringLiteral("/class/tty/") + name + QStringLiteral("/device");
  // Newer kernels put generic serial-base devices (port, ctrl) between a
  // built-in port's tty and its hardware; the hardware's driver says more.
  QString driverOf = devLink;
  for (int level = 0; level < 3; ++level) {
    const QString driver = QFileInfo(driverOf + QStringLiteral("/driver")).canonicalFilePath();
    d.driver = QFileInfo(driver).fileName();
    if (!driver.contains(QLatin1String("/bus/serial-base/"))) break;
    driverOf += QStringLiteral("/..");
  }
  // The USB device is a few levels above the tty's own device (port,
  // interface, device).
  QDir up(QFileInfo(devLink).canonicalFilePath());
  for (int level = 0; level < 4 && !up.isRoot() && !up.path().isEmpty(); ++level) {
    if (up.exists(QStringLiteral("idVendor"))) {
      d.vendorId = ReadSmallFile(up.filePath(QStringLiteral("idVendor")));
      d.productId = ReadSmallFile(up.filePath(QStringLiteral("idProduct")));
      d.manufacturer = ReadSmallFile(up.filePath(QStringLiteral("manufacturer")));
      d.product = ReadSmallFile(up.filePath(QStringLiteral("product")));
      d.serial = ReadSmallFile(up.filePath(QStringLiteral("serial")));
      break;
    }
    if (!up.cdUp()) break;
  }
  d.latencyTimer =
      ReadSmallFile(roots_.sys + QStringLiteral("/bus/usb-serial/devices/") + name + QStringLiteral("/latency_timer"));
  const QString devPath = QFileInfo(d.path).canonicalFilePath();
  const QFileInfoList ids = QDir(roots_.dev + QStringLiteral("/serial/by-id"))
                                .entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  for (const QFileInfo& id : ids) {
    if (!devPath.isEmpty() && id.canonicalFilePath() == devPath) d.byId.append(id.filePath());
  }
  return d;
}

QList<SerialDevice> PortDoctor::Devices() const {
  QList<SerialDevice> out;
  const QString ttys = roots_.sys + QStringLiteral("/class/tty");
  const QStringList names = QDir(ttys).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  for (const QString& name : names) {
    const QString base = ttys + QLatin1Char('/') + name;
    if (!QFileInfo::exists(base + QStringLiteral("/device"))) continue;  // virtual consoles, ptys
    // A built-in port that is not fitted has UART type 0.
    if (ReadSmallFile(base + QStringLiteral("/type")) == QLatin1String("0")) continue;
    out.append(Describe(name));
  }
  return out;
}

std::optional<DoctorFinding> PortDoctor::CheckPermission(const QString& path) const {
#ifdef Q_OS_UNIX
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return std::nullopt;
  if (user_.uid == 0) return Make(Kind::Permission, Level::Ok, QStringLiteral("Running as root: no permission limit."));
  const uint mode = st.st_mode & 0777;
  const QString group = GroupName(st.st_gid);
  const bool inGroup = user_.groups.contains(st.st_gid);
  uint need = S_IROTH | S_IWOTH;
  if (st.st_uid == user_.uid) {
    need = S_IRUSR | S_IWUSR;
  } else if (inGroup) {
    need = S_IRGRP | S_IWGRP;
  }
  const QString facts = QStringLiteral("%1 belongs to user %2, group \"%3\", mode %4")
                            .arg(path, st.st_uid == user_.uid ? user_.name : UserName(st.st_uid), group,
                                 ModeText(mode));
  if ((mode & need) == need) {
    return Make(Kind::Permission, Level::Ok, QStringLiteral("Read and write allowed (%1).").arg(facts));
  }
  const bool groupMay = (mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  if (!groupMay) {
    return Make(Kind::Permission, Level::Problem,
                QStringLiteral("No permission: %1; its group may not read and write it either.").arg(facts),
                QStringLiteral("Ask the administrator for a udev rule that gives the device to group \"dialout\" "
                               "(or to the logged-in user)."));
  }
  if (user_.memberOf.contains(st.st_gid)) {
    return Make(Kind::Permission, Level::Problem,
                QStringLiteral("No permission yet: %1. User %2 is in group \"%3\", but this login started "
                               "before that.")
                    .arg(facts, user_.name, group),
                QStringLiteral("Log out and log in again (or restart the computer): a new login is needed "
                               "before the group counts."));
  }
  return Make(Kind::Permission, Level::Problem,
              QStringLiteral("No permission: %1, and user %2 is not in group \"%3\".").arg(facts, user_.name, group),
              QStringLiteral("sudo usermod -aG %1 %2, then log out and log in again (a new login is needed "
                             "before the group counts).")
                  .arg(group, user_.name));
#else
  Q_UNUSED(path);
  return std::nullopt;
#endif
}

QString PortDoctor::ProcessName(const QString& pid) const {
  const QString name = ReadSmallFile(roots_.proc + QLatin1Char('/') + pid + QStringLiteral("/comm"));
  return name.isEmpty() ? QStringLiteral("?") : name;
}

QList<DoctorFinding> PortDoctor::CheckHolders(const QString& path) const {
  QList<DoctorFinding> out;
  const QString target = QFileInfo(path).canonicalFilePath();
  const QString self = QString::number(QCoreApplication::applicationPid());
  const bool pseudo = target.startsWith(QLatin1String("/dev/pts/"));
  int hidden = 0;
  bool othersHold = false;
  const QStringList pids = QDir(roots_.proc).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const QString& pid : pids) {
    if (!IsNumber(pid)) continue;
    const QString fdDir = roots_.proc + QLatin1Char('/') + pid + QStringLiteral("/fd");
    QDir fds(fdDir);
    if (!fds.isReadable()) {
      ++hidden;
      continue;
    }
    const QStringList entries = fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& fd : entries) {
      if (LinkText(fdDir + QLatin1Char('/') + fd) != target) continue;
      const QString who = QStringLiteral("process %1 (%2)").arg(pid, ProcessName(pid));
      if (pid == self) {
        out.append(Make(Kind::Busy, Level::Note, QStringLiteral("Held open by this program, %1.").arg(who)));
      } else if (pseudo) {
        // A pseudo-terminal's far end (a simulator) keeps it open by design.
        out.append(Make(Kind::Busy, Level::Note,
                        QStringLiteral("Also held open by %1; for a pseudo-terminal that is usually its other end "
                                       "(a simulator).")
                            .arg(who)));
      } else {
        othersHold = true;
        out.append(Make(Kind::Busy, Level::Problem, QStringLiteral("Busy: held open by %1.").arg(who),
                        QStringLiteral("End that program or let it close the port, then try again.")));
      }
      break;
    }
  }
  const QString name = QFileInfo(target).fileName();
  for (const QString& dir : roots_.lockDirs) {
    const QString lock = dir + QStringLiteral("/LCK..") + name;
    if (!QFileInfo::exists(lock)) continue;
    const QString pid = ReadSmallFile(lock).section(QLatin1Char('\n'), 0, 0).trimmed();
    if (IsNumber(pid) && QFileInfo::exists(roots_.proc + QLatin1Char('/') + pid)) {
      if (pid == self) continue;
      othersHold = true;
      out.append(Make(Kind::Busy, Level::Problem,
                      QStringLiteral("Locked by process %1 (%2): lock file %3.").arg(pid, ProcessName(pid), lock),
                      QStringLiteral("End that program, then try again.")));
    } else {
      out.append(Make(Kind::Busy, Level::Note, QStringLiteral("Stale lock file %1 (its process is gone).").arg(lock),
                      QStringLiteral("It can be deleted: rm %1").arg(lock)));
    }
  }
#ifdef Q_OS_UNIX
  // A program that holds the device with exclusive use (TIOCEXCL) makes every
  // further open fail with EBUSY; root is let through anyway.
  if (out.isEmpty()) {
    const int fd = ::open(QFile::encodeName(target).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      ::close(fd);
    } else if (errno == EBUSY) {
      othersHold = true;
      out.append(Make(Kind::Busy, Level::Problem,
                      QStringLiteral("Busy: another program has the device in exclusive use."),
                      QStringLiteral("Close the other serial program (terminal, another ulvreader), then try again.")));
    } else if (errno == EIO || errno == ENXIO || errno == ENODEV) {
      out.append(Make(Kind::Busy, Level::Problem,
                      QStringLiteral("The device cannot be opened: %1 (no hardware behind it?).")
                          .arg(QString::fromLocal8Bit(strerror(errno))),
                      QStringLiteral("Choose another device; a built-in port may not be fitted.")));
    }
  }
#endif
  if (!othersHold && hidden > 0) {
    out.append(Make(Kind::Busy, Level::Note,
                    QStringLiteral("No other process holds it, as far as can be seen (%1 processes of other users "
                                   "could not be looked at).")
                        .arg(hidden)));
  } else if (out.isEmpty()) {
    out.append(Make(Kind::Busy, Level::Ok, QStringLiteral("No other program holds it.")));
  }
  return out;
}

QList<DoctorFinding> PortDoctor::CheckGrabbers() const {
  QList<DoctorFinding> out;
  const QStringList pids = QDir(roots_.proc).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const Grabber& g : kGrabbers) {
    for (const QString& pid : pids) {
      if (!IsNumber(pid) || ProcessName(pid) != QLatin1String(g.process)) continue;
      out.append(Make(Kind::Grabber, Level::Note, QString::fromUtf8(g.text), QString::fromUtf8(g.advice)));
      break;
    }
  }
  return out;
}

QList<DoctorFinding> PortDoctor::Examine(const QString& device) const {
  QList<DoctorFinding> out;
  QString path = device;
  if (!path.isEmpty() && !path.contains(QLatin1Char('/'))) path = roots_.dev + QLatin1Char('/') + path;
  const QFileInfo info(path);
  if (path.isEmpty() || !info.exists()) {
    QString advice = QStringLiteral("Check the name, or choose one of the devices listed above.");
    if (path.contains(QLatin1String("/by-id/"))) {
      advice = QStringLiteral("The adapter with this name is not plugged in (a different adapter has another "
                              "name): plug it in, or choose one of the devices listed above.");
    } else if (path.contains(QLatin1String("ttyUSB")) || path.contains(QLatin1String("ttyACM"))) {
      advice = QStringLiteral("Plug the adapter in. USB adapters are numbered in the order they are plugged "
                              "in; a /dev/serial/by-id name stays the same.");
    }
    out.append(Make(Kind::Missing, Level::Problem,
                    path.isEmpty() ? QStringLiteral("No serial device given.")
                                   : QStringLiteral("%1 does not exist.").arg(path),
                    advice));
    out.append(CheckGrabbers());
    return out;
  }
  const QString real = info.canonicalFilePath();
  const QString name = QFileInfo(real).fileName();
  const SerialDevice d = Describe(name);
  QString what = real == path ? path : QStringLiteral("%1 (%2)").arg(path, real);
  if (!d.driver.isEmpty()) what += QStringLiteral(", driver ") + d.driver;
  if (!d.vendorId.isEmpty()) what += QStringLiteral(", USB %1:%2").arg(d.vendorId, d.productId);
  out.append(Make(Kind::Present, Level::Ok, QStringLiteral("Present: %1.").arg(what)));
  if (std::optional<DoctorFinding> p = CheckPermission(real)) out.append(*p);
  out.append(CheckHolders(real));
  out.append(CheckGrabbers());
  if (!d.latencyTimer.isEmpty()) {
    const QString file = roots_.sys + QStringLiteral("/bus/usb-serial/devices/") + name + QStringLiteral("/latency_timer");
    if (d.latencyTimer.toInt() <= 1) {
      out.append(Make(Kind::Latency, Level::Ok, QStringLiteral("USB latency timer: %1 ms.").arg(d.latencyTimer)));
    } else {
      out.append(Make(Kind::Latency, Level::Note,
                      QStringLiteral("USB latency timer: %1 ms: the adapter holds received bytes that long unless "
                                     "the driver grants low latency (see the live check).")
                          .arg(d.latencyTimer),
                      QStringLiteral("If low latency is not granted: echo 1 | sudo tee %1").arg(file)));
    }
  }
  return out;
}

QString PortDoctor::StableName(const QString& device) const {
  QString path = device;
  if (!path.contains(QLatin1Char('/'))) path = roots_.dev + QLatin1Char('/') + path;
  if (path.contains(QLatin1String("/serial/by-id/"))) return device;
  const QString real = QFileInfo(path).canonicalFilePath();
  if (real.isEmpty()) return device;
  const SerialDevice d = Describe(QFileInfo(real).fileName());
  return d.byId.isEmpty() ? device : d.byId.first();
}

bool PortDoctor::HasProblem(const QList<DoctorFinding>& findings) {
  return std::any_of(findings.cbegin(), findings.cend(), [](const DoctorFinding& f) {
    return f.level == Level::Problem && f.kind != Kind::Live;
  });
}

QString PortDoctor::Report(const QList<SerialDevice>& devices, const QString& device,
                           const QList<DoctorFinding>& findings) {
  QStringList lines{QStringLiteral("Serial devices present:")};
  for (const SerialDevice& d : devices) {
    QStringList facts;
    if (!d.driver.isEmpty()) facts << QStringLiteral("driver ") + d.driver;
    if (!d.vendorId.isEmpty()) {
      facts << QStringLiteral("USB %1:%2 %3 %4").arg(d.vendorId, d.productId, d.manufacturer, d.product).simplified();
    }
    if (!d.serial.isEmpty()) facts << QStringLiteral("serial ") + d.serial;
    if (!d.latencyTimer.isEmpty()) facts << QStringLiteral("latency timer %1 ms").arg(d.latencyTimer);
    lines << QStringLiteral("  %1  %2").arg(d.path, facts.join(QStringLiteral(", ")));
    for (const QString& id : d.byId) lines << QStringLiteral("      ") + id;
  }
  if (devices.isEmpty()) lines << QStringLiteral("  none found");
  lines << QString() << QStringLiteral("Port %1:").arg(device.isEmpty() ? QStringLiteral("(none)") : device);
  for (const DoctorFinding& f : findings) {
    const char* tag = f.level == Level::Ok ? "ok      " : f.level == Level::Note ? "note    " : "PROBLEM ";
    lines << QStringLiteral("  ") + QLatin1String(tag) + f.text;
    if (!f.advice.isEmpty()) lines << QStringLiteral("          -> ") + f.advice;
  }
  return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

struct LiveCheck::Units {
  Units(LogHooks& logs, const Clock& clock, TimerFactory& timers, bool hardwareFlow)
      : line(hardwareFlow),
        port(line, logs, clock, timers),
        linePort(port, timers),
        limit(timers.CreateTimer()),
        report(timers.CreateTimer()) {}
  QtSerialLine line;
  LinkLampModel lamp;  // before the port: the port's link state points at it
  ComPort port;
  LinePort linePort;
  std::unique_ptr<Timer> limit;
  std::unique_ptr<Timer> report;
  QString device;
  int limitMs = 0;
  bool answered = false;
};

LiveCheck::LiveCheck(LogHooks& logs, const Clock& clock, TimerFactory& timers, bool hardwareFlowControl)
    : u_(std::make_unique<Units>(logs, clock, timers, hardwareFlowControl)) {
  u_->limit->SetSingleShot(true);
  u_->limit->OnTimeout = [this] { End(false); };
  u_->report->SetSingleShot(true);
  u_->report->OnTimeout = [this] {
    auto done = std::move(done_);
    done_ = nullptr;
    if (done) done(findings_);
  };
  u_->line.OnTrace = [this](const QString& line) {
    if (!line.startsWith(QLatin1String("low latency: "))) return;
    if (line == QLatin1String("low latency: on")) {
      findings_.append(Make(Kind::LowLatency, Level::Ok, QStringLiteral("Low latency granted by the driver.")));
    } else {
      findings_.append(Make(Kind::LowLatency, Level::Note, QStringLiteral("Low latency ") + line.mid(13) + u'.'));
    }
  };
  u_->lamp.OnLink = [this](LinkLamp*, bool up) {
    if (up && running_) End(true);
  };
  u_->port.Link().RegisterLinkLed(&u_->lamp);
}

LiveCheck::~LiveCheck() {
  u_->linePort.ComPortNumber = nullptr;
  if (u_->linePort.LineTimerActive()) u_->linePort.LineToggle(true);
  if (u_->port.IsOpen()) u_->port.ClosePort();
}

void LiveCheck::Start(const QString& device, int limitMs, std::function<void(const QList<DoctorFinding>&)> done) {
  done_ = std::move(done);
  findings_.clear();
  u_->device = device;
  u_->limitMs = limitMs;
  u_->port.DeviceForCom = [device](int) { return device; };
  u_->linePort.ComPortNumber = [] { return 1; };
  running_ = true;
  u_->linePort.LineStart();
  if (!u_->port.IsOpen()) {
    running_ = false;
    findings_.append(Make(Kind::Live, Level::Problem, QStringLiteral("Live check: ") + u_->port.LastError()));
    u_->report->Start(0);
    return;
  }
  // The reset request goes out now and again every 500 ms until answered.
  u_->linePort.StartExchange();
  u_->limit->Start(limitMs);
}

void LiveCheck::End(bool answered) {
  if (!running_) return;
  running_ = false;
  u_->limit->Stop();
  const int received = u_->linePort.ReadCount();
  if (u_->linePort.LineTimerActive()) u_->linePort.LineToggle(true);
  u_->port.ClosePort();
  if (answered) {
    findings_.append(Make(Kind::Live, Level::Ok, QStringLiteral("Live check: a controller answered the reset handshake.")));
  } else if (received > 0) {
    findings_.append(Make(Kind::Live, Level::Problem,
                          QStringLiteral("Live check: %1 bytes came back in %2 s, but no answer to the reset "
                                         "request (0xF0).")
                              .arg(received)
                              .arg(u_->limitMs / 1000.0),
                          QStringLiteral("Is a lift controller on this port (not a modem or another device)? "
                                         "Does the cable echo what is sent?")));
  } else {
    findings_.append(Make(Kind::Live, Level::Problem,
                          QStringLiteral("Live check: no answer to the reset request (0xF0) within %1 s.")
                              .arg(u_->limitMs / 1000.0),
                          QStringLiteral("Check the cable and that the controller is switched on and in service "
                                         "mode. A three-wire cable (no RTS/CTS) needs [comport] flowcontrol=none.")));
  }
  u_->report->Start(0);
}

DoctorRun::DoctorRun(LogHooks& logs, const Clock& clock, TimerFactory& timers, bool hardwareFlowControl,
                     PortDoctor doctor)
    : doctor_(std::move(doctor)), live_(logs, clock, timers, hardwareFlowControl) {}

DoctorRun::~DoctorRun() = default;

void DoctorRun::Start(const QString& device, std::optional<bool> ownLink,
                      std::function<void(const QString& report, bool usable, bool answered)> done) {
  const QList<SerialDevice> devices = doctor_.Devices();
  findings_ = doctor_.Examine(device);
  const bool usable = !PortDoctor::HasProblem(findings_);
  if (ownLink.has_value()) {
    findings_.append(Make(Kind::Live, *ownLink ? Level::Ok : Level::Problem,
                          *ownLink ? QStringLiteral("Live check: this program's line is up; the controller answers.")
                                   : QStringLiteral("Live check: this program has the port open, but the controller "
                                                    "does not answer."),
                          *ownLink ? QString()
                                   : QStringLiteral("Check the cable and that the controller is switched on; a "
                                                    "click on the link lamp starts the line again.")));
    done(PortDoctor::Report(devices, device, findings_), usable, *ownLink);
    return;
  }
  if (!usable) {
    done(PortDoctor::Report(devices, device, findings_), false, false);
    return;
  }
  live_.Start(device, LiveCheck::kDefaultLimitMs,
              [this, devices, device, done = std::move(done)](const QList<DoctorFinding>& live) {
                findings_.append(live);
                const bool answered = std::any_of(live.cbegin(), live.cend(), [](const DoctorFinding& f) {
                  return f.kind == Kind::Live && f.level == Level::Ok;
                });
                done(PortDoctor::Report(devices, device, findings_), true, answered);
              });
}

}  // namespace ulv
