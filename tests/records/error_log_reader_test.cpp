// The error log reader: the request chain, numbering, "fehler.bin", the
// hexadecimal re-listing, reports and the delete, driven by a scripted queue.
#include "records/error_log_reader.h"

#include <QTemporaryDir>

#include "records_rig.h"

namespace ulv::test {
namespace {

const char kCatalogue[] =
    "[texte]\n"
    "_FEHLER_READER_=Leser\n"
    "_HOLEN_=Holt\n"
    "_unit45_1=Fehlerliste\n"
    "_unit45_2= Fehler\n"
    "_FEHLER_TEXT_=Anzahl unlesbar\n"
    "_FZ_TEXT_=FZ=\n"
    "_VERSIONS_TEXT_=VER=\n"
    "_ANLAGEN_TEXT_=ANL=\n"
    "[id]\n"
    "file=t.ini\n"
    "[12]\n"
    "id=TUER\n"
    "%t=Tür %n\n"
    "3=%t offen (%4$)\n";

const QString kNow = u"14.03.26 10:00:00"_s;

QByteArray CountReply(int total) {
  return B({0xF4, total & 0xF, (total >> 4) & 0xF, (total >> 8) & 0xF, (total >> 12) & 0xF});
}
// Record k: group 12, code 3, detail k, day 32, time 43199.
QByteArray RecordReply(int k) { return B({0xF7, 0x0C, 0x03, k, 0x20, 0x00, 0xBF, 0xA8}); }
QString RecordLine(int number, int k) {
  return QString::asprintf(" %03d :  01.02.00  23:59:58 [TUER:3,%d] Tür 3 offen (%02X$)", number, k, k);
}
QString HexLine(int number, int k) {
  return QString::asprintf(
      " %03d : 0C 03 %02X 20 00 BF A8     01.02.00  23:59:58 [TUER:3,%d] Tür 3 offen (%02X$)", number, k, k,
      k);
}
QByteArray Rec(int k) {
  return QByteArray::fromRawData("\xF3\x55\x07", 3) + QByteArray(1, static_cast<char>(k));
}

class ReaderTest : public RecordsTest {
protected:
  void SetUp() override {
    RecordsTest::SetUp();
    catalogue.LoadFromBytes(QByteArray(kCatalogue));
    reader.SetListDirectory(dir.path());
    reader.OnReadEnded = [this](ErrorLogReader::ReadOutcome o) { outcomes.push_back(o); };
    reader.OnProgress = [this](int v, int m) { progress.push_back({v, m}); };
  }
  // Answers every request: count `total`, record k -> RecordReply(k).
  QByteArray Respond(const QByteArray& command, int total) {
    if (command == B({0xF1, 0x31})) return CountReply(total);
    if (command.startsWith(B({0xF3, 0x55, 0x07}))) return RecordReply(static_cast<uint8_t>(command[3]));
    if (command == B({0xF1, 0x40})) return B({0xF8, 1, 0, 0, 0, 2, 0, 0, 0});
    if (command == B({0xF1, 0x01})) return "\xFFV2.14"_ba;
    if (command == B({0xF2, 0x55, 0x12})) return TextReply("AUFZUG 3");
    return B({0xF1, 0x00});
  }
  void RunAll(int total) {
    transfers.RunAll([&](const QByteArray& c) { return Respond(c, total); });
  }
  QByteArray ListFile() const { return ReadBytes(reader.ErrorListPath()); }
  void WriteListFile(const QByteArray& data) { ASSERT_TRUE(WriteBytes(reader.ErrorListPath(), data)); }
  // Lines after the heading of a read (13 lines: version tag, six catalogue
  // info lines, six identity lines).
  QStringList Tail(int from = 13) const { return lines.mid(from); }

