// Request families of the simulated plant: the reply bytes of each request.
#include "sim/plant_model.h"

#include <gtest/gtest.h>

#include <QFile>

#include "sim/scenario.h"
#include "tool_side.h"

using ulvtest::Bytes;

namespace {

ulv::Scenario SmallPlant() {
  ulv::Scenario s;
  QString error;
  EXPECT_TRUE(ulv::LoadScenario(QStringLiteral(ULV_TEST_DATA "/scenarios/small_plant.json"), &s, &error))
      << qPrintable(error);
  return s;
}

QByteArray F(int header, const QByteArray& rest) { return QByteArray(1, static_cast<char>(header)) + rest; }

struct FamilyCase {
  const char* what;
  QByteArray request;
  QByteArray reply;  // empty: no reply
};

}  // namespace

TEST(PlantModel, AnswersEachRequestFamily) {
  const QByteArray version = ulvtest::Padded("TEST 1.00", 15);
  const FamilyCase cases[] = {
      {"line test", Bytes({0xF1, 0x00}), Bytes({0xF1, 0x01})},
      {"group test", Bytes({0xC1, 0x00}), Bytes({0xF1, 0x01})},
      {"version text", Bytes({0xF1, 0x01}), F(0xFF, version)},
      // "07.03": the first value is 3, the second 7, each 16-bit little-endian.
      {"eeprom version", Bytes({0xF1, 0x02}), Bytes({0xF4, 0x03, 0x00, 0x07, 0x00})},
      {"time of day", Bytes({0xF5, 0x34, 0x1, 0x2, 0x3, 0x4}), Bytes({0xF4, 0x1, 0x2, 0x3, 0x4})},
      {"day number", Bytes({0xF5, 0x36, 0xF, 0x0, 0x5, 0x2}), Bytes({0xF4, 0xF, 0x0, 0x5, 0x2})},
      {"16-bit value", Bytes({0xF5, 0x04, 0x0, 0x0, 0x0, 0x8}), Bytes({0xF4, 0x0, 0x0, 0x0, 0x8})},
      {"32-bit value", Bytes({0xF9, 0x0C, 1, 0, 3, 2, 5, 4, 7, 6}), Bytes({0xF8, 1, 0, 3, 2, 5, 4, 7, 6})},
      {"plant name", Bytes({0xF2, 0x55, 0x12}), F(0xFF, ulvtest::Padded("HAUS 7", 15))},
      {"telephone", Bytes({0xF2, 0x55, 0x14}), F(0xFF, ulvtest::Padded("04012345", 15))},
      // 20003 trips: 2 * 10000 + 3.
      {"trip counter", Bytes({0xF1, 0x40}), Bytes({0xF8, 2, 0, 0, 0, 3, 0, 0, 0})},
      {"error count", Bytes({0xF1, 0x31}), Bytes({0xF4, 3, 0, 0, 0})},
      {"controller reset", Bytes({0xF1, 0x10}), QByteArray()},
      {"unknown request", Bytes({0xF2, 0x77, 0x01}), QByteArray()},
      {"known header, wrong length", Bytes({0xF2, 0x01, 0x00}), QByteArray()},
  };
  for (const FamilyCase& c : cases) {
    ulv::PlantModel plant(SmallPlant());
    const std::optional<QByteArray> reply = plant.Answer(c.request);
    if (c.reply.isEmpty()) {
      EXPECT_FALSE(reply.has_value()) << c.what;
    } else {
      ASSERT_TRUE(reply.has_value()) << c.what;
      EXPECT_EQ(reply->toHex(' '), c.reply.toHex(' ')) << c.what;
      // Every reply is a message of kind F whose low nibble counts the bytes that follow.
      EXPECT_EQ(static_cast<uint8_t>(reply->at(0)), 0xF0 + reply->size() - 1) << c.what;
    }
  }
}

TEST(PlantModel, KeepsWhatTheToolWrites) {
  ulv::PlantModel plant(SmallPlant());
  plant.Answer(Bytes({0xF5, 0x34, 0x8, 0x0, 0x5, 0x6}));
  plant.Answer(Bytes({0xF5, 0x36, 0x1, 0x6, 0x5, 0x2}));
  plant.Answer(Bytes({0xF5, 0x04, 0xF, 0xF, 0x0, 0x1}));
  EXPECT_EQ(plant.TimeValue(), 0x6508);
  EXPECT_EQ(plant.DayValue(), 0x2561);
  EXPECT_EQ(plant.Word16(), 0x10FF);
}

