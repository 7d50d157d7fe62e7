#include <gtest/gtest.h>

#include <QCoreApplication>

#include "common/bytes.h"
#include "common/virtual_clock.h"
#include "diag/monitor_test.h"
#include "link/fake_transfers.h"
#include "sim/plant_model.h"
#include "sim/sim_controller.h"
#include "sim/tool_side.h"

using namespace Qt::StringLiterals;

namespace ulv::test {
namespace {

TEST(MonitorTest, DecodingTables) {
  const struct {
    QByteArray reply;
    const char *mode, *direction, *weiz, *safety, *doorA, *doorB, *full;
    int trackBar;
  } monitor[] = {{H("F6 4A 03 05 01 46 03"), "PRIO.INNEN", "auf", "X", "NOTHALT", "tur.fährt zu", "tur.fährt auf",
                  "VOLL.LAST", 4},
                 {H("F6 18 C8 00 0B 0F 00"), "NORMAL", nullptr, "", nullptr, "tur.ist auf", "tur.ist auf", "", 0}};
  for (const auto& c : monitor) {
    const MonitorLabels l = MonitorTest::DecodeMonitor(c.reply);
    EXPECT_EQ(l.mode, QString::fromUtf8(c.mode));
    EXPECT_EQ(l.direction.value_or(u"unchanged"_s), c.direction ? QString::fromUtf8(c.direction) : u"unchanged"_s);
    EXPECT_EQ(l.weiz, QString::fromUtf8(c.weiz));
    EXPECT_EQ(l.safety.value_or(u"unchanged"_s), c.safety ? QString::fromUtf8(c.safety) : u"unchanged"_s);
    EXPECT_EQ(l.doorA + l.doorB + l.fullLoad, QString::fromUtf8(c.doorA) + QString::fromUtf8(c.doorB) + QString::fromUtf8(c.full));
    EXPECT_EQ(l.trackBar, c.trackBar);
  }
  EXPECT_EQ(MonitorTest::DecodeMonitor(H("F6 4A 03")).arrow, Richtung::rrAUF);
  EXPECT_EQ(MonitorTest::DecodeConfig(H("FF 02 01 09 20")), (QStringList{u"KO=2"_s, u"e=0 : A-AUF"_s, u"e=2 : B-ZWS"_s}));
  for (const auto& [value, radio] : {std::pair{9, 1}, {10, 2}, {11, 3}, {12, 4}, {3, 5}, {8, 5}})
    EXPECT_EQ(MonitorTest::LinkRadio(value), radio) << value;
  EXPECT_EQ(MonitorTest::CopyFlags(u"--aBbFOU "_s, H("F1 05 02")), u"--a--F-U "_s);
  EXPECT_EQ(MonitorTest::ActionTable().size(), 80u);
}

struct MonitorRig {
  FakeTransfers queue;
  PlantModel plant;
  VirtualClock clock;
  MonitorTest test{queue, clock};
  QStringList log, steps, lcd, states, copies;
  int monitors = 0, asked = 0;
  MonitorRig() {
    test.OnLog = [this](const QString& l) { log << l; };
    test.OnStep = [this](const QString& s) { steps << s; };
    test.OnLcd = [this](const QStringList& l) { lcd = l; };
    test.OnMonitor = [this](const MonitorLabels&) { ++monitors; };
    test.OnActionState = [this](const QString& s) { states << s; };
    test.OnCopy = [this](const QString& f, const QString&) { copies << f; };
    test.AskDeleteErrors = [this] { return ++asked, false; };
  }
  void Answer(int n) {
    for (int i = 0; i < n && !queue.waiting.empty(); ++i) {
      const std::optional<QByteArray> a = plant.Answer(queue.Head());
      a ? (void)queue.Reply(*a) : (void)queue.Reply(QByteArray(queue.HeadLength(), '\0'));
    }
  }
};

TEST(MonitorTest, MonitorLoopGoesOnAfterSubstitutesAndSilence) {
  MonitorRig rig;
  rig.test.ToggleMonitor();
  for (int i = 0; i < 3; ++i) rig.clock.Advance(500), rig.Answer(10);
  EXPECT_EQ(rig.steps, (QStringList{u"Quit"_s, u"Mon"_s, u"Lcd"_s}));
  EXPECT_EQ(rig.monitors, 1);
  const QString shown = QString::fromLatin1(SimSystemRecords::Lcd()).left(64).replace(u' ', u'.');
  EXPECT_EQ(rig.lcd.join(QString()), shown);
  rig.clock.Advance(500);  // Quit
  rig.Answer(1);
  rig.clock.Advance(500);  // Mon, answered by a substitute: labels stay
  rig.queue.Reply(QByteArray(7, '\0'));
  EXPECT_EQ(rig.steps.last(), u"Timeout"_s);
  EXPECT_EQ(rig.monitors, 1);
  rig.clock.Advance(500);  // Lcd, never answered
  const size_t sent = rig.queue.accepted.size();
  rig.clock.Advance(500 * MonitorTest::kWaitTicks);
  EXPECT_EQ(rig.queue.accepted.size(), sent + 1);  // the test went on
  rig.test.StopAll();
  rig.clock.Advance(5000);
  EXPECT_EQ(rig.queue.accepted.size(), sent + 1);
}

TEST(MonitorTest, ActionAndCopyChainsOneAtATime) {
  MonitorRig rig;
  rig.test.ToggleActionStop();
  rig.test.Action();
  rig.test.Action();
  EXPECT_EQ(rig.queue.waiting.size(), 1u);
  rig.Answer(85);
  EXPECT_EQ(rig.asked, 1);  // asked once, declined: F1 25 is never sent
  EXPECT_EQ(std::count(rig.queue.accepted.begin(), rig.queue.accepted.end(), H("F1 25")), 0);
  EXPECT_EQ(rig.queue.accepted[79], rig.queue.accepted[0]);  // after row 80 (79 sent) comes row 1 again
  EXPECT_EQ(rig.log.first(), u"F1.00.<-"_s + HexString(rig.plant.Answer(H("F1 00")).value_or(QByteArray(2, '\0'))));
  rig.queue.refuseAll = true;
  rig.Answer(1);
  EXPECT_EQ(rig.states.last(), u"Stopped"_s);
  EXPECT_TRUE(rig.test.ActionStopped());

  rig.queue.refuseAll = false;
  rig.queue.waiting.clear();
  rig.test.CopySignals();
  rig.Answer(3);
  EXPECT_EQ(rig.copies.last(), u"--a--F-U "_s);
  rig.test.CopySignals();
  rig.test.CopySignals();  // back on while a request is out: still one
  EXPECT_EQ(rig.queue.waiting.size(), 1u);
  rig.test.CopySignals();
  rig.Answer(1);
  EXPECT_EQ(rig.copies.last(), u"-- -- --"_s);
  EXPECT_TRUE(rig.queue.waiting.empty());
}

// Every row of the action table, sent nibble by nibble one after the other,
// gets a complete reply of its expected length from the simulated controller.
TEST(MonitorTest, SimulatedControllerAnswersEveryActionRow) {
  PlantModel plant;
  SimController controller(plant);
  for (const ActionRow& row : MonitorTest::ActionTable()) {
    SCOPED_TRACE(row.command.toHex(' ').toStdString());
    const QByteArray answers =
        controller.FeedAll(ulvtest::ToolTurns(row.command) + ulvtest::IdleTurns(2 * row.replyLength + 2));
    const QByteArray reply = ulvtest::Assemble(answers);
    EXPECT_TRUE(MonitorTest::Answered(reply, row.replyLength)) << reply.toHex(' ').toStdString();
    EXPECT_EQ(reply.isEmpty() ? -1 : static_cast<uint8_t>(reply[0]) & 0x0F, row.replyLength - 1);
  }
  EXPECT_EQ(plant.UnknownCount(), 0);
}

}  // namespace
}  // namespace ulv::test
