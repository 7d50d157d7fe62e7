// The plant identity read: its five requests, the replies and their
// substitutes, the identity block and the name and telephone writes.
#include "records/plant_identity.h"

#include "records_rig.h"

namespace ulv::test {
namespace {

const QByteArray kName = TextReply("AUFZUG 3");
const QByteArray kTelephone = TextReply("1234567");
const QByteArray kVersion = TextReply("V2.14 040604");

class IdentityTest : public RecordsTest {
protected:
  void SetUp() override {
    RecordsTest::SetUp();
    identity.ShowLinkedPlant = [this](const QString& name) { shown << name; };
    identity.OnReadEnded = [this](bool ok) { ended.push_back(ok); };
  }
  void AnswerAll() {
    for (const QByteArray& r :
         {kName, kTelephone, kVersion, H("F4 05 00 02 00"), H("F8 01 00 00 00 02 00 00 00")})
      transfers.Reply(r);
  }

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
  EXPECT_EQ(lines, (QStringList{u"namen.270702"_s, u"           Datum: 14.03.26 10:00:00"_s,
                                u" Anlagen-Kennung: AUFZUG 3"_s, u"         Telefon: .1234567"_s,
                                u"Software-Version: V2.14 040604   "_s, u"  EEProm.Version: 02.05"_s,
                                u"  Fahrten-Zähler: 10002"_s}));
  EXPECT_EQ(identity.PlantId(), u"AUFZUG 3"_s);
  EXPECT_EQ(identity.TelephoneText(), u".1234567"_s);
  EXPECT_EQ(identity.SoftwareVersion(), u"V2.14 040604   "_s);
  EXPECT_EQ(identity.EepromVersion(), u"02.05"_s);
  EXPECT_EQ(identity.TripCount(), 10002);
  EXPECT_EQ(shown, QStringList{u"AUFZUG 3"_s});
  EXPECT_EQ(ended, std::vector<bool>{true});
  EXPECT_FALSE(identity.IsReading());
  // Other windows' reports start with the values just read.
  QStringList block;
  identity.WriteIdentityBlock([&](const QString& l) { block << l; });
  EXPECT_EQ(block, (QStringList{u" "_s, u"             Datum: 14.03.26 10:00:00"_s,
                                u"           Kennung: AUFZUG 3"_s, u"  Software Version: V2.14 040604   "_s,
                                u"    EEprom Version: 02.05"_s, u" "_s}));
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
      {0, QString(), u"V2.14 040604   "_s, u"02.05"_s},
      {2, u"AUFZUG 3"_s, u"Transfer.Fehler"_s, u"02.05"_s},
      {3, u"AUFZUG 3"_s, u"V2.14 040604   "_s, u"00.00"_s},
  };
  for (const Case& c : cases) {
    identity.Read(nullptr);
    AnswerAll();  // known values first
    ended.clear();
    identity.Read(Collect());
    lines.clear();
    const QByteArray replies[] = {kName, kTelephone, kVersion};
    for (int i = 0; i < c.answered; ++i) transfers.Reply(replies[static_cast<size_t>(i)]);
    transfers.TimeOut();
    EXPECT_TRUE(transfers.waiting.empty());
    // A substitute identifier is listed and shown as well.
    EXPECT_EQ(lines.first(), u" Anlagen-Kennung: "_s + c.plant);
    EXPECT_EQ(shown.last(), c.plant);
    EXPECT_EQ(identity.PlantId(), c.plant) << c.answered;
    EXPECT_EQ(identity.SoftwareVersion(), c.version) << c.answered;
    EXPECT_EQ(identity.EepromVersion(), c.eeprom) << c.answered;
    EXPECT_EQ(ended, std::vector<bool>{false}) << c.answered;
    EXPECT_FALSE(identity.IsReading());
  }
}

TEST_F(IdentityTest, TripCounterReplies) {
  struct Case {
    QByteArray reply;
    QString line;
  };
  const std::vector<Case> cases = {
      // unmasked bytes: the product exceeds 32 bits
      {B({0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), u"  Fahrten-Zähler: 11142064095"_s},
      {B({0xF4, 1, 0, 0, 0, 2, 0, 0, 0}), u"fz/länge...???"_s},
  };
  for (const Case& c : cases) {
    lines.clear();
    identity.Read(Collect());
    for (int i = 0; i < 4; ++i) transfers.Reply(B({0xF4, 0, 0, 0, 0}));
    transfers.Reply(c.reply);
    EXPECT_EQ(lines.last(), c.line);
  }
}

// With the link down nothing is offered; otherwise the five requests go to
// the queue in one go: a queue that fills up after the second still sees all
// five (and logs each refusal). What was refused keeps its value.
TEST_F(IdentityTest, RefusedRequestsKeepTheirValues) {
  identity.Read(nullptr);
  AnswerAll();
  transfers.attempted.clear();
  transfers.accepted.clear();
  shown.clear();
  ended.clear();
  transfers.linked = false;
  EXPECT_FALSE(identity.Read(Collect()));
  EXPECT_TRUE(transfers.attempted.empty());
  EXPECT_TRUE(lines.isEmpty() && shown.isEmpty() && ended.empty());
  transfers.linked = true;
  transfers.acceptLimit = 2;
  ASSERT_TRUE(identity.Read(Collect()));
  EXPECT_EQ(transfers.attempted,
            (std::vector<QByteArray>{B({0xF2, 0x55, 0x12}), B({0xF2, 0x55, 0x14}), B({0xF1, 0x01}),
                                     B({0xF1, 0x02}), B({0xF1, 0x40})}));
  EXPECT_EQ(transfers.accepted, (std::vector<QByteArray>{B({0xF2, 0x55, 0x12}), B({0xF2, 0x55, 0x14})}));
  EXPECT_EQ(ended, std::vector<bool>{false});
  transfers.Reply(TextReply("AUFZUG 5"));
  transfers.Reply(TextReply("7654321"));
  EXPECT_EQ(lines.mid(2), (QStringList{u" Anlagen-Kennung: AUFZUG 5"_s, u"         Telefon: .7654321"_s}));
  EXPECT_EQ(identity.PlantId(), u"AUFZUG 5"_s);
  EXPECT_EQ(identity.SoftwareVersion(), u"V2.14 040604   "_s);
  EXPECT_EQ(identity.EepromVersion(), u"02.05"_s);
}

}  // namespace
}  // namespace ulv::test