TEST(PlantModel, WrittenNameAndTelephoneAreReadBack) {
  ulv::PlantModel plant(SmallPlant());
  // Name: 13 bytes, zero padded as the tool sends it.
  QByteArray name = Bytes({0xFF, 0x55, 0x11}) + QByteArray("NEUBAU") + QByteArray(7, '\0');
  QByteArray tel = Bytes({0xFF, 0x55, 0x13}) + QByteArray("0891234567890");
  ASSERT_EQ(name.size(), 16);
  ASSERT_EQ(tel.size(), 16);
  EXPECT_EQ(plant.Answer(name)->toHex(), Bytes({0xF1, 0x01}).toHex());
  EXPECT_EQ(plant.Answer(tel)->toHex(), Bytes({0xF1, 0x01}).toHex());
  EXPECT_EQ(*plant.Answer(Bytes({0xF2, 0x55, 0x12})), F(0xFF, ulvtest::Padded("NEUBAU", 15)));
  EXPECT_EQ(*plant.Answer(Bytes({0xF2, 0x55, 0x14})), F(0xFF, ulvtest::Padded("0891234567890", 15)));
}

TEST(PlantModel, ErrorRecordsMostRecentFirst) {
  ulv::PlantModel plant(SmallPlant());
  // The scenario lists oldest first: 5/1/0 on 2025-11-03 14:22:08 (day 9438,
  // 25864 two-second units), 2/3/2 on day 9569 at 1830, 12/5/0 on day 0 at 0.
  const QByteArray expected[] = {
      Bytes({0xF7, 12, 5, 0, 0x00, 0x00, 0x00, 0x00}),
      Bytes({0xF7, 2, 3, 2, 9569 & 0xFF, 9569 >> 8, 1830 & 0xFF, 1830 >> 8}),
      Bytes({0xF7, 5, 1, 0, 9438 & 0xFF, 9438 >> 8, 25864 & 0xFF, 25864 >> 8}),
  };
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(plant.Answer(Bytes({0xF3, 0x55, 0x07, k}))->toHex(' '), expected[k].toHex(' ')) << "k=" << k;
  }
  // Beyond the stored errors: an empty record, still a complete reply.
  EXPECT_EQ(plant.Answer(Bytes({0xF3, 0x55, 0x07, 3}))->toHex(' '),
            Bytes({0xF7, 0, 0, 0, 0, 0, 0, 0}).toHex(' '));
}

TEST(PlantModel, DeleteEmptiesTheErrorMemory) {
  ulv::PlantModel plant(SmallPlant());
  EXPECT_EQ(plant.Answer(Bytes({0xF1, 0x25}))->toHex(), Bytes({0xF1, 0x01}).toHex());
  EXPECT_EQ(plant.Answer(Bytes({0xF1, 0x31}))->toHex(' '), Bytes({0xF4, 0, 0, 0, 0}).toHex(' '));
  EXPECT_EQ(plant.Answer(Bytes({0xF3, 0x55, 0x07, 0}))->toHex(' '),
            Bytes({0xF7, 0, 0, 0, 0, 0, 0, 0}).toHex(' '));
}

TEST(PlantModel, ManyErrorsCountAndTripsUseAllNibbles) {
  QString error;
  ulv::Scenario s;
  ASSERT_TRUE(ulv::ParseScenario(R"({"trips": 655359999, "errors": []})", &s, &error));
  for (int i = 0; i < 0x1234; ++i) s.errors.push_back({1, 1, 0, 100, 100});
  ulv::PlantModel plant(s);
  EXPECT_EQ(plant.Answer(Bytes({0xF1, 0x31}))->toHex(' '), Bytes({0xF4, 0x4, 0x3, 0x2, 0x1}).toHex(' '));
  // 65535 * 10000 + 9999.
  EXPECT_EQ(plant.Answer(Bytes({0xF1, 0x40}))->toHex(' '),
            Bytes({0xF8, 0xF, 0xF, 0xF, 0xF, 0xF, 0x0, 0x7, 0x2}).toHex(' '));
}

TEST(PlantModel, OtherFamiliesCanBeAdded) {
  ulv::PlantModel plant(SmallPlant());
  plant.OnOtherRequest = [](const QByteArray& r) -> std::optional<QByteArray> {
    if (r == Bytes({0xF1, 0x06})) return Bytes({0xF4, 1, 2, 3, 4});
    return std::nullopt;
  };
  EXPECT_EQ(plant.Answer(Bytes({0xF1, 0x06}))->toHex(), Bytes({0xF4, 1, 2, 3, 4}).toHex());
  EXPECT_FALSE(plant.Answer(Bytes({0xF1, 0x07})).has_value());
  EXPECT_EQ(plant.UnknownCount(), 1);
}
