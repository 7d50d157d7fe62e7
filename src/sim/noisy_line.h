#pragma once
// A noisy serial line for reliability runs: wraps the tool's end of a line
// and, while noise is on, corrupts (one random bit pattern) or drops single
// bytes in both directions at given rates, from a seeded generator so that a
// run can be repeated. Everything else passes straight through.
#include <cstdint>
#include <random>

#include "link/serial_line.h"

namespace ulv {

struct NoiseStats {
  int64_t passed = 0;
  int64_t corrupted = 0;
  int64_t dropped = 0;
};

class NoisyLine : public SerialLine {
public:
  // Rates in bytes per million; both directions alike.
  NoisyLine(SerialLine& inner, uint32_t seed, int corruptPerMillion, int dropPerMillion);
  ~NoisyLine() override;
  NoisyLine(const NoisyLine&) = delete;
  NoisyLine& operator=(const NoisyLine&) = delete;

  void SetNoise(bool on) { noise_ = on; }
  bool Noise() const { return noise_; }
  const NoiseStats& Sent() const { return sent_; }
  const NoiseStats& Received() const { return received_; }

  bool Open(const QString& device, QString* error) override;
  void Close() override;
  bool IsOpen() const override { return inner_.IsOpen(); }
  using SerialLine::Read;
  using SerialLine::Write;
  bool Write(const QByteArray& bytes) override;
  QByteArray Read(qint64 maxBytes) override;
  qint64 BytesAvailable() const override { return rx_.size(); }
  void SetDtr(bool on) override { inner_.SetDtr(on); }
  ModemLines Lines() const override { return inner_.Lines(); }
  QString Device() const override { return inner_.Device(); }

private:
  QByteArray Disturb(const QByteArray& bytes, NoiseStats& stats);

  SerialLine& inner_;
  // Received bytes after the noise: a dropped byte is never announced.
  QByteArray rx_;
  std::mt19937 random_;
  std::uniform_int_distribution<int> perMillion_{0, 999999};
  std::uniform_int_distribution<int> mask_{1, 255};
  int corrupt_;
  int drop_;
  bool noise_ = true;
  NoiseStats sent_;
  NoiseStats received_;
};

}  // namespace ulv
