// The simulator served on a real pseudo-terminal.
#include "sim/pty_simulator.h"

#include <gtest/gtest.h>

#include "link/pty.h"
#include "raw_tool.h"
#include "tool_side.h"

using ulvtest::Bytes;

namespace {

ulv::SimOptions Fast() {
  ulv::SimOptions o;
  o.scenarioFile = QStringLiteral(ULV_TEST_DATA "/scenarios/small_plant.json");
  o.lineTiming = false;
  return o;
}

}  // namespace

TEST(PtySimulator, ServesTheExchangeTurnByTurn) {
  for (bool lineTiming : {false, true}) {
    ulv::SimOptions o = Fast();
    o.lineTiming = lineTiming;
    ulv::PtySimulator sim(o);
    QString path, error;
    ASSERT_TRUE(sim.Start(&path, &error)) << qPrintable(error);
    ulvtest::RawTool tool(path);
    ASSERT_TRUE(tool.IsOpen());
    const QByteArray turns = ulvtest::ToolTurns(Bytes({0xF1, 0x01})) + ulvtest::IdleTurns(33);
    QByteArray answers;
    for (char c : turns) {
      const int a = tool.Turn(static_cast<uint8_t>(c));
      ASSERT_GE(a, 0) << "no answer, line timing " << lineTiming;
      answers.append(static_cast<char>(a));
    }
    EXPECT_EQ(ulvtest::Assemble(answers), QByteArray("\xFF") + ulvtest::Padded("TEST 1.00", 15));
    sim.Stop();
    const ulv::SimStats s = sim.Stats();
    EXPECT_EQ(s.turns, turns.size());
    EXPECT_EQ(s.requests, 1);
    // Every turn but the first follows an answer.
    EXPECT_EQ(static_cast<int>(s.turnaroundNs.size()), turns.size() - 1);
  }
}

TEST(PtySimulator, BulkDeliveryGivesTheSameAnswers) {
  const QByteArray turns = ulvtest::ToolTurns(Bytes({0xF3, 0x55, 0x07, 0x01})) + ulvtest::IdleTurns(18) +
                           ulvtest::ToolTurns(Bytes({0xF1, 0x31})) + ulvtest::IdleTurns(12);
  QByteArray oneByOne;
  {
    ulv::PtySimulator sim(Fast());
    QString path, error;
    ASSERT_TRUE(sim.Start(&path, &error)) << qPrintable(error);
    ulvtest::RawTool tool(path);
    for (char c : turns) oneByOne.append(static_cast<char>(tool.Turn(static_cast<uint8_t>(c))));
  }
  QByteArray bulk;
  {
    ulv::PtySimulator sim(Fast());
    QString path, error;
    ASSERT_TRUE(sim.Start(&path, &error)) << qPrintable(error);
    ulvtest::RawTool tool(path);
    ASSERT_TRUE(tool.Write(turns));
    bulk = tool.Read(turns.size());
  }
  EXPECT_EQ(bulk.toHex(' '), oneByOne.toHex(' '));
  // Record k = 1 is the middle entry of the test plant, then the count 3.
  EXPECT_EQ(
      ulvtest::Assemble(bulk).toHex(' '),
      (Bytes({0xF7, 2, 3, 2, 9569 & 0xFF, 9569 >> 8, 1830 & 0xFF, 1830 >> 8}) + Bytes({0xF4, 3, 0, 0, 0}))
          .toHex(' '));
}

TEST(PtySimulator, SendsAnIdleByteWhileTheToolIsSilent) {
  ulv::SimOptions o = Fast();
  o.idleIntervalMs = 50;
  ulv::PtySimulator sim(o);
  QString path, error;
  ASSERT_TRUE(sim.Start(&path, &error)) << qPrintable(error);
  ulvtest::RawTool tool(path);
  EXPECT_EQ(tool.Read(2, 5000).toHex(' '), QByteArray("40 40"));
  EXPECT_GE(sim.Stats().idleBytes, 2);
}

