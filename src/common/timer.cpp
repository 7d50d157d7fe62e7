#include "common/timer.h"

#include <QObject>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdint>

namespace ulv {

namespace {

// A Timer over a QTimer. The QTimer is not a member object so that a
// callback may destroy its own timer: while a callback runs, the QTimer is
// released with deleteLater instead of being deleted under its own signal.
class QtTimer final : public Timer {
public:
  QtTimer() : timer_(new QTimer), firing_(std::make_shared<int>(0)) {
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setSingleShot(false);
    timer_->setInterval(0);
    QObject::connect(timer_, &QTimer::timeout, [this] { Fire(); });
  }

  ~QtTimer() override {
    timer_->stop();
    QObject::disconnect(timer_, nullptr, nullptr, nullptr);
    if (*firing_ > 0)
      timer_->deleteLater();
    else
      delete timer_;
  }

  // Restarting a running timer with its own interval only moves its due
  // time: a watchdog restarted for every received byte then costs a clock
  // read, not a new registration with the event loop; the QTimer, when it
  // fires before the due time, waits for the rest.
  void Start(int intervalMs) override {
    intervalMs = std::max(0, intervalMs);
    dueNs_ = NowNs() + int64_t{intervalMs} * 1000000;
    if (intervalMs > 0 && intervalMs == interval_ && timer_->isActive()) return;
    interval_ = intervalMs;
    timer_->start(intervalMs);
  }
  void Stop() override { timer_->stop(); }
  bool IsActive() const override { return timer_->isActive(); }
  int Interval() const override { return interval_; }
  void SetInterval(int intervalMs) override {
    interval_ = std::max(0, intervalMs);
    dueNs_ = NowNs() + int64_t{interval_} * 1000000;
    timer_->setInterval(interval_);
  }
  void SetSingleShot(bool singleShot) override { timer_->setSingleShot(singleShot); }

private:
  static int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  void Fire() {
    const int64_t now = NowNs();
    // Less than half a millisecond early counts as on time (the QTimer
    // rounds to milliseconds).
    if (dueNs_ - now >= 500000) {
      timer_->start(static_cast<int>((dueNs_ - now + 999999) / 1000000));
      return;
    }
    if (timer_->isSingleShot()) {
      timer_->stop();
    } else {
      dueNs_ = now + int64_t{interval_} * 1000000;
      if (timer_->interval() != interval_) timer_->start(interval_);
    }
    // The callback may destroy this object: keep what is needed afterwards
    // in locals and touch no member once it has returned.
    std::shared_ptr<int> firing = firing_;
    std::function<void()> callback = OnTimeout;
    if (!callback) return;
    ++*firing;
    callback();
    --*firing;
  }

  QTimer* timer_;
  std::shared_ptr<int> firing_;
  int interval_ = 0;
  int64_t dueNs_ = 0;
};

}  // namespace

std::unique_ptr<Timer> QtTimerFactory::CreateTimer() { return std::make_unique<QtTimer>(); }

}  // namespace ulv
