#include "link/transfer_queue.h"

#include <gtest/gtest.h>

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

// The simulated controller knows F1 01, F1 02 and F1 00 and leaves the rest
// unanswered.
Scenario QueuePlant() {
  Scenario s;
  QString error;
  EXPECT_TRUE(ParseScenario(R"({"version": "Ulv-SW 4.27 ABC", "eeprom": "1027.513"})", &s, &error));
  return s;
}

struct QueueRig : LinkRig {
  TransferQueue queue{port.Link(), line, logs, clock, clock};
  Got got;  // replies per handler id, in call order

  explicit QueueRig(Scenario plant = QueuePlant()) : LinkRig(std::move(plant)) {
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

// A time-out gives the head its substitute once, discards what waits behind
// it and resets the line: nothing goes out before the controller has answered
// the reset request, so neither a tail of the given-up request nor a reply
// the controller still held can meet the request the handler adds.
TEST(TransferQueue, TimeOutGivesSubstituteAndResetsTheLine) {
  QueueRig rig;
  rig.Written();
  int countInHandler = -1;
  rig.queue.AddTransfer(kVersion, 16, [&](const QByteArray& rep) {
    rig.got.emplace_back(1, rep);
    EXPECT_EQ(ReplyByte(rep, 5), 0);  // reads past the end of the substitute give 0
    rig.Add(kEeprom, 5, 4);
    countInHandler = rig.queue.Count();
  });
  rig.Add(kLineTest, 2, 3);
  rig.Add(kEeprom, 5, 2);
  // The controller plays by hand: it takes the request, starts its reply,
  // then falls silent.
  QByteArray wire;
  for (int i = 0; i < 4; ++i) wire += rig.Answer(0x40);
  ASSERT_EQ(wire, H("0F 21 00 21"));
  rig.AnswerByte(0xFF);
  rig.AnswerByte(0x55);
  rig.Written();
  rig.clock.Advance(3900);
  EXPECT_TRUE(rig.got.empty());
  EXPECT_EQ(rig.queue.LineCountdown(), 100);
  rig.clock.Advance(100);
  // The substitute has the length of the most recent request (F1 02: 5).
  EXPECT_EQ(rig.got, Got({{1, QByteArray(5, '\0')}}));
  EXPECT_EQ(countInHandler, 1);
  EXPECT_TRUE(rig.line.PartialMessage().isEmpty());
  wire.clear();
  for (uint8_t b : {0x40, 0x2F, 0xF0, 0x40, 0x40, 0x40}) wire += rig.Answer(b);
  EXPECT_EQ(wire, H("F0 F0 0F 21 00 22"));
  for (char c : kEepromReply) rig.AnswerByte(static_cast<uint8_t>(c));
  EXPECT_EQ(rig.got, Got({{1, QByteArray(5, '\0')}, {4, kEepromReply}}));
  EXPECT_EQ(rig.queue.Count(), 0);
}

// Also a queue stopped at 50 gives its head the substitute on a time-out and
// runs again, whatever the fill the replies have left.
TEST(TransferQueue, TimeOutEndsTheOverflowStop) {
  for (int fill : {41, 40}) {
    QueueRig rig;
    rig.queue.SetTimeout(10000);
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(rig.Add(kUnanswered, 2, i));
    ASSERT_FALSE(rig.Add(kUnanswered, 2, 99));
    for (int i = fill; i < 50; ++i) rig.queue.DispatchReply(kLineTestReply);
    ASSERT_EQ(rig.queue.Count(), fill);
    rig.clock.Advance(4000);
    EXPECT_EQ(rig.got.size(), 51u - fill) << fill;
    EXPECT_EQ(rig.got.back(), std::make_pair(50 - fill, QByteArray(2, '\0'))) << fill;
    EXPECT_FALSE(rig.queue.MaxStopped());
    EXPECT_EQ(rig.queue.Count(), 0);
    EXPECT_TRUE(rig.Add(kLineTest, 2, 100));
    rig.clock.Advance(10000);
    EXPECT_EQ(rig.got.size(), 52u - fill) << "the head gets one substitute only";
  }
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
  // Across midnight the transfer time stays the time that passed.
  rig.clock.SetDateTime(QDateTime(QDate(2026, 3, 14), QTime(23, 59, 59, 900)));
  rig.queue.AddTransfer(kVersion, 16, nullptr);
  rig.clock.Advance(300);
  rig.queue.DispatchReply(kVersionReply);
  EXPECT_EQ(rig.queue.LastTransferTime(), 300);
  rig.logLines.clear();
  local.clear();
  rig.queue.SetReportLocal(false);
  rig.queue.AddTransfer(kLineTest, 2, nullptr);
  EXPECT_TRUE(local.empty());
  EXPECT_EQ(rig.logLines.size(), 1);
}

// A request is refused while the link is down (without a log line) and in
// the framed mode without a framed transport; mode 1 stops the line port and
// blocks its writes until mode 2 restarts it.
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
  EXPECT_FALSE(rig.line.LineTimerActive());
  EXPECT_FALSE(rig.port.Link().IsLinked());
  rig.port.Link().SetLinkState(true);
  rig.Written();
  rig.line.Restart();
  EXPECT_EQ(rig.Written(), QByteArray());
  EXPECT_FALSE(rig.queue.AddTransfer(kVersion, 16, nullptr));
  EXPECT_EQ(rig.logLines, QStringList({"36000000 >> transfer/no framed transportF101"}));
  rig.queue.SetTransport(false);
  EXPECT_EQ(rig.queue.Mode(), 2);
  rig.line.Restart();
  EXPECT_EQ(rig.Written(), H("F0"));
}

// Tool and controller together: after a silent spell, a restart of the line
// and an unplugged adapter, each in the middle of a reply, the interrupted
// request ends with its reply or its substitute, and every later reply is
// exactly the controller's.
TEST(TransferQueue, RepliesAfterRecoveryAreTheControllersOwn) {
  const QByteArray kName = "\xF2\x55\x12"_ba;
  PlantModel reference(QueuePlant());
  const struct {
    QString name;
    std::function<void(QueueRig&)> interrupt;
  } cases[] = {
      {u"silent spell"_s,
       [](QueueRig& rig) {
         rig.ctl.Controller().SetFaults({.silent = true});
         rig.clock.Advance(4500);
         rig.ctl.Controller().SetFaults({});
         rig.clock.Advance(500);
       }},
      {u"line restarted"_s,
       [](QueueRig& rig) {
         rig.queue.FlushQueue();
         rig.port.Link().OnLampClick();
         rig.port.Link().OnLampClick();
       }},
      {u"every third answer lost"_s,
       [](QueueRig& rig) {
         rig.ctl.Controller().SetFaults({.dropEvery = 3});
         for (int i = 0; i < 40; ++i) {
           rig.Run(100);
           rig.clock.Advance(250);
         }
         rig.ctl.Controller().SetFaults({});
         rig.clock.Advance(4000);
       }},
      {u"adapter unplugged"_s,
       [](QueueRig& rig) {
         rig.toolEnd.Vanish();
         rig.clock.Advance(1000);
         rig.toolEnd.Reappear();
         rig.clock.Advance(3000);
       }},
  };
  // Interrupted when the controller holds the whole reply, or half of it.
  for (const auto& c : cases) for (int pending : {16, 8}) {
    SCOPED_TRACE((c.name + u" with %1 reply bytes pending"_s.arg(pending)).toStdString());
    QueueRig rig;
    rig.line.SetLineTimeout(2000);
    ASSERT_TRUE(rig.Add(kName, 16, 1));
    for (int i = 0; i < 100 && rig.ctl.Controller().PendingReplyBytes() != pending; ++i) rig.Run(1);
    ASSERT_EQ(rig.ctl.Controller().PendingReplyBytes(), pending);
    c.interrupt(rig);
    rig.Run(10);  // the link comes back
    for (const QByteArray& request : {kVersion, kName, kEeprom, kLineTest}) {
      const QByteArray reply = *reference.Answer(request);
      ASSERT_TRUE(rig.Add(request, static_cast<int>(reply.size()), 2));
      rig.Run(400);
      ASSERT_FALSE(rig.got.empty());
      EXPECT_EQ(rig.got.back(), std::make_pair(2, reply)) << request.toHex().constData();
      // The interrupted request ended at most once, with its substitute.
      const Got first(rig.got.begin(), rig.got.end() - 1);
      EXPECT_TRUE(first.empty() || first == Got({{1, QByteArray(16, '\0')}}));
      rig.got.erase(rig.got.end() - 1);
    }
  }
}

// A reply the controller sends late, when the next request comes, is dropped
// by the reset that follows the time-out: the next request gets its own.
TEST(TransferQueue, LateReplyNeverAnswersTheNextRequest) {
  const QByteArray kHeaderRequest = H("F2 4B 02");
  Scenario plant = QueuePlant();
  const int headerLength = static_cast<int>(PlantModel(plant).Answer(kHeaderRequest)->size());
  plant.stream.faults = {{SimStreamRequest::Header, 1, false, true}};
  QueueRig rig(plant);
  ASSERT_TRUE(rig.Add(kHeaderRequest, headerLength, 1));
  rig.Run(50);
  EXPECT_TRUE(rig.got.empty());
  rig.clock.Advance(4000);
  EXPECT_EQ(rig.got, Got({{1, QByteArray(headerLength, '\0')}}));
  ASSERT_TRUE(rig.Add(kVersion, 16, 2));
  rig.Run(400);
  EXPECT_EQ(rig.got.back(), std::make_pair(2, kVersionReply));
}

}  // namespace
}  // namespace ulv::test
