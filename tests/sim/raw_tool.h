#pragma once
// The tool's end of a pty opened with plain POSIX calls, every wait bounded.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <chrono>

namespace ulvtest {

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
  QByteArray Read(int n, int timeoutMs = 3000) {
    QByteArray got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < n) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      if (!(p.revents & POLLIN)) break;
      char buf[256];
      const ssize_t r = ::read(fd_, buf, std::min<size_t>(sizeof buf, static_cast<size_t>(n - got.size())));
      if (r <= 0) break;
      got.append(buf, r);
    }
    return got;
  }
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
