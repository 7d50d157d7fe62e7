// The plant identity read: its five requests, the replies and their
// substitutes, the identity block and the name and telephone writes.
#include "records/plant_identity.h"

#include <gtest/gtest.h>

#include <QLocale>

#include "common/virtual_clock.h"
#include "records/fake_transfers.h"

namespace ulv {
namespace {

using test::B;
using test::FakeTransfers;

class IdentityTest : public ::testing::Test {
protected:
  void SetUp() override {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    identity.ShowLinkedPlant = [this](const QString& name) { shown << name; };
    identity.OnReadEnded = [this](bool ok) { ended.push_back(ok); };
  }
  void TearDown() override { QLocale::setDefault(QLocale::c()); }
  PlantIdentity::Output Collect() {
    return [this](const QString& l) { lines << l; };
  }
  void AnswerAll() {
    transfers.Reply(
        QByteArray("\xFF"
                   "AUFZUG 3       ",
                   16));
    transfers.Reply(
        QByteArray("\xFF"
                   "1234567        ",
                   16));
    transfers.Reply(
        QByteArray("\xFF"
                   "V2.14 040604   ",
                   16));
    transfers.Reply(B({0xF4, 0x05, 0x00, 0x02, 0x00}));
    transfers.Reply(B({0xF8, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00}));
  }

