#pragma once
// Test rig of the application shell: a configuration file in a temporary
// folder, the context in virtual time, the program's units on an in-memory
// line, and the simulated controller's byte logic on the line's other end.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "app/program_window.h"
#include "common/virtual_clock.h"
#include "context/app_context.h"
#include "context/app_units.h"
#include "link/fake_transfers.h"
#include "link/memory_line.h"
#include "sim/plant_model.h"
#include "sim/sim_controller.h"
#include "support/test_support.h"

using namespace Qt::StringLiterals;

namespace ulv::test {

// The controller's end of the line: answers each byte of the tool one
// virtual millisecond later (about the two character times a turn takes at
// 19200 baud), and sends an idle byte after 2 s of silence.
class ControllerEnd {
public:
  ControllerEnd(MemoryLine& toolEnd, Scenario plant) : plant_(std::move(plant)), controller_(plant_) {
    MemoryLine::Connect(toolEnd, end_);
    end_.Open(QStringLiteral("controller"), nullptr);
  }

  // One virtual millisecond of line time: the controller answers what the
  // tool sent, then the tool takes the answer.
  void Tick(MemoryLine& toolEnd) {
    const QByteArray in = end_.Read(end_.BytesAvailable());
    if (!in.isEmpty()) {
      silentMs_ = 0;
      for (char c : in)
        if (auto a = controller_.Feed(static_cast<uint8_t>(c)))
          end_.Write(QByteArray(1, static_cast<char>(*a)));
    } else if (++silentMs_ >= 2000) {
      silentMs_ = 0;
      if (auto a = controller_.IdleTick()) end_.Write(QByteArray(1, static_cast<char>(*a)));
    }
    toolEnd.Pump();
  }

  SimController& Controller() { return controller_; }
  PlantModel& Plant() { return plant_; }
  MemoryLine& End() { return end_; }

private:
  MemoryLine end_;
  PlantModel plant_;
  SimController controller_;
  int silentMs_ = 0;
};

inline Scenario TestPlant() {
  Scenario s;
  s.version = QByteArray("ULV 4.21 250311");
  s.name = QByteArray("AUFZUG\x01 3");
  s.telephone = QByteArray("0301234567");
  s.eepromA = 5;
  s.eepromB = 2;
  s.trips = 4711;
  return s;
}

class AppRig : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  void TearDown() override { Stop(); }
  void Stop() {
    windows.reset();
    controller.reset();
    units.reset();
    if (ctx) ctx->Finish();
    ctx.reset();
  }

  QString Path(const QString& name) const { return dir_.filePath(name); }
  QString IniPath() const { return Path(QStringLiteral("ulvreader.INI")); }

  void WriteFile(const QString& name, const QByteArray& bytes) { ASSERT_TRUE(WriteBytes(Path(name), bytes)); }
  QByteArray ReadFile(const QString& name) const { return ReadBytes(Path(name)); }
  void WriteIni(const QByteArray& text) { WriteFile(QStringLiteral("ulvreader.INI"), text); }

  // The configuration (from ulvreader.INI in the folder when it exists) in
  // virtual time, then the units on `on`.
  void StartUnits(SerialLine& on) {
    ctx = std::make_unique<AppContext>(&clock, &clock);
    ctx->config.OnInfoMessage = [this](const QString& text) { infoMessages.append(text); };
    ctx->Start({Path(QStringLiteral("ulvreader")), QStringLiteral("/i=") + IniPath()}, dir_.path());
    units = std::make_unique<AppUnits>(*ctx, on);
  }

  // The whole start-up: units, all windows, the start-up steps.
  void Start(bool simulate = false) {
    StartUnits(line);
    units->StartSimulator = [this](QString*) {
      ++simulatorStarts;
      return QStringLiteral("/dev/pts/sim-test");
    };
    controller = std::make_unique<ControllerEnd>(line, TestPlant());
    windows = std::make_unique<ProgramWindows>(*ctx, *units);
    windows->Form3->OpenHelpUrl = [this](const QUrl& url) { helpUrls.append(url); };
    windows->Form3->OnEndProgram = [this] { ++endRequests; };
    windows->Start(simulate);
  }

  // Runs the line for `ms` virtual milliseconds.
  void Run(int ms) {
    for (int i = 0; i < ms; ++i) {
      clock.Advance(1);
      controller->Tick(line);
    }
  }

  TForm3& Form3() { return *windows->Form3; }
  // A control by its objectName; a missing one fails the test.
  template <typename T = QWidget>
  T* Find(QObject* in, const char* name) {
    T* child = in->findChild<T*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  void Click(QWidget* in, const char* name) { Find<QAbstractButton>(in, name)->click(); }
  // A menu item of the main window.
  void Menu(const char* name) { Find<QAction>(&Form3(), name)->trigger(); }

  GermanLocale german;
  VirtualClock clock{QDateTime(QDate(2026, 3, 14), QTime(10, 0, 0))};
  MemoryLine line;
  std::unique_ptr<AppContext> ctx;
  std::unique_ptr<AppUnits> units;
  std::unique_ptr<ControllerEnd> controller;
  std::unique_ptr<ProgramWindows> windows;
  QStringList infoMessages;
  QList<QUrl> helpUrls;
  int endRequests = 0;
  int simulatorStarts = 0;

private:
  QTemporaryDir dir_;
};

}  // namespace ulv::test
