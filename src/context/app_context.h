#pragma once
// Everything the program holds for the whole run, built once in main() (and
// by each test) and passed by reference; there are no globals.
#include <QString>
#include <QStringList>
#include <memory>

#include "common/clock.h"
#include "common/configuration.h"
#include "common/log_hooks.h"
#include "common/timer.h"

namespace ulv {

class AppContext {
public:
  // Production: the system clock and QTimer-backed timers.
  AppContext() : AppContext(nullptr, nullptr) {}
  // Injected clock and timer factory (a test passes one VirtualClock for
  // both); they must outlive the context. A null pointer selects the
  // production default.
  AppContext(Clock* injectedClock, TimerFactory* injectedTimers);
  ~AppContext();
  AppContext(const AppContext&) = delete;
  AppContext& operator=(const AppContext&) = delete;

  // Unit initialisation, before any window exists.
  void Start(const QStringList& args, const QString& workingDir = QString());
  // Unit finalisation, after the last window is gone. Runs once.
  void Finish();

private:
  // Declared before the references below: they may point into these.
  std::unique_ptr<Clock> ownedClock_;
  std::unique_ptr<TimerFactory> ownedTimers_;

public:
  Clock& clock;
  TimerFactory& timers;
  // Before every unit that writes trace lines (it outlives them).
  LogHooks logs;
  Configuration config;

  // Units added later (link objects, catalogue, identity values, reader and
  // decoder state) go below as std::unique_ptr members, created in the
  // constructor or in Start() and torn down in Finish() in reverse order.
};

}  // namespace ulv
