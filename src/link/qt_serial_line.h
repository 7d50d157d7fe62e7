#pragma once
// The serial line over QSerialPort: 19200 baud 8N1, DTR set on open, RTS/CTS
// flow control unless switched off for three-wire cables, never XON/XOFF (the
// protocol's bytes span 0..255, 0x11 and 0x13 included). Every write is
// flushed at once, USB serial drivers are asked for low latency, and the first
// read, write or resource error closes the port and reports once.
#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <memory>

#include "link/serial_line.h"

class QSerialPort;
class QObject;

namespace ulv {

class QtSerialLine final : public SerialLine {
public:
  // hardwareFlowControl false: [comport] flowcontrol=none.
  explicit QtSerialLine(bool hardwareFlowControl = true);
  ~QtSerialLine() override;
  QtSerialLine(const QtSerialLine&) = delete;
  QtSerialLine& operator=(const QtSerialLine&) = delete;

  bool Open(const QString& device, QString* error) override;
  void Close() override;
  bool IsOpen() const override;
  bool Write(const QByteArray& bytes) override;
  QByteArray Read(qint64 maxBytes) override;
  bool Write(const char* data, qint64 size) override;
  qint64 Read(char* data, qint64 maxBytes) override;
  qint64 BytesAvailable() const override;
  void SetDtr(bool on) override;
  ModemLines Lines() const override;
  QString Device() const override { return device_; }

  // Takes effect at the next Open.
  void SetHardwareFlowControl(bool on) { hardwareFlowControl_ = on; }
  bool HardwareFlowControl() const { return hardwareFlowControl_; }

  // One line for the port trace (low-latency result, loss of the device).
  std::function<void(const QString& line)> OnTrace;

  // The modem lines of a simulated modem (ulv-sim --modem) through files in
  // `dir`, as a pty has no pins: Lines() takes DCD, DSR and RI from dir/lines
  // ("DCD=1 DSR=1 RI=0", read again at most every 50 ms), and DTR changes
  // (SetDtr, open, close) are also written to dir/dtr as "1" or "0". Empty:
  // the port's own pins only. The constructor takes the directory from the
  // environment variable ULV_MODEM_LINES.
  void SetControlDir(const QString& dir);
  QString ControlDir() const { return controlDir_; }

  // The sentence a technician reads when `device` cannot be opened; `sysErr`
  // is the errno of the attempt (0 when unknown), `fallback` the driver's text.
  static QString DescribeOpenFailure(const QString& device, int sysErr, const QString& fallback);
  // The device the serial port really opens: a bare name is taken from /dev
  // (as the serial port does), a relative path with a slash from the working
  // directory, an absolute path as it stands.
  static QString SystemPath(const QString& device);

private:
  void Trace(const QString& line);
  void RequestLowLatency();
  void Failed(const QString& reason);
  void WriteControlDtr(bool on);
  ModemLines ControlLines() const;

  std::unique_ptr<QSerialPort> port_;
  std::unique_ptr<QObject> guard_;  // context of the deferred close; replaced at each open
  QString device_;
  QString lastOpenFailure_;
  bool hardwareFlowControl_ = true;
  bool lost_ = false;
  int quietOps_ = 0;  // >0 while an operation a pty may not support runs
  QString controlDir_;
  mutable ModemLines controlLines_;
  mutable QElapsedTimer controlAge_;  // since dir/lines was read
};

}  // namespace ulv
