#include "link/transfer_queue.h"

#include <gtest/gtest.h>

#include <map>

#include "common/bytes.h"
#include "link_rig.h"

namespace ulv::test {
namespace {

const QByteArray kVersionReply = [] {
  QByteArray r = Bytes({0xFF});
  r.append("Ulv-SW 4.27 ABC");
  return r;
}();

struct QueueRig : LinkRig {
  TransferQueue queue{port.Link(), line, logs, clock, clock};
  std::map<QByteArray, QByteArray> plant = {
      {Bytes({0xF1, 0x01}), kVersionReply},
      {Bytes({0xF1, 0x02}), Bytes({0xF4, 0x01, 0x02, 0x03, 0x04})},
      {Bytes({0xF1, 0x00}), Bytes({0xF1, 0x01})},
  };

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
  void LogTransfers() { logs.SetReports(QStringLiteral("00000000001")); }
};

// Replies per handler, in call order.
struct Replies {
  std::vector<std::pair<int, QByteArray>> got;
  TransferReplyHandler Handler(int id) {
    return [this, id](const QByteArray& r) { got.emplace_back(id, r); };
  }
};

using Got = std::vector<std::pair<int, QByteArray>>;

TEST(TransferQueue, RequestsGoOutOneAtATimeInOrder) {
  QueueRig rig;
  ASSERT_TRUE(rig.queue.IsLinked());
  Replies r;
  int countInFirst = -1;
  int ringInFirst = -1;
  ASSERT_TRUE(rig.queue.AddTransfer(Bytes({0xF1, 0x01}), 16, [&](const QByteArray& rep) {
    r.got.emplace_back(1, rep);
    countInFirst = rig.queue.Count();
    ringInFirst = rig.line.State().count;
  }));
  ASSERT_TRUE(rig.queue.AddTransfer(Bytes({0xF1, 0x02}), 5, r.Handler(2)));
  ASSERT_TRUE(rig.queue.AddTransfer(Bytes({0xF1, 0x00}), 2, r.Handler(3)));
  EXPECT_EQ(rig.queue.Count(), 3);
  EXPECT_EQ(rig.line.State().count, 2);  // only the head is on the line
  EXPECT_EQ(rig.queue.LineCountdown(), 4000);
  rig.Run(300);
  EXPECT_EQ(rig.ctl.Requests,
            std::vector<QByteArray>({Bytes({0xF1, 0x01}), Bytes({0xF1, 0x02}), Bytes({0xF1, 0x00})}));
  EXPECT_EQ(r.got, Got({{1, kVersionReply}, {2, Bytes({0xF4, 1, 2, 3, 4})}, {3, Bytes({0xF1, 0x01})}}));
  // The next request was on its way before the first handler ran.
  EXPECT_EQ(countInFirst, 2);
  EXPECT_EQ(ringInFirst, 2);
  EXPECT_EQ(rig.queue.Count(), 0);
  EXPECT_EQ(rig.queue.LineCountdown(), 0);
}

TEST(TransferQueue, NoReplyRequestOnEmptyQueueIsSentAndGone) {
  QueueRig rig;
  rig.LogTransfers();
  bool called = false;
  ASSERT_TRUE(rig.queue.AddTransfer(Bytes({0xF1, 0x10}), 0, [&](const QByteArray&) { called = true; }));
  EXPECT_EQ(rig.queue.Count(), 0);
  EXPECT_EQ(rig.queue.LineCountdown(), 0);
  rig.Run(20);
  EXPECT_EQ(rig.ctl.Requests, std::vector<QByteArray>({Bytes({0xF1, 0x10})}));
  // A reply that comes anyway finds the queue empty.
  rig.queue.DispatchReply(Bytes({0xF1, 0x01}));
  EXPECT_FALSE(called);
  EXPECT_EQ(rig.logLines,
            QStringList({"36000000 >> F110", "36000000 << F101", "36000000 << transfer/fifo leer ?"}));
}

TEST(TransferQueue, NoReplyRequestBehindAnotherLetsTheNextOneGo) {
  QueueRig rig;
  Replies r;
  rig.queue.AddTransfer(Bytes({0xF1, 0x00}), 2, r.Handler(1));
  rig.queue.AddTransfer(Bytes({0xF1, 0x10}), 0, r.Handler(0));
  rig.queue.AddTransfer(Bytes({0xF1, 0x02}), 5, r.Handler(2));
  rig.Run(200);
  EXPECT_EQ(rig.ctl.Requests,
            std::vector<QByteArray>({Bytes({0xF1, 0x00}), Bytes({0xF1, 0x10}), Bytes({0xF1, 0x02})}));
  EXPECT_EQ(r.got, Got({{1, Bytes({0xF1, 0x01})}, {2, Bytes({0xF4, 1, 2, 3, 4})}}));
  EXPECT_EQ(rig.queue.Count(), 0);
}

TEST(TransferQueue, TimeOutGivesSubstituteAndSendsNothingNew) {
  QueueRig rig;
  Replies r;
  int countInHandler = -1;
  rig.queue.AddTransfer(Bytes({0xF1, 0x77}), 16, [&](const QByteArray& rep) {
    r.got.emplace_back(1, rep);
    // Reads past the end of the substitute give 0.
    EXPECT_EQ(ReplyByte(rep, 5), 0);
    rig.queue.AddTransfer(Bytes({0xF1, 0x01}), 16, r.Handler(4));
    countInHandler = rig.queue.Count();
  });
  rig.queue.AddTransfer(Bytes({0xF1, 0x02}), 5, r.Handler(2));
  rig.queue.AddTransfer(Bytes({0xF1, 0x00}), 2, r.Handler(3));
  rig.Run(50);
  ASSERT_EQ(rig.ctl.Requests, std::vector<QByteArray>({Bytes({0xF1, 0x77})}));
  rig.clock.Advance(3900);
  EXPECT_TRUE(r.got.empty());
  EXPECT_EQ(rig.queue.LineCountdown(), 100);
  rig.clock.Advance(100);
  // The substitute has the length of the most recent request (F1 00: 2).
  EXPECT_EQ(r.got, Got({{1, QByteArray(2, '\0')}}));
  EXPECT_EQ(rig.queue.Count(), 0);
  EXPECT_GE(countInHandler, 1);
  EXPECT_EQ(rig.line.State().count, 0);
  rig.Run(100);
  EXPECT_EQ(rig.ctl.Requests.size(), 1u);
  // The queue works again afterwards.
  rig.queue.AddTransfer(Bytes({0xF1, 0x00}), 2, r.Handler(5));
  rig.Run(50);
  EXPECT_EQ(r.got.back(), std::make_pair(5, Bytes({0xF1, 0x01})));
  EXPECT_EQ(rig.ctl.Requests.back(), Bytes({0xF1, 0x00}));
}

TEST(TransferQueue, TimeOutWatchesRequestSentFromAReply) {
  QueueRig rig;
  Replies r;
  rig.queue.AddTransfer(Bytes({0xF1, 0x00}), 2, r.Handler(1));
  rig.queue.AddTransfer(Bytes({0xF1, 0x77}), 5, r.Handler(2));
  rig.clock.Advance(3000);
  EXPECT_EQ(rig.queue.LineCountdown(), 1000);
  rig.Run(60);
  ASSERT_EQ(r.got, Got({{1, Bytes({0xF1, 0x01})}}));
  EXPECT_EQ(rig.queue.LineCountdown(), 4000);
  rig.clock.Advance(3900);
  EXPECT_EQ(r.got.size(), 1u);
  rig.clock.Advance(100);
  EXPECT_EQ(r.got, Got({{1, Bytes({0xF1, 0x01})}, {2, QByteArray(5, '\0')}}));
}

TEST(TransferQueue, AddingRequestsDoesNotPostponeTheTimeOut) {
  QueueRig rig;
  Replies r;
  rig.queue.AddTransfer(Bytes({0xF1, 0x77}), 5, r.Handler(1));
  rig.Run(20);
  for (int i = 0; i < 3; ++i) {
    rig.clock.Advance(1000);
    ASSERT_TRUE(rig.queue.AddTransfer(Bytes({0xF1, 0x00}), 2, r.Handler(2)));
  }
  rig.clock.Advance(999);
  EXPECT_TRUE(r.got.empty());
  rig.clock.Advance(1);
  EXPECT_EQ(r.got, Got({{1, QByteArray(2, '\0')}}));
  EXPECT_EQ(rig.queue.Count(), 0);
}

// "Leeren" releases the entries only; the request already on the line is
// still watched, and its time-out finds the queue empty.
TEST(TransferQueue, FlushKeepsTheCountdownOfTheRequestOnTheLine) {
  QueueRig rig;
  Replies r;
  rig.queue.AddTransfer(Bytes({0xF1, 0x77}), 5, r.Handler(1));
  rig.queue.AddTransfer(Bytes({0xF1, 0x00}), 2, r.Handler(2));
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
  EXPECT_TRUE(r.got.empty());
  EXPECT_EQ(rig.logLines, QStringList({"36004000 << 0000", "36004000 << transfer/fifo leer ?"}));
  rig.clock.Advance(10000);
  EXPECT_EQ(rig.logLines.size(), 2);
}

TEST(TransferQueue, OverflowStopsAndRestartsWithTheHeadStillWaiting) {
  QueueRig rig;
  rig.queue.SetTimeout(1000);
  std::vector<QByteArray> replies(50);
  std::vector<int> calls(50, 0);
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(rig.queue.AddTransfer(Bytes({0xF1, 0x00}), 2, [&, i](const QByteArray& rep) {
      ++calls[i];
      replies[i] = rep;
    }));
  }
  EXPECT_EQ(rig.queue.StateText(), QStringLiteral("RUN"));
  rig.LogTransfers();
  EXPECT_FALSE(rig.queue.AddTransfer(Bytes({0xF1, 0x02}), 5, nullptr));
  EXPECT_TRUE(rig.queue.MaxStopped());
  EXPECT_EQ(rig.queue.StateText(), QStringLiteral("MAX/STOPPED"));
  EXPECT_FALSE(rig.queue.AddTransfer(Bytes({0xF1, 0x02}), 5, nullptr));
  EXPECT_EQ(rig.logLines, QStringList({"36000000 >> *** gestoppt wegen transfer-fifo max ***F102",
                                       "36000000 >> transfer/FOverflowF102"}));
  EXPECT_EQ(rig.queue.Count(), 50);

