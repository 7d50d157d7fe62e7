#pragma once
// What the tests of every area share: whole-file reads and writes, and the
// German locale the program's dates are shown in.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QString>
#include <csignal>

#include <sys/resource.h>

namespace ulv::test {

// The file's bytes; empty when it cannot be read.
inline QByteArray ReadBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// `data` as the whole file, its folder created; false when that fails.
inline bool WriteBytes(const QString& path, const QByteArray& data) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// German short dates ("14.03.26 10:00:00") while it lives, the C locale after.
struct GermanLocale {
  GermanLocale() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
  ~GermanLocale() { QLocale::setDefault(QLocale::c()); }
  GermanLocale(const GermanLocale&) = delete;
  GermanLocale& operator=(const GermanLocale&) = delete;
};

// While it lives, a write beyond `bytes` into any file fails as on a full
// disk (EFBIG; SIGXFSZ ignored).
struct FileSizeLimit {
  explicit FileSizeLimit(rlim_t bytes) : handler(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit small{bytes, old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old), std::signal(SIGXFSZ, handler); }
  rlimit old{};
  void (*handler)(int);
};

}  // namespace ulv::test
