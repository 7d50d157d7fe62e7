#include "link/memory_line.h"

#include <utility>

namespace ulv {

MemoryLine::~MemoryLine() {
  if (peer_ != nullptr) peer_->peer_ = nullptr;
}

void MemoryLine::Connect(MemoryLine& a, MemoryLine& b) {
  if (a.peer_ != nullptr) a.peer_->peer_ = nullptr;
  if (b.peer_ != nullptr) b.peer_->peer_ = nullptr;
  a.peer_ = &b;
  b.peer_ = &a;
}

bool MemoryLine::Open(const QString& device, QString* error) {
  ++openAttempts_;
  QString why;
  if (vanished_) {
    why = QStringLiteral("%1: no such device").arg(device);
  } else if (!openError_.isEmpty()) {
    why = openError_;
  }
  if (!why.isEmpty()) {
    if (error != nullptr) *error = why;
    return false;
  }
  open_ = true;
  device_ = device;
  rx_.clear();
  pending_ = false;
  ++openCount_;
  return true;
}

void MemoryLine::Close() {
  open_ = false;
  pending_ = false;
  rx_.clear();
  dtr_ = false;
}

bool MemoryLine::Write(const QByteArray& bytes) {
  if (!open_) return false;
  if (peer_ != nullptr && peer_->open_) peer_->Receive(bytes);
  return true;
}

QByteArray MemoryLine::Read(qint64 maxBytes) {
  if (maxBytes <= 0 || rx_.isEmpty()) return {};
  QByteArray out = rx_.left(maxBytes);
  rx_.remove(0, out.size());
  return out;
}

void MemoryLine::Inject(const QByteArray& bytes) {
  if (open_) Receive(bytes);
}

void MemoryLine::Receive(const QByteArray& bytes) {
  if (bytes.isEmpty()) return;
  rx_.append(bytes);
  if (delivery_ == Delivery::Immediate) {
    if (OnDataAvailable) OnDataAvailable();
  } else {
    pending_ = true;
  }
}

bool MemoryLine::Pump() {
  if (!pending_) return false;
  pending_ = false;
  if (!open_ || rx_.isEmpty() || !OnDataAvailable) return false;
  OnDataAvailable();
  return true;
}

void MemoryLine::Vanish(const QString& reason) {
  const bool wasOpen = open_;
  vanished_ = true;
  Close();
  if (wasOpen && OnLost) {
    auto lost = OnLost;
    lost(reason);
  }
}

}  // namespace ulv
