#pragma once
// The connection doctor: why a serial port cannot be used and what to do.
// It lists the serial devices present (from sysfs), looks at the chosen one
// (there, permission, held by a process or a lock, programs that grab new
// adapters, the USB latency timer) and finally opens it and sends the reset
// handshake to see whether a controller answers. The CLI's `doctor` command
// and the main window's "Verbindung prüfen" show the same report.
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "common/clock.h"
#include "common/log_hooks.h"
#include "common/timer.h"

namespace ulv {

// Where the doctor looks; tests point these into a temporary tree.
struct DoctorRoots {
  QString dev = QStringLiteral("/dev");
  QString sys = QStringLiteral("/sys");
  QString proc = QStringLiteral("/proc");
  // Where lock files "LCK..<name>" are kept (the serial port library writes
  // one to the first of these it may write to).
  QStringList lockDirs = {QStringLiteral("/var/lock"), QStringLiteral("/run/lock"), QStringLiteral("/tmp")};
};

// Who wants the port. Permission is computed from the device's mode, owner
// and group against these rather than asked of the system, so the answer is
// the same when the doctor runs as root (or in a test as root).
struct DoctorUser {
  uint uid = 0;
  QString name;
  QList<uint> groups;    // the groups this login has
  QList<uint> memberOf;  // the groups the user database gives the name (a new login has these)
  static DoctorUser Current();
};

struct SerialDevice {
  QString name;          // ttyUSB0
  QString path;          // <dev>/ttyUSB0
  QStringList byId;      // <dev>/serial/by-id/... names of it
  QString driver;        // ftdi_sio, cp210x, cdc_acm, serial8250 ...
  QString vendorId;      // USB ids, empty for other buses
  QString productId;
  QString manufacturer;
  QString product;
  QString serial;
  QString latencyTimer;  // ms; empty when the driver has none
};

struct DoctorFinding {
  enum class Kind { Present, Missing, Permission, Busy, Grabber, Latency, LowLatency, Live };
  enum class Level { Ok, Note, Problem };
  Kind kind;
  Level level;
  QString text;
  QString advice;  // what to do; empty when nothing
};

class PortDoctor {
public:
  explicit PortDoctor(DoctorRoots roots = {}, DoctorUser user = DoctorUser::Current());

  // The serial devices with hardware behind them (built-in ports that are
  // not fitted are left out), by name.
  QList<SerialDevice> Devices() const;
  // Everything that can be told about `device` without opening it for the
  // line; a by-id name is followed to its device.
  QList<DoctorFinding> Examine(const QString& device) const;
  // The name to keep for `device`: its first /dev/serial/by-id name when it
  // has one (it stays the same when the adapter is plugged in elsewhere),
  // else `device` as given.
  QString StableName(const QString& device) const;

  // The report: the devices present, then the findings about `device`.
  static QString Report(const QList<SerialDevice>& devices, const QString& device,
                        const QList<DoctorFinding>& findings);
  // True when a finding says the port cannot be used.
  static bool HasProblem(const QList<DoctorFinding>& findings);

private:
  SerialDevice Describe(const QString& name) const;
  std::optional<DoctorFinding> CheckPermission(const QString& path) const;
  QList<DoctorFinding> CheckHolders(const QString& path) const;
  QList<DoctorFinding> CheckGrabbers() const;
  QString ProcessName(const QString& pid) const;

  DoctorRoots roots_;
  DoctorUser user_;
};

// The live check: opens the device as the program does, starts the line with
// the reset handshake (0xF0 until the controller answers 0xF0) and tells
// whether a controller answered within `limitMs`; also whether the driver
// granted low latency. `done` is called once, outside the line's handling.
class LiveCheck {
public:
  LiveCheck(LogHooks& logs, const Clock& clock, TimerFactory& timers, bool hardwareFlowControl);
  ~LiveCheck();
  LiveCheck(const LiveCheck&) = delete;
  LiveCheck& operator=(const LiveCheck&) = delete;

  static constexpr int kDefaultLimitMs = 3000;
  void Start(const QString& device, int limitMs, std::function<void(const QList<DoctorFinding>&)> done);

private:
  struct Units;
  void End(bool answered);

  std::unique_ptr<Units> u_;
  std::function<void(const QList<DoctorFinding>&)> done_;
  QList<DoctorFinding> findings_;
  bool running_ = false;
};

// One whole run: the static findings, then the live check (or, when this
// program has the port open, what its own line shows), then the report.
class DoctorRun {
public:
  DoctorRun(LogHooks& logs, const Clock& clock, TimerFactory& timers, bool hardwareFlowControl,
            PortDoctor doctor = PortDoctor());
  ~DoctorRun();

  // `ownLink`: set when this program has `device` open; whether its line is up.
  void Start(const QString& device, std::optional<bool> ownLink,
             std::function<void(const QString& report, bool usable, bool answered)> done);
  const QList<DoctorFinding>& Findings() const { return findings_; }

private:
  PortDoctor doctor_;
  LiveCheck live_;
  QList<DoctorFinding> findings_;
};

}  // namespace ulv
