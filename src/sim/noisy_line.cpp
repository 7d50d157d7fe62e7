#include "sim/noisy_line.h"

namespace ulv {

NoisyLine::NoisyLine(SerialLine& inner, uint32_t seed, int corruptPerMillion, int dropPerMillion)
    : inner_(inner), random_(seed), corrupt_(corruptPerMillion), drop_(dropPerMillion) {
  inner_.OnDataAvailable = [this] {
    const qsizetype before = rx_.size();
    rx_ += Disturb(inner_.Read(inner_.BytesAvailable()), received_);
    if (rx_.size() > before && OnDataAvailable) OnDataAvailable();
  };
  inner_.OnLost = [this](const QString& reason) {
    rx_.clear();
    if (OnLost) OnLost(reason);
  };
}

NoisyLine::~NoisyLine() {
  inner_.OnDataAvailable = nullptr;
  inner_.OnLost = nullptr;
}

QByteArray NoisyLine::Disturb(const QByteArray& bytes, NoiseStats& stats) {
  if (!noise_) {
    stats.passed += bytes.size();
    return bytes;
  }
  QByteArray out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    const int draw = perMillion_(random_);
    if (draw < drop_) {
      ++stats.dropped;
    } else if (draw < drop_ + corrupt_) {
      ++stats.corrupted;
      out.append(static_cast<char>(c ^ mask_(random_)));
    } else {
      ++stats.passed;
      out.append(c);
    }
  }
  return out;
}

bool NoisyLine::Write(const QByteArray& bytes) {
  const QByteArray out = Disturb(bytes, sent_);
  // A dropped byte still counts as written: the tool cannot tell.
  return out.isEmpty() ? inner_.IsOpen() : inner_.Write(out);
}

bool NoisyLine::Open(const QString& device, QString* error) {
  rx_.clear();
  return inner_.Open(device, error);
}

void NoisyLine::Close() {
  rx_.clear();
  inner_.Close();
}

QByteArray NoisyLine::Read(qint64 maxBytes) {
  const QByteArray out = rx_.left(maxBytes);
  rx_.remove(0, out.size());
  return out;
}

}  // namespace ulv