  VirtualClock clock{QDateTime(QDate(2026, 3, 14), QTime(10, 0, 0))};
  FakeTransfers transfers;
  QelUtils utils{transfers, clock};
  PlantIdentity identity{transfers, utils, clock};
  QStringList lines;
  QStringList shown;
  std::vector<bool> ended;
};

TEST_F(IdentityTest, ReadQueuesFiveRequestsAtOnceAndListsTheReplies) {
  ASSERT_TRUE(identity.Read(Collect()));
  EXPECT_EQ(transfers.accepted, (std::vector<QByteArray>{B({0xF2, 0x55, 0x12}), B({0xF2, 0x55, 0x14}),
                                                         B({0xF1, 0x01}), B({0xF1, 0x02}), B({0xF1, 0x40})}));
  std::vector<int> lengths;
  for (const auto& r : transfers.waiting) lengths.push_back(r.replyLength);
  EXPECT_EQ(lengths, (std::vector<int>{16, 16, 16, 5, 9}));
  AnswerAll();
  EXPECT_EQ(
      lines,
      (QStringList{QStringLiteral("namen.270702"), QStringLiteral("           Datum: 14.03.26 10:00:00"),
                   QStringLiteral(" Anlagen-Kennung: AUFZUG 3"), QStringLiteral("         Telefon: .1234567"),
                   QStringLiteral("Software-Version: V2.14 040604   "),
                   QStringLiteral("  EEProm.Version: 02.05"), QStringLiteral("  Fahrten-Zähler: 10002")}));
  EXPECT_EQ(identity.PlantId(), QStringLiteral("AUFZUG 3"));
  EXPECT_EQ(identity.TelephoneText(), QStringLiteral(".1234567"));
  EXPECT_EQ(identity.SoftwareVersion(), QStringLiteral("V2.14 040604   "));
  EXPECT_EQ(identity.EepromVersion(), QStringLiteral("02.05"));
  EXPECT_EQ(identity.TripCount(), 10002);
  EXPECT_EQ(shown, QStringList{QStringLiteral("AUFZUG 3")});
  EXPECT_EQ(ended, std::vector<bool>{true});
  EXPECT_FALSE(identity.IsReading());
}

TEST_F(IdentityTest, IdentityBlockPrintsTheLastValues) {
  identity.Read(nullptr);
  AnswerAll();
  QStringList block;
  identity.WriteIdentityBlock([&](const QString& l) { block << l; });
  EXPECT_EQ(block, (QStringList{QStringLiteral(" "), QStringLiteral("             Datum: 14.03.26 10:00:00"),
                                QStringLiteral("           Kennung: AUFZUG 3"),
                                QStringLiteral("  Software Version: V2.14 040604   "),
                                QStringLiteral("    EEprom Version: 02.05"), QStringLiteral(" ")}));
}

TEST_F(IdentityTest, SubstituteRepliesGiveTheirDocumentedValues) {
  identity.Read(nullptr);
  AnswerAll();
  struct Case {
    int answered;  // replies before the time-out
    QString plant, version, eeprom;
  };
  // The substitute has the reply length of the last request queued (9).
  const std::vector<Case> cases = {
      {0, QString(), QStringLiteral("V2.14 040604   "), QStringLiteral("02.05")},
      {2, QStringLiteral("AUFZUG 3"), QStringLiteral("Transfer.Fehler"), QStringLiteral("02.05")},
      {3, QStringLiteral("AUFZUG 3"), QStringLiteral("V2.14 040604   "), QStringLiteral("00.00")},
  };
  for (const Case& c : cases) {
    identity.Read(nullptr);
    AnswerAll();  // known values first
    ended.clear();
    identity.Read(Collect());
    lines.clear();
    const std::vector<QByteArray> replies = {QByteArray("\xFF"
                                                        "AUFZUG 3       ",
                                                        16),
                                             QByteArray("\xFF"
                                                        "1234567        ",
                                                        16),
                                             QByteArray("\xFF"
                                                        "V2.14 040604   ",
                                                        16)};
    for (int i = 0; i < c.answered; ++i) transfers.Reply(replies[static_cast<size_t>(i)]);
    transfers.TimeOut();
    EXPECT_TRUE(transfers.waiting.empty());
    EXPECT_EQ(identity.PlantId(), c.plant) << c.answered;
    EXPECT_EQ(identity.SoftwareVersion(), c.version) << c.answered;
    EXPECT_EQ(identity.EepromVersion(), c.eeprom) << c.answered;
    EXPECT_EQ(ended, std::vector<bool>{false}) << c.answered;
    EXPECT_FALSE(identity.IsReading());
  }
}

TEST_F(IdentityTest, SubstituteIdentifierIsEmptyAndStillShown) {
  identity.Read(Collect());
  transfers.TimeOut();
  EXPECT_EQ(lines.last(), QStringLiteral(" Anlagen-Kennung: "));
  EXPECT_EQ(shown, QStringList{QString()});
}

TEST_F(IdentityTest, TripCounterReplies) {
  struct Case {
    QByteArray reply;
    QString line;
  };
  const std::vector<Case> cases = {
      {B({0xF8, 1, 0, 0, 0, 2, 0, 0, 0}), QStringLiteral("  Fahrten-Zähler: 10002")},
      {B({0xF8, 0xF, 0xF, 0xF, 0xF, 0xF, 0xF, 0xF, 0xF}), QStringLiteral("  Fahrten-Zähler: 655415535")},
      // unmasked bytes: the product exceeds 32 bits
      {B({0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
       QStringLiteral("  Fahrten-Zähler: 11142064095")},
      {B({0xF4, 1, 0, 0, 0, 2, 0, 0, 0}), QStringLiteral("fz/länge...???")},
  };
  for (const Case& c : cases) {
    lines.clear();
    identity.Read(Collect());
    for (int i = 0; i < 4; ++i) transfers.Reply(B({0xF4, 0, 0, 0, 0}));
    transfers.Reply(c.reply);
    EXPECT_EQ(lines.last(), c.line);
  }
}

TEST_F(IdentityTest, ReadWithLinkDownSendsAndChangesNothing) {
  identity.Read(nullptr);
  AnswerAll();
  transfers.linked = false;
  transfers.accepted.clear();
  shown.clear();
  EXPECT_FALSE(identity.Read(Collect()));
  EXPECT_TRUE(transfers.accepted.empty());
  EXPECT_TRUE(lines.isEmpty());
  EXPECT_TRUE(shown.isEmpty());
  EXPECT_EQ(identity.PlantId(), QStringLiteral("AUFZUG 3"));
  EXPECT_EQ(identity.SoftwareVersion(), QStringLiteral("V2.14 040604   "));
}

// The five requests go to the queue in one go: a queue that fills up after
// the second still sees all five (and logs each refusal); what was refused
// keeps its value.
TEST_F(IdentityTest, AllFiveRequestsAreOfferedWhenTheQueueFillsUp) {
  identity.Read(nullptr);
  AnswerAll();
  transfers.attempted.clear();
  transfers.accepted.clear();
  transfers.acceptLimit = 2;
  ended.clear();
  ASSERT_TRUE(identity.Read(Collect()));
  EXPECT_EQ(transfers.attempted,
            (std::vector<QByteArray>{B({0xF2, 0x55, 0x12}), B({0xF2, 0x55, 0x14}), B({0xF1, 0x01}),
                                     B({0xF1, 0x02}), B({0xF1, 0x40})}));
  EXPECT_EQ(transfers.accepted, (std::vector<QByteArray>{B({0xF2, 0x55, 0x12}), B({0xF2, 0x55, 0x14})}));
  EXPECT_EQ(ended, std::vector<bool>{false});
  transfers.Reply(
      QByteArray("\xFF"
                 "AUFZUG 5       ",
                 16));
  transfers.Reply(
      QByteArray("\xFF"
                 "7654321        ",
                 16));
  EXPECT_EQ(lines.mid(2), (QStringList{QStringLiteral(" Anlagen-Kennung: AUFZUG 5"),
                                       QStringLiteral("         Telefon: .7654321")}));
  EXPECT_EQ(identity.PlantId(), QStringLiteral("AUFZUG 5"));
  EXPECT_EQ(identity.SoftwareVersion(), QStringLiteral("V2.14 040604   "));
  EXPECT_EQ(identity.EepromVersion(), QStringLiteral("02.05"));
}

TEST_F(IdentityTest, NameAndTelephoneWrites) {
  identity.WriteName(QStringLiteral(" AUFZUG 4 "));
  identity.WriteTelephone(QStringLiteral("0815 4711 999 12"));
  ASSERT_EQ(transfers.accepted.size(), 2u);
  EXPECT_EQ(transfers.accepted[0], B({0xFF, 0x55, 0x11}) + QByteArray("AUFZUG 4\0\0\0\0\0", 13));
  EXPECT_EQ(transfers.accepted[1], B({0xFF, 0x55, 0x13}) + QByteArray("0815 4711 999"));
}

}  // namespace
}  // namespace ulv
