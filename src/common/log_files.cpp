#include "common/log_files.h"

namespace ulv {

TMyFile::~TMyFile() { Close(); }

bool TMyFile::OpenFile(const QString& path, QIODevice::OpenMode mode) {
  Close();
  fileName_ = path;
  file_.setFileName(path);
  open_ = file_.open(mode);
  return open_;
}

void TMyFile::WriteLine(const QString& line) {
  if (!open_) return;
  buffer_ += line.toUtf8();
  buffer_ += "\r\n";
  if (buffer_.size() >= kBufferLimit)
    Flush();
  else if (flushTimer_ && !flushTimer_->IsActive())
    flushTimer_->Start(kFlushDelayMs);
}

void TMyFile::SetFlushTimer(std::unique_ptr<Timer> timer) {
  flushTimer_ = std::move(timer);
  if (!flushTimer_) return;
  flushTimer_->SetSingleShot(true);
  flushTimer_->OnTimeout = [this] { Flush(); };
}

void TMyFile::Flush() {
  if (flushTimer_) flushTimer_->Stop();
  if (!open_ || buffer_.isEmpty()) return;
  file_.write(buffer_);
  file_.flush();
  buffer_.clear();
}

void TMyFile::Close() {
  if (!open_) return;
  Flush();
  file_.close();
  open_ = false;
}

bool TLogFile::Open(const QString& path) {
  if (QFile::exists(path)) QFile::remove(path);
  return OpenFile(path, QIODevice::WriteOnly | QIODevice::Truncate);
}

bool TLogOnFile::Open(const QString& path, const QString& firstLine) {
  const bool existed = QFile::exists(path);
  if (!OpenFile(path, QIODevice::WriteOnly | QIODevice::Append)) return false;
  if (!existed) {
    WriteLine(firstLine);
    Flush();
  }
  return true;
}

}  // namespace ulv
