#pragma once
// Virtual time for tests: a clock and a timer factory whose timers fire only
// when Advance() moves time past their due point, in due order.
#include "common/clock.h"
#include "common/timer.h"

#include <QDateTime>
#include <cstdint>
#include <vector>

namespace ulv {

class VirtualTimer;

class VirtualClock : public Clock, public TimerFactory {
public:
  explicit VirtualClock(QDateTime start = QDateTime(QDate(2026, 3, 14), QTime(10, 0, 0)));
  ~VirtualClock() override;
  QDateTime Now() const override;
  std::unique_ptr<Timer> CreateTimer() override;
  // Moves time forward by ms, firing every timer that falls due on the way in
  // order of its due time (a repeating timer can fire several times).
  void Advance(int64_t ms);
  // Virtual milliseconds since construction.
  int64_t ElapsedMs() const { return now_; }
  void SetDateTime(const QDateTime& t);

private:
  friend class VirtualTimer;
  QDateTime start_;
  int64_t now_ = 0;
  uint64_t seq_ = 0;
  std::vector<VirtualTimer*> timers_;
};

}  // namespace ulv
