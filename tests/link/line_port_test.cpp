#include <gtest/gtest.h>

#include <functional>

#include "link_rig.h"
#include "sim/tool_side.h"

namespace ulv::test {
namespace {

// The tool's bytes turn by turn: its first when the line starts, then one
// answer to each of the controller's bytes.
struct WireCase {
  const char* name;
  const char* message;  // queued with SendMessage once the line has started
  const char* controller;
  const char* tool;
};

void PrintTo(const WireCase& c, std::ostream* os) { *os << c.name; }

class WireSequence : public ::testing::TestWithParam<WireCase> {};

TEST_P(WireSequence, ToolSendsExactBytes) {
  LinkRig rig;
  const WireCase& c = GetParam();
  // Starting the line clears the ring: the message is queued after it.
  rig.line.LineToggle(false);
  QByteArray tool = rig.Written();
  if (*c.message) rig.line.SendMessage(H(c.message), nullptr);
  for (char b : H(c.controller)) {
    const QByteArray out = rig.Answer(static_cast<uint8_t>(b));
    EXPECT_EQ(out.size(), 1) << "turn " << tool.size();
    tool += out;
  }
  EXPECT_EQ(tool, H(c.tool));
}

// The line starts with the reset request 0xF0 until the controller answers
// 0xF0. F2 55 12: every byte as its high nibble without flags, then its low
// nibble with 0x20; idle turns carry 0x40. The third repeat request (0x80) in
// a row makes the tool send the reset request again; the message being sent
// is given up (the controller drops the half request), and counting starts
// from zero once the controller has answered.
const WireCase kWireCases[] = {
    {"message then idle", "F2 55 12", "F0 40 40 40 40 40 40 40", "F0 0F 22 05 25 01 22 40 40"},
    {"reset request until answered", "F2", "40 4A F0 40 40", "F0 F0 F0 0F 22 40"},
    {"idle line", "", "F0 40", "F0 40 40"},
    {"one repeat request repeats the nibble", "F2", "F0 80 40 40", "F0 0F 1F 22 40"},
    {"three repeat requests give up the message", "F2 55 12", "F0 80 80 80 40 4A F0 40 40",
     "F0 0F 1F 1F F0 F0 F0 40 40 40"},
    {"repeats count from zero after a reset answer", "", "F0 80 80 80 F0 80 80 80", "F0 40 50 50 F0 40 50 50 F0"},
    {"received data does not disturb sending", "F1 01", "F0 0F 2F 01 22", "F0 0F 21 00 21 40"},
};

INSTANTIATE_TEST_SUITE_P(LinePort, WireSequence, ::testing::ValuesIn(kWireCases));

TEST(LinePort, LinkFollowsCorrectBytesAndResetRequests) {
  LinkRig rig;
  LinkLampModel lamp;
  rig.line.WindowLamp = &lamp;
  rig.Start();
  EXPECT_FALSE(rig.port.Link().IsLinked());
  rig.Answer(0x40);  // the state is taken at each receive event, before the step
  EXPECT_TRUE(rig.line.State().lineOk);
  rig.Answer(0x40);
  EXPECT_TRUE(rig.port.Link().IsLinked());
  EXPECT_EQ(lamp.Color(), clGreen);
  for (int i = 0; i < 3; ++i) rig.Answer(0x80);  // the third sends the reset request
  EXPECT_FALSE(rig.line.State().lineOk);
  rig.Answer(0x40);
  EXPECT_FALSE(rig.port.Link().IsLinked());
  rig.Answer(0xF0);
  EXPECT_TRUE(rig.line.State().lineOk);
}

TEST(LinePort, SilentLineEndsWaitingAfter2000Steps) {
  LinkRig rig;
  rig.Start();
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
  EXPECT_EQ(rig.Written(), H("40"));
}

TEST(LinePort, SilentControllerTimesOutAndFeedsResets) {
  LinkRig rig;
  LinkLampModel lamp;
  rig.line.WindowLamp = &lamp;
  std::vector<uint32_t> leds;
  rig.line.OnLineLed = [&](uint32_t c) { leds.push_back(c); };
  rig.Start();
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
  // Once the reset request is out, a silent line gets it again at every
  // expiry: a faked byte never passes for the controller's answer.
  const char* expected[] = {"", "50", "", "50", "", "F0", "F0", "F0", "F0", "F0"};
  for (int step = 1; step <= 10; ++step) {
    rig.clock.Advance(step == 1 ? 1 : 500);
    EXPECT_EQ(rig.line.TimeoutCount(), step);
    EXPECT_FALSE(rig.port.Link().IsLinked());
    EXPECT_EQ(lamp.Color(), clRed);
    EXPECT_EQ(rig.Written(), H(expected[step - 1])) << "expiry " << step;
  }
  // The faked reset bytes never became data.
  EXPECT_EQ(rig.line.LineDataCount(), 0);
  EXPECT_TRUE(rig.line.TakeLineData().isEmpty());
  ASSERT_GE(leds.size(), 4u);
  EXPECT_EQ(std::vector<uint32_t>(leds.end() - 4, leds.end()),
            (std::vector<uint32_t>{clYellow, clRed, clYellow, clRed}));

  // The controller comes back: the link returns.
  rig.ctlEnd.Write(H("40"));
  rig.toolEnd.Pump();
  rig.Run(10);
  EXPECT_TRUE(rig.port.Link().IsLinked());
  EXPECT_TRUE(rig.line.LineTimerActive());
}

// Controller byte streams and what the message assembly makes of them.
struct AssemblyCase {
  const char* name;
  const char* fromController;  // whole bytes; an idle turn before each
  const char* messages;        // "|" between two messages
  const char* lineData;        // what TakeLineData returns afterwards
  int lineDataCount;
  // Non-null: the reply handler takes the line data and sees these (the
  // bytes collected before a reply are dropped after its handler).
  const char* seenByHandler = nullptr;
};

void PrintTo(const AssemblyCase& c, std::ostream* os) { *os << c.name; }

// FF "Ulv-SW 4.27 ABC"
constexpr char kFullReply[] = "FF 55 6C 76 2D 53 57 20 34 2E 32 37 20 41 42 43";

const AssemblyCase kAssemblyCases[] = {
    {"full reply", kFullReply, kFullReply, "", 0},
    {"short replies back to back", "F1 01 F4 01 02 03 04", "F1 01|F4 01 02 03 04", "", 0},
    {"bytes outside a message are line data", "12 00 E5", "", "12 00 E5", 3},
    {"line data before a reply is dropped", "12 34 F0 77", "F0", "77", 3},
    {"line data before a reply goes to its handler", "12 34 F1 01", "F1 01", "", 2, "12 34"},
    {"header F0 is a message of one byte", "F0", "F0", "", 0},
};

class Assembly : public ::testing::TestWithParam<AssemblyCase> {};

TEST_P(Assembly, CutsControllerBytesIntoMessages) {
  const AssemblyCase& c = GetParam();
  LinkRig rig;
  QByteArrayList got;
  QByteArray seen;
  rig.line.SendMessage({}, [&](const QByteArray& m) {
    got << m.toHex(' ').toUpper();
    if (c.seenByHandler) seen += rig.line.TakeLineData();
  });
  rig.Start();
  for (char ch : H(c.fromController)) {
    rig.Answer(0x40);  // idle turns between bytes carry nothing
    rig.AnswerByte(static_cast<uint8_t>(ch));
  }
  EXPECT_EQ(got.join('|'), c.messages);
  EXPECT_EQ(seen, H(c.seenByHandler ? c.seenByHandler : ""));
  EXPECT_EQ(rig.line.TakeLineData(), H(c.lineData));
  EXPECT_EQ(rig.line.TakeLineData(), QByteArray());
  EXPECT_EQ(rig.line.LineDataCount(), c.lineDataCount);
}

INSTANTIATE_TEST_SUITE_P(LinePort, Assembly, ::testing::ValuesIn(kAssemblyCases));

TEST(LinePort, LineDataNobodyTakesStaysBounded) {
  LinkRig rig;
  rig.Start();
  for (int i = 0; i < 5000; ++i) rig.AnswerByte(static_cast<uint8_t>(i % 0xF0));
  EXPECT_EQ(rig.line.LineDataCount(), 5000);
  const QByteArray kept = rig.line.TakeLineData();
  EXPECT_LE(kept.size(), 4096);
  EXPECT_GE(kept.size(), 3072);
  EXPECT_EQ(static_cast<uint8_t>(kept.back()), 4999 % 0xF0);
}

TEST(LinePort, IdleFlaggedBytesNeverDeliverData) {
  LinkRig rig;
  std::vector<QByteArray> got;
  rig.line.SendMessage({}, [&](const QByteArray& m) { got.push_back(m); });
  rig.Start();
  for (int b : {0x40, 0x60, 0x6F, 0x4F, 0x70}) rig.Answer(static_cast<uint8_t>(b));
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(rig.line.LineDataCount(), 0);
  // A reply in progress survives a line time-out (its faked reset byte).
  rig.AnswerByte(0xF2);
  rig.AnswerByte(0x55);
  rig.clock.Advance(2000);
  ASSERT_EQ(rig.line.TimeoutCount(), 1);
  EXPECT_EQ(rig.line.PartialMessage(), H("F2 55"));
  rig.AnswerByte(0x12);
  EXPECT_EQ(got, Requests{H("F2 55 12")});
  EXPECT_EQ(rig.line.LineDataCount(), 0);
}

// A half-received reply never survives a port change, a given-up request
// (the queue's time-out) or the reopening of a vanished device: its remaining
// bytes cannot complete it, and the next reply is assembled on its own.
struct CutCase {
  const char* name;
  std::function<void(LinkRig&)> cut;
};

void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

class CutReply : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutReply, IsDiscarded) {
  LinkRig rig;
  std::vector<QByteArray> got;
  rig.line.SendMessage({}, [&](const QByteArray& m) { got.push_back(m); });
  rig.Start();
  for (char c : H(kFullReply).left(5)) rig.AnswerByte(static_cast<uint8_t>(c));
  ASSERT_EQ(rig.line.PartialMessage(), H(kFullReply).left(5));
  GetParam().cut(rig);
  EXPECT_TRUE(rig.line.PartialMessage().isEmpty());
  // Nothing but the reset request goes out until the controller answers it.
  EXPECT_EQ(rig.Answer(0x2F), H("F0"));
  rig.Answer(0xF0);
  // The rest of the cut reply is no reply (its bytes are below 0xF0).
  for (char c : H(kFullReply).mid(5)) rig.AnswerByte(static_cast<uint8_t>(c));
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(rig.line.TakeLineData(), H(kFullReply).mid(5));
  for (char c : H("F4 01 02 03 04")) rig.AnswerByte(static_cast<uint8_t>(c));
  EXPECT_EQ(got, Requests{H("F4 01 02 03 04")});
}

const CutCase kCutCases[] = {
    {"port change",
     [](LinkRig& rig) {
       rig.line.Init401();
       rig.line.LineStart();
       rig.line.Restart();
       rig.Written();
     }},
    {"given-up request", [](LinkRig& rig) { rig.line.AbortExchange(); }},
    {"vanished device reopened",
     [](LinkRig& rig) {
       rig.toolEnd.Vanish();
       rig.toolEnd.Reappear();
       rig.clock.Advance(250);
       rig.Written();
     }},
};

INSTANTIATE_TEST_SUITE_P(LinePort, CutReply, ::testing::ValuesIn(kCutCases));

TEST(LinePort, StoppedLineNeitherCountsNorAnswers) {
  LinkRig rig;
  rig.Start();
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
  // The next click starts it again with the reset request.
  rig.port.Link().OnLampClick();
  EXPECT_FALSE(rig.line.LineStopped());
  EXPECT_TRUE(rig.line.LineTimerActive());
  EXPECT_EQ(rig.Written(), H("F0"));
}

TEST(LinePort, CountersAndPortLabel) {
  LinkRig rig;
  QStringList labels;
  rig.line.OnPortLabel = [&](const QString& t) { labels << t; };
  rig.Start();
  rig.Answer(0x40);
  rig.Answer(0x40);
  EXPECT_EQ(rig.line.SendCount(), 4);
  EXPECT_EQ(rig.line.ReadCount(), 3);
  // Several bytes in one receive event are one turn: only the last counts.
  rig.ctlEnd.Write(H("0F 40 40"));
  rig.toolEnd.Pump();
  EXPECT_EQ(rig.line.ReadCount(), 4);
  EXPECT_EQ(rig.line.SendCount(), 5);
  EXPECT_EQ(rig.port.BytesWaiting(), 0);
  rig.toolEnd.SetOpenError(u"busy"_s);
  rig.line.LineStart();
  EXPECT_EQ(labels, QStringList({u"COM1/19200/8N1"_s, u"ERROR"_s}));
}

TEST(LinePort, RingHoldsAThousandBytesAndWraps) {
  LinkRig rig;
  QByteArray first;
  for (int i = 0; i < 1005; ++i) first.append(static_cast<char>(i * 7));
  rig.Start();
  rig.line.SendMessage(first, nullptr);
  EXPECT_EQ(rig.line.State().count, 1000);
  QByteArray wire = rig.Written();
  for (int i = 0; i < 2001; ++i) wire += rig.Answer(0x40);
  EXPECT_EQ(ulvtest::Assemble(wire), first.left(1000));
  // The second batch runs across the end of the ring.
  QByteArray second;
  for (int i = 0; i < 700; ++i) second.append(static_cast<char>(255 - i));
  rig.line.SendMessage(second, nullptr);
  wire.clear();
  for (int i = 0; i < 1401; ++i) wire += rig.Answer(0x40);
  EXPECT_EQ(ulvtest::Assemble(wire), second);
  EXPECT_EQ(rig.line.State().count, 0);
}

}  // namespace
}  // namespace ulv::test
