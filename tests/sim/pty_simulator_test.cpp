// The simulator served on a real pseudo-terminal.
#include "sim/pty_simulator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "link/pty.h"
#include "common/bytes.h"
#include "tool_side.h"

using ulvtest::Assemble;
using ulvtest::IdleTurns;
using ulvtest::ToolTurns;

namespace {

ulv::SimOptions Fast() {
  ulv::SimOptions o;
  o.scenarioFile = QStringLiteral(ULV_TEST_DATA "/scenarios/small_plant.json");
  o.lineTiming = false;
  return o;
}

// A simulator serving a new pty, and the tool's end opened on it.
struct Served {
  explicit Served(const ulv::SimOptions& o = Fast()) : sim(o) {
    if (sim.Start(&path, &error)) tool.emplace(path);
  }
  ulv::PtySimulator sim;
  QString path, error;
  std::optional<ulvtest::RawTool> tool;
};

}  // namespace

TEST(PtySimulator, ServesTheExchangeTurnByTurn) {
  // The measuring modes (clock-watching before an answer, polling after it)
  // must not change what goes on the wire.
  struct Mode {
    const char* name;
    bool lineTiming;
    int spinBeforeDueUs;
    int spinAfterAnswerUs;
  };
  for (const Mode& m : {Mode{"no line timing", false, 0, 0}, Mode{"line timing", true, 0, 0},
                        Mode{"line timing, spinning", true, 100, 400}}) {
    SCOPED_TRACE(m.name);
    ulv::SimOptions o = Fast();
    o.lineTiming = m.lineTiming;
    o.spinBeforeDueUs = m.spinBeforeDueUs;
    o.spinAfterAnswerUs = m.spinAfterAnswerUs;
    Served s(o);
    ASSERT_TRUE(s.tool && s.tool->IsOpen()) << qPrintable(s.error);
    const QByteArray turns = ToolTurns("\xF1\x01"_ba) + IdleTurns(33);
    QByteArray answers;
    for (char c : turns) {
      const int a = s.tool->Turn(static_cast<uint8_t>(c));
      ASSERT_GE(a, 0) << "no answer";
      answers.append(static_cast<char>(a));
    }
    EXPECT_EQ(Assemble(answers), "\xFF"_ba + ulvtest::Padded("TEST 1.00", 15));
    s.sim.Stop();
    const ulv::SimStats stats = s.sim.Stats();
    EXPECT_EQ(stats.turns, turns.size());
    EXPECT_EQ(stats.requests, 1);
    // Every turn but the first follows an answer.
    EXPECT_EQ(static_cast<int>(stats.turnaroundNs.size()), turns.size() - 1);
  }
}

TEST(PtySimulator, BulkDeliveryGivesTheSameAnswers) {
  const QByteArray turns =
      ToolTurns("\xF3\x55\x07\x01"_ba) + IdleTurns(18) + ToolTurns("\xF1\x31"_ba) + IdleTurns(12);
  Served single;
  ASSERT_TRUE(single.tool) << qPrintable(single.error);
  QByteArray oneByOne;
  for (char c : turns) oneByOne.append(static_cast<char>(single.tool->Turn(static_cast<uint8_t>(c))));
  Served bulk;
  ASSERT_TRUE(bulk.tool && bulk.tool->Write(turns)) << qPrintable(bulk.error);
  const QByteArray all = bulk.tool->Read(turns.size());
  EXPECT_EQ(all.toHex(' '), oneByOne.toHex(' '));
  // Record k = 1 is the middle entry of the test plant, then the count 3.
  EXPECT_EQ(Assemble(all).toHex(' '),
            ulv::Bytes({0xF7, 2, 3, 2, 9569 & 0xFF, 9569 >> 8, 1830 & 0xFF, 1830 >> 8, 0xF4, 3, 0, 0, 0})
                .toHex(' '));
}

TEST(PtySimulator, SendsAnIdleByteWhileTheToolIsSilent) {
  ulv::SimOptions o = Fast();
  o.idleIntervalMs = 50;
  Served s(o);
  ASSERT_TRUE(s.tool) << qPrintable(s.error);
  EXPECT_EQ(s.tool->Read(2, 5000).toHex(' '), QByteArray("40 40"));
  EXPECT_GE(s.sim.Stats().idleBytes, 2);
}

// Faults can be switched while serving; a vanished device hangs up the
// tool's end.
TEST(PtySimulator, FaultsWhileServingAndVanishing) {
  Served s;
  ASSERT_TRUE(s.tool) << qPrintable(s.error);
  EXPECT_EQ(s.tool->Turn(0x40), 0x40);
  s.sim.SetFaults({.silent = true});
  EXPECT_EQ(s.tool->Turn(0x40, 300), -1);
  s.sim.SetFaults({.corruptEvery = 1});
  EXPECT_EQ(s.tool->Turn(0x40), 0x4F);
  s.sim.SetFaults({});
  EXPECT_EQ(s.tool->Turn(0xF0), 0xF0);

  s.sim.Vanish();
  pollfd p{s.tool->Fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 5000), 1);
  EXPECT_TRUE(p.revents & (POLLHUP | POLLERR));
  char c = 0;
  EXPECT_LE(::read(s.tool->Fd(), &c, 1), 0);
  EXPECT_TRUE(s.sim.Vanished());
}

TEST(PtySimulator, StartFailsWithTheReason) {
  ulv::SimOptions o = Fast();
  o.scenarioFile = QStringLiteral("/nonexistent/plant.json");
  Served s(o);
  EXPECT_FALSE(s.tool.has_value());
  EXPECT_TRUE(s.error.contains(QLatin1String("/nonexistent/plant.json")));
  EXPECT_FALSE(s.sim.IsRunning());
  ulv::PtySimulator onDevice(Fast());
  QString error;
  EXPECT_FALSE(onDevice.StartOnDevice(QStringLiteral("/dev/nonexistent-ulv-port"), &error));
  EXPECT_TRUE(error.contains(QLatin1String("/dev/nonexistent-ulv-port")));
}

TEST(PtySimulator, ServesAGivenDevice) {
  // The far end of a pty stands in for a serial device: the simulator opens
  // the device path, the test plays the tool on the other end.
  ulv::PtyPair cable;
  QString error;
  ASSERT_TRUE(cable.Open(&error)) << qPrintable(error);
  ulv::SimOptions o = Fast();
  std::atomic<int> lost{0};
  o.onDeviceLost = [&lost] { ++lost; };
  ulv::PtySimulator sim(o);
  ASSERT_TRUE(sim.StartOnDevice(cable.SlavePath(), &error)) << qPrintable(error);
  const QByteArray turns = ToolTurns("\xF1\x00"_ba) + IdleTurns(4);
  ASSERT_EQ(::write(cable.MasterFd(), turns.constData(), static_cast<size_t>(turns.size())), turns.size());
  EXPECT_EQ(Assemble(ulvtest::ReadFd(cable.MasterFd(), turns.size())).toHex(), QByteArray("f101"));
  // The device goes away: the simulator says so once and stops serving it.
  cable.CloseMaster();
  for (int i = 0; i < 300 && !sim.DeviceLost(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(sim.DeviceLost());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(lost.load(), 1);
}