  QTemporaryDir dir;
  ErrorCatalogue catalogue;
  ErrorLogReader reader{transfers, utils, catalogue, identity, clock};
  std::vector<ErrorLogReader::ReadOutcome> outcomes;
  std::vector<std::pair<int, int>> progress;
};

TEST_F(ReaderTest, ThreeErrorsAreFetchedNewestFirstAndStored) {
  reader.SetStatus(0);
  EXPECT_EQ(reader.CaptionText(), u"Leser"_s);
  ASSERT_TRUE(reader.StartRead(Collect()));
  EXPECT_EQ(reader.Status(), 1);
  // The heading: version tag, catalogue info, identity block.
  QStringList heading{u"ulv_fehler.270702"_s};
  catalogue.WriteCatalogueInfo([&](const QString& l) { heading << l; });
  identity.WriteIdentityBlock([&](const QString& l) { heading << l; });
  EXPECT_EQ(lines.mid(0, 13), heading);
  EXPECT_EQ(reader.CaptionText(), u"Holt"_s);
  RunAll(3);
  EXPECT_EQ(transfers.answered, (std::vector<QByteArray>{B({0xF1, 0x31}), Rec(0), Rec(1), Rec(2)}));
  EXPECT_EQ(Tail(), (QStringList{u"Fehlerliste "_s + kNow, u" 3 Fehler"_s, RecordLine(1, 2), RecordLine(2, 1),
                                 RecordLine(3, 0), u" OK"_s}));
  QByteArray expected;
  for (int i = 0; i < 3; ++i) {
    expected += B({i + 1, 0, 0, 0, 8}) + RecordReply(2 - i) + QByteArray(3, '\0');
  }
  EXPECT_EQ(ListFile(), expected);
  EXPECT_EQ(outcomes, std::vector{ErrorLogReader::ReadOutcome::Completed});
  EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{0, 0}, {0, 3}, {1, 3}, {2, 3}, {3, 3}}));
  EXPECT_FALSE(reader.IsReading());
  EXPECT_EQ(reader.CaptionText(), u"Holt"_s);
}

TEST_F(ReaderTest, NoErrorsRequestsNoRecordAndLeavesTheFileAlone) {
  WriteListFile("old");
  reader.StartRead(Collect());
  RunAll(0);
  EXPECT_EQ(transfers.answered, std::vector{B({0xF1, 0x31})});
  EXPECT_EQ(Tail(), (QStringList{u"Fehlerliste "_s + kNow, u" 0 Fehler"_s, u"Fehlerliste"_s, u" OK"_s}));
  EXPECT_EQ(ListFile(), QByteArray("old"));
}

TEST_F(ReaderTest, MoreThanHundredErrorsFetchTheFirstHundredNumberedFromTotalMinus100) {
  reader.StartRead(Collect());
  RunAll(150);
  ASSERT_EQ(transfers.answered.size(), 101u);
  for (int k = 0; k < 100; ++k) EXPECT_EQ(transfers.answered[static_cast<size_t>(k) + 1], Rec(k));
  const QStringList tail = Tail();
  ASSERT_EQ(tail.size(), 103);
  EXPECT_EQ(tail[1], u" 150 Fehler"_s);
  EXPECT_EQ(tail[2], RecordLine(50, 99));
  EXPECT_EQ(tail[101], RecordLine(149, 0));
  EXPECT_EQ(ListFile().size(), 100 * 16);
  EXPECT_EQ(ListFile().left(5), B({50, 0, 0, 0, 8}));
}

