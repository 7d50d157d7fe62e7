#include "system/memory_dump.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "link/fake_transfers.h"
#include "sim/plant_model.h"

using namespace Qt::StringLiterals;

namespace ulv::test {
namespace {

struct DumpRig {
  FakeTransfers queue;
  PlantModel plant;
  MemoryDump dump{queue};
  QStringList shown;
  std::vector<bool> endings;
  int lastProgress = -1;

  DumpRig() {
    dump.OnShow = [this](const QStringList& l) { shown = l; };
    dump.OnEnded = [this](bool ok) { endings.push_back(ok); };
    dump.OnProgress = [this](int v, int) { lastProgress = v; };
  }
  void Run() {
    for (int n = 0; n < 1000 && !queue.waiting.empty(); ++n) {
      const std::optional<QByteArray> a = plant.Answer(queue.Head());
      a ? (void)queue.Reply(*a) : (void)queue.TimeOut();
    }
  }
};

TEST(MemoryDump, DumpsFromTheTypedAddress) {
  const struct {
    QString text;
    uint16_t address;
    QString next;
    const char* request;
  } cases[] = {{u"$D000"_s, 0xD000, u"$D080"_s, "F5 04 00 00 00 0D"},
               {u"$FFC0"_s, 0xFFC0, u"$0040"_s, "F5 04 00 0C 0F 0F"},
               {u"4096"_s, 0x1000, u"$1080"_s, "F5 04 00 00 00 01"},
               {u"x12"_s, 0, u"$0080"_s, "F5 04 00 00 00 00"}};
  for (const auto& c : cases) {
    DumpRig rig;
    QString next;
    ASSERT_TRUE(rig.dump.Start(c.text, &next));
    EXPECT_EQ(next, c.next);
    EXPECT_EQ(rig.queue.Head(), H(c.request));
    rig.Run();
    EXPECT_EQ(rig.queue.accepted.size(), 110u);  // the address and 109 blocks
    EXPECT_EQ(rig.endings, std::vector<bool>{true});
    EXPECT_EQ(rig.lastProgress, MemoryDump::kBufferSize);
    ASSERT_EQ(rig.shown.size(), 8);
    for (int i = 0; i < 8; ++i) {
      const uint16_t label = static_cast<uint16_t>(c.address + 16 * i);
      EXPECT_TRUE(rig.shown[i].startsWith(QString::asprintf("%4.4X  ", label))) << rig.shown[i].toStdString();
      EXPECT_EQ(rig.shown[i].mid(6, 3), QString::asprintf("%2.2X ", SimSystemRecords::MemoryByte(label)));
    }
  }
}

TEST(MemoryDump, OneAtATimeAndFailuresShowNothing) {
  DumpRig rig;
  QString next = u"unchanged"_s;
  rig.queue.linked = false;
  EXPECT_FALSE(rig.dump.Start(u"$100"_s, &next));
  EXPECT_EQ(next, u"unchanged"_s);
  EXPECT_FALSE(rig.dump.IsRunning());

  rig.queue.linked = true;
  ASSERT_TRUE(rig.dump.Start(u"$100"_s, &next));
  EXPECT_FALSE(rig.dump.Start(u"$200"_s, &next));
  EXPECT_EQ(next, u"$0180"_s);
  rig.queue.Reply(H("F4 00 00 01 00"));
  rig.queue.Reply(H("FD 01 02"));  // short block
  EXPECT_EQ(rig.endings, std::vector<bool>{false});
  EXPECT_TRUE(rig.queue.waiting.empty());
  EXPECT_TRUE(rig.shown.isEmpty());

  // A request the queue drops after another one's time-out ends the dump.
  rig.queue.AddTransfer(H("F1 77"), 2, nullptr);
  ASSERT_TRUE(rig.dump.Start(u"$100"_s, &next));
  rig.queue.TimeOut();
  QCoreApplication::processEvents();
  EXPECT_EQ(rig.endings, (std::vector<bool>{false, false}));
  EXPECT_FALSE(rig.dump.IsRunning());
}

}  // namespace
}  // namespace ulv::test