  for (int i = 0; i < 9; ++i) rig.queue.DispatchReply(Bytes({0xF1, 0x01}));
  EXPECT_EQ(rig.queue.Count(), 41);
  rig.clock.Advance(1000);
  EXPECT_TRUE(rig.queue.MaxStopped());
  EXPECT_EQ(rig.queue.WaitCount(), 1);
  rig.queue.DispatchReply(Bytes({0xF1, 0x01}));
  EXPECT_EQ(rig.queue.Count(), 40);
  rig.clock.Advance(1000);
  EXPECT_FALSE(rig.queue.MaxStopped());
  EXPECT_EQ(rig.queue.StateText(), QStringLiteral("RUN"));
  EXPECT_EQ(rig.queue.Count(), 40);
  // The head keeps waiting for its own reply.
  EXPECT_EQ(calls[10], 0);
  rig.queue.DispatchReply(Bytes({0xF1, 0x01, 0x0A}));
  EXPECT_EQ(calls[10], 1);
  EXPECT_EQ(replies[10], Bytes({0xF1, 0x01, 0x0A}));
  for (int i = 0; i < 10; ++i) EXPECT_EQ(calls[i], 1) << i;
  EXPECT_TRUE(rig.queue.AddTransfer(Bytes({0xF1, 0x00}), 2, nullptr));
}

TEST(TransferQueue, LinkDownRefusesWithoutALogLine) {
  QueueRig rig;
  rig.LogTransfers();
  rig.port.Link().SetLinkState(false);
  rig.logLines.clear();
  EXPECT_FALSE(rig.queue.AddTransfer(Bytes({0xF1, 0x01}), 16, nullptr));
  EXPECT_TRUE(rig.logLines.isEmpty());
  EXPECT_EQ(rig.queue.Count(), 0);
  EXPECT_EQ(rig.line.State().count, 0);
  EXPECT_EQ(rig.queue.LastReplyLength(), 0);
}

TEST(TransferQueue, LongCommandIsCutTo32InTheQueue) {
  QueueRig rig;
  QByteArray big = Bytes({0xF0});
  for (int i = 1; i < 40; ++i) big.append(static_cast<char>(i));
  ASSERT_TRUE(rig.queue.AddTransfer(big, 2, nullptr));
  EXPECT_EQ(rig.line.State().count, 40);  // sent at once in full
  EXPECT_EQ(rig.queue.LastCommand(), big.left(32));
  ASSERT_TRUE(rig.queue.AddTransfer(big, 2, nullptr));
  rig.queue.DispatchReply(Bytes({0xF1, 0x01}));
  EXPECT_EQ(rig.line.State().count, 40 + 32);
}

TEST(TransferQueue, LogLinesAndTransferTime) {
  QueueRig rig;
  rig.LogTransfers();
  std::vector<std::pair<bool, QString>> local;
  rig.queue.SetReportLocal(true);
  rig.queue.OnLogLine = [&](bool sent, const QString& l) { local.emplace_back(sent, l); };
  rig.clock.Advance(5);
  rig.queue.AddTransfer(Bytes({0xF1, 0x01}), 16, nullptr);
  rig.clock.Advance(250);
  rig.queue.DispatchReply(kVersionReply);
  const QStringList want = {"36000005 >> F101", "36000255 << FF556C762D535720342E323720414243"};
  EXPECT_EQ(rig.logLines, want);
  ASSERT_EQ(local.size(), 2u);
  EXPECT_EQ(local[0], std::make_pair(true, want[0]));
  EXPECT_EQ(local[1], std::make_pair(false, want[1]));
  EXPECT_EQ(rig.queue.LastTransferTime(), 250);
  rig.queue.SetReportLocal(false);
  rig.queue.AddTransfer(Bytes({0xF1, 0x00}), 2, nullptr);
  EXPECT_EQ(local.size(), 2u);
  EXPECT_EQ(rig.logLines.size(), 3);
}

TEST(TransferQueue, FramedModeBlocksTheLine) {
  QueueRig rig;
  rig.LogTransfers();
  rig.queue.SetTransport(true);
  EXPECT_EQ(rig.queue.Mode(), 1);
  rig.Written();
  rig.line.Restart();
  EXPECT_EQ(rig.Written(), QByteArray());
  EXPECT_FALSE(rig.queue.AddTransfer(Bytes({0xF1, 0x01}), 16, nullptr));
  EXPECT_EQ(rig.logLines, QStringList({"36000000 >> transfer/no framed transportF101"}));
  rig.queue.SetTransport(false);
  EXPECT_EQ(rig.queue.Mode(), 2);
  rig.line.Restart();
  EXPECT_EQ(rig.Written(), Bytes({0x40}));
}

}  // namespace
}  // namespace ulv::test
