// Request families of the simulated plant: the reply bytes of each request.
#include "sim/plant_model.h"

#include <gtest/gtest.h>

#include "common/bytes.h"
#include "sim/scenario.h"
#include "tool_side.h"

using ulv::Bytes;
using ulvtest::Padded;

namespace {

ulv::Scenario SmallPlant() {
  ulv::Scenario s;
  QString error;
  EXPECT_TRUE(ulv::LoadScenario(QStringLiteral(ULV_TEST_DATA "/scenarios/small_plant.json"), &s, &error))
      << qPrintable(error);
  return s;
}

QByteArray Text(const QByteArray& text) { return "\xFF"_ba + Padded(text, 15); }

// Each (request, reply) pair in turn on one plant; an empty reply: none.
void ExpectReplies(ulv::PlantModel& plant, const std::vector<std::pair<QByteArray, QByteArray>>& steps) {
  for (const auto& [request, reply] : steps) {
    SCOPED_TRACE(request.toHex(' ').toStdString());
    const std::optional<QByteArray> got = plant.Answer(request);
    ASSERT_EQ(got.has_value(), !reply.isEmpty());
    if (!got) continue;
    EXPECT_EQ(got->toHex(' '), reply.toHex(' '));
    // Every reply is a message of kind F whose low nibble counts the bytes that follow.
    EXPECT_EQ(static_cast<uint8_t>(got->at(0)), 0xF0 + got->size() - 1);
  }
}

}  // namespace

TEST(PlantModel, AnswersEachRequestFamily) {
  ulv::PlantModel plant(SmallPlant());
  ExpectReplies(
      plant, {
                 {"\xF1\x00"_ba, "\xF1\x01"_ba},                              // line test
                 {"\xC1\x00"_ba, "\xF1\x01"_ba},                              // group test
                 {"\xF1\x01"_ba, Text("TEST 1.00")},                          // version text
                 {"\xF1\x02"_ba, "\xF4\x03\x00\x07\x00"_ba},                  // eeprom "07.03": 3, then 7
                 {"\xF2\x55\x12"_ba, Text("HAUS 7")},                         // plant name
                 {"\xF2\x55\x14"_ba, Text("04012345")},                       // telephone
                 {"\xF1\x40"_ba, "\xF8\x02\x00\x00\x00\x03\x00\x00\x00"_ba},  // 20003 trips: 2 * 10000 + 3
                 {"\xF1\x31"_ba, "\xF4\x03\x00\x00\x00"_ba},                  // error count
                 {"\xF1\x10"_ba, {}},                                         // controller reset
                 {"\xF2\x77\x01"_ba, {}},                                     // unknown request
                 {"\xF2\x01\x00"_ba, {}},                                     // known header, wrong length
                 // Writes are echoed, kept and read back.
                 {"\xF5\x34\x08\x00\x05\x06"_ba, "\xF4\x08\x00\x05\x06"_ba},  // time of day
                 {"\xF5\x36\x01\x06\x05\x02"_ba, "\xF4\x01\x06\x05\x02"_ba},  // day number
                 {"\xF5\x04\x0F\x0F\x00\x01"_ba, "\xF4\x0F\x0F\x00\x01"_ba},  // 16-bit value
                 {"\xF9\x0C\x01\x00\x03\x02\x05\x04\x07\x06"_ba, "\xF8\x01\x00\x03\x02\x05\x04\x07\x06"_ba},
                 // Name and telephone: 13 bytes, zero padded as the tool sends them.
                 {"\xFF\x55\x11NEUBAU\0\0\0\0\0\0\0"_ba, "\xF1\x01"_ba},
                 {"\xFF\x55\x13"
                  "0891234567890"_ba,
                  "\xF1\x01"_ba},
                 {"\xF2\x55\x12"_ba, Text("NEUBAU")},
                 {"\xF2\x55\x14"_ba, Text("0891234567890")},
             });
  EXPECT_EQ(plant.TimeValue(), 0x6508);
  EXPECT_EQ(plant.DayValue(), 0x2561);
  EXPECT_EQ(plant.Word16(), 0x10FF);
}

TEST(PlantModel, ErrorRecordsMostRecentFirstUntilDeleted) {
  ulv::PlantModel plant(SmallPlant());
  // The scenario lists oldest first: 5/1/0 on 2025-11-03 14:22:08 (day 9438,
  // 25864 two-second units), 2/3/2 on day 9569 at 1830, 12/5/0 on day 0 at 0.
  ExpectReplies(
      plant,
      {
          {"\xF3\x55\x07\x00"_ba, Bytes({0xF7, 12, 5, 0, 0x00, 0x00, 0x00, 0x00})},
          {"\xF3\x55\x07\x01"_ba, Bytes({0xF7, 2, 3, 2, 9569 & 0xFF, 9569 >> 8, 1830 & 0xFF, 1830 >> 8})},
          {"\xF3\x55\x07\x02"_ba, Bytes({0xF7, 5, 1, 0, 9438 & 0xFF, 9438 >> 8, 25864 & 0xFF, 25864 >> 8})},
          // Beyond the stored errors: an empty record, still a complete reply.
          {"\xF3\x55\x07\x03"_ba, "\xF7\0\0\0\0\0\0\0"_ba},
          {"\xF1\x25"_ba, "\xF1\x01"_ba},  // delete
          {"\xF1\x31"_ba, "\xF4\0\0\0\0"_ba},
          {"\xF3\x55\x07\x00"_ba, "\xF7\0\0\0\0\0\0\0"_ba},
      });
}

