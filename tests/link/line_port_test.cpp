#include <gtest/gtest.h>

#include "link_rig.h"

namespace ulv::test {
namespace {

// One turn: the controller's byte (-1: the tool starts the line) and the byte
// the tool must answer with.
struct Turn {
  int controller;
  int tool;
};

struct WireCase {
  const char* name;
  QByteArray message;  // queued with SendMessage once the line has started
  std::vector<Turn> turns;
};

void PrintTo(const WireCase& c, std::ostream* os) { *os << c.name; }

class WireSequence : public ::testing::TestWithParam<WireCase> {};

TEST_P(WireSequence, ToolSendsExactBytes) {
  LinkRig rig;
  const WireCase& c = GetParam();
  int i = 0;
  for (const Turn& t : c.turns) {
    QByteArray out;
    if (t.controller < 0) {
      // Starting the line clears the ring: the message is queued after it.
      rig.line.LineToggle(false);
      out = rig.Written();
      if (!c.message.isEmpty()) rig.line.SendMessage(c.message, nullptr);
    } else {
      out = rig.Answer(static_cast<uint8_t>(t.controller));
    }
    ASSERT_EQ(out, QByteArray(1, static_cast<char>(t.tool)))
        << c.name << " turn " << i << ": got " << out.toHex().constData();
    ++i;
  }
}

// F2 55 12: every byte as its high nibble without flags, then its low nibble
// with 0x20; idle turns carry 0x40.
const WireCase kWireCases[] = {
    {"message then idle",
     Bytes({0xF2, 0x55, 0x12}),
     {{-1, 0x40},
      {0x40, 0x0F},
      {0x40, 0x22},
      {0x40, 0x05},
      {0x40, 0x25},
      {0x40, 0x01},
      {0x40, 0x22},
      {0x40, 0x40},
      {0x40, 0x40}}},
    {"idle line", {}, {{-1, 0x40}, {0x40, 0x40}, {0x40, 0x40}}},
    {"one repeat request repeats the nibble",
     Bytes({0xF2}),
     {{-1, 0x40}, {0x40, 0x0F}, {0x80, 0x1F}, {0x40, 0x22}, {0x40, 0x40}}},
    // The third repeat request in a row makes the tool send the reset request
    // until the controller answers 0xF0; then it restarts from a repetition
    // with the idle flag still set (the interrupted byte is given up).
    {"three repeat requests lead to the reset",
     Bytes({0xF2, 0x55, 0x12}),
     {{-1, 0x40},
      {0x40, 0x0F},
      {0x80, 0x1F},
      {0x80, 0x1F},
      {0x80, 0xF0},
      {0x40, 0xF0},
      {0x4A, 0xF0},
      {0xF0, 0x5F},
      {0x40, 0x05},
      {0x40, 0x25},
      {0x40, 0x01},
      {0x40, 0x22},
      {0x40, 0x40}}},
    {"received data does not disturb sending",
     Bytes({0xF1, 0x01}),
     {{-1, 0x40}, {0x40, 0x0F}, {0x0F, 0x21}, {0x2F, 0x00}, {0x01, 0x21}, {0x22, 0x40}}},
};

INSTANTIATE_TEST_SUITE_P(LinePort, WireSequence, ::testing::ValuesIn(kWireCases));

TEST(LinePort, LinkFollowsCorrectBytesAndResetRequests) {
  LinkRig rig;
  LinkLampModel lamp;
  rig.line.WindowLamp = &lamp;
  rig.line.LineToggle(false);
  EXPECT_FALSE(rig.port.Link().IsLinked());
  rig.Answer(0x40);  // the state is taken at each receive event, before the step
  EXPECT_TRUE(rig.line.State().lineOk);
  rig.Answer(0x40);
  EXPECT_TRUE(rig.port.Link().IsLinked());
  EXPECT_EQ(lamp.Color(), clGreen);
  rig.Answer(0x80);
  rig.Answer(0x80);
  rig.Answer(0x80);  // reset request goes out
  EXPECT_FALSE(rig.line.State().lineOk);
  rig.Answer(0x40);
  EXPECT_FALSE(rig.port.Link().IsLinked());
  rig.Answer(0xF0);
  EXPECT_TRUE(rig.line.State().lineOk);
}

TEST(LinePort, SilentLineEndsWaitingAfter2000Steps) {
  LinkRig rig;
  rig.line.LineToggle(false);
  rig.Answer(0x40);
  ASSERT_TRUE(rig.line.State().lineOk);
  ASSERT_EQ(rig.line.State().phase, 1);
  for (int i = 0; i < 1999; ++i) rig.line.Step401();
  EXPECT_EQ(rig.line.State().phase, 1);
  EXPECT_TRUE(rig.line.State().lineOk);
  EXPECT_TRUE(rig.Written().isEmpty());
  rig.line.Step401();
  EXPECT_EQ(rig.line.State().phase, 0);
  EXPECT_FALSE(rig.line.State().lineOk);
  rig.line.Step401();
  EXPECT_EQ(rig.Written(), Bytes({0x40}));
}

TEST(LinePort, SilentControllerTimesOutAndFeedsResets) {
  LinkRig rig;
  LinkLampModel lamp;
  rig.line.WindowLamp = &lamp;
  std::vector<uint32_t> leds;
  rig.line.OnLineLed = [&](uint32_t c) { leds.push_back(c); };
  rig.line.LineToggle(false);
  rig.Answer(0x40);
  rig.Answer(0x40);
  ASSERT_TRUE(rig.port.Link().IsLinked());
  ASSERT_EQ(rig.Written(), QByteArray());

  rig.clock.Advance(1999);
  EXPECT_EQ(rig.line.TimeoutCount(), 0);
  EXPECT_TRUE(rig.port.Link().IsLinked());
  // From the first expiry on, every 500 ms: a faked reset byte is taken in
  // one expiry and answered in the next, as a repetition; the third
  // repetition becomes the reset request.
  const int expected[] = {-1, 0x50, -1, 0x50, -1, 0xF0, -1, 0x50, -1, 0x50};
  int step = 0;
  for (int want : expected) {
    rig.clock.Advance(step == 0 ? 1 : 500);
    ++step;
    EXPECT_EQ(rig.line.TimeoutCount(), step);
    EXPECT_FALSE(rig.port.Link().IsLinked());
    EXPECT_EQ(lamp.Color(), clRed);
    const QByteArray out = rig.Written();
    if (want < 0) {
      EXPECT_TRUE(out.isEmpty()) << "expiry " << step << ": " << out.toHex().constData();
    } else {
      EXPECT_EQ(out, QByteArray(1, static_cast<char>(want))) << "expiry " << step;
    }
  }
  // The faked reset bytes never became data.
  EXPECT_EQ(rig.line.LineDataCount(), 0);
  EXPECT_TRUE(rig.line.TakeLineData().isEmpty());
  ASSERT_GE(leds.size(), 4u);
  EXPECT_EQ(leds[leds.size() - 4], clYellow);
  EXPECT_EQ(leds[leds.size() - 3], clRed);
  EXPECT_EQ(leds[leds.size() - 2], clYellow);
  EXPECT_EQ(leds[leds.size() - 1], clRed);

  // The controller comes back: the link returns.
  rig.ctl.Silent = false;
  rig.ctlEnd.Write(Bytes({0x40}));
  rig.toolEnd.Pump();
  rig.Run(10);
  EXPECT_TRUE(rig.port.Link().IsLinked());
  EXPECT_EQ(rig.line.LineTimerActive(), true);
}

// Controller byte streams and what the message assembly makes of them.
struct AssemblyCase {
  const char* name;
  QByteArray fromController;  // whole bytes; sent as two turns each
  std::vector<QByteArray> messages;
  QByteArray lineData;  // what TakeLineData returns afterwards
  int lineDataCount;
};

QByteArray FullReply() {
  QByteArray r = Bytes({0xFF});
  r.append("Ulv-SW 4.27 ABC");
  return r;
}

const AssemblyCase kAssemblyCases[] = {
    {"full reply", FullReply(), {FullReply()}, {}, 0},
    {"short replies back to back",
     Bytes({0xF1, 0x01, 0xF4, 0x01, 0x02, 0x03, 0x04}),
     {Bytes({0xF1, 0x01}), Bytes({0xF4, 0x01, 0x02, 0x03, 0x04})},
     {},
     0},
    {"bytes outside a message are line data", Bytes({0x12, 0x00, 0xE5}), {}, Bytes({0x12, 0x00, 0xE5}), 3},
    {"line data before a reply is dropped",
     Bytes({0x12, 0x34, 0xF0, 0x77}),
     {Bytes({0xF0})},
     Bytes({0x77}),
     3},
    {"header F0 is a message of one byte", Bytes({0xF0}), {Bytes({0xF0})}, {}, 0},
};

class Assembly : public ::testing::TestWithParam<AssemblyCase> {};

TEST_P(Assembly, CutsControllerBytesIntoMessages) {
  const AssemblyCase& c = GetParam();
  LinkRig rig;
  std::vector<QByteArray> got;
  rig.line.SendMessage({}, [&](const QByteArray& m) { got.push_back(m); });
  rig.line.LineToggle(false);
  for (char ch : c.fromController) {
    const auto b = static_cast<uint8_t>(ch);
    rig.Answer(0x40);  // idle turns between bytes carry nothing
    rig.Answer(b >> 4);
    rig.Answer(0x20 | (b & 0x0F));
  }
  EXPECT_EQ(got, c.messages) << c.name;
  EXPECT_EQ(rig.line.TakeLineData(), c.lineData) << c.name;
  EXPECT_EQ(rig.line.TakeLineData(), QByteArray()) << c.name;
  EXPECT_EQ(rig.line.LineDataCount(), c.lineDataCount) << c.name;
}

INSTANTIATE_TEST_SUITE_P(LinePort, Assembly, ::testing::ValuesIn(kAssemblyCases));

TEST(LinePort, FullReplyIsHandedOverOnItsSixteenthByte) {
  LinkRig rig;
  std::vector<QByteArray> got;
  rig.line.SendMessage({}, [&](const QByteArray& m) { got.push_back(m); });
  rig.line.LineToggle(false);
  // 0x0F then 0x2F: the header 0xFF.
  rig.Answer(0x0F);
  rig.Answer(0x2F);
  EXPECT_EQ(rig.line.PartialMessage(), Bytes({0xFF}));
  const QByteArray reply = FullReply();
  for (int i = 1; i < 16; ++i) {
    const auto b = static_cast<uint8_t>(reply[i]);
    rig.Answer(b >> 4);
    rig.Answer(0x40);  // idle turns deliver nothing
    EXPECT_TRUE(got.empty()) << "byte " << i;
    rig.Answer(b >> 4);
    rig.Answer(0x20 | (b & 0x0F));
    if (i < 15) {
      EXPECT_TRUE(got.empty()) << "byte " << i;
    }
  }
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], reply);
  EXPECT_TRUE(rig.line.PartialMessage().isEmpty());
}

