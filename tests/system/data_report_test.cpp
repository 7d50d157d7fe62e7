#include "system/data_report.h"

#include <gtest/gtest.h>

#include "common/virtual_clock.h"
#include "link/fake_transfers.h"
#include "link/qel_utils.h"
#include "sim/plant_model.h"
#include "system/system_records.h"

using namespace Qt::StringLiterals;

namespace ulv::test {
namespace {

using Ending = DataReport::Ending;

struct ReportRig {
  FakeTransfers queue;
  PlantModel plant;
  VirtualClock clock;
  QelUtils utils{queue, clock};
  PlantIdentity identity{queue, utils, clock};
  RecordReader reader{queue};
  DataReport report{reader, identity, clock};
  QStringList lines;
  std::vector<Ending> endings;

  explicit ReportRig(const char* system = "{}") : plant(Plant(system)) {
    report.Output = [this](const QString& l) { lines << l; };
    report.OnEnded = [this](Ending e) { endings.push_back(e); };
  }
  static Scenario Plant(const char* system) {
    Scenario s = DefaultScenario();
    EXPECT_TRUE(ParseScenario(QByteArray(R"({"system": )") + system + "}", &s, nullptr));
    return s;
  }
  void Run() {
    for (int n = 0; n < 1000 && !queue.waiting.empty(); ++n) {
      const std::optional<QByteArray> a = plant.Answer(queue.Head());
      a ? (void)queue.Reply(*a) : (void)queue.TimeOut();
    }
  }
  // The section titles in the order printed, and the failure lines.
  QStringList Sections() const {
    QStringList out;
    for (const QString& l : lines) {
      if (l.startsWith(u"_____"_s)) out << l.mid(5).section(u'_', 0, 0);
      if (l == RecordReader::FailureText() || l == u"unit9.270702"_s) out << l;
    }
    return out;
  }
};

TEST(DataReport, AllesChain) {
  const QStringList full{u"unit9.270702"_s, u"SHAFT.DATA"_s, u"MONBLOCK"_s, u"SYSPERM"_s, u"SYSVAR"_s,
                         u"SHIFT-STATUS"_s, u"rTUR"_s, u"IOPORTS"_s};
  const struct {
    const char* system;
    QStringList sections;  // before the port listing
    bool listing;
    Ending ending;
  } cases[] = {
      {"{}", full, true, Ending::Done},
      {R"({"maxFunction": 36})", {u"unit9.270702"_s}, false, Ending::Unsupported},
      // A shift status block the controller does not confirm: header and
      // failure line, then the chain goes on.
      {R"({"shiftRefuseBlock": 2})",
       {u"unit9.270702"_s, u"SHAFT.DATA"_s, u"MONBLOCK"_s, u"SYSPERM"_s, u"SYSVAR"_s, u"SHIFT-STATUS"_s,
        RecordReader::FailureText(), u"IOPORTS"_s},
       true, Ending::Done},
      // A lost SysPerm block (the simulator's 13th block read): failure line, end.
      {R"({"blockFault": "silence", "blockFaultAt": 13})",
       {u"unit9.270702"_s, u"SHAFT.DATA"_s, u"MONBLOCK"_s, RecordReader::FailureText()}, false, Ending::Failed},
  };
  for (const auto& c : cases) {
    ReportRig rig(c.system);
    rig.report.Alles();
    EXPECT_TRUE(rig.report.ChainFlag());
    rig.Run();
    QStringList sections = rig.Sections();
    QStringList listed;
    while (!sections.isEmpty() && sections.last().startsWith(u"Port["_s)) listed.prepend(sections.takeLast());
    EXPECT_EQ(sections, c.sections) << c.system;
    EXPECT_EQ(listed.size(), c.listing ? kPortsSize : 0) << c.system;
    EXPECT_EQ(rig.endings, std::vector<Ending>{c.ending}) << c.system;
    EXPECT_FALSE(rig.report.ChainFlag()) << c.system;
  }
}

TEST(DataReport, SinglePressClearsTheChainAndRefusalLeavesNoLine) {
  ReportRig rig;
  rig.report.Alles();
  rig.report.Press(DataReport::Record::IoPorts);
  EXPECT_FALSE(rig.report.ChainFlag());
  rig.Run();
  EXPECT_EQ(rig.Sections(), (QStringList{u"unit9.270702"_s, u"IOPORTS"_s}));

  rig.lines.clear();
  rig.endings.clear();
  rig.queue.linked = false;
  rig.report.Alles();
  EXPECT_EQ(rig.Sections(), QStringList{u"unit9.270702"_s});
  EXPECT_EQ(rig.endings, std::vector<Ending>{Ending::Refused});
  EXPECT_FALSE(rig.report.ChainFlag());
}

TEST(DataReport, InfoFileIsLatin1WithCrLfAndNoNul) {
  const QByteArray bytes = InfoFileBytes({u"Tür"_s, QString(u"V1.0\0xyz"_s), QString()});
  EXPECT_EQ(bytes, QByteArray("T\xFCr\r\nV1.0\r\n\r\n"));
}

}  // namespace
}  // namespace ulv::test
