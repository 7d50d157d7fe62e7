// The controller's side of the nibble exchange, byte by byte.
#include "sim/sim_controller.h"

#include <gtest/gtest.h>

#include "tool_side.h"

using ulvtest::Assemble;
using ulvtest::IdleTurns;
using ulvtest::Padded;
using ulvtest::ToolTurns;

namespace {

ulv::Scenario Plant() {
  ulv::Scenario s;
  QString error;
  EXPECT_TRUE(ulv::ParseScenario(R"({"version": "V1.23 TEST", "name": "AUFZUG 3"})", &s, &error));
  return s;
}

QByteArray Hex(const QByteArray& b) { return b.toHex(' ').toUpper(); }

const QByteArray kNameRequest = "\xF2\x55\x12"_ba;
const QByteArray kNameReply = "\xFF"_ba + Padded("AUFZUG 3", 15);

struct Fixture {
  ulv::PlantModel plant{Plant()};
  ulv::SimController ctl{plant};
};

}  // namespace

// Turn by turn: after `before` (answers not checked) the tool's bytes get
// exactly these answers.
TEST(SimController, AnswersEveryByteWithOne) {
  const struct {
    const char* what;
    QByteArray before;
    bool repeatNext;  // the controller asks for a repetition once
    QByteArray tool;
    const char* answers;
  } cases[] = {
      // Idle turns are answered idle; the reset byte with the reset byte.
      {"idle and reset", {}, false, "\x40\xF0\x50"_ba, "40 F0 40"},
      // F1 00 -> F1 01: the answer to the last request nibble is F1's high
      // nibble; a reset drops the rest of the reply (the tool gave it up).
      {"reset drops a half-sent reply", ToolTurns("\xF1\x00"_ba), false, "\xF0"_ba + IdleTurns(3),
       "F0 40 40 40"},
      // The low nibble of F1 with the repeat request; the tool repeats its idle
      // nibble and the controller goes on with its reply.
      {"requested repetition", ToolTurns("\xF1\x00"_ba), true, "\x40\x50"_ba + IdleTurns(3),
       "A1 00 21 40 40"},
      // The tool's line time-out cleared its half-received byte and it repeats
      // its last nibble (flag 0x10): the controller's last answer is taken as
      // lost and the byte it belonged to goes out whole again.
      {"lost high nibble", ToolTurns("\xF1\x01"_ba), false, "\x31\x40\x40"_ba, "0F 2F 05"},
      {"lost low nibble", ToolTurns("\xF1\x01"_ba) + "\x40"_ba, false, "\x50\x40\x40"_ba, "0F 2F 05"},
      {"lost idle: nothing to send again", "\x40"_ba, false, "\x50\x40"_ba, "40 40"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    f.ctl.FeedAll(c.before);
    if (c.repeatNext) f.ctl.RepeatNext();
    EXPECT_EQ(Hex(f.ctl.FeedAll(c.tool)), QByteArray(c.answers));
    EXPECT_EQ(f.ctl.Turns(), c.before.size() + c.tool.size());
    EXPECT_LE(f.plant.RequestCount(), 1);
  }
}

TEST(SimController, VersionRequestWireSequence) {
  Fixture f;
  // F1 01 as the tool sends it, then idle turns while the reply comes.
  const QByteArray tool = "\x0F\x21\x00\x21"_ba + IdleTurns(33);
  const QByteArray answers = f.ctl.FeedAll(tool);
  ASSERT_EQ(answers.size(), tool.size());
  // Nothing to say while the request comes in; the reply's first nibble
  // rides on the answer to the request's last byte: FF = 0F 2F, 'V' = 05 26.
  EXPECT_EQ(Hex(answers.left(7)), QByteArray("40 40 40 0F 2F 05 26"));
  // 16 reply bytes = 32 nibbles, then idle again.
  EXPECT_EQ(static_cast<uint8_t>(answers.at(3 + 32)), 0x40);
  EXPECT_EQ(Assemble(answers), "\xFF"_ba + Padded("V1.23 TEST", 15));
  // High nibbles carry no flags, low nibbles exactly 0x20.
  for (int i = 3; i < 3 + 32; ++i)
    EXPECT_EQ(static_cast<uint8_t>(answers.at(i)) & 0xF0, (i - 3) % 2 == 0 ? 0x00 : 0x20) << i;
}

TEST(SimController, ResetDropsAHalfAssembledRequest) {
  for (const QByteArray& before : {"\x0F"_ba, "\x0F\x22"_ba, "\x0F\x22\x05\x25\x01"_ba}) {
    SCOPED_TRACE(Hex(before).constData());
    Fixture f;
    f.ctl.FeedAll(before);
    EXPECT_TRUE(f.ctl.AssemblingRequest());
    EXPECT_EQ(f.ctl.Feed(0xF0), std::optional<uint8_t>(0xF0));
    EXPECT_FALSE(f.ctl.AssemblingRequest());
    // A fresh request after the reset is understood on its own.
    EXPECT_EQ(Hex(Assemble(f.ctl.FeedAll(ToolTurns("\xF1\x00"_ba) + IdleTurns(4)))), "F1 01");
  }
}

TEST(SimController, RepeatedNibbleReplacesThePreviousOne) {
  const std::pair<const char*, QByteArray> cases[] = {
      // F2 55 12 with the 5 of 0x55's high nibble first sent wrong as 7.
      {"high nibble", "\x0F\x22\x07\x15\x25\x01\x22"_ba},
      // ... and with 0x55's low nibble first sent wrong as 4.
      {"low nibble", "\x0F\x22\x05\x24\x35\x01\x22"_ba},
      {"no fault", ToolTurns(kNameRequest)},
  };
  for (const auto& [what, tool] : cases) {
    Fixture f;
    EXPECT_EQ(Hex(Assemble(f.ctl.FeedAll(tool + IdleTurns(34)))), Hex(kNameReply)) << what;
    EXPECT_EQ(f.plant.RequestCount(), 1) << what;
  }
}

TEST(SimController, FaultInjection) {
  const QByteArray tool = ToolTurns("\xF1\x01"_ba) + IdleTurns(40);
  Fixture clean;
  const QByteArray good = clean.ctl.FeedAll(tool);
  ASSERT_EQ(good.size(), tool.size());
  EXPECT_EQ(clean.ctl.IdleTick(), std::optional<uint8_t>(0x40));  // an idle byte of its own
  {
    Fixture f;
    f.ctl.SetFaults({.silent = true});
    EXPECT_TRUE(f.ctl.FeedAll(tool).isEmpty());
    EXPECT_FALSE(f.ctl.IdleTick().has_value());
    EXPECT_EQ(f.plant.RequestCount(), 0) << "a silent controller takes nothing in";
  }
  {
    Fixture f;
    f.ctl.SetFaults({.dropEvery = 5});
    // Answers 5, 10, ... are missing; the rest keep their places.
    QByteArray expected;
    for (int i = 0; i < good.size(); ++i)
      if ((i + 1) % 5 != 0) expected.append(good.at(i));
    EXPECT_EQ(Hex(f.ctl.FeedAll(tool)), Hex(expected));
  }
  {
    Fixture f;
    f.ctl.SetFaults({.corruptEvery = 4});
    QByteArray expected = good;
    for (int i = 3; i < good.size(); i += 4) expected[i] = static_cast<char>(good.at(i) ^ 0x0F);
    EXPECT_EQ(Hex(f.ctl.FeedAll(tool)), Hex(expected));
  }
  {
    Fixture f;
    f.ctl.SetFaults({.repeatEvery = 3});
    EXPECT_EQ(Hex(f.ctl.FeedAll("\x40\x40\x40"_ba)), QByteArray("40 40 C0"));
  }
}
