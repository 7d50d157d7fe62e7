#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocale>
#include <string>
#include <vector>

#include "common/virtual_clock.h"
#include "support/test_support.h"

namespace ulv {
namespace {

struct Fired {
  std::string name;
  int64_t at;
  bool operator==(const Fired&) const = default;
};

class VirtualClockTest : public ::testing::Test {
protected:
  std::unique_ptr<Timer> Make(const std::string& name, bool singleShot = true) {
    auto t = clock.CreateTimer();
    t->SetSingleShot(singleShot);
    t->OnTimeout = [this, name] { fired.push_back({name, clock.ElapsedMs()}); };
    return t;
  }
  VirtualClock clock;
  std::vector<Fired> fired;
};

TEST_F(VirtualClockTest, DueTimersFireInDueOrderThenStartOrder) {
  auto c = Make("c");
  auto a = Make("a");
  auto b = Make("b");
  auto d = Make("d");
  c->Start(30);
  a->Start(10);
  b->Start(10);
  d->Start(31);
  clock.Advance(30);
  EXPECT_EQ(fired, (std::vector<Fired>{{"a", 10}, {"b", 10}, {"c", 30}}));
  EXPECT_EQ(clock.ElapsedMs(), 30);
  EXPECT_TRUE(d->IsActive());
  EXPECT_FALSE(a->IsActive());
  clock.Advance(1);
  EXPECT_EQ(fired.back(), (Fired{"d", 31}));
}

TEST_F(VirtualClockTest, RepeatingTimerFiresSeveralTimesInOneAdvance) {
  auto r = Make("r", false);
  auto s = Make("s");
  r->Start(100);
  s->Start(200);  // ties with r's second firing; r was started first
  clock.Advance(350);
  EXPECT_EQ(fired, (std::vector<Fired>{{"r", 100}, {"r", 200}, {"s", 200}, {"r", 300}}));
  EXPECT_TRUE(r->IsActive());
}

TEST_F(VirtualClockTest, RestartDropsWhatWasDue) {
  auto t = Make("t");
  t->Start(100);
  clock.Advance(50);
  t->Start(100);
  clock.Advance(60);
  EXPECT_TRUE(fired.empty());
  clock.Advance(40);
  EXPECT_EQ(fired, (std::vector<Fired>{{"t", 150}}));
  // SetInterval on an active timer restarts it.
  t->Start(100);
  clock.Advance(90);
  t->SetInterval(20);
  clock.Advance(19);
  EXPECT_EQ(fired.size(), 1u);
  clock.Advance(1);
  EXPECT_EQ(fired.back(), (Fired{"t", 260}));
}

TEST_F(VirtualClockTest, CallbacksMayStopRestartAndDestroyOtherTimers) {
  auto a = Make("a");
  auto b = Make("b");
  auto c = Make("c");
  auto e = Make("e");
  a->OnTimeout = [&] {
    fired.push_back({"a", clock.ElapsedMs()});
    b->Stop();      // due at the same time: must not fire stale
    c->Start(100);  // was due at 15: now at 110
    e.reset();      // destroyed while registered
  };
  a->Start(10);
  b->Start(10);
  c->Start(15);
  e->Start(12);
  clock.Advance(200);
  EXPECT_EQ(fired, (std::vector<Fired>{{"a", 10}, {"c", 110}}));
}

// A callback may destroy its own timer and start new ones; a repeating timer
// stopped in its own callback fires once.
TEST_F(VirtualClockTest, ACallbackMayStopOrDestroyItsOwnTimer) {
  std::unique_ptr<Timer> self = Make("self");
  std::unique_ptr<Timer> later;
  self->OnTimeout = [&] {
    fired.push_back({"self", clock.ElapsedMs()});
    later = Make("later");
    later->Start(5);  // falls due inside the same Advance
    self.reset();
  };
  auto r = Make("r", false);
  r->OnTimeout = [&] {
    fired.push_back({"r", clock.ElapsedMs()});
    r->Stop();
  };
  self->Start(10);
  r->Start(12);
  clock.Advance(100);
  EXPECT_EQ(self, nullptr);
  EXPECT_EQ(fired, (std::vector<Fired>{{"self", 10}, {"r", 12}, {"later", 15}}));
}

TEST_F(VirtualClockTest, TimersOutlivingTheClockAreHarmless) {
  std::unique_ptr<Timer> t;
  {
    VirtualClock local;
    t = local.CreateTimer();
    t->Start(10);
  }
  EXPECT_FALSE(t->IsActive());
  t->Start(5);
  EXPECT_FALSE(t->IsActive());
}

TEST_F(VirtualClockTest, NowIsStartPlusElapsed) {
  VirtualClock c(QDateTime(QDate(2026, 3, 14), QTime(23, 59, 59)));
  c.Advance(1500);
  EXPECT_EQ(c.Now(), QDateTime(QDate(2026, 3, 15), QTime(0, 0, 0, 500)));
  EXPECT_EQ(c.MsecsSinceMidnight(), 500);
  c.SetDateTime(QDateTime(QDate(2000, 1, 1), QTime(1, 0, 0)));
  EXPECT_EQ(c.Now(), QDateTime(QDate(2000, 1, 1), QTime(1, 0, 0)));
  EXPECT_EQ(c.ElapsedMs(), 1500);
  c.Advance(10);
  EXPECT_EQ(c.MsecsSinceMidnight(), 3600 * 1000 + 10);
}

TEST(ClockTest, DateTimeTextIsShortDateBlankLongTimeWithoutZone) {
  const QDateTime t(QDate(2026, 3, 4), QTime(9, 5, 7));
  struct Case {
    QLocale locale;
    QString expected;
  };
  const Case cases[] = {
      {QLocale(QLocale::German, QLocale::Germany), QStringLiteral("04.03.26 09:05:07")},
      {QLocale(QLocale::English, QLocale::UnitedStates), QStringLiteral("3/4/26 9:05:07 AM")},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Clock::DateTimeText(t, c.locale), c.expected) << qPrintable(c.locale.name());

  const test::GermanLocale german;
  EXPECT_EQ(VirtualClock(t).NowText(), QStringLiteral("04.03.26 09:05:07"));
}

// A due timer fires through the event loop and may destroy itself; a stopped
// one never fires.
TEST(QtTimerTest, FiresThroughTheEventLoopUnlessStopped) {
  QtTimerFactory factory;
  std::unique_ptr<Timer> t = factory.CreateTimer();
  auto stopped = factory.CreateTimer();
  int count = 0;
  int stoppedCount = 0;
  t->SetSingleShot(true);
  t->OnTimeout = [&] {
    ++count;
    t.reset();
  };
  stopped->OnTimeout = [&] { ++stoppedCount; };
  stopped->Start(0);
  stopped->Stop();
  t->Start(20);
  EXPECT_TRUE(t->IsActive());
  EXPECT_EQ(t->Interval(), 20);
  QDeadlineTimer deadline(10000);
  while (t && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_EQ(t, nullptr);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(stoppedCount, 0);
  EXPECT_FALSE(stopped->IsActive());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
}  // namespace ulv
