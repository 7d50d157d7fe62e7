#include "context/app_context.h"

namespace ulv {

namespace {

template <typename Base, typename Default>
Base& Pick(Base* injected, std::unique_ptr<Base>& owned) {
  if (injected != nullptr) return *injected;
  owned = std::make_unique<Default>();
  return *owned;
}

}  // namespace

AppContext::AppContext(Clock* injectedClock, TimerFactory* injectedTimers)
    : clock(Pick<Clock, SystemClock>(injectedClock, ownedClock_)),
      timers(Pick<TimerFactory, QtTimerFactory>(injectedTimers, ownedTimers_)),
      config(clock, logs, &timers) {}

AppContext::~AppContext() { Finish(); }

void AppContext::Start(const QStringList& args, const QString& workingDir) { config.Start(args, workingDir); }

void AppContext::Finish() { config.Finish(); }

}  // namespace ulv
