#include "common/virtual_clock.h"

#include <algorithm>

namespace ulv {

class VirtualTimer final : public Timer {
public:
  explicit VirtualTimer(VirtualClock* clock) : clock_(clock) { clock_->timers_.push_back(this); }

  ~VirtualTimer() override {
    if (clock_ == nullptr) return;
    auto& list = clock_->timers_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }

  void Start(int intervalMs) override {
    interval_ = std::max(0, intervalMs);
    Arm();
  }
  void Stop() override { active_ = false; }
  bool IsActive() const override { return active_; }
  int Interval() const override { return interval_; }
  void SetInterval(int intervalMs) override {
    interval_ = std::max(0, intervalMs);
    if (active_) Arm();
  }
  void SetSingleShot(bool singleShot) override { singleShot_ = singleShot; }

  // Every start takes a fresh sequence number: equal due times fire in start
  // order, and whatever was due before a restart is gone.
  void Arm() {
    active_ = clock_ != nullptr;
    if (!active_) return;
    due_ = clock_->now_ + interval_;
    seq_ = ++clock_->seq_;
  }

  VirtualClock* clock_;
  int interval_ = 0;
  bool singleShot_ = false;
  bool active_ = false;
  int64_t due_ = 0;
  uint64_t seq_ = 0;
};

VirtualClock::VirtualClock(QDateTime start) : start_(std::move(start)) {}

VirtualClock::~VirtualClock() {
  for (VirtualTimer* t : timers_) {
    t->clock_ = nullptr;
    t->active_ = false;
  }
}

QDateTime VirtualClock::Now() const { return start_.addMSecs(now_); }

std::unique_ptr<Timer> VirtualClock::CreateTimer() { return std::make_unique<VirtualTimer>(this); }

void VirtualClock::Advance(int64_t ms) {
  const int64_t target = now_ + std::max<int64_t>(0, ms);
  for (;;) {
    // Chosen afresh after every callback: callbacks may start, stop or
    // destroy timers (their own included).
    VirtualTimer* next = nullptr;
    for (VirtualTimer* t : timers_) {
      if (!t->active_ || t->due_ > target) continue;
      if (next == nullptr || t->due_ < next->due_ || (t->due_ == next->due_ && t->seq_ < next->seq_))
        next = t;
    }
    if (next == nullptr) break;
    now_ = std::max(now_, next->due_);
    if (next->singleShot_) {
      next->active_ = false;
    } else {
      // A repeating timer keeps its place among equal due times. An interval
      // of 0 repeats once per virtual millisecond so that Advance ends.
      next->due_ += std::max(1, next->interval_);
    }
    std::function<void()> callback = next->OnTimeout;
    if (callback) callback();
  }
  now_ = std::max(now_, target);
}

void VirtualClock::SetDateTime(const QDateTime& t) { start_ = t.addMSecs(-now_); }

}  // namespace ulv