TEST(LinePort, IdleFlaggedBytesNeverDeliverData) {
  LinkRig rig;
  std::vector<QByteArray> got;
  rig.line.SendMessage({}, [&](const QByteArray& m) { got.push_back(m); });
  rig.line.LineToggle(false);
  for (int b : {0x40, 0x60, 0x6F, 0x4F, 0x70}) rig.Answer(static_cast<uint8_t>(b));
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(rig.line.LineDataCount(), 0);
  // A reply in progress survives a line time-out (its faked reset byte).
  rig.Answer(0x0F);
  rig.Answer(0x22);  // F2
  rig.Answer(0x05);
  rig.Answer(0x25);  // 55
  rig.clock.Advance(2000);
  ASSERT_EQ(rig.line.TimeoutCount(), 1);
  EXPECT_EQ(rig.line.PartialMessage(), Bytes({0xF2, 0x55}));
  rig.Answer(0x01);
  rig.Answer(0x22);  // 12
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], Bytes({0xF2, 0x55, 0x12}));
  EXPECT_EQ(rig.line.LineDataCount(), 0);
}

// A port change (LineStart) discards a half-received reply: its remaining
// bytes cannot complete it, and the next reply is assembled on its own.
TEST(LinePort, ReplyCutByLineStartIsDiscarded) {
  LinkRig rig;
  std::vector<QByteArray> got;
  rig.line.SendMessage({}, [&](const QByteArray& m) { got.push_back(m); });
  rig.line.LineToggle(false);
  const QByteArray reply = FullReply();
  auto sendByte = [&](uint8_t b) {
    rig.Answer(b >> 4);
    rig.Answer(0x20 | (b & 0x0F));
  };
  for (int i = 0; i < 5; ++i) sendByte(static_cast<uint8_t>(reply[i]));
  ASSERT_EQ(rig.line.PartialMessage(), reply.left(5));
  // A port change: the transport is set up again.
  rig.line.Init401();
  rig.line.LineStart();
  EXPECT_TRUE(rig.line.PartialMessage().isEmpty());
  rig.line.Restart();
  rig.Written();
  // The rest of the cut reply is no reply (its bytes are below 0xF0).
  for (int i = 5; i < 16; ++i) sendByte(static_cast<uint8_t>(reply[i]));
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(rig.line.TakeLineData(), reply.mid(5));
  // The next reply comes out whole.
  const QByteArray next = Bytes({0xF4, 0x01, 0x02, 0x03, 0x04});
  for (char c : next) sendByte(static_cast<uint8_t>(c));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], next);
}

