#include "common/timer.h"

#include <QObject>
#include <QTimer>
#include <algorithm>

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

  void Start(int intervalMs) override { timer_->start(std::max(0, intervalMs)); }
  void Stop() override { timer_->stop(); }
  bool IsActive() const override { return timer_->isActive(); }
  int Interval() const override { return timer_->interval(); }
  void SetInterval(int intervalMs) override { timer_->setInterval(std::max(0, intervalMs)); }
  void SetSingleShot(bool singleShot) override { timer_->setSingleShot(singleShot); }

private:
  void Fire() {
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
};

}  // namespace

std::unique_ptr<Timer> QtTimerFactory::CreateTimer() { return std::make_unique<QtTimer>(); }

}  // namespace ulv
