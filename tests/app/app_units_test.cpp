// The link units the windowed program and the headless command share: the
// device a COM number opens, and the built-in simulated controller started
// with the plant and line timing its owner chose.
#include "context/app_units.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "common/virtual_clock.h"
#include "context/app_context.h"
#include "link/memory_line.h"
#include "link/qt_serial_line.h"

namespace ulv {
namespace {

class AppUnitsTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  void TearDown() override { Stop(); }

  void Stop() {
    units.reset();
    if (ctx) ctx->Finish();
    ctx.reset();
  }

  void Start(const QByteArray& ini, SerialLine& line) {
    const QString iniPath = dir_.filePath(QStringLiteral("ulvreader.INI"));
    QFile f(iniPath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(ini);
    f.close();
    ctx = std::make_unique<AppContext>(&clock, &clock);
    // These folders hold no default edit file; that notice is not under test.
    ctx->config.OnInfoMessage = [](const QString&) {};
    ctx->Start({dir_.filePath(QStringLiteral("ulvreader")), QStringLiteral("/i=") + iniPath}, dir_.path());
    units = std::make_unique<AppUnits>(*ctx, line);
    units->port.OnTraceLine = [this](const QString& text) { trace.append(text); };
  }

  VirtualClock clock{QDateTime(QDate(2026, 3, 14), QTime(10, 0, 0))};
  MemoryLine memoryLine;
  QtSerialLine ptyLine{false};
  std::unique_ptr<AppContext> ctx;
  std::unique_ptr<AppUnits> units;
  QStringList trace;

private:
  QTemporaryDir dir_;
};

TEST_F(AppUnitsTest, ComNumberChoosesTheConfiguredDeviceOrTheSimulator) {
  struct Case {
    const char* name;
    int com;
    QString started;  // what the simulator start gives ("" fails)
    QString startError;
    QString device;
    int starts;
    QString report;  // the port's report line ("" none)
  };
  const Case cases[] = {
      {"configured device", 2, "/dev/pts/9", "", "/dev/ttyUSB7", 0, ""},
      {"configured sim", 3, "/dev/pts/9", "", "/dev/pts/9", 1, ""},
      {"simulator port", AppUnits::kSimulatorPort, "/dev/pts/9", "", "/dev/pts/9", 1, ""},
      {"simulator fails", AppUnits::kSimulatorPort, "", "no pty left", "", 1, "simulator: no pty left"},
      {"simulator fails silently", 3, "", "", "", 1, "simulator: not available"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start("[comport]\r\ncom2=/dev/ttyUSB7\r\ncom3=SIM\r\n", memoryLine);
    int starts = 0;
    units->StartSimulator = [&starts, &c](QString* error) {
      ++starts;
      *error = c.startError;
      return c.started;
    };
    EXPECT_EQ(units->DeviceForCom(c.com), c.device);
    EXPECT_EQ(starts, c.starts);
    EXPECT_EQ(trace, c.report.isEmpty() ? QStringList() : QStringList{c.report});
    trace.clear();
    Stop();
  }
}

TEST_F(AppUnitsTest, SimulatorServesTheChosenPlantOnce) {
  Start("", memoryLine);
  units->simOptions.scenarioFile = QStringLiteral(ULV_TEST_DATA "/scenarios/small_plant.json");
  units->simOptions.lineTiming = false;
  const QString device = units->DeviceForCom(AppUnits::kSimulatorPort);
  ASSERT_FALSE(device.isEmpty()) << trace.join(QLatin1Char('\n')).toStdString();
  PtySimulator* sim = units->Simulator();
  ASSERT_NE(sim, nullptr);
  EXPECT_TRUE(sim->IsRunning());
  EXPECT_EQ(sim->PlantState().name, QByteArray("HAUS 7"));
  EXPECT_EQ(sim->PlantState().errors.size(), 3u);
  // A second open of the simulator port reuses the running simulator.
  EXPECT_EQ(units->DeviceForCom(AppUnits::kSimulatorPort), device);
  EXPECT_EQ(units->Simulator(), sim);
}

TEST_F(AppUnitsTest, UnreadableScenarioIsReportedAndNothingRuns) {
  Start("", memoryLine);
  const QString missing = QStringLiteral(ULV_TEST_DATA "/scenarios/no_such_plant.json");
  units->simOptions.scenarioFile = missing;
  EXPECT_EQ(units->DeviceForCom(AppUnits::kSimulatorPort), QString());
  EXPECT_EQ(units->Simulator(), nullptr);
  ASSERT_EQ(trace.size(), 1);
  EXPECT_TRUE(trace[0].startsWith(QStringLiteral("simulator: scenario ") + missing))
      << trace[0].toStdString();
}

TEST_F(AppUnitsTest, PortLetsGoOfTheSimulatorsPtyWhenTheUnitsGo) {
  Start("", ptyLine);
  units->simOptions.lineTiming = false;
  const QString device = units->DeviceForCom(AppUnits::kSimulatorPort);
  ASSERT_FALSE(device.isEmpty()) << trace.join(QLatin1Char('\n')).toStdString();
  ASSERT_TRUE(units->port.OpenDevice(device, AppUnits::kSimulatorPort))
      << units->port.LastError().toStdString();
  ASSERT_TRUE(ptyLine.IsOpen());
  units.reset();
  EXPECT_FALSE(ptyLine.IsOpen());
}

}  // namespace
}  // namespace ulv
