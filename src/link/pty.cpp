#include "link/pty.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ulv {

bool MakeRawTerminal(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, B19200);
  cfsetospeed(&t, B19200);
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

PtyPair::~PtyPair() { Close(); }

bool PtyPair::Open(QString* error) {
  Close();
  auto fail = [&](const char* step) {
    const int err = errno;
    if (error)
      *error = QStringLiteral("pseudo-terminal: %1 failed: %2")
                   .arg(QLatin1String(step), QString::fromLocal8Bit(strerror(err)));
    Close();
    return false;
  };
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return fail("posix_openpt");
  if (grantpt(master_) != 0) return fail("grantpt");
  if (unlockpt(master_) != 0) return fail("unlockpt");
  char name[128] = {};
  if (ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname");
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) return fail("open slave");
  if (!MakeRawTerminal(slave_)) return fail("raw mode (slave)");
  // The master's own discipline must not touch the tool's bytes either.
  MakeRawTerminal(master_);
  slavePath_ = QString::fromLocal8Bit(name);
  return true;
}

void PtyPair::CloseMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

void PtyPair::Close() {
  CloseMaster();
  if (slave_ >= 0) ::close(slave_);
  slave_ = -1;
}

}  // namespace ulv
