#pragma once
// The one serial line of the program, as the protocol layers see it.
// Implementations: the QSerialPort adapter and an in-memory pair for tests.
#include <QByteArray>
#include <QString>
#include <algorithm>
#include <functional>

namespace ulv {

struct ModemLines {
  bool dcd = false;
  bool dsr = false;
  bool ring = false;
  bool cts = false;
};

class SerialLine {
public:
  virtual ~SerialLine() = default;
  // Opens a device (path, "COMn" on Windows, pty path). On failure `error`
  // says why in a sentence a technician can act on.
  virtual bool Open(const QString& device, QString* error) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Writes and flushes at once. False when the line is closed or the write failed.
  virtual bool Write(const QByteArray& bytes) = 0;
  // Takes up to maxBytes from the receive buffer.
  virtual QByteArray Read(qint64 maxBytes) = 0;
  // The same on plain buffers, for the byte-by-byte path: a line that can
  // overrides them so that a turn allocates nothing. Read returns the number
  // of bytes taken.
  virtual bool Write(const char* data, qint64 size) { return Write(QByteArray(data, size)); }
  virtual qint64 Read(char* data, qint64 maxBytes) {
    const QByteArray b = Read(maxBytes);
    std::copy(b.cbegin(), b.cend(), data);
    return b.size();
  }
  virtual qint64 BytesAvailable() const = 0;
  virtual void SetDtr(bool on) = 0;
  virtual ModemLines Lines() const = 0;
  // The device path given to the last successful Open.
  virtual QString Device() const = 0;

  // Received bytes are waiting (called on the owner's thread).
  std::function<void()> OnDataAvailable;
  // The device failed (unplugged, I/O error); the line is already closed.
  std::function<void(const QString& reason)> OnLost;
};

}  // namespace ulv