// Every way a read ends early: the list gets at most the failure text,
// "fehler.bin" stays, nothing waits, and the next read runs from a clean
// record stack. A dropped chain reports no outcome.
TEST_F(ReaderTest, ReadsEndingEarlyLeaveTheFileAndBlockNothing) {
  using O = ErrorLogReader::ReadOutcome;
  const QStringList unreadable{u"Anzahl unlesbar"_s};
  const QByteArray timeOut;  // the queue's time-out instead of a reply
  // Unmasked nibbles adding up to the failure text's 999999 (15 + 3*16 + 2*256 + 244*4096).
  const QByteArray failureText = B({0xF4, 0x0F, 0x03, 0x02, 0xF4, 0, 0, 0});
  struct Case {
    const char* name;
    bool linked;
    std::vector<QByteArray> replies;
    bool foreignHead;  // another user's request is at the head when the time-out comes
    QStringList tail;
    std::vector<O> outcomes;
  };
  const Case cases[] = {
      {"count not F4", true, {B({0xF1, 0x00})}, false, unreadable, {O::CountFailed}},
      {"count reads 999999", true, {failureText}, false, unreadable, {O::CountFailed}},
      {"time-out on the count", true, {timeOut}, false, unreadable, {O::TimedOut}},
      {"time-out after a record", true, {CountReply(3), RecordReply(0), timeOut}, false, {}, {O::TimedOut}},
      {"time-out on the last record", true, {CountReply(1), timeOut}, false, {}, {O::TimedOut}},
      {"count refused", false, {}, false, {}, {O::Refused}},
      {"another user's time-out drops our request", true, {CountReply(2), timeOut}, true, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteListFile("old");
    lines.clear();
    outcomes.clear();
    transfers.linked = c.linked;
    reader.StartRead(Collect());
    for (const QByteArray& reply : c.replies) {
      if (!reply.isNull()) {
        transfers.Reply(reply);
        continue;
      }
      if (c.foreignHead) transfers.waiting.push_front(FakeTransfers::Request{B({0xF1, 0x02}), 5, nullptr});
      transfers.TimeOut();
    }
    EXPECT_EQ(Tail(), c.tail);
    EXPECT_EQ(outcomes, c.outcomes);
    EXPECT_TRUE(transfers.waiting.empty());
    EXPECT_FALSE(reader.IsReading());
    EXPECT_EQ(ListFile(), "old"_ba);

    transfers.linked = true;
    lines.clear();
    ASSERT_TRUE(reader.StartRead(Collect()));
    RunAll(1);
    EXPECT_EQ(Tail().mid(2), (QStringList{RecordLine(1, 0), u" OK"_s}));
  }
}

TEST_F(ReaderTest, SecondHolenDuringAReadIsIgnored) {
  ASSERT_TRUE(reader.StartRead(Collect()));
  transfers.Reply(CountReply(2));
  const int before = static_cast<int>(lines.size());
  EXPECT_FALSE(reader.StartRead(Collect()));
  EXPECT_FALSE(reader.ReadErrorLog(Collect()));
  EXPECT_EQ(lines.size(), before);
  RunAll(2);
  EXPECT_EQ(transfers.answered, (std::vector<QByteArray>{B({0xF1, 0x31}), Rec(0), Rec(1)}));
  EXPECT_EQ(Tail().mid(2), (QStringList{RecordLine(1, 1), RecordLine(2, 0), u" OK"_s}));
  EXPECT_TRUE(reader.StartRead(Collect()));
}

TEST_F(ReaderTest, ReplyAfterFinishChangesNothing) {
  reader.StartRead(Collect());
  transfers.Reply(CountReply(1));
  TransferReplyHandler recordHandler = transfers.waiting.front().handler;
  transfers.Reply(RecordReply(0));
  const QStringList after = lines;
  const QByteArray file = ListFile();
  recordHandler(RecordReply(9));
  EXPECT_EQ(lines, after);
  EXPECT_EQ(ListFile(), file);
  EXPECT_TRUE(transfers.waiting.empty());
  EXPECT_EQ(outcomes.size(), 1u);
}

TEST_F(ReaderTest, HexReListingRoundTripsThroughTheFile) {
  reader.StartRead(Collect());
  RunAll(3);
  lines.clear();
  ASSERT_TRUE(reader.HexListing());
  EXPECT_TRUE(reader.HexMode());
  EXPECT_EQ(lines, (QStringList{HexLine(1, 2), HexLine(2, 1), HexLine(3, 0)}));
  EXPECT_TRUE(transfers.accepted.size() == 4u);  // nothing requested
  // The next read of the window resets the mode.
  lines.clear();
  reader.StartRead(Collect());
  RunAll(1);
  EXPECT_FALSE(reader.HexMode());
  EXPECT_EQ(Tail()[2], RecordLine(1, 0));
  // A read that cannot write fehler.bin says so and keeps the old file; HEX
  // then refuses rather than list the old records as this read's.
  QString error, hexError;
  reader.OnFileError = [&error](const QString& e) { error = e; };
  {
    FileSizeLimit full(8);
    reader.StartRead(Collect());
    RunAll(2);
  }
  EXPECT_EQ(ListFile().size(), ErrorLogReader::kFileRecordSize);
  EXPECT_TRUE(!reader.HexListing(&hexError) && !error.isEmpty() && hexError == error) << qPrintable(error);
}

// Without "fehler.bin" HEX says so and lists nothing; it trusts no length
// byte beyond 11 and no record beyond the file's end.
TEST_F(ReaderTest, HexReListingTrustsNoLengthAndNoRecordBeyondTheFile) {
  reader.ReadErrorLog(Collect());
  RunAll(0);
  lines.clear();
  QString error;
  EXPECT_FALSE(reader.HexListing(&error));
  EXPECT_TRUE(error.contains(u"fehler.bin"_s));
  EXPECT_TRUE(lines.isEmpty());

  QByteArray file;
  file += B({7, 0, 0, 0, 0xFF}) + RecordReply(1) + B({0xF7, 0xF7, 0xF7});  // length byte 255
  file += B({8, 0, 0, 0, 3}) + RecordReply(2) + QByteArray(3, '\0');       // only 3 bytes count
  file += B({9, 0, 0, 0, 8}) + RecordReply(3);                             // cut off
  WriteListFile(file);
  ASSERT_TRUE(reader.HexListing());
  EXPECT_EQ(lines, (QStringList{HexLine(7, 1),
                                u" 008 : 0C 03 00 00 00 00 00     ?? ?? ??  00:00:00 "
                                u"[TUER:3,0] Tür 3 offen (00$)"_s}));
}

// A record reply is stored as received, at most its first 8 bytes, behind
// its length.
TEST_F(ReaderTest, RecordRepliesAreStoredAsReceivedUpToEightBytes) {
  const QByteArray shortReply = B({0xF7, 0x0C, 0x03});
  reader.StartRead(Collect());
  transfers.Reply(CountReply(2));
  transfers.Reply(RecordReply(1) + B({0xAA, 0xBB}));
  transfers.Reply(shortReply);
  EXPECT_EQ(ListFile(), B({1, 0, 0, 0, 3}) + shortReply + QByteArray(8, '\0') + B({2, 0, 0, 0, 8}) +
                            RecordReply(1) + QByteArray(3, '\0'));
}

TEST_F(ReaderTest, FullReportChainsIdentityItemsThenTheList) {
  reader.FullReport(Collect());
  RunAll(1);
  EXPECT_EQ(transfers.answered, (std::vector<QByteArray>{B({0xF1, 0x40}), B({0xF1, 0x01}),
                                                         B({0xF2, 0x55, 0x12}), B({0xF1, 0x31}), Rec(0)}));
  EXPECT_EQ(lines,
            (QStringList{u" "_s, u" "_s + kNow, u" "_s, u"FZ=10002"_s, u"VER=V2.14"_s, u"ANL=.AUFZUG 3"_s,
                         u" "_s, u"Fehlerliste "_s + kNow, u" 1 Fehler"_s, RecordLine(1, 0), u" OK"_s}));
}

TEST_F(ReaderTest, FullReportStopsAtATimeOut) {
  reader.FullReport(Collect());
  transfers.TimeOut();
  EXPECT_EQ(lines.mid(3), QStringList{u"fz/länge...???"_s});
  EXPECT_TRUE(transfers.waiting.empty());
  EXPECT_EQ(outcomes, std::vector{ErrorLogReader::ReadOutcome::TimedOut});
}

TEST_F(ReaderTest, DeleteSendsF125AndTwoSilentReReads) {
  reader.StartRead(Collect());
  RunAll(2);
  const int listed = static_cast<int>(lines.size());
  transfers.answered.clear();
  reader.DeleteErrorLog();
  EXPECT_EQ(transfers.Head(), B({0xF1, 0x25}));
  EXPECT_EQ(transfers.waiting.front().replyLength, 2);
  RunAll(1);
  const QByteArray trip = B({0xF1, 0x40}), version = B({0xF1, 0x01}), plant = B({0xF2, 0x55, 0x12}),
                   count = B({0xF1, 0x31});
  EXPECT_EQ(transfers.answered, (std::vector<QByteArray>{B({0xF1, 0x25}), trip, trip, version, version, plant,
                                                         plant, count, count, Rec(0), Rec(0)}));
  EXPECT_EQ(lines.size(), listed);
  // The re-reads rewrote the file; HEX has no output target now.
  EXPECT_EQ(ListFile().size(), 16);
  EXPECT_TRUE(reader.HexListing());
  EXPECT_EQ(lines.size(), listed);
}

}  // namespace
}  // namespace ulv::test
