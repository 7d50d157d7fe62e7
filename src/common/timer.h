#pragma once
// Every timer of the program goes through this interface so that tests can
// run time-outs in virtual time.
#include <functional>
#include <memory>

namespace ulv {

class Timer {
public:
  virtual ~Timer() = default;
  // Starts (or restarts) with the given interval; whatever was due is dropped.
  virtual void Start(int intervalMs) = 0;
  // Restarts with the current interval.
  void Start() { Start(Interval()); }
  virtual void Stop() = 0;
  virtual bool IsActive() const = 0;
  virtual int Interval() const = 0;
  // Sets the interval; an active timer is restarted with it.
  virtual void SetInterval(int intervalMs) = 0;
  virtual void SetSingleShot(bool singleShot) = 0;
  // Called on the owner's thread when the timer fires.
  std::function<void()> OnTimeout;
};

class TimerFactory {
public:
  virtual ~TimerFactory() = default;
  // A repeating timer, stopped, interval 0.
  virtual std::unique_ptr<Timer> CreateTimer() = 0;
};

// Production factory backed by QTimer (precise timers).
class QtTimerFactory : public TimerFactory {
public:
  std::unique_ptr<Timer> CreateTimer() override;
};

}  // namespace ulv
