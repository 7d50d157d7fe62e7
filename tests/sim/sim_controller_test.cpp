// The controller's side of the nibble exchange, byte by byte.
#include "sim/sim_controller.h"

#include <gtest/gtest.h>

#include "tool_side.h"

using ulvtest::Bytes;

namespace {

ulv::Scenario Plant() {
  ulv::Scenario s;
  QString error;
  EXPECT_TRUE(ulv::ParseScenario(R"({"version": "V1.23 TEST", "name": "AUFZUG 3",
      "errors": [{"group": 1, "code": 2, "detail": 3, "day": 4, "twoSeconds": 5}]})",
                                 &s, &error));
  return s;
}

QByteArray Hex(const QByteArray& b) { return b.toHex(' ').toUpper(); }

struct Fixture {
  ulv::PlantModel plant{Plant()};
  ulv::SimController ctl{plant};
};

}  // namespace

TEST(SimController, AnswersEveryByteWithOne) {
  Fixture f;
  // Idle turns are answered idle; the reset byte with the reset byte.
  EXPECT_EQ(f.ctl.Feed(0x40), std::optional<uint8_t>(0x40));
  EXPECT_EQ(f.ctl.Feed(0xF0), std::optional<uint8_t>(0xF0));
  EXPECT_EQ(f.ctl.Feed(0x50), std::optional<uint8_t>(0x40));
  EXPECT_EQ(f.ctl.Turns(), 3);
}

TEST(SimController, VersionRequestWireSequence) {
  Fixture f;
  // F1 01 as the tool sends it, then idle turns while the reply comes.
  const QByteArray tool = Bytes({0x0F, 0x21, 0x00, 0x21}) + ulvtest::IdleTurns(33);
  const QByteArray answers = f.ctl.FeedAll(tool);
  ASSERT_EQ(answers.size(), tool.size());
  // Nothing to say while the request comes in; the reply's first nibble
  // rides on the answer to the request's last byte: FF = 0F 2F, 'V' = 05 26.
  EXPECT_EQ(Hex(answers.left(7)), QByteArray("40 40 40 0F 2F 05 26"));
  // 16 reply bytes = 32 nibbles, then idle again.
  EXPECT_EQ(static_cast<uint8_t>(answers.at(3 + 32)), 0x40);
  EXPECT_EQ(ulvtest::Assemble(answers), QByteArray("\xFF") + ulvtest::Padded("V1.23 TEST", 15));
  // High nibbles carry no flags, low nibbles exactly 0x20.
  for (int i = 3; i < 3 + 32; ++i) {
    EXPECT_EQ(static_cast<uint8_t>(answers.at(i)) & 0xF0, (i - 3) % 2 == 0 ? 0x00 : 0x20) << i;
  }
}

TEST(SimController, ByteAtATimeEqualsBulk) {
  const QByteArray tool = ulvtest::ToolTurns(Bytes({0xF2, 0x55, 0x12})) + ulvtest::IdleTurns(34) +
                          ulvtest::ToolTurns(Bytes({0xF3, 0x55, 0x07, 0x00})) + ulvtest::IdleTurns(18);
  Fixture bulk;
  const QByteArray all = bulk.ctl.FeedAll(tool);
  Fixture single;
  QByteArray one;
  for (char c : tool) one.append(static_cast<char>(*single.ctl.Feed(static_cast<uint8_t>(c))));
  EXPECT_EQ(Hex(all), Hex(one));
  EXPECT_EQ(Hex(ulvtest::Assemble(all)),
            Hex(QByteArray("\xFF") + ulvtest::Padded("AUFZUG 3", 15) + Bytes({0xF7, 1, 2, 3, 4, 0, 5, 0})));
}

TEST(SimController, ResetDropsAHalfAssembledRequest) {
  const struct {
    const char* what;
    QByteArray before;
  } cases[] = {
      {"half a byte", Bytes({0x0F})},
      {"one byte of three", Bytes({0x0F, 0x22})},
      {"two and a half bytes", Bytes({0x0F, 0x22, 0x05, 0x25, 0x01})},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.ctl.FeedAll(c.before);
    EXPECT_TRUE(f.ctl.AssemblingRequest()) << c.what;
    EXPECT_EQ(f.ctl.Feed(0xF0), std::optional<uint8_t>(0xF0)) << c.what;
    EXPECT_FALSE(f.ctl.AssemblingRequest()) << c.what;
    // A fresh request after the reset is understood on its own.
    const QByteArray answers = f.ctl.FeedAll(ulvtest::ToolTurns(Bytes({0xF1, 0x00})) + ulvtest::IdleTurns(4));
    EXPECT_EQ(Hex(ulvtest::Assemble(answers)), Hex(Bytes({0xF1, 0x01}))) << c.what;
  }
}

TEST(SimController, ResetRestartsAHalfSentReplyByte) {
  Fixture f;
  // F1 00 -> F1 01: the answer to the last request nibble is F1's high nibble.
  const QByteArray first = f.ctl.FeedAll(ulvtest::ToolTurns(Bytes({0xF1, 0x00})));
  EXPECT_EQ(static_cast<uint8_t>(first.back()), 0x0F);
  f.ctl.Feed(0xF0);
  // The tool dropped the half byte; the controller sends F1 whole again.
  const QByteArray rest = f.ctl.FeedAll(ulvtest::IdleTurns(5));
  EXPECT_EQ(Hex(rest), QByteArray("0F 21 00 21 40"));
}

