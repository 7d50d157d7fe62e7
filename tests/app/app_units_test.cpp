// The link units the windowed program and the headless command share: the
// device a COM number opens, and the built-in simulated controller started
// with the plant and line timing its owner chose.
#include "app_rig.h"
#include "link/qt_serial_line.h"

namespace ulv::test {
namespace {

class AppUnitsTest : public AppRig {
protected:
  void StartOn(SerialLine& on, const QByteArray& ini = {}) {
    WriteIni(ini);
    StartUnits(on);
    units->simulatorChosen = true;
    units->port.OnTraceLine = [this](const QString& text) { trace.append(text); };
  }
  std::string Trace() const { return trace.join(QLatin1Char('\n')).toStdString(); }

  QtSerialLine ptyLine{false};
  QStringList trace;
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
    StartOn(line, "[comport]\r\ncom2=/dev/ttyUSB7\r\ncom3=SIM\r\n");
    int starts = 0;
    units->StartSimulator = [&starts, &c](QString* error) {
      ++starts;
      *error = c.startError;
      return c.started;
    };
    EXPECT_EQ(units->DeviceForCom(c.com), c.device);
    EXPECT_EQ(starts, c.starts);
    EXPECT_EQ(trace, c.report.isEmpty() ? QStringList() : QStringList{c.report});
    // Only the simulator's own device on its number shows as "SIM".
    if (!c.device.isEmpty()) {
      ASSERT_TRUE(units->port.OpenPort(c.com));
      EXPECT_EQ(units->port.PortDescription().startsWith(u"SIM/"_s), c.com == AppUnits::kSimulatorPort);
    }
    trace.clear();
    Stop();
  }
  // Not chosen explicitly, the simulator's number is an ordinary COM number.
  StartOn(line, "[comport]\r\ncom0=/dev/ttyUSB0\r\n");
  units->simulatorChosen = false;
  units->StartSimulator = [](QString*) { return u"/dev/pts/9"_s; };
  EXPECT_EQ(units->DeviceForCom(AppUnits::kSimulatorPort), u"/dev/ttyUSB0"_s);
  ASSERT_TRUE(units->port.OpenPort(AppUnits::kSimulatorPort));
  EXPECT_EQ(units->port.PortDescription(), u"COM0/19200/8N1"_s);
}

TEST_F(AppUnitsTest, SimulatorServesTheChosenPlantOnce) {
  StartOn(line);
  units->simOptions.scenarioFile = QStringLiteral(ULV_TEST_DATA "/scenarios/small_plant.json");
  units->simOptions.lineTiming = false;
  const QString device = units->DeviceForCom(AppUnits::kSimulatorPort);
  ASSERT_FALSE(device.isEmpty()) << Trace();
  PtySimulator* sim = units->Simulator();
  ASSERT_NE(sim, nullptr);
  EXPECT_TRUE(sim->IsRunning());
  EXPECT_EQ(sim->PlantState().name, QByteArray("HAUS 7"));  // the chosen plant, not the default one
  // A second open of the simulator port reuses the running simulator.
  EXPECT_EQ(units->DeviceForCom(AppUnits::kSimulatorPort), device);
  EXPECT_EQ(units->Simulator(), sim);
}

TEST_F(AppUnitsTest, UnreadableScenarioIsReportedAndNothingRuns) {
  StartOn(line);
  const QString missing = QStringLiteral(ULV_TEST_DATA "/scenarios/no_such_plant.json");
  units->simOptions.scenarioFile = missing;
  EXPECT_EQ(units->DeviceForCom(AppUnits::kSimulatorPort), QString());
  EXPECT_EQ(units->Simulator(), nullptr);
  ASSERT_EQ(trace.size(), 1);
  EXPECT_TRUE(trace[0].startsWith(u"simulator: scenario "_s + missing)) << qPrintable(trace[0]);
}

TEST_F(AppUnitsTest, PortLetsGoOfTheSimulatorsPtyWhenTheUnitsGo) {
  StartOn(ptyLine);
  units->simOptions.lineTiming = false;
  const QString device = units->DeviceForCom(AppUnits::kSimulatorPort);
  ASSERT_FALSE(device.isEmpty()) << Trace();
  ASSERT_TRUE(units->port.OpenDevice(device, AppUnits::kSimulatorPort))
      << qPrintable(units->port.LastError());
  ASSERT_TRUE(ptyLine.IsOpen());
  units.reset();
  EXPECT_FALSE(ptyLine.IsOpen());
}

}  // namespace
}  // namespace ulv::test
