// Scenario files: the shipped plants, the format's rules and its errors.
#include "sim/scenario.h"

#include <gtest/gtest.h>

#include <QFile>

TEST(Scenario, ShippedPlants) {
  ulv::Scenario def = ulv::DefaultScenario();
  EXPECT_EQ(def.errors.size(), 12u);
  EXPECT_EQ(def.version.size(), 15);
  EXPECT_FALSE(def.name.isEmpty());

  ulv::Scenario many;
  QString error;
  ASSERT_TRUE(ulv::LoadScenario(QString::fromLatin1(ulv::kManyErrorsScenarioResource), &many, &error))
      << qPrintable(error);
  EXPECT_GT(many.errors.size(), 100u);

  // The error memory is listed oldest first, so day numbers never fall.
  for (const ulv::Scenario* s : {&def, &many}) {
    for (size_t i = 1; i < s->errors.size(); ++i) {
      const auto& a = s->errors[i - 1];
      const auto& b = s->errors[i];
      EXPECT_TRUE(a.day < b.day || (a.day == b.day && a.twoSeconds <= b.twoSeconds)) << "entry " << i;
    }
  }
}

TEST(Scenario, DatesAndTimesBecomeControllerUnits) {
  struct Case {
    const char* json;
    uint16_t day;
    uint16_t twoSeconds;
  } cases[] = {
      {R"({"errors":[{"date":"2000-01-01","time":"00:00:00"}]})", 0, 0},
      {R"({"errors":[{"date":"2000-01-02","time":"00:00:01"}]})", 1, 0},
      {R"({"errors":[{"date":"2026-03-14","time":"23:59:59"}]})", 9569, 43199},
      {R"({"errors":[{"date":"2025-11-03","time":"14:22:08"}]})", 9438, 25864},
      {R"({"errors":[{"day":65535,"twoSeconds":65535}]})", 65535, 65535},
  };
  for (const Case& c : cases) {
    ulv::Scenario s;
    QString error;
    ASSERT_TRUE(ulv::ParseScenario(c.json, &s, &error)) << c.json << qPrintable(error);
    ASSERT_EQ(s.errors.size(), 1u);
    EXPECT_EQ(s.errors[0].day, c.day) << c.json;
    EXPECT_EQ(s.errors[0].twoSeconds, c.twoSeconds) << c.json;
  }
}

TEST(Scenario, MissingKeysKeepTheBase) {
  ulv::Scenario s;
  s.name = "ALT";
  s.trips = 5;
  QString error;
  ASSERT_TRUE(ulv::ParseScenario(R"({"version": "ABCDEFGHIJKLMNOPQRS", "eeprom": "12.34"})", &s, &error));
  EXPECT_EQ(s.name, QByteArray("ALT"));
  EXPECT_EQ(s.trips, 5);
  EXPECT_EQ(s.version, QByteArray("ABCDEFGHIJKLMNO"));  // cut to 15
  EXPECT_EQ(s.eepromB, 12);
  EXPECT_EQ(s.eepromA, 34);
}

TEST(Scenario, RejectsBadFilesWithAReason) {
  const struct {
    const char* json;
    const char* mentions;
  } cases[] = {
      {"{", "scenario"},
      {"[1,2]", "object"},
      {R"({"errors": 3})", "errors"},
      {R"({"errors":[{"group": 256}]})", "group"},
      {R"({"errors":[{"group": 1.5}]})", "group"},
      {R"({"errors":[{"date": "2026-02-30"}]})", "date"},
      {R"({"errors":[{"date": "1999-12-31"}]})", "date"},
      {R"({"errors":[{"time": "25:00:00"}]})", "time"},
      {R"({"eeprom": "2"})", "eeprom"},
      {R"({"trips": -1})", "trips"},
  };
  for (const auto& c : cases) {
    ulv::Scenario s;
    s.trips = 77;
    QString error;
    EXPECT_FALSE(ulv::ParseScenario(c.json, &s, &error)) << c.json;
    EXPECT_TRUE(error.contains(QLatin1String(c.mentions))) << c.json << " -> " << qPrintable(error);
    EXPECT_EQ(s.trips, 77) << "a rejected file changes nothing: " << c.json;
  }
  ulv::Scenario s;
  QString error;
  EXPECT_FALSE(ulv::LoadScenario(QStringLiteral("/nonexistent/plant.json"), &s, &error));
  EXPECT_TRUE(error.contains(QLatin1String("/nonexistent/plant.json")));
}
