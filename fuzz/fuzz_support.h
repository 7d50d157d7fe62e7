#pragma once
// What every fuzz target shares: the input taken apart piece by piece, and
// invariant checks that abort (libFuzzer then keeps the input as a finding).
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace ulv::fuzz {

// The input read front to back; past its end every read gives 0 or nothing.
class Input {
public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Empty() const { return pos_ >= size_; }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t Word() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
  QByteArray Bytes(size_t n) {
    const size_t take = n < size_ - pos_ ? n : size_ - pos_;
    QByteArray out(reinterpret_cast<const char*>(data_ + pos_), static_cast<qsizetype>(take));
    pos_ += take;
    return out;
  }
  // Up to (not including) the separator, which is consumed; the rest when
  // there is none.
  QByteArray Until(char separator) {
    size_t end = pos_;
    while (end < size_ && data_[end] != static_cast<uint8_t>(separator)) ++end;
    QByteArray out = Bytes(end - pos_);
    if (pos_ < size_) ++pos_;
    return out;
  }
  QByteArray Rest() { return Bytes(size_ - pos_); }

private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

[[noreturn]] inline void Fail(const char* what, const QString& detail) {
  std::fprintf(stderr, "invariant violated: %s\n%s\n", what, detail.toLocal8Bit().constData());
  std::abort();
}

inline void Check(bool ok, const char* what, const QString& detail = QString()) {
  if (!ok) Fail(what, detail);
}

}  // namespace ulv::fuzz
