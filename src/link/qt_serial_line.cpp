#include "link/qt_serial_line.h"

#include <QFileInfo>
#include <QObject>
#include <QSerialPort>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/save_file.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/serial.h>
#endif

namespace ulv {

namespace {

constexpr qint32 kBaud = 19200;

QString SysErrorText(int err) { return QString::fromLocal8Bit(strerror(err)); }

#ifdef Q_OS_UNIX
QString GroupOf(const QString& device) {
  struct stat st {};
  if (::stat(QFile::encodeName(device).constData(), &st) != 0) return QString();
  if (const group* g = getgrgid(st.st_gid)) return QString::fromLocal8Bit(g->gr_name);
  return QString::number(st.st_gid);
}

QString UserName() {
  if (const passwd* p = getpwuid(geteuid())) return QString::fromLocal8Bit(p->pw_name);
  const QString env = qEnvironmentVariable("USER");
  return env.isEmpty() ? QStringLiteral("$USER") : env;
}
#endif

}  // namespace

QtSerialLine::QtSerialLine(bool hardwareFlowControl) : hardwareFlowControl_(hardwareFlowControl) {
  SetControlDir(qEnvironmentVariable("ULV_MODEM_LINES"));
}

QtSerialLine::~QtSerialLine() {
  guard_.reset();  // drops a pending deferred close
  if (port_ && port_->isOpen()) {
    port_->close();
    WriteControlDtr(false);
  }
}

void QtSerialLine::SetControlDir(const QString& dir) {
  controlDir_ = dir;
  controlAge_.invalidate();
}

// With a raised DTR the file `holder` names the process that holds the port:
// when it dies without closing, the other end still learns that the port
// (and DTR) went.
void QtSerialLine::WriteControlDtr(bool on) {
  if (controlDir_.isEmpty()) return;
  SaveWholeFile(controlDir_ + QStringLiteral("/dtr"), on ? "1" : "0");
#ifdef Q_OS_UNIX
  if (on) SaveWholeFile(controlDir_ + QStringLiteral("/holder"), QByteArray::number(::getpid()));
#endif
}

// A missing or unreadable file reads as all lines off (no modem there).
ModemLines QtSerialLine::ControlLines() const {
  constexpr int kRereadMs = 50;
  if (controlAge_.isValid() && controlAge_.elapsed() < kRereadMs) return controlLines_;
  controlAge_.start();
  controlLines_ = ModemLines{};
  QByteArray text;
  if (!ReadWholeFile(controlDir_ + QStringLiteral("/lines"), &text, nullptr, 256)) return controlLines_;
  for (const QByteArray& item : text.simplified().split(' ')) {
    const bool on = item.endsWith("=1");
    if (item.startsWith("DCD=")) controlLines_.dcd = on;
    if (item.startsWith("DSR=")) controlLines_.dsr = on;
    if (item.startsWith("RI=")) controlLines_.ring = on;
  }
  return controlLines_;
}

QString QtSerialLine::DescribeOpenFailure(const QString& device, int sysErr, const QString& fallback) {
  if (device.isEmpty()) return QStringLiteral("No serial device given.");
#ifdef Q_OS_UNIX
  if (!QFileInfo::exists(device)) {
    return QStringLiteral("Serial device %1 does not exist (is the adapter plugged in, is the name right?).")
        .arg(device);
  }
  const QByteArray path = QFile::encodeName(device);
  // As open() does: with the effective user.
  const bool accessible = ::faccessat(AT_FDCWD, path.constData(), R_OK | W_OK, AT_EACCESS) == 0;
  if (!accessible && errno == EACCES) {
    const QString group = GroupOf(device);
    return QStringLiteral(
               "No permission to open %1: the device belongs to group \"%2\". Add your user to it with "
               "\"sudo usermod -aG %2 %3\" and log in again.")
        .arg(device, group, UserName());
  }
  if (sysErr == EBUSY || sysErr == EACCES || sysErr == EAGAIN) {
    return QStringLiteral("Serial device %1 is busy: another program is using it.").arg(device);
  }
  return QStringLiteral("Cannot open serial device %1: %2.")
      .arg(device, fallback.isEmpty() ? SysErrorText(sysErr) : fallback);
#else
  Q_UNUSED(sysErr);
  return QStringLiteral("Cannot open serial device %1: %2.").arg(device, fallback);
#endif
}

QString QtSerialLine::SystemPath(const QString& device) {
#ifdef Q_OS_UNIX
  if (device.isEmpty() || device.startsWith(QLatin1Char('/'))) return device;
  if (device.contains(QLatin1Char('/'))) return QFileInfo(device).absoluteFilePath();
  return QStringLiteral("/dev/") + device;
#else
  return device;
#endif
}

bool QtSerialLine::Open(const QString& name, QString* error) {
  Close();
  lost_ = false;
  const QString device = SystemPath(name);
  guard_ = std::make_unique<QObject>();
  port_ = std::make_unique<QSerialPort>();
  port_->setPortName(device);
  port_->setBaudRate(kBaud);
  port_->setDataBits(QSerialPort::Data8);
  port_->setParity(QSerialPort::NoParity);
  port_->setStopBits(QSerialPort::OneStop);
  port_->setFlowControl(hardwareFlowControl_ ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl);

  errno = 0;
  if (!port_->open(QIODevice::ReadWrite)) {
    int err = errno;
    switch (port_->error()) {
      case QSerialPort::DeviceNotFoundError:
        err = ENOENT;
        break;
      case QSerialPort::PermissionError:
        // Qt reports both "no access" and "locked by another program" this way.
        if (err != EACCES) err = EBUSY;
        break;
      default:
        break;
    }
    const QString text = DescribeOpenFailure(device, err, port_->errorString());
    if (error) *error = text;
    // Reopen attempts of a pulled adapter fail the same way every time: the
    // log says so once.
    if (text != lastOpenFailure_) Trace(text);
    lastOpenFailure_ = text;
    port_.reset();
    guard_.reset();
    return false;
  }
  device_ = device;
  lastOpenFailure_.clear();

  // A pty has no DTR and no modem lines; what it refuses is not an error.
  ++quietOps_;
  port_->setDataTerminalReady(true);
  port_->clear(QSerialPort::AllDirections);  // nothing stale from before the open
  --quietOps_;
  WriteControlDtr(true);
  port_->clearError();
  RequestLowLatency();

  QObject::connect(port_.get(), &QSerialPort::readyRead, guard_.get(), [this] {
    if (!lost_ && OnDataAvailable) OnDataAvailable();
  });
  QObject::connect(port_.get(), &QSerialPort::errorOccurred, guard_.get(),
                   [this](QSerialPort::SerialPortError e) {
                     if (lost_ || quietOps_ > 0) return;
                     // Qt's own text for these can carry a stale errno; say what happened.
                     if (e == QSerialPort::ResourceError) {
                       Failed(QStringLiteral("the device disappeared"));
                     } else if (e == QSerialPort::ReadError) {
                       Failed(QStringLiteral("reading failed (device gone?)"));
                     } else if (e == QSerialPort::WriteError) {
                       Failed(QStringLiteral("writing failed (device gone?)"));
                     }
                   });
  return true;
}

void QtSerialLine::Failed(const QString& reason) {
  // The port does not close itself and would repeat the error on every pass
  // of the event loop; from here on it is treated as closed, and it is really
  // closed outside the port's own signal handler.
  lost_ = true;
  Trace(QStringLiteral("serial line lost: %1: %2").arg(device_, reason));
  QMetaObject::invokeMethod(
      guard_.get(),
      [this, reason] {
        if (port_ && port_->isOpen()) port_->close();
        if (OnLost) OnLost(reason);
      },
      Qt::QueuedConnection);
}

void QtSerialLine::Close() {
  guard_.reset();
  if (port_) {
    if (port_->isOpen()) {
      port_->close();
      WriteControlDtr(false);  // closing a port drops DTR
    }
    port_.reset();
  }
}

bool QtSerialLine::IsOpen() const { return port_ && !lost_ && port_->isOpen(); }

bool QtSerialLine::Write(const QByteArray& bytes) { return Write(bytes.constData(), bytes.size()); }

bool QtSerialLine::Write(const char* data, qint64 size) {
  if (!IsOpen()) return false;
  if (size <= 0) return true;
#ifdef Q_OS_UNIX
  // Straight to the device: QSerialPort would hold the bytes until the next
  // event-loop pass (or a flush) and arm its write notifier for every byte,
  // which costs an extra pass of the loop per turn.
  if (port_->bytesToWrite() == 0) {
    const int fd = static_cast<int>(port_->handle());
    qint64 done = 0;
    while (done < size) {
      const ssize_t n = ::write(fd, data + done, static_cast<size_t>(size - done));
      if (n > 0) {
        done += n;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) break;  // the driver's buffer is full: let the port queue the rest
      Failed(QStringLiteral("writing failed (%1)").arg(SysErrorText(errno)));
      return false;
    }
    if (done == size) return true;
    if (port_->write(data + done, size - done) != size - done) return false;
    port_->flush();
    return !lost_;
  }
#endif
  if (port_->write(data, size) != size) return false;
  // Without this the bytes would wait for the next event-loop pass.
  port_->flush();
  return !lost_;
}

QByteArray QtSerialLine::Read(qint64 maxBytes) {
  if (!IsOpen() || maxBytes <= 0) return QByteArray();
  return port_->read(maxBytes);
}

qint64 QtSerialLine::Read(char* data, qint64 maxBytes) {
  if (!IsOpen() || maxBytes <= 0) return 0;
  return std::max<qint64>(0, port_->read(data, maxBytes));
}

qint64 QtSerialLine::BytesAvailable() const { return IsOpen() ? port_->bytesAvailable() : 0; }

void QtSerialLine::SetDtr(bool on) {
  if (!IsOpen()) return;
  ++quietOps_;
  port_->setDataTerminalReady(on);
  --quietOps_;
  port_->clearError();
  WriteControlDtr(on);
}

ModemLines QtSerialLine::Lines() const {
  ModemLines lines;
  if (!IsOpen()) return lines;
  auto* self = const_cast<QtSerialLine*>(this);
  ++self->quietOps_;
  const QSerialPort::PinoutSignals s = port_->pinoutSignals();
  --self->quietOps_;
  port_->clearError();
  lines.dcd = s.testFlag(QSerialPort::DataCarrierDetectSignal);
  lines.dsr = s.testFlag(QSerialPort::DataSetReadySignal);
  lines.ring = s.testFlag(QSerialPort::RingIndicatorSignal);
  lines.cts = s.testFlag(QSerialPort::ClearToSendSignal);
  if (!controlDir_.isEmpty()) {
    const ModemLines c = ControlLines();
    lines.dcd = c.dcd;
    lines.dsr = c.dsr;
    lines.ring = c.ring;
  }
  return lines;
}

void QtSerialLine::Trace(const QString& line) {
  if (OnTrace) OnTrace(line);
}

void QtSerialLine::RequestLowLatency() {
#ifdef Q_OS_LINUX
  // USB serial adapters otherwise hold received bytes for their latency timer
  // (up to 16 ms), which makes every one-byte turn many times slower.
  const int fd = static_cast<int>(port_->handle());
  serial_struct ss{};
  if (::ioctl(fd, TIOCGSERIAL, &ss) != 0) {
    Trace(QStringLiteral("low latency: not offered by the driver of %1 (%2)")
              .arg(device_, SysErrorText(errno)));
    return;
  }
  if ((ss.flags & ASYNC_LOW_LATENCY) != 0) {
    Trace(QStringLiteral("low latency: on"));
    return;
  }
  ss.flags |= ASYNC_LOW_LATENCY;
  if (::ioctl(fd, TIOCSSERIAL, &ss) != 0) {
    Trace(QStringLiteral("low latency: refused by the driver of %1 (%2); received bytes may be held back")
              .arg(device_, SysErrorText(errno)));
    return;
  }
  serial_struct check{};
  if (::ioctl(fd, TIOCGSERIAL, &check) == 0 && (check.flags & ASYNC_LOW_LATENCY) == 0) {
    Trace(QStringLiteral("low latency: ignored by the driver of %1; received bytes may be held back")
              .arg(device_));
    return;
  }
  Trace(QStringLiteral("low latency: on"));
#endif
}

}  // namespace ulv