// The bytes collected outside messages are dropped after the reply has been
// handed over, not before: its handler still finds them.
TEST(LinePort, LineDataBeforeAReplyGoesAfterItsHandler) {
  LinkRig rig;
  QByteArray seenInHandler = "unset";
  rig.line.SendMessage({}, [&](const QByteArray&) { seenInHandler = rig.line.TakeLineData(); });
  rig.line.LineToggle(false);
  for (int b : {0x12, 0x34, 0xF1, 0x01}) {
    rig.Answer(static_cast<uint8_t>(b >> 4));
    rig.Answer(static_cast<uint8_t>(0x20 | (b & 0x0F)));
  }
  EXPECT_EQ(seenInHandler, Bytes({0x12, 0x34}));
  EXPECT_EQ(rig.line.TakeLineData(), QByteArray());
  EXPECT_EQ(rig.line.LineDataCount(), 2);
}

TEST(LinePort, StoppedLineNeitherCountsNorAnswers) {
  LinkRig rig;
  rig.line.LineToggle(false);
  rig.Answer(0x40);
  const int reads = rig.line.ReadCount();
  const int sent = rig.line.SendCount();
  rig.port.Link().OnLampClick();  // a lamp click stops the running line
  EXPECT_TRUE(rig.line.LineStopped());
  EXPECT_FALSE(rig.line.LineTimerActive());
  EXPECT_FALSE(rig.port.Link().IsLinked());
  EXPECT_EQ(rig.line.LineLedColor(), clRed);
  EXPECT_EQ(rig.Answer(0x40), QByteArray());
  EXPECT_EQ(rig.line.ReadCount(), reads);
  EXPECT_EQ(rig.line.SendCount(), sent);
  EXPECT_EQ(rig.port.BytesWaiting(), 1);
  rig.clock.Advance(5000);
  EXPECT_EQ(rig.line.TimeoutCount(), 0);
  // The next click starts it again with a first byte.
  rig.port.Link().OnLampClick();
  EXPECT_FALSE(rig.line.LineStopped());
  EXPECT_TRUE(rig.line.LineTimerActive());
  EXPECT_EQ(rig.Written(), Bytes({0x40}));
}