TEST(SimController, RepeatedNibbleReplacesThePreviousOne) {
  const struct {
    const char* what;
    QByteArray tool;
  } cases[] = {
      // F2 55 12 with the 5 of 0x55's high nibble first sent wrong as 7.
      {"high nibble", Bytes({0x0F, 0x22, 0x07, 0x15, 0x25, 0x01, 0x22})},
      // ... and with 0x55's low nibble first sent wrong as 4.
      {"low nibble", Bytes({0x0F, 0x22, 0x05, 0x24, 0x35, 0x01, 0x22})},
      {"no fault", Bytes({0x0F, 0x22, 0x05, 0x25, 0x01, 0x22})},
  };
  for (const auto& c : cases) {
    Fixture f;
    const QByteArray answers = f.ctl.FeedAll(c.tool + ulvtest::IdleTurns(34));
    EXPECT_EQ(Hex(ulvtest::Assemble(answers)), Hex(QByteArray("\xFF") + ulvtest::Padded("AUFZUG 3", 15)))
        << c.what;
    EXPECT_EQ(f.plant.RequestCount(), 1) << c.what;
  }
}

TEST(SimController, RequestedRepetitionCarriesTheFlagAndKeepsTheReply) {
  Fixture f;
  f.ctl.FeedAll(ulvtest::ToolTurns(Bytes({0xF1, 0x00})));  // reply F1 01 begins: 0F sent
  f.ctl.RepeatNext();
  const std::optional<uint8_t> a = f.ctl.Feed(0x40);
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(*a, 0x80 | 0x21);  // the low nibble of F1, plus the repeat request
  // The tool repeats its idle nibble; the controller goes on with its reply.
  const QByteArray rest = f.ctl.FeedAll(Bytes({0x50}) + ulvtest::IdleTurns(3));
  EXPECT_EQ(Hex(rest), QByteArray("00 21 40 40"));
}

TEST(SimController, UnaskedRepetitionResendsTheLostByte) {
  // The tool's line time-out cleared its half-received byte and it repeats
  // its last nibble (flag 0x10): the controller's last answer is taken as
  // lost and the byte it belonged to goes out whole again.
  const struct {
    const char* what;
    QByteArray tool;  // the last answer to these is the one that got lost
    QByteArray repeat;
    const char* next;
  } cases[] = {
      // F1 01 complete; the answer 0F (FF's high nibble) is lost.
      {"lost high nibble", Bytes({0x0F, 0x21, 0x00, 0x21}), Bytes({0x31, 0x40, 0x40}), "0F 2F 05"},
      // ... one turn later the answer 2F (FF's low nibble) is lost.
      {"lost low nibble", Bytes({0x0F, 0x21, 0x00, 0x21, 0x40}), Bytes({0x50, 0x40, 0x40}), "0F 2F 05"},
      // An idle answer is lost: nothing to send again.
      {"lost idle", Bytes({0x40}), Bytes({0x50, 0x40}), "40 40"},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.ctl.FeedAll(c.tool);
    EXPECT_EQ(Hex(f.ctl.FeedAll(c.repeat)), QByteArray(c.next)) << c.what;
    EXPECT_LE(f.plant.RequestCount(), 1) << c.what;
  }
}

TEST(SimController, IdleByteOfItsOwn) {
  Fixture f;
  EXPECT_EQ(f.ctl.IdleTick(), std::optional<uint8_t>(0x40));
  f.ctl.SetFaults({.silent = true});
  EXPECT_FALSE(f.ctl.IdleTick().has_value());
}

TEST(SimController, FaultInjection) {
  const QByteArray tool = ulvtest::ToolTurns(Bytes({0xF1, 0x01})) + ulvtest::IdleTurns(40);
  Fixture clean;
  const QByteArray good = clean.ctl.FeedAll(tool);
  ASSERT_EQ(good.size(), tool.size());

  {
    Fixture f;
    f.ctl.SetFaults({.silent = true});
    EXPECT_TRUE(f.ctl.FeedAll(tool).isEmpty());
    EXPECT_EQ(f.plant.RequestCount(), 0) << "a silent controller takes nothing in";
  }
  {
    Fixture f;
    f.ctl.SetFaults({.dropEvery = 5});
    const QByteArray got = f.ctl.FeedAll(tool);
    EXPECT_EQ(got.size(), tool.size() - tool.size() / 5);
    // Answers 5, 10, ... are missing; the rest keep their places.
    QByteArray expected;
    for (int i = 0; i < good.size(); ++i) {
      if ((i + 1) % 5 != 0) expected.append(good.at(i));
    }
    EXPECT_EQ(Hex(got), Hex(expected));
  }
  {
    Fixture f;
    f.ctl.SetFaults({.corruptEvery = 4});
    const QByteArray got = f.ctl.FeedAll(tool);
    ASSERT_EQ(got.size(), good.size());
    for (int i = 0; i < good.size(); ++i) {
      const uint8_t expected = static_cast<uint8_t>(good.at(i)) ^ ((i + 1) % 4 == 0 ? 0x0F : 0x00);
      EXPECT_EQ(static_cast<uint8_t>(got.at(i)), expected) << i;
    }
  }
  {
    Fixture f;
    f.ctl.SetFaults({.repeatEvery = 3});
    const QByteArray got = f.ctl.FeedAll(Bytes({0x40, 0x40, 0x40}));
    EXPECT_EQ(Hex(got), QByteArray("40 40 C0"));
  }
}
