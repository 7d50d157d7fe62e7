#include "link/transfer_queue.h"

#include <gtest/gtest.h>

#include <map>

#include "common/bytes.h"
#include "link_rig.h"

namespace ulv::test {
namespace {

const QByteArray kVersion = "\xF1\x01"_ba;
const QByteArray kVersionReply = "\xFFUlv-SW 4.27 ABC"_ba;
const QByteArray kEeprom = "\xF1\x02"_ba;
const QByteArray kEepromReply = "\xF4\x01\x02\x03\x04"_ba;
const QByteArray kLineTest = "\xF1\x00"_ba;
const QByteArray kLineTestReply = "\xF1\x01"_ba;
const QByteArray kNoReply = "\xF1\x10"_ba;  // sent with reply length 0
const QByteArray kUnanswered = "\xF1\x77"_ba;

using Got = std::vector<std::pair<int, QByteArray>>;

struct QueueRig : LinkRig {
  TransferQueue queue{port.Link(), line, logs, clock, clock};
  std::map<QByteArray, QByteArray> plant = {
      {kVersion, kVersionReply}, {kEeprom, kEepromReply}, {kLineTest, kLineTestReply}};
  Got got;  // replies per handler id, in call order

  QueueRig() {
    ctl.Plant = [this](const QByteArray& req) {
      auto it = plant.find(req);
      return it == plant.end() ? QByteArray() : it->second;
    };
    line.SetLineTimeout(10000);
    queue.SetTransport(false);
    line.Restart();
    Run(3);
  }
  void LogTransfers() { logs.SetReports(u"00000000001"_s); }
  bool Add(const QByteArray& command, int replyLength, int id) {
    return queue.AddTransfer(command, replyLength,
                             [this, id](const QByteArray& r) { got.emplace_back(id, r); });
  }
};

TEST(TransferQueue, RequestsGoOutOneAtATimeInOrder) {
  QueueRig rig;
  ASSERT_TRUE(rig.queue.IsLinked());
  int countInFirst = -1;
  int ringInFirst = -1;
  ASSERT_TRUE(rig.queue.AddTransfer(kVersion, 16, [&](const QByteArray& rep) {
    rig.got.emplace_back(1, rep);
    countInFirst = rig.queue.Count();
    ringInFirst = rig.line.State().count;
  }));
  ASSERT_TRUE(rig.Add(kEeprom, 5, 2));
  ASSERT_TRUE(rig.Add(kLineTest, 2, 3));
  EXPECT_EQ(rig.queue.Count(), 3);
  EXPECT_EQ(rig.line.State().count, 2);  // only the head is on the line
  EXPECT_EQ(rig.queue.LineCountdown(), 4000);
  rig.Run(300);
  EXPECT_EQ(rig.ctl.Requests, Requests({kVersion, kEeprom, kLineTest}));
  EXPECT_EQ(rig.got, Got({{1, kVersionReply}, {2, kEepromReply}, {3, kLineTestReply}}));
  // The next request was on its way before the first handler ran.
  EXPECT_EQ(countInFirst, 2);
  EXPECT_EQ(ringInFirst, 2);
  EXPECT_EQ(rig.queue.Count(), 0);
  EXPECT_EQ(rig.queue.LineCountdown(), 0);
}

// A request that expects no reply is sent and removed, and the next waiting
// one goes on the line at once; a reply that comes anyway finds the queue
// empty.
TEST(TransferQueue, NoReplyRequestIsSentAndGone) {
  QueueRig rig;
  rig.LogTransfers();
  ASSERT_TRUE(rig.Add(kNoReply, 0, 0));
  EXPECT_EQ(rig.queue.Count(), 0);
  EXPECT_EQ(rig.queue.LineCountdown(), 0);
  rig.Run(20);
  EXPECT_EQ(rig.ctl.Requests, Requests({kNoReply}));
  rig.queue.DispatchReply(kLineTestReply);
  EXPECT_EQ(rig.logLines,
            QStringList({"36000000 >> F110", "36000000 << F101", "36000000 << transfer/fifo leer ?"}));

  rig.Add(kLineTest, 2, 1);
  rig.Add(kNoReply, 0, 0);
  rig.Add(kEeprom, 5, 2);
  rig.Run(200);
  EXPECT_EQ(rig.ctl.Requests, Requests({kNoReply, kLineTest, kNoReply, kEeprom}));
  EXPECT_EQ(rig.got, Got({{1, kLineTestReply}, {2, kEepromReply}}));
  EXPECT_EQ(rig.queue.Count(), 0);
}

TEST(TransferQueue, TimeOutGivesSubstituteAndSendsNothingNew) {
  QueueRig rig;
  int countInHandler = -1;
  rig.queue.AddTransfer(kUnanswered, 16, [&](const QByteArray& rep) {
    rig.got.emplace_back(1, rep);
    EXPECT_EQ(ReplyByte(rep, 5), 0);  // reads past the end of the substitute give 0
    rig.Add(kVersion, 16, 4);
    countInHandler = rig.queue.Count();
  });
  rig.Add(kEeprom, 5, 2);
  rig.Add(kLineTest, 2, 3);
  rig.Run(50);
  ASSERT_EQ(rig.ctl.Requests, Requests({kUnanswered}));
  rig.clock.Advance(3900);
  EXPECT_TRUE(rig.got.empty());
  EXPECT_EQ(rig.queue.LineCountdown(), 100);
  rig.clock.Advance(100);
  // The substitute has the length of the most recent request (F1 00: 2).
  EXPECT_EQ(rig.got, Got({{1, QByteArray(2, '\0')}}));
  EXPECT_EQ(rig.queue.Count(), 0);
  EXPECT_GE(countInHandler, 1);
  EXPECT_EQ(rig.line.State().count, 0);
  rig.Run(100);
  EXPECT_EQ(rig.ctl.Requests.size(), 1u);
  // The queue works again afterwards.
  rig.Add(kLineTest, 2, 5);
  rig.Run(50);
  EXPECT_EQ(rig.got.back(), std::make_pair(5, kLineTestReply));
  EXPECT_EQ(rig.ctl.Requests.back(), kLineTest);
}

TEST(TransferQueue, TimeOutWatchesRequestSentFromAReply) {
  QueueRig rig;
  rig.Add(kLineTest, 2, 1);
  rig.Add(kUnanswered, 5, 2);
  rig.clock.Advance(3000);
  EXPECT_EQ(rig.queue.LineCountdown(), 1000);
  rig.Run(60);
  ASSERT_EQ(rig.got, Got({{1, kLineTestReply}}));
  EXPECT_EQ(rig.queue.LineCountdown(), 4000);
  rig.clock.Advance(3900);
  EXPECT_EQ(rig.got.size(), 1u);
  rig.clock.Advance(100);
  EXPECT_EQ(rig.got, Got({{1, kLineTestReply}, {2, QByteArray(5, '\0')}}));
}

TEST(TransferQueue, AddingRequestsDoesNotPostponeTheTimeOut) {
  QueueRig rig;
  rig.Add(kUnanswered, 5, 1);
  rig.Run(20);
  for (int i = 0; i < 3; ++i) {
    rig.clock.Advance(1000);
    ASSERT_TRUE(rig.Add(kLineTest, 2, 2));
  }
  rig.clock.Advance(999);
  EXPECT_TRUE(rig.got.empty());
  rig.clock.Advance(1);
  EXPECT_EQ(rig.got, Got({{1, QByteArray(2, '\0')}}));
  EXPECT_EQ(rig.queue.Count(), 0);
}

// "Leeren" releases the entries only; the request already on the line is
// still watched, and its time-out finds the queue empty.
TEST(TransferQueue, FlushKeepsTheCountdownOfTheRequestOnTheLine) {
  QueueRig rig;
  rig.Add(kUnanswered, 5, 1);
  rig.Add(kLineTest, 2, 2);
  rig.Run(20);
  rig.clock.Advance(1000);
  rig.LogTransfers();
  rig.queue.FlushQueue();
  EXPECT_EQ(rig.queue.Count(), 0);
  EXPECT_EQ(rig.queue.LineCountdown(), 3000);
  rig.clock.Advance(2900);
  EXPECT_EQ(rig.queue.LineCountdown(), 100);
  EXPECT_TRUE(rig.logLines.isEmpty());
  rig.clock.Advance(100);
  EXPECT_EQ(rig.queue.LineCountdown(), 0);
  EXPECT_TRUE(rig.got.empty());
  EXPECT_EQ(rig.logLines, QStringList({"36004000 << 0000", "36004000 << transfer/fifo leer ?"}));
  rig.clock.Advance(10000);
  EXPECT_EQ(rig.logLines.size(), 2);
}

TEST(TransferQueue, OverflowStopsAndRestartsWithTheHeadStillWaiting) {
  QueueRig rig;
  rig.queue.SetTimeout(1000);
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(rig.Add(kLineTest, 2, i));
  EXPECT_EQ(rig.queue.StateText(), u"RUN"_s);
  rig.LogTransfers();
  EXPECT_FALSE(rig.queue.AddTransfer(kEeprom, 5, nullptr));
  EXPECT_TRUE(rig.queue.MaxStopped());
  EXPECT_EQ(rig.queue.StateText(), u"MAX/STOPPED"_s);
  EXPECT_FALSE(rig.queue.AddTransfer(kEeprom, 5, nullptr));
  EXPECT_EQ(rig.logLines, QStringList({"36000000 >> *** gestoppt wegen transfer-fifo max ***F102",
                                       "36000000 >> transfer/FOverflowF102"}));
  EXPECT_EQ(rig.queue.Count(), 50);

  for (int i = 0; i < 9; ++i) rig.queue.DispatchReply(kLineTestReply);
  EXPECT_EQ(rig.queue.Count(), 41);
  rig.clock.Advance(1000);
  EXPECT_TRUE(rig.queue.MaxStopped());
  EXPECT_EQ(rig.queue.WaitCount(), 1);
  rig.queue.DispatchReply(kLineTestReply);
  EXPECT_EQ(rig.queue.Count(), 40);
  rig.clock.Advance(1000);
  EXPECT_FALSE(rig.queue.MaxStopped());
  EXPECT_EQ(rig.queue.StateText(), u"RUN"_s);
  EXPECT_EQ(rig.queue.Count(), 40);
  // The head (request 10) keeps waiting for its own reply.
  EXPECT_EQ(rig.got.size(), 10u);
  rig.queue.DispatchReply("\xF1\x01\x0A"_ba);
  ASSERT_EQ(rig.got.size(), 11u);
  EXPECT_EQ(rig.got.back(), std::make_pair(10, "\xF1\x01\x0A"_ba));
  for (int i = 0; i < 10; ++i) EXPECT_EQ(rig.got[static_cast<size_t>(i)].first, i);
  EXPECT_TRUE(rig.queue.AddTransfer(kLineTest, 2, nullptr));
}

TEST(TransferQueue, LongCommandIsCutTo32InTheQueue) {
  QueueRig rig;
  QByteArray big = "\xF0"_ba;
  for (int i = 1; i < 40; ++i) big.append(static_cast<char>(i));
  ASSERT_TRUE(rig.queue.AddTransfer(big, 2, nullptr));
  EXPECT_EQ(rig.line.State().count, 40);  // sent at once in full
  EXPECT_EQ(rig.queue.LastCommand(), big.left(32));
  ASSERT_TRUE(rig.queue.AddTransfer(big, 2, nullptr));
  rig.queue.DispatchReply(kLineTestReply);
  EXPECT_EQ(rig.line.State().count, 40 + 32);
}

TEST(TransferQueue, LogLinesAndTransferTime) {
  QueueRig rig;
  rig.LogTransfers();
  std::vector<std::pair<bool, QString>> local;
  rig.queue.SetReportLocal(true);
  rig.queue.OnLogLine = [&](bool sent, const QString& l) { local.emplace_back(sent, l); };
  rig.clock.Advance(5);
  rig.queue.AddTransfer(kVersion, 16, nullptr);
  rig.clock.Advance(250);
  rig.queue.DispatchReply(kVersionReply);
  const QStringList want = {"36000005 >> F101", "36000255 << FF556C762D535720342E323720414243"};
  EXPECT_EQ(rig.logLines, want);
  EXPECT_EQ(local, (std::vector<std::pair<bool, QString>>{{true, want[0]}, {false, want[1]}}));
  EXPECT_EQ(rig.queue.LastTransferTime(), 250);
  rig.queue.SetReportLocal(false);
  rig.queue.AddTransfer(kLineTest, 2, nullptr);
  EXPECT_EQ(local.size(), 2u);
  EXPECT_EQ(rig.logLines.size(), 3);
}

// A request is refused while the link is down (without a log line) and in
// the framed mode, which blocks the line until mode 2 restarts it.
TEST(TransferQueue, RefusedWhileLinkDownOrFramed) {
  QueueRig rig;
  rig.LogTransfers();
  rig.port.Link().SetLinkState(false);
  rig.logLines.clear();
  EXPECT_FALSE(rig.queue.AddTransfer(kVersion, 16, nullptr));
  EXPECT_TRUE(rig.logLines.isEmpty());
  EXPECT_EQ(rig.queue.Count(), 0);
  EXPECT_EQ(rig.line.State().count, 0);
  EXPECT_EQ(rig.queue.LastReplyLength(), 0);

  rig.port.Link().SetLinkState(true);
  rig.queue.SetTransport(true);
  EXPECT_EQ(rig.queue.Mode(), 1);
  rig.Written();
  rig.line.Restart();
  EXPECT_EQ(rig.Written(), QByteArray());
  EXPECT_FALSE(rig.queue.AddTransfer(kVersion, 16, nullptr));
  EXPECT_EQ(rig.logLines, QStringList({"36000000 >> transfer/no framed transportF101"}));
  rig.queue.SetTransport(false);
  EXPECT_EQ(rig.queue.Mode(), 2);
  rig.line.Restart();
  EXPECT_EQ(rig.Written(), H("40"));
}

}  // namespace
}  // namespace ulv::test