TEST(LinePort, CountersAndPortLabel) {
  LinkRig rig;
  QStringList labels;
  rig.line.OnPortLabel = [&](const QString& t) { labels << t; };
  rig.line.LineToggle(false);
  rig.Answer(0x40);
  rig.Answer(0x40);
  EXPECT_EQ(rig.line.SendCount(), 3);
  EXPECT_EQ(rig.line.ReadCount(), 2);
  // Several bytes in one receive event are one turn: only the last counts.
  rig.ctlEnd.Write(Bytes({0x0F, 0x40, 0x40}));
  rig.toolEnd.Pump();
  EXPECT_EQ(rig.line.ReadCount(), 3);
  EXPECT_EQ(rig.line.SendCount(), 4);
  EXPECT_EQ(rig.port.BytesWaiting(), 0);
  rig.toolEnd.SetOpenError(QStringLiteral("busy"));
  rig.line.LineStart();
  EXPECT_EQ(labels, QStringList({QStringLiteral("COM1/19200/8N1"), QStringLiteral("ERROR")}));
}

// Decodes the tool's data turns back into bytes (high nibble, then low with 0x20).
QByteArray DecodeTurns(const QByteArray& wire) {
  QByteArray out;
  int high = -1;
  for (char c : wire) {
    const auto b = static_cast<uint8_t>(c);
    if (b & 0x40) continue;
    if ((b & 0x20) == 0) {
      high = b & 0x0F;
    } else if (high >= 0) {
      out.append(static_cast<char>(high << 4 | (b & 0x0F)));
      high = -1;
    }
  }
  return out;
}

TEST(LinePort, RingHoldsAThousandBytesAndWraps) {
  LinkRig rig;
  QByteArray first;
  for (int i = 0; i < 1005; ++i) first.append(static_cast<char>(i * 7));
  rig.line.LineToggle(false);
  rig.line.SendMessage(first, nullptr);
  EXPECT_EQ(rig.line.State().count, 1000);
  QByteArray wire = rig.Written();
  for (int i = 0; i < 2001; ++i) wire += rig.Answer(0x40);
  EXPECT_EQ(DecodeTurns(wire), first.left(1000));
  // The second batch runs across the end of the ring.
  QByteArray second;
  for (int i = 0; i < 700; ++i) second.append(static_cast<char>(255 - i));
  rig.line.SendMessage(second, nullptr);
  wire.clear();
  for (int i = 0; i < 1401; ++i) wire += rig.Answer(0x40);
  EXPECT_EQ(DecodeTurns(wire), second);
  EXPECT_EQ(rig.line.State().count, 0);
}

TEST(LinePort, RequestAndReplyWithScriptedController) {
  LinkRig rig;
  rig.ctl.Plant = [](const QByteArray& req) {
    return req == Bytes({0xF1, 0x01}) ? FullReply() : QByteArray();
  };
  std::vector<QByteArray> got;
  rig.line.LineToggle(false);
  rig.line.SendMessage(Bytes({0xF1, 0x01}), [&](const QByteArray& m) { got.push_back(m); });
  rig.Run(60);
  ASSERT_EQ(rig.ctl.Requests.size(), 1u);
  EXPECT_EQ(rig.ctl.Requests[0], Bytes({0xF1, 0x01}));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], FullReply());
  EXPECT_TRUE(rig.port.Link().IsLinked());
}

}  // namespace
}  // namespace ulv::test
