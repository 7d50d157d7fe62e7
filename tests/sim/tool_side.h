#pragma once
// The tool's half of the nibble exchange, written out independently for the
// tests: a request as the tool's turn bytes, the controller's answers put
// back together into bytes, and the tool's end of a pty opened with plain
// POSIX calls, every wait bounded.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>

using namespace Qt::StringLiterals;

namespace ulvtest {

// Each byte: high nibble without flags, then low nibble with 0x20.
inline QByteArray ToolTurns(const QByteArray& request) {
  QByteArray turns;
  for (char c : request) {
    const auto b = static_cast<uint8_t>(c);
    turns.append(static_cast<char>(b >> 4));
    turns.append(static_cast<char>(0x20 | (b & 0x0F)));
  }
  return turns;
}

inline QByteArray IdleTurns(int n) { return QByteArray(n, static_cast<char>(0x40)); }

// Controller answers to bytes: 0x40 carries nothing, a byte without 0x20 is a
// high nibble, one with 0x20 completes a byte.
inline QByteArray Assemble(const QByteArray& answers) {
  QByteArray out;
  int high = -1;
  for (char c : answers) {
    const auto a = static_cast<uint8_t>(c);
    if (a & 0x40) {
      high = -1;
      continue;
    }
    if (a & 0x20) {
      if (high >= 0) out.append(static_cast<char>((high << 4) | (a & 0x0F)));
      high = -1;
    } else {
      high = a & 0x0F;
    }
  }
  return out;
}

inline QByteArray Padded(const QByteArray& text, int n) {
  QByteArray b = text;
  while (b.size() < n) b.append(' ');
  return b;
}

// Reads from a file descriptor until n bytes came or timeoutMs passed.
inline QByteArray ReadFd(int fd, int n, int timeoutMs = 3000) {
  QByteArray got;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (got.size() < n) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0 || !(p.revents & POLLIN))
      break;
    char buf[256];
    const ssize_t r = ::read(fd, buf, std::min<size_t>(sizeof buf, static_cast<size_t>(n - got.size())));
    if (r <= 0) break;
    got.append(buf, r);
  }
  return got;
}

class RawTool {
public:
  explicit RawTool(const QString& path) {
    fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ >= 0) {
      termios t{};
      tcgetattr(fd_, &t);
      cfmakeraw(&t);
      tcsetattr(fd_, TCSANOW, &t);
    }
  }
  ~RawTool() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  bool Write(const QByteArray& b) {
    return ::write(fd_, b.constData(), static_cast<size_t>(b.size())) == b.size();
  }
  // Reads until n bytes came or timeoutMs passed.
  QByteArray Read(int n, int timeoutMs = 3000) { return ReadFd(fd_, n, timeoutMs); }
  // One turn: send a byte, wait for one answer (-1 when none came).
  int Turn(uint8_t b, int timeoutMs = 3000) {
    Write(QByteArray(1, static_cast<char>(b)));
    const QByteArray a = Read(1, timeoutMs);
    return a.isEmpty() ? -1 : static_cast<uint8_t>(a.at(0));
  }

private:
  int fd_ = -1;
};

}  // namespace ulvtest