TEST(PtySimulator, FaultsCanBeSwitchedWhileServing) {
  ulv::PtySimulator sim(Fast());
  QString path, error;
  ASSERT_TRUE(sim.Start(&path, &error)) << qPrintable(error);
  ulvtest::RawTool tool(path);
  EXPECT_EQ(tool.Turn(0x40), 0x40);
  sim.SetFaults({.silent = true});
  EXPECT_EQ(tool.Turn(0x40, 300), -1);
  sim.SetFaults({.corruptEvery = 1});
  EXPECT_EQ(tool.Turn(0x40), 0x4F);
  sim.SetFaults({});
  EXPECT_EQ(tool.Turn(0xF0), 0xF0);
}

TEST(PtySimulator, VanishedDeviceHangsUpTheToolsEnd) {
  ulv::PtySimulator sim(Fast());
  QString path, error;
  ASSERT_TRUE(sim.Start(&path, &error)) << qPrintable(error);
  ulvtest::RawTool tool(path);
  EXPECT_EQ(tool.Turn(0x40), 0x40);
  sim.Vanish();
  pollfd p{tool.Fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 5000), 1);
  EXPECT_TRUE(p.revents & (POLLHUP | POLLERR));
  char c = 0;
  EXPECT_LE(::read(tool.Fd(), &c, 1), 0);
  EXPECT_TRUE(sim.Vanished());
}

TEST(PtySimulator, WrittenNameSurvivesInThePlant) {
  ulv::PtySimulator sim(Fast());
  QString path, error;
  ASSERT_TRUE(sim.Start(&path, &error)) << qPrintable(error);
  ulvtest::RawTool tool(path);
  const QByteArray write = Bytes({0xFF, 0x55, 0x11}) + QByteArray("NEU") + QByteArray(10, '\0');
  ASSERT_TRUE(tool.Write(ulvtest::ToolTurns(write) + ulvtest::IdleTurns(4)));
  EXPECT_EQ(ulvtest::Assemble(tool.Read(32 + 4)).toHex(), Bytes({0xF1, 0x01}).toHex());
  EXPECT_EQ(sim.PlantState().name, QByteArray("NEU"));
}

TEST(PtySimulator, StartFailsWithTheReason) {
  ulv::SimOptions o = Fast();
  o.scenarioFile = QStringLiteral("/nonexistent/plant.json");
  ulv::PtySimulator sim(o);
  QString path, error;
  EXPECT_FALSE(sim.Start(&path, &error));
  EXPECT_TRUE(error.contains(QLatin1String("/nonexistent/plant.json")));
  EXPECT_FALSE(sim.IsRunning());
  ulv::PtySimulator onDevice(Fast());
  EXPECT_FALSE(onDevice.StartOnDevice(QStringLiteral("/dev/nonexistent-ulv-port"), &error));
  EXPECT_TRUE(error.contains(QLatin1String("/dev/nonexistent-ulv-port")));
}

TEST(PtySimulator, ServesAGivenDevice) {
  // The far end of a pty stands in for a serial device: the simulator opens
  // the device path, the test plays the tool on the other end.
  ulv::PtyPair cable;
  QString error;
  ASSERT_TRUE(cable.Open(&error)) << qPrintable(error);
  ulv::PtySimulator sim(Fast());
  ASSERT_TRUE(sim.StartOnDevice(cable.SlavePath(), &error)) << qPrintable(error);
  const QByteArray turns = ulvtest::ToolTurns(Bytes({0xF1, 0x00})) + ulvtest::IdleTurns(4);
  ASSERT_EQ(::write(cable.MasterFd(), turns.constData(), static_cast<size_t>(turns.size())), turns.size());
  QByteArray answers;
  while (answers.size() < turns.size()) {
    pollfd p{cable.MasterFd(), POLLIN, 0};
    if (::poll(&p, 1, 3000) != 1) break;
    char buf[64];
    const ssize_t n = ::read(cable.MasterFd(), buf, sizeof buf);
    if (n <= 0) break;
    answers.append(buf, n);
  }
  EXPECT_EQ(ulvtest::Assemble(answers).toHex(), Bytes({0xF1, 0x01}).toHex());
}
