// The shared controller requests: their exact bytes, their replies, and the
// controller's time and day formats.
#include "link/qel_utils.h"

#include <gtest/gtest.h>

#include <QDate>
#include <vector>

#include "common/virtual_clock.h"
#include "link/fake_transfers.h"

using namespace Qt::StringLiterals;

namespace ulv::test {
namespace {

const QByteArray kF4 = "\xF4\x00\x00\x00\x00"_ba;
const QByteArray kTime235959 = "\xF5\x34\x0F\x0B\x08\x0A"_ba;  // 43199 two-second units
const QByteArray kDay366 = "\xF5\x36\x0E\x06\x01\x00"_ba;      // 1 January 2001

class QelUtilsTest : public ::testing::Test {
protected:
  VirtualClock clock{QDateTime(QDate(2001, 1, 1), QTime(23, 59, 59))};
  FakeTransfers transfers;
  QelUtils utils{transfers, clock};
};

TEST(QelUtilsRequests, TimeAndDayCarryTheirUnitsLowNibbleFirst) {
  EXPECT_EQ(TimeOfDayRequest(QTime(23, 59, 59)), kTime235959);
  EXPECT_EQ(TimeOfDayRequest(QTime(0, 0, 1)), "\xF5\x34\x00\x00\x00\x00"_ba);
  EXPECT_EQ(TimeOfDayRequest(QTime(0, 1, 2)), "\xF5\x34\x0F\x01\x00\x00"_ba);  // 31
  EXPECT_EQ(DayNumberRequest(QDate(2000, 1, 1)), "\xF5\x36\x00\x00\x00\x00"_ba);
  EXPECT_EQ(DayNumberRequest(QDate(2001, 1, 1)), kDay366);
}

// Time, then day, both from one reading of the clock (a send across
// midnight keeps the date of its time); "date.send" only after F4.
TEST_F(QelUtilsTest, SendDateTimeSendsTimeThenDayAndReportsOnlyAfterF4) {
  QStringList reports;
  utils.OnReport = [&](const QString& t) { reports << t; };
  std::vector<QelUtils*> done;
  utils.SendDateTime([&](QelUtils* u) { done.push_back(u); });
  EXPECT_EQ(transfers.accepted, Requests{kTime235959});
  EXPECT_EQ(transfers.HeadLength(), 5);
  clock.Advance(2000);  // now 2 January, 00:00:01
  transfers.Reply(kF4);
  EXPECT_EQ(transfers.accepted, (Requests{kTime235959, kDay366}));  // still day 366
  EXPECT_EQ(transfers.HeadLength(), 5);
  EXPECT_TRUE(reports.isEmpty());
  transfers.Reply(kF4);
  EXPECT_EQ(reports, QStringList{u"date.send"_s});
  EXPECT_EQ(done, std::vector<QelUtils*>{&utils});
  EXPECT_FALSE(utils.OnReport);
}

// A reply that ends the send (also a time-out's substitute) completes it with
// the utils object; a refused request completes it with nothing. None of
// them reports "date.send".
TEST_F(QelUtilsTest, SendDateTimeFailuresNeverReportDateSend) {
  struct Case {
    const char* name;
    bool linkDown;
    std::vector<QByteArray> replies;  // an empty one: the queue's time-out
    bool refuseSecond;
    size_t expectedSent;
    bool doneWithUtils;
  };
  const Case cases[] = {
      {"link down", true, {}, false, 0, false},
      {"time reply lost", false, {{}}, false, 1, true},
      {"time reply not F4", false, {"\xF1\x00"_ba}, false, 1, true},
      {"day reply lost", false, {kF4, {}}, false, 2, true},
      {"day reply not F4", false, {kF4, "\xF1\x00"_ba}, false, 2, true},
      {"day request refused", false, {kF4}, true, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeTransfers t;
    t.linked = !c.linkDown;
    QelUtils u(t, clock);
    QStringList reports;
    u.OnReport = [&](const QString& text) { reports << text; };
    std::vector<QelUtils*> done;
    u.SendDateTime([&](QelUtils* r) { done.push_back(r); });
    t.refuseAll = c.refuseSecond;
    for (const QByteArray& reply : c.replies) EXPECT_TRUE(reply.isEmpty() ? t.TimeOut() : t.Reply(reply));
    EXPECT_EQ(t.accepted.size(), c.expectedSent);
    EXPECT_TRUE(reports.isEmpty());
    EXPECT_EQ(done, std::vector<QelUtils*>{c.doneWithUtils ? &u : nullptr});
  }
}

TEST_F(QelUtilsTest, EveryDateFrom2001To2099ReadsBackAsSent) {
  for (QDate d(2001, 1, 1); d <= QDate(2099, 12, 31); d = d.addDays(1)) {
    clock.SetDateTime(QDateTime(d, QTime(12, 0, 0)));
    FakeTransfers t;
    QelUtils u(t, clock);
    u.SendDateTime(nullptr);
    t.Reply(kF4);
    ASSERT_EQ(t.accepted.size(), 2u) << d.toString(Qt::ISODate).toStdString();
    const QByteArray& day = t.accepted[1];
    const auto number = static_cast<uint16_t>(day[2] | (day[3] << 4) | (day[4] << 8) | (day[5] << 12));
    ASSERT_EQ(FormatDayNumber(number), d.toString(u"dd.MM.yy"_s)) << number;
  }
}

// Each request carries its own completion: two version reads and a date send
// at once never receive each other's replies.
TEST_F(QelUtilsTest, ConcurrentUsersGetTheirOwnReplies) {
  QString first = u"unset"_s, second = u"unset"_s;
  QelUtils* done = nullptr;
  utils.SendDateTime([&](QelUtils* u) { done = u; });
  utils.ReadVersionText([&](const QString& t) { first = t; });
  utils.ReadVersionText([&](const QString& t) { second = t; });
  EXPECT_EQ(transfers.accepted, (Requests{kTime235959, "\xF1\x01"_ba, "\xF1\x01"_ba}));
  EXPECT_EQ(transfers.waiting[1].replyLength, 16);
  transfers.Reply(kF4);  // F5 34; F5 36 queued behind the version reads
  transfers.Reply("\xFFV1.01 07.05.04 "_ba);
  EXPECT_EQ(first, u"V1.01 07.05.04 "_s);
  EXPECT_EQ(second, u"unset"_s);
  transfers.Reply("\xF4\x01\x02\x03\x04"_ba);  // not FF: no version text
  EXPECT_EQ(second, u"Transfer.Fehler"_s);
  EXPECT_EQ(utils.VersionText, u"Transfer.Fehler"_s);
  EXPECT_EQ(done, nullptr);
  transfers.Reply(kF4);  // F5 36
  EXPECT_EQ(done, &utils);
}

TEST_F(QelUtilsTest, VersionReadTellsReplySubstituteAndRefusalApart) {
  const struct {
    const char* name;
    bool refuse;
    QByteArray reply;  // empty: the queue's time-out
    QString text;
    ReplyStatus status;
    bool resetBehind = false;  // F1 10 (no reply) queued behind: an empty substitute
  } cases[] = {
      {"reply", false, H("FF 41 42 43"), u"ABC"_s, ReplyStatus::Replied},
      {"time-out", false, {}, u"Transfer.Fehler"_s, ReplyStatus::Substitute},
      {"time-out, reset behind", false, {}, u"Transfer.Fehler"_s, ReplyStatus::Substitute, true},
      {"refused", true, {}, u"transf.error"_s, ReplyStatus::Refused},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeTransfers t;
    t.refuseAll = c.refuse;
    QelUtils u(t, clock);
    std::vector<std::pair<QString, ReplyStatus>> got;
    u.ReadVersion([&](const QString& text, ReplyStatus s) { got.emplace_back(text, s); });
    if (c.resetBehind) t.AddTransfer(H("F1 10"), 0, nullptr);
    if (!c.refuse) {
      EXPECT_TRUE(c.reply.isEmpty() ? t.TimeOut() : t.Reply(c.reply));
    }
    EXPECT_EQ(got, (std::vector<std::pair<QString, ReplyStatus>>{{c.text, c.status}}));
  }
}

TEST_F(QelUtilsTest, NameAndTelephoneAreLatin1CutOrPaddedWithZerosTo13Bytes) {
  const std::pair<QString, QByteArray> cases[] = {
      {u"  AUFZUG 3 "_s, "AUFZUG 3\0\0\0\0\0"_ba},       {u"ABCDEFGHIJKLMNOP"_s, "ABCDEFGHIJKLM"_ba},
      {u"Müller"_s, "M\xFCller\0\0\0\0\0\0\0"_ba},       {u"Ωmega €"_s, "?mega ?\0\0\0\0\0\0"_ba},
      {u"\U0001F600X"_s, "?X\0\0\0\0\0\0\0\0\0\0\0"_ba}, {QString(), QByteArray(13, '\0')},
  };
  for (const auto& [text, field] : cases) {
    FakeTransfers t;
    QelUtils u(t, clock);
    u.WriteNameText(text);
    u.WriteTelephoneText(text);
    EXPECT_EQ(t.accepted, (Requests{"\xFF\x55\x11"_ba + field, "\xFF\x55\x13"_ba + field}))
        << text.toStdString();
    EXPECT_EQ(t.waiting.size(), 2u);
    for (const auto& r : t.waiting) EXPECT_EQ(r.replyLength, 2);
  }
}

TEST_F(QelUtilsTest, WriteWord16SendsNibblesAndCallsDoneOnReply) {
  int done = 0;
  utils.WriteWord16(0x1234, [&] { ++done; });
  EXPECT_EQ(transfers.accepted, Requests{"\xF5\x04\x04\x03\x02\x01"_ba});
  EXPECT_EQ(transfers.HeadLength(), 5);
  EXPECT_EQ(done, 0);
  transfers.Reply(kF4);
  EXPECT_EQ(done, 1);
}

// Eight hex digits (either case) go out with each pair swapped; anything else
// sends nothing.
TEST_F(QelUtilsTest, SendHex32SwapsDigitPairsAndRejectsTheRest) {
  const std::pair<QString, const char*> cases[] = {{u"12345678"_s, "02 01 04 03 06 05 08 07"},
                                                   {u"ABCDEF09"_s, "0B 0A 0D 0C 0F 0E 09 00"},
                                                   {u"abcdef09"_s, "0B 0A 0D 0C 0F 0E 09 00"},
                                                   {u"1234567"_s, ""},
                                                   {u"123456789"_s, ""},
                                                   {u"1234567G"_s, ""},
                                                   {u"12 45678"_s, ""},
                                                   {u"0x123456"_s, ""},
                                                   {QString(), ""}};
  for (const auto& [text, hex] : cases) {
    const QByteArray nibbles = H(hex);
    FakeTransfers t;
    QelUtils u(t, clock);
    EXPECT_EQ(u.SendHex32(text), !nibbles.isEmpty()) << text.toStdString();
    EXPECT_EQ(t.accepted, nibbles.isEmpty() ? Requests{} : Requests{"\xF9\x0C"_ba + nibbles});
    EXPECT_EQ(t.HeadLength(), nibbles.isEmpty() ? -1 : 9);
  }
  transfers.refuseAll = true;
  EXPECT_FALSE(utils.SendHex32(u"12345678"_s));
}

TEST_F(QelUtilsTest, SendHex32TakesTheDoneHookInstalledBeforeIt) {
  QByteArray first;
  int second = 0;
  utils.HexWriteDone = [&](const QByteArray& r) { first = r; };
  ASSERT_TRUE(utils.SendHex32(u"00000001"_s));
  EXPECT_FALSE(utils.HexWriteDone);  // taken: a later send cannot run it again
  ASSERT_TRUE(utils.SendHex32(u"00000002"_s));
  utils.HexWriteDone = [&](const QByteArray&) { ++second; };
  EXPECT_FALSE(utils.SendHex32(u"zz000000"_s));  // cleared even when nothing is sent
  transfers.Reply("\xF8\0\0\0\0\0\0\0\0"_ba);
  transfers.Reply("\xF8\0\0\0\0\0\0\0\0"_ba);
  EXPECT_EQ(first, "\xF8\0\0\0\0\0\0\0\0"_ba);
  EXPECT_EQ(second, 0);
  EXPECT_FALSE(utils.HexWriteDone);
}

TEST(QelUtilsFormats, HexDigitsTwoSecondUnitsAndDayNumbers) {
  const std::pair<char, int> digits[] = {{'0', 0},  {'9', 9},    {'A', 10},   {'F', 15},   {'a', 10},
                                         {'f', 15}, {'G', 0xFF}, {'g', 0xFF}, {' ', 0xFF}, {':', 0xFF}};
  for (auto [c, v] : digits) EXPECT_EQ(HexDigitValue(QLatin1Char(c)), v) << c;

  const std::pair<int, const char*> times[] = {
      {0, "00:00:00"}, {43199, "23:59:58"}, {1830, "01:01:00"}, {65535, "36:24:30"}};
  for (auto [value, text] : times)
    EXPECT_EQ(FormatTwoSeconds(static_cast<uint16_t>(value)), QLatin1String(text));
  EXPECT_EQ(FormatTwoSecondsSpaced(1830), u" 1: 1: 0"_s);
  EXPECT_EQ(FormatTwoSecondsSpaced(43199), u"23:59:58"_s);

  const std::pair<int, const char*> days[] = {
      {1, "01.01.00"},     {31, "31.01.00"},    {32, "01.02.00"},  {60, "29.02.00"},    {364, "29.12.00"},
      {365, "31.12.00"},   {366, "01.01.01"},   {730, "31.12.01"}, {1461, "01.01.04"},  {1826, "31.12.04"},
      {36524, "31.12.99"}, {36525, "?? ?? ??"}, {0, "?? ?? ??"},   {65535, "?? ?? ??"},
  };
  for (auto [day, text] : days)
    EXPECT_EQ(FormatDayNumber(static_cast<uint16_t>(day)), QLatin1String(text)) << day;
}

}  // namespace
}  // namespace ulv::test
