// The shared controller requests: their exact bytes, their replies, and the
// controller's time and day formats.
#include "link/qel_utils.h"

#include <gtest/gtest.h>

#include <QDate>
#include <deque>
#include <vector>

#include "common/virtual_clock.h"

namespace ulv {
namespace {

QByteArray B(std::initializer_list<int> bytes) {
  QByteArray out;
  for (int b : bytes) out.append(static_cast<char>(b));
  return out;
}

// Answers by hand; a time-out hands the head zero bytes of the most recent
// request's reply length and drops everything else, as the queue does.
class ScriptedTransfers : public Transfers {
public:
  struct Request {
    QByteArray command;
    int replyLength;
    TransferReplyHandler handler;
  };
  bool AddTransfer(const QByteArray& command, int replyLength, TransferReplyHandler onReply) override {
    lastReplyLength = replyLength;
    if (!linked || refuse) return false;
    sent.push_back(command);
    lengths.push_back(replyLength);
    if (replyLength > 0) waiting.push_back(Request{command, replyLength, std::move(onReply)});
    return true;
  }
  bool IsLinked() const override { return linked; }
  void Reply(const QByteArray& reply) {
    ASSERT_FALSE(waiting.empty());
    Request head = std::move(waiting.front());
    waiting.pop_front();
    if (head.handler) head.handler(reply);
  }
  void TimeOut() {
    ASSERT_FALSE(waiting.empty());
    Request head = std::move(waiting.front());
    waiting.pop_front();
    if (head.handler) head.handler(QByteArray(lastReplyLength, '\0'));
    waiting.clear();
  }
  bool linked = true;
  bool refuse = false;
  int lastReplyLength = 0;
  std::vector<QByteArray> sent;
  std::vector<int> lengths;
  std::deque<Request> waiting;
};

class QelUtilsTest : public ::testing::Test {
protected:
  VirtualClock clock{QDateTime(QDate(2001, 1, 1), QTime(23, 59, 59))};
  ScriptedTransfers transfers;
  QelUtils utils{transfers, clock};
};

TEST(QelUtilsRequests, TimeOfDayCarriesTwoSecondUnitsLowNibbleFirst) {
  EXPECT_EQ(TimeOfDayRequest(QTime(23, 59, 59)), B({0xF5, 0x34, 0x0F, 0x0B, 0x08, 0x0A}));
  EXPECT_EQ(TimeOfDayRequest(QTime(0, 0, 1)), B({0xF5, 0x34, 0, 0, 0, 0}));
  EXPECT_EQ(TimeOfDayRequest(QTime(0, 1, 2)), B({0xF5, 0x34, 0x0F, 0x01, 0, 0}));  // 31
}

TEST(QelUtilsRequests, DayNumberCountsFirstJanuary2000AsZero) {
  EXPECT_EQ(DayNumberRequest(QDate(2000, 1, 1)), B({0xF5, 0x36, 0, 0, 0, 0}));
  EXPECT_EQ(DayNumberRequest(QDate(2001, 1, 1)), B({0xF5, 0x36, 0x0E, 0x06, 0x01, 0}));  // 366
}

TEST_F(QelUtilsTest, SendDateTimeSendsTimeThenDayAndReportsOnlyAfterF4) {
  QStringList reports;
  utils.OnReport = [&](const QString& t) { reports << t; };
  QelUtils* result = reinterpret_cast<QelUtils*>(1);
  int calls = 0;
  utils.SendDateTime([&](QelUtils* u) {
    result = u;
    ++calls;
  });
  ASSERT_EQ(transfers.sent.size(), 1u);
  EXPECT_EQ(transfers.sent[0], B({0xF5, 0x34, 0x0F, 0x0B, 0x08, 0x0A}));
  EXPECT_EQ(transfers.lengths[0], 5);
  transfers.Reply(B({0xF4, 0, 0, 0, 0}));
  ASSERT_EQ(transfers.sent.size(), 2u);
  EXPECT_EQ(transfers.sent[1], B({0xF5, 0x36, 0x0E, 0x06, 0x01, 0}));
  EXPECT_EQ(transfers.lengths[1], 5);
  EXPECT_TRUE(reports.isEmpty());
  transfers.Reply(B({0xF4, 0, 0, 0, 0}));
  EXPECT_EQ(reports, QStringList{QStringLiteral("date.send")});
  EXPECT_EQ(result, &utils);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(utils.OnReport);
}

TEST_F(QelUtilsTest, SendDateTimeAcrossMidnightKeepsTheDateOfItsTime) {
  utils.SendDateTime(nullptr);
  clock.Advance(2000);  // now 2 January, 00:00:01
  transfers.Reply(B({0xF4, 0, 0, 0, 0}));
  ASSERT_EQ(transfers.sent.size(), 2u);
  EXPECT_EQ(transfers.sent[1], B({0xF5, 0x36, 0x0E, 0x06, 0x01, 0}));  // still day 366
}

// A reply that ends the send (also a time-out's substitute) completes it with
// the utils object; only a refused request completes it with nothing.
TEST_F(QelUtilsTest, SendDateTimeFailuresNeverReportDateSend) {
  struct Case {
    const char* name;
    bool timeOutFirst;
    QByteArray firstReply;
    bool timeOutSecond;
    QByteArray secondReply;
    bool refuseSecond;
    int expectedSent;
    bool doneWithUtils;
  };
  const std::vector<Case> cases = {
      {"time reply lost", true, {}, false, {}, false, 1, true},
      {"time reply not F4", false, B({0xF1, 0}), false, {}, false, 1, true},
      {"day reply lost", false, B({0xF4, 0, 0, 0, 0}), true, {}, false, 2, true},
      {"day reply not F4", false, B({0xF4, 0, 0, 0, 0}), false, B({0xF1, 0}), false, 2, true},
      {"day request refused", false, B({0xF4, 0, 0, 0, 0}), false, {}, true, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedTransfers t;
    QelUtils u(t, clock);
    QStringList reports;
    u.OnReport = [&](const QString& text) { reports << text; };
    QelUtils* result = reinterpret_cast<QelUtils*>(1);
    int calls = 0;
    u.SendDateTime([&](QelUtils* r) {
      result = r;
      ++calls;
    });
    t.refuse = false;
    if (c.timeOutFirst) {
      t.TimeOut();
    } else {
      t.refuse = c.refuseSecond;
      t.Reply(c.firstReply);
    }
    if (t.sent.size() == 2) {
      if (c.timeOutSecond)
        t.TimeOut();
      else
        t.Reply(c.secondReply);
    }
    EXPECT_EQ(static_cast<int>(t.sent.size()), c.expectedSent);
    EXPECT_TRUE(reports.isEmpty());
    EXPECT_EQ(result, c.doneWithUtils ? &u : nullptr);
    EXPECT_EQ(calls, 1);
  }
}

TEST_F(QelUtilsTest, SendDateTimeWithLinkDownSendsNothing) {
  transfers.linked = false;
  QelUtils* result = &utils;
  utils.SendDateTime([&](QelUtils* r) { result = r; });
  EXPECT_TRUE(transfers.sent.empty());
  EXPECT_EQ(result, nullptr);
}

TEST_F(QelUtilsTest, EveryDateFrom2001To2099ReadsBackAsSent) {
  for (QDate d(2001, 1, 1); d <= QDate(2099, 12, 31); d = d.addDays(1)) {
    clock.SetDateTime(QDateTime(d, QTime(12, 0, 0)));
    ScriptedTransfers t;
    QelUtils u(t, clock);
    u.SendDateTime(nullptr);
    t.Reply(B({0xF4, 0, 0, 0, 0}));
    ASSERT_EQ(t.sent.size(), 2u) << d.toString(Qt::ISODate).toStdString();
    const QByteArray& day = t.sent[1];
    const auto number = static_cast<uint16_t>(day[2] | (day[3] << 4) | (day[4] << 8) | (day[5] << 12));
    ASSERT_EQ(FormatDayNumber(number), d.toString(QStringLiteral("dd.MM.yy"))) << number;
  }
}

TEST_F(QelUtilsTest, EachVersionReadGetsItsOwnReply) {
  QString first, second;
  utils.ReadVersionText([&](const QString& t) { first = t; });
  utils.ReadVersionText([&](const QString& t) { second = t; });
  ASSERT_EQ(transfers.sent.size(), 2u);
  EXPECT_EQ(transfers.sent[0], B({0xF1, 0x01}));
  EXPECT_EQ(transfers.lengths[0], 16);
  transfers.Reply(
      QByteArray("\xFF"
                 "V1.01 07.05.04 ",
                 16));
  EXPECT_EQ(first, QStringLiteral("V1.01 07.05.04 "));
  EXPECT_TRUE(second.isEmpty());
  transfers.Reply(B({0xF4, 1, 2, 3, 4}));
  EXPECT_EQ(second, QStringLiteral("Transfer.Fehler"));
  EXPECT_EQ(utils.VersionText, QStringLiteral("Transfer.Fehler"));
}

TEST_F(QelUtilsTest, VersionReadAndDateSendAtOnceDoNotSwapReplies) {
  QString version;
  QelUtils* done = nullptr;
  utils.SendDateTime([&](QelUtils* u) { done = u; });
  utils.ReadVersionText([&](const QString& t) { version = t; });
  transfers.Reply(B({0xF4, 0, 0, 0, 0}));  // F5 34; F5 36 queued behind F1 01
  transfers.Reply(
      QByteArray("\xFF"
                 "ABC",
                 4));  // F1 01
  EXPECT_EQ(version, QStringLiteral("ABC"));
  EXPECT_EQ(done, nullptr);
  transfers.Reply(B({0xF4, 0, 0, 0, 0}));  // F5 36
  EXPECT_EQ(done, &utils);
}

TEST_F(QelUtilsTest, RefusedVersionReadAnswersAtOnce) {
  transfers.refuse = true;
  QString text;
  ReplyStatus status = ReplyStatus::Replied;
  utils.ReadVersion([&](const QString& t, ReplyStatus s) {
    text = t;
    status = s;
  });
  EXPECT_EQ(text, QStringLiteral("transf.error"));
  EXPECT_EQ(status, ReplyStatus::Refused);
}

TEST_F(QelUtilsTest, VersionSubstituteIsToldApart) {
  ReplyStatus status = ReplyStatus::Replied;
  QString text;
  utils.ReadVersion([&](const QString& t, ReplyStatus s) {
    text = t;
    status = s;
  });
  transfers.TimeOut();
  EXPECT_EQ(text, QStringLiteral("Transfer.Fehler"));
  EXPECT_EQ(status, ReplyStatus::Substitute);
}

TEST_F(QelUtilsTest, NameAndTelephoneAreLatin1CutOrPaddedWithZerosTo13Bytes) {
  struct Case {
    QString text;
    QByteArray field;
  };
  const std::vector<Case> cases = {
      {QStringLiteral("  AUFZUG 3 "), QByteArray("AUFZUG 3\0\0\0\0\0", 13)},
      {QStringLiteral("ABCDEFGHIJKLMNOP"), QByteArray("ABCDEFGHIJKLM")},
      {QStringLiteral("Müller"), QByteArray("M\xFCller\0\0\0\0\0\0\0", 13)},
      {QStringLiteral("Ωmega €"), QByteArray("?mega ?\0\0\0\0\0\0", 13)},
      {QString::fromUtf8("\xF0\x9F\x98\x80"
                         "X"),
       QByteArray("?X\0\0\0\0\0\0\0\0\0\0\0", 13)},
      {QString(), QByteArray(13, '\0')},
  };
  for (const Case& c : cases) {
    ScriptedTransfers t;
    QelUtils u(t, clock);
    u.WriteNameText(c.text);
    u.WriteTelephoneText(c.text);
    ASSERT_EQ(t.sent.size(), 2u);
    EXPECT_EQ(t.sent[0], B({0xFF, 0x55, 0x11}) + c.field) << c.text.toStdString();
    EXPECT_EQ(t.sent[1], B({0xFF, 0x55, 0x13}) + c.field) << c.text.toStdString();
    EXPECT_EQ(t.lengths[0], 2);
    EXPECT_EQ(t.lengths[1], 2);
  }
}

TEST_F(QelUtilsTest, NameWriteWithLinkDownSendsNothing) {
  transfers.linked = false;
  utils.WriteNameText(QStringLiteral("X"));
  utils.WriteTelephoneText(QStringLiteral("1"));
  EXPECT_TRUE(transfers.sent.empty());
}

TEST_F(QelUtilsTest, WriteWord16SendsNibblesAndCallsDoneOnReply) {
  int done = 0;
  utils.WriteWord16(0x1234, [&] { ++done; });
  ASSERT_EQ(transfers.sent.size(), 1u);
  EXPECT_EQ(transfers.sent[0], B({0xF5, 0x04, 0x04, 0x03, 0x02, 0x01}));
  EXPECT_EQ(transfers.lengths[0], 5);
  EXPECT_EQ(done, 0);
  transfers.Reply(B({0xF4, 0, 0, 0, 0}));
  EXPECT_EQ(done, 1);
}

TEST_F(QelUtilsTest, SendHex32SwapsDigitPairs) {
  struct Case {
    QString text;
    QByteArray nibbles;
  };
  const std::vector<Case> cases = {
      {QStringLiteral("12345678"), B({2, 1, 4, 3, 6, 5, 8, 7})},
      {QStringLiteral("ABCDEF09"), B({0x0B, 0x0A, 0x0D, 0x0C, 0x0F, 0x0E, 9, 0})},
      {QStringLiteral("abcdef09"), B({0x0B, 0x0A, 0x0D, 0x0C, 0x0F, 0x0E, 9, 0})},
  };
  for (const Case& c : cases) {
    ScriptedTransfers t;
    QelUtils u(t, clock);
    EXPECT_TRUE(u.SendHex32(c.text));
    ASSERT_EQ(t.sent.size(), 1u);
    EXPECT_EQ(t.sent[0], B({0xF9, 0x0C}) + c.nibbles) << c.text.toStdString();
    EXPECT_EQ(t.lengths[0], 9);
  }
}

TEST_F(QelUtilsTest, SendHex32RejectsWhatIsNotEightHexDigits) {
  for (const QString& text :
       {QStringLiteral("1234567"), QStringLiteral("123456789"), QStringLiteral("1234567G"),
        QStringLiteral("12 45678"), QStringLiteral("0x123456"), QString()}) {
    EXPECT_FALSE(utils.SendHex32(text)) << text.toStdString();
  }
  EXPECT_TRUE(transfers.sent.empty());
}

TEST_F(QelUtilsTest, SendHex32CallsTheDoneHookInstalledBeforeIt) {
  int first = 0;
  int second = 0;
  utils.HexWriteDone = [&] { ++first; };
  ASSERT_TRUE(utils.SendHex32(QStringLiteral("00000001")));
  utils.HexWriteDone = [&] { ++second; };
  transfers.Reply(B({0xF8, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);
  EXPECT_TRUE(utils.HexWriteDone);  // the reply leaves the hook installed
}

TEST_F(QelUtilsTest, SendHex32RefusedReturnsFalse) {
  transfers.refuse = true;
  EXPECT_FALSE(utils.SendHex32(QStringLiteral("12345678")));
}

TEST(QelUtilsFormats, HexDigitValue) {
  const std::vector<std::pair<char, int>> cases = {{'0', 0},    {'9', 9},   {'A', 10},   {'F', 15},
                                                   {'a', 10},   {'f', 15},  {'G', 0xFF}, {'g', 0xFF},
                                                   {' ', 0xFF}, {':', 0xFF}};
  for (auto [c, v] : cases) EXPECT_EQ(HexDigitValue(QLatin1Char(c)), v) << c;
}

TEST(QelUtilsFormats, TwoSecondUnits) {
  EXPECT_EQ(FormatTwoSeconds(0), QStringLiteral("00:00:00"));
  EXPECT_EQ(FormatTwoSeconds(43199), QStringLiteral("23:59:58"));
  EXPECT_EQ(FormatTwoSeconds(1830), QStringLiteral("01:01:00"));
  EXPECT_EQ(FormatTwoSeconds(65535), QStringLiteral("36:24:30"));
  EXPECT_EQ(FormatTwoSecondsSpaced(1830), QStringLiteral(" 1: 1: 0"));
  EXPECT_EQ(FormatTwoSecondsSpaced(43199), QStringLiteral("23:59:58"));
}

TEST(QelUtilsFormats, DayNumbers) {
  const std::vector<std::pair<int, const char*>> cases = {
      {1, "01.01.00"},     {31, "31.01.00"},    {32, "01.02.00"},  {60, "29.02.00"},    {364, "29.12.00"},
      {365, "31.12.00"},   {366, "01.01.01"},   {730, "31.12.01"}, {1461, "01.01.04"},  {1826, "31.12.04"},
      {36524, "31.12.99"}, {36525, "?? ?? ??"}, {0, "?? ?? ??"},   {65535, "?? ?? ??"},
  };
  for (auto [day, text] : cases)
    EXPECT_EQ(FormatDayNumber(static_cast<uint16_t>(day)), QLatin1String(text)) << day;
}

}  // namespace
}  // namespace ulv
