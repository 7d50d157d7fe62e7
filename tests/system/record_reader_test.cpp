#include "system/record_reader.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "link/fake_transfers.h"
#include "sim/plant_model.h"

namespace ulv::test {
namespace {

using Outcome = RecordReader::Outcome;

// The reader on a scripted queue answered by the simulated controller; an
// unanswered request ends in the queue's time-out.
struct ReaderRig {
  FakeTransfers queue;
  PlantModel plant;
  RecordReader reader{queue};
  std::vector<QByteArray> printed;
  std::vector<Outcome> outcomes;
  std::vector<int> progress;
  int closes = 0;

  explicit ReaderRig(const char* system = "{}") : plant(Plant(system)) {
    reader.OnProgress = [this](int p) { progress.push_back(p); };
    reader.OnClose = [this] { ++closes; };
  }
  static Scenario Plant(const char* system) {
    Scenario s = DefaultScenario();
    QString error;
    EXPECT_TRUE(ParseScenario(QByteArray(R"({"system": )") + system + "}", &s, &error)) << error.toStdString();
    return s;
  }
  void Start(int kind, int length) {
    reader.Read(
        kind, length, [this](const QByteArray& r) { printed.push_back(r); },
        [this](Outcome o) { outcomes.push_back(o); });
  }
  void Run() {
    for (int n = 0; n < 1000 && !queue.waiting.empty(); ++n) {
      const std::optional<QByteArray> a = plant.Answer(queue.Head());
      if (a) {
        queue.Reply(*a);
      } else {
        queue.TimeOut();
      }
    }
  }
};

TEST(RecordReader, KindsAgainstTheSimulator) {
  const struct {
    const char* system;
    int kind, length;
    Outcome outcome;
    int requests;  // F2 55 00 included
    int offset;
  } cases[] = {
      {"{}", 3, 22, Outcome::Printed, 4, 30},
      {"{}", 4, 166, Outcome::Printed, 14, 180},
      {R"({"maxFunction": 36})", 4, 166, Outcome::Unsupported, 1, 0},
      {R"({"maxFunction": 31})", 3, 22, Outcome::Unsupported, 1, 0},
      {R"({"maxFunction": 31})", 5, 4, Outcome::Printed, 2, 15},
      {"{}", 2, 0, Outcome::Printed, 5, 45},
      {"{}", 6, 6, Outcome::Printed, 2, 15},
      {"{}", 7, 15, Outcome::Printed, 2, 15},
      {"{}", 8, 6, Outcome::Printed, 20, 135},
      {"{}", 10, 0, Outcome::Printed, 20, 270},
      // Faults: a short, lone, refused or missing block ends the read.
      {R"({"blockFault": "short"})", 3, 22, Outcome::Failed, 3, 0},
      {R"({"blockFault": "lone", "blockFaultAt": 2})", 3, 22, Outcome::Failed, 4, 15},
      {R"({"blockFault": "refuse"})", 10, 0, Outcome::Failed, 3, 0},
      {R"({"blockFault": "silence", "blockFaultAt": 4})", 4, 166, Outcome::Failed, 6, 45},
      // SysPerm's third block is beyond the bytes its print uses.
      {R"({"blockFault": "silence", "blockFaultAt": 3})", 2, 0, Outcome::Printed, 5, 30},
      {R"({"shiftRefuseBlock": 4})", 8, 6, Outcome::Failed, 9, 45},
      {R"({"blockFault": "short", "blockFaultAt": 9})", 8, 6, Outcome::Failed, 20, 120},
  };
  for (const auto& c : cases) {
    ReaderRig rig(c.system);
    rig.Start(c.kind, c.length);
    rig.Run();
    const std::string what = std::to_string(c.kind) + " " + c.system;
    EXPECT_EQ(rig.outcomes, std::vector<Outcome>{c.outcome}) << what;
    EXPECT_EQ(static_cast<int>(rig.queue.accepted.size()), c.requests) << what;
    EXPECT_EQ(rig.reader.ReadOffset(), c.offset) << what;
    EXPECT_EQ(rig.printed.size(), c.outcome == Outcome::Printed ? 1u : 0u) << what;
    EXPECT_EQ(rig.closes, 1) << what;
    EXPECT_FALSE(rig.reader.IsReading()) << what;
  }
}

TEST(RecordReader, CollectsTheControllersRecordInBlocks) {
  ReaderRig rig;
  rig.Start(3, 22);
  rig.Run();
  ASSERT_EQ(rig.printed.size(), 1u);
  EXPECT_EQ(rig.printed[0].left(22), SimSystemRecords::SysVar());
  EXPECT_EQ(rig.printed[0].size(), RecordReader::kBufferSize);
  EXPECT_EQ(rig.progress, (std::vector<int>{0, 15, 30}));
  EXPECT_EQ(rig.queue.accepted, (Requests{H("F2 55 00"), H("F2 55 20"), H("F2 55 26"), H("F2 55 26")}));
}

// A second read gives up the first: the first one's replies change nothing.
TEST(RecordReader, NewReadSupersedesTheRunningOne) {
  ReaderRig rig;
  rig.Start(3, 22);
  rig.queue.Reply(H("F1 30"));  // F2 55 20 now waits
  rig.Start(5, 4);
  rig.Run();
  EXPECT_EQ(rig.outcomes, std::vector<Outcome>{Outcome::Printed});
  ASSERT_EQ(rig.printed.size(), 1u);
  EXPECT_EQ(rig.printed[0].left(3), H("5A 0F 81"));
  EXPECT_EQ(rig.queue.answered.back(), H("F2 55 1D"));
}

TEST(RecordReader, RefusedDroppedAndSubstituteEndTheRead) {
  {
    ReaderRig rig;
    rig.queue.linked = false;
    rig.Start(3, 22);
    EXPECT_EQ(rig.outcomes, std::vector<Outcome>{Outcome::Refused});
    EXPECT_EQ(rig.closes, 1);
  }
  {
    // Another window's request times out: the reader's waiting request is
    // dropped without its handler, and the read ends.
    ReaderRig rig;
    rig.queue.AddTransfer(H("F1 77"), 2, nullptr);
    rig.Start(3, 22);
    rig.queue.TimeOut();
    EXPECT_TRUE(rig.outcomes.empty());  // not while the queue discards
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.outcomes, std::vector<Outcome>{Outcome::Failed});
    EXPECT_TRUE(rig.queue.waiting.empty());
  }
  {
    // A time-out substitute (zero bytes) is never taken as a MaxFunction.
    ReaderRig rig;
    rig.Start(5, 4);
    rig.queue.TimeOut();
    EXPECT_EQ(rig.outcomes, std::vector<Outcome>{Outcome::Failed});
    EXPECT_EQ(rig.queue.accepted.size(), 1u);
  }
  {
    // A block reply that comes late, after its read timed out, meets the
    // next read's F2 55 00: its size gives it away.
    ReaderRig rig;
    rig.Start(3, 22);
    rig.queue.Reply(H("F1 30"));
    rig.queue.Reply(H("F1 01"));
    rig.queue.TimeOut();
    rig.Start(5, 4);
    rig.queue.Reply(H("FF 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"));
    EXPECT_EQ(rig.outcomes, (std::vector<Outcome>{Outcome::Failed, Outcome::Failed}));
    EXPECT_TRUE(rig.printed.empty());
    EXPECT_TRUE(rig.queue.waiting.empty());
  }
}

}  // namespace
}  // namespace ulv::test