TEST(PlantModel, ManyErrorsCountAndTripsUseAllNibbles) {
  QString error;
  ulv::Scenario s;
  ASSERT_TRUE(ulv::ParseScenario(R"({"trips": 655359999, "errors": []})", &s, &error));
  for (int i = 0; i < 0x1234; ++i) s.errors.push_back({1, 1, 0, 100, 100});
  ulv::PlantModel plant(s);
  // 65535 * 10000 + 9999 trips.
  ExpectReplies(plant, {{"\xF1\x31"_ba, "\xF4\x04\x03\x02\x01"_ba},
                        {"\xF1\x40"_ba, "\xF8\x0F\x0F\x0F\x0F\x0F\x00\x07\x02"_ba}});
}

TEST(PlantModel, OtherFamiliesCanBeAdded) {
  ulv::PlantModel plant(SmallPlant());
  plant.OnOtherRequest = [](const QByteArray& r) -> std::optional<QByteArray> {
    if (r == "\xF1\x7E"_ba) return "\xF4\x01\x02\x03\x04"_ba;
    return std::nullopt;
  };
  ExpectReplies(plant, {{"\xF1\x7E"_ba, "\xF4\x01\x02\x03\x04"_ba}, {"\xF1\x77"_ba, {}}});
  EXPECT_EQ(plant.UnknownCount(), 1);
}

// The car travels a floor per poll, stops with the door open at a call and
// clears it; F1 06 names where the SysPerm record lies, 0x8310 unless set.
TEST(PlantModel, CarServesFloorCallsAndSysPermMoves) {
  ulv::PlantModel plant(SmallPlant());
  const auto H = [](const char* hex) { return QByteArray::fromHex(hex); };
  ExpectReplies(plant, {{H("f160"), H("f60a0305000000")},  // up from 3 to the call at 5
                        {H("f160"), H("f60a0405000000")},
                        {H("f160"), H("f6020505070300")},  // arrived: standing, door open
                        {H("f5551e020100"), H("f101")},
                        {H("f5551e020900"), H("f100")},  // no floor 9
                        {H("f160"), H("f6020501000000")},  // door shut, the call at 1 is next
                        {H("f160"), H("f6120501000000")},
                        {H("f160"), H("f6120401000000")},
                        {H("f160"), H("f6120301000000")},
                        {H("f160"), H("f6120201000000")},
                        {H("f160"), H("f6020101070300")},
                        {H("f160"), H("f6020101000000")},
                        {H("f106"), H("f400010308")}});
  ulv::Scenario moved = SmallPlant();
  QString error;
  ASSERT_TRUE(ulv::ParseScenario(R"({"system": {"sysPermAddress": 4660}})", &moved, &error));
  ulv::PlantModel other(moved);
  ExpectReplies(other, {{H("f106"), H("f404030201")}});
}

// Per-request faults: each hits the nth request of its kind only. Group
// commands come back as line data when the scenario asks for it.
TEST(PlantModel, RequestFaultsHitTheirNthRequest) {
  ulv::Scenario s = SmallPlant();
  QString error;
  EXPECT_FALSE(ulv::ParseScenario(R"({"faults": [{"request": "fetch"}]})", &s, &error));
  ASSERT_TRUE(ulv::ParseScenario(R"({"faults": [
      {"request": "memoryRead", "fault": "wrong"}, {"request": "memoryRead", "nth": 2},
      {"request": "firmware", "fault": "short"}, {"request": "monitor", "fault": "delay"},
      {"request": "memoryAddress", "fault": "short"}], "system": {"groupLineData": true}})",
                                 &s, &error))
      << qPrintable(error);
  ulv::PlantModel plant(s);
  const struct {
    const char *request, *reply, *held;  // "": none
  } steps[] = {{"f10b", "f70a050b0508050905", ""}, {"f10b", "", ""},
               {"f10b", "f80a050b0508050905", ""}, {"f34b0400", "f0", ""},
               {"f160", "", "f60a0305000000"},     {"f160", "f60a0405000000", ""},
               {"f50403000000", "f103", ""},       {"f50403000000", "f403000000", ""},
               {"8102", "8102", ""},               {"80", "f20200", ""}};  // group: line data, role
  for (const auto& step : steps) {
    SCOPED_TRACE(step.request);
    const std::optional<QByteArray> got = plant.Answer(QByteArray::fromHex(step.request));
    EXPECT_EQ(got.value_or(QByteArray()).toHex(), QByteArray(step.reply));
    EXPECT_EQ(plant.TakeHeldReply().value_or(QByteArray()).toHex(), QByteArray(step.held));
  }
}
