#pragma once
// The program's two log files: the main log (recreated each run, buffered,
// receives the trace lines of LogHooks) and the logon log (one line per start
// and end, appended across runs). Lines end with CR LF.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <memory>

#include "common/timer.h"

namespace ulv {

// Base of both logs: open flag, the text file and its name.
class TMyFile {
public:
  TMyFile() = default;
  TMyFile(const TMyFile&) = delete;
  TMyFile& operator=(const TMyFile&) = delete;
  virtual ~TMyFile();

  bool IsOpen() const { return open_; }
  QString FileName() const { return fileName_; }
  // Buffered; the buffer reaches the disk when it fills, on Flush, on Close,
  // and with a flush timer at most a second after the line was written.
  void WriteLine(const QString& line);
  // A crash then loses at most the last second of lines.
  void SetFlushTimer(std::unique_ptr<Timer> timer);
  void Flush();
  void Close();

protected:
  bool OpenFile(const QString& path, QIODevice::OpenMode mode);

private:
  static constexpr qsizetype kBufferLimit = 16 * 1024;
  static constexpr int kFlushDelayMs = 1000;
  bool open_ = false;
  QFile file_;
  QString fileName_;
  QByteArray buffer_;
  std::unique_ptr<Timer> flushTimer_;
};

class TLogFile : public TMyFile {
public:
  // Deletes an existing file of that name and creates it new. False when the
  // file cannot be created.
  bool Open(const QString& path);
};

class TLogOnFile : public TMyFile {
public:
  // Appends to an existing file without writing anything; a file that does
  // not exist yet is created and gets `firstLine`.
  bool Open(const QString& path, const QString& firstLine);
};

}  // namespace ulv
