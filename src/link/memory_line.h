#pragma once
// An in-memory serial line for tests: two connected ends; what one end writes
// arrives in the other's receive buffer. Data-available events are either
// delivered at once or held until Pump(), so a test decides exactly when each
// turn of an exchange happens.
#include <QByteArray>
#include <QString>
#include <functional>

#include "link/serial_line.h"

namespace ulv {

class MemoryLine : public SerialLine {
public:
  enum class Delivery { Deferred, Immediate };

  MemoryLine() = default;
  ~MemoryLine() override;
  MemoryLine(const MemoryLine&) = delete;
  MemoryLine& operator=(const MemoryLine&) = delete;

  // Joins two ends (an end is joined to at most one other).
  static void Connect(MemoryLine& a, MemoryLine& b);

  bool Open(const QString& device, QString* error) override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  using SerialLine::Read;
  using SerialLine::Write;
  // Bytes reach the other end only while it is open.
  bool Write(const QByteArray& bytes) override;
  QByteArray Read(qint64 maxBytes) override;
  qint64 BytesAvailable() const override { return rx_.size(); }
  void SetDtr(bool on) override {
    dtr_ = on;
    if (OnDtrChanged) OnDtrChanged(on);
  }
  ModemLines Lines() const override { return lines_; }
  QString Device() const override { return device_; }

  // Test side.
  void SetDelivery(Delivery d) { delivery_ = d; }
  // Bytes arrive as if the far end had sent them.
  void Inject(const QByteArray& bytes);
  // Delivers a held data-available event; true when one was delivered.
  bool Pump();
  // The device disappears: the end closes, its buffer is lost, OnLost fires,
  // and every Open fails until Reappear().
  void Vanish(const QString& reason = QStringLiteral("device disappeared"));
  void Reappear() { vanished_ = false; }
  // A non-empty text makes every Open fail with it.
  void SetOpenError(const QString& text) { openError_ = text; }
  void SetLines(const ModemLines& lines) { lines_ = lines; }
  bool Dtr() const { return dtr_; }
  int OpenAttempts() const { return openAttempts_; }
  int OpenCount() const { return openCount_; }
  // Every SetDtr of this end, for a simulated modem on the other end.
  std::function<void(bool on)> OnDtrChanged;

private:
  void Receive(const QByteArray& bytes);

  MemoryLine* peer_ = nullptr;
  QByteArray rx_;
  QString device_;
  QString openError_;
  ModemLines lines_;
  Delivery delivery_ = Delivery::Deferred;
  bool open_ = false;
  bool vanished_ = false;
  bool pending_ = false;
  bool dtr_ = false;
  int openAttempts_ = 0;
  int openCount_ = 0;
};

}  // namespace ulv
