// The simulated Hayes modem and the framed partner behind it, in explicit time.
#include "sim/sim_modem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/sim_modem_end.h"

using namespace Qt::StringLiterals;

namespace {

QByteArray H(const char* hex) { return QByteArray::fromHex(hex); }

const QByteArray kNoCarrier = "\r\nNO CARRIER\r\n"_ba;
const QByteArray kOk = "\r\nOK\r\n"_ba;
// Request F1 00 as a frame, and the plant's reply F1 01 as the partner's frame.
const QByteArray kRequest = H("02 06 28 FF FF F1 00 1C");
const QByteArray kReply = H("02 06 28 FF FF F1 01 1D");
const QByteArray kNotify = H("02 03 0C 05 13");
const QByteArray kNameRequest = H("02 04 28 FF 90 BA");

struct Modem {
  explicit Modem(ulv::SimModemOptions o = {}) : modem(plant, std::move(o)) {}
  ulv::PlantModel plant;
  ulv::SimModem modem;
  int64_t now = 0;

  // Feeds the tool's bytes now, then lets ms pass; everything the modem sent.
  QByteArray Step(const QByteArray& tool, int64_t ms) {
    QByteArray out = modem.Feed(tool, now);
    const int64_t end = now + ms;
    for (int guard = 0; guard < 1000; ++guard) {
      const std::optional<int64_t> due = modem.NextDueMs();
      if (!due || *due > end) break;
      now = std::max(now, *due);
      out += modem.Tick(now);
    }
    now = end;
    return out;
  }
  // Echo off, dialled, connected, the tool's data-mode switch sent.
  QByteArray Connect() {
    const QByteArray answers = Step("ATE0\rATDT1\r"_ba, modem.Options().dialDelayMs);
    return answers + Step("AT01\r"_ba, 0);
  }
};

}  // namespace

TEST(SimModem, CommandAnswers) {
  const struct {
    const char* what;
    bool numeric, split;
    QByteArray tool, now, all;
  } cases[] = {
      {"AT echoed", false, false, "AT\r"_ba, "AT\r"_ba + kOk, {}},
      {"echo off, identification", false, false, "ATE0\rATI0\r"_ba, "ATE0\r"_ba + kOk + "\r\n56000\r\n"_ba + kOk, {}},
      {"echo on again", false, false, "ATE0\rATE1\rAT\r"_ba, "ATE0\r"_ba + kOk + kOk + "AT\r"_ba + kOk, {}},
      {"S register set and read", false, false, "ATE0S7=30\rATS7?\r"_ba,
       "ATE0S7=30\r"_ba + kOk + "\r\n030\r\n"_ba + kOk, {}},
      {"unknown commands", false, false, "ATE0\rATY\rATI11\rAT01\r"_ba,
       "ATE0\r"_ba + kOk + "\r\nERROR\r\n\r\nERROR\r\n\r\nERROR\r\n"_ba, {}},
      {"empty line and noise before AT", false, false, "ATE0\r\r\x01X AT\r"_ba, "ATE0\r"_ba + kOk + kOk, {}},
      {"numeric answers", true, false, "ATE0\rATI0\rATV1\r"_ba, "ATE0\r0\r56000\r\n0\r"_ba + kOk, {}},
      {"split answer", false, true, "ATE0\r"_ba, "ATE0\r\r\nO"_ba, "ATE0\r"_ba + kOk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ulv::SimModemOptions o;
    o.numeric = c.numeric;
    o.splitAnswers = c.split;
    Modem m(o);
    const QByteArray now = m.Step(c.tool, 0);
    EXPECT_EQ(now, c.now);
    EXPECT_EQ(now + m.Step({}, 1000), c.all.isEmpty() ? c.now : c.all);
    EXPECT_FALSE(m.modem.Lines().dcd);
    EXPECT_TRUE(m.modem.Lines().dsr);
  }
}

TEST(SimModem, RingLinesWithoutAnswer) {
  ulv::SimModemOptions o;
  o.rings = 2;
  Modem m(o);
  EXPECT_EQ(m.Step({}, o.ringIntervalMs), "\r\nRING\r\n"_ba);
  EXPECT_TRUE(m.modem.Lines().ring);
  EXPECT_EQ(m.Step({}, o.ringIntervalMs - 1), QByteArray());
  EXPECT_FALSE(m.modem.Lines().ring);
  EXPECT_EQ(m.Step({}, 60000), "\r\nRING\r\n"_ba);
  EXPECT_FALSE(m.modem.Lines().dcd);
}

TEST(SimModem, DialOutcomes) {
  const struct {
    ulv::SimDialResult result;
    QByteArray answer;
  } cases[] = {
      {ulv::SimDialResult::Connect, "\r\nCONNECT 9600\r\n"_ba}, {ulv::SimDialResult::Busy, "\r\nBUSY\r\n"_ba},
      {ulv::SimDialResult::NoCarrier, kNoCarrier},              {ulv::SimDialResult::NoDialtone, "\r\nNO DIALTONE\r\n"_ba},
      {ulv::SimDialResult::Silence, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer.constData());
    ulv::SimModemOptions o;
    o.dialResult = c.result;
    Modem m(o);
    m.Step("ATE0\r"_ba, 0);
    EXPECT_EQ(m.Step("ATDT0815\r"_ba, o.dialDelayMs - 1), QByteArray());
    EXPECT_EQ(m.Step({}, 60000), c.answer);
    EXPECT_EQ(m.modem.DialledNumber(), "0815"_ba);
    EXPECT_EQ(m.modem.Lines().dcd, c.result == ulv::SimDialResult::Connect);
  }
  // A CR while dialling cancels the dial; the connection never comes.
  Modem m;
  m.Step("ATE0\rATDT1\r"_ba, 100);
  EXPECT_EQ(m.Step("\r"_ba, 60000), kNoCarrier);
  EXPECT_FALSE(m.modem.Lines().dcd);
  EXPECT_EQ(m.Step("AT\r"_ba, 0), kOk);
}

TEST(SimModem, DtrLowForOneSecondHangsUp) {
  for (const int lowMs : {999, 1000, 1500}) {
    SCOPED_TRACE(lowMs);
    Modem m;
    m.Connect();
    m.modem.SetDtr(false, m.now);
    m.now += lowMs;
    m.modem.SetDtr(true, m.now);
    const bool hangUp = lowMs >= 1000;
    EXPECT_EQ(m.Step({}, 0), hangUp ? kNoCarrier : QByteArray());
    EXPECT_EQ(m.modem.Lines().dcd, !hangUp);
  }
  // Still low when the second is up: the hang-up comes then, not later.
  Modem m;
  m.Connect();
  m.modem.SetDtr(false, m.now);
  EXPECT_EQ(m.Step({}, 999), QByteArray());
  EXPECT_EQ(m.Step({}, 1), kNoCarrier);
  EXPECT_EQ(m.modem.CurrentState(), ulv::SimModem::State::Command);
}

TEST(SimModem, FramedPartner) {
  struct Step {
    QByteArray tool;
    int ms;
    QByteArray expect;
  };
  ulv::SimPartnerFaults none, nak1, nakAll, noAck, wrongChk, len4, len0, split, silent, noName, ackAll, dropSync,
      dropNotify, dropRequest, dropDial, late;
  nak1.nakFirst = 1;
  nakAll.nakAlways = true;
  noAck.noAck = true;
  wrongChk.wrongChk = true;
  len4.frameLen = 4;
  len0.frameLen = 0;
  split.splitChunk = 3;
  split.garbage = H("00 33");
  silent.silent = true;
  noName.ignoreName = true;
  ackAll.ackEveryByte = true;
  dropSync.dropCarrierIn = ulv::SimModemPhase::Sync;
  dropNotify.dropCarrierIn = ulv::SimModemPhase::Notify;
  dropRequest.dropCarrierIn = ulv::SimModemPhase::Request;
  dropDial.dropCarrierIn = ulv::SimModemPhase::Dial;
  late.lateReplies = 1;
  const QByteArray ack = H("06"), soh = H("01"), nak = H("15");
  const QByteArray name = H("02 0C 28 FF 91 55 4C 56 34 37 31 31 00 87");  // "ULV4711"
  const struct {
    const char* what;
    ulv::SimPartnerFaults faults;
    std::vector<Step> steps;
    bool online;
  } cases[] = {
      {"sync byte", none, {{soh, 199, ack}, {{}, 1, H("15 15")}}, true},
      {"notify", none, {{"xyz"_ba + soh, 0, ack}, {"\x33"_ba + kNotify, 1000, ack}}, true},
      {"name", none, {{soh, 0, ack}, {kNameRequest, 20, ack + soh}, {ack, 0, name}, {ack, 2000, {}}}, true},
      {"request", none, {{soh, 0, ack}, {kRequest, 20, ack + soh}, {ack, 0, kReply}, {ack, 2000, {}}}, true},
      {"wrong CHK", none, {{soh, 0, ack}, {H("02 06 28 FF FF F1 00 1D"), 2000, nak}}, true},
      {"absurd LEN", none, {{soh, 0, ack}, {H("02 00"), 0, nak}, {soh, 0, ack}, {H("02 41"), 0, nak}}, true},
      {"incomplete frame", none, {{soh, 0, ack}, {H("02 06 28"), 999, {}}, {{}, 1, nak}}, true},
      {"SOH not answered", none,
       {{soh, 0, ack}, {kRequest, 20, ack + soh}, {{}, 1000, soh}, {{}, 3000, soh + soh + soh}, {{}, 2000, {}}},
       true},
      {"frame refused", none,
       {{soh, 0, ack}, {kRequest, 20, ack + soh}, {ack, 0, kReply}, {nak, 0, soh}, {ack, 0, kReply}, {ack, 0, {}}},
       true},
      {"NAK first", nak1, {{soh, 0, ack}, {kNotify, 0, nak}, {soh, 0, ack}, {kNotify, 0, ack}}, true},
      {"NAK always", nakAll, {{soh, 0, ack}, {kNotify, 0, nak}, {soh, 0, ack}, {kNotify, 0, nak}}, true},
      {"no ACK after sync", noAck, {{soh, 200, H("06 15 15")}, {soh, 200, H("15 15")}}, true},
      {"wrong CHK sent", wrongChk,
       {{soh, 0, ack}, {kRequest, 20, ack + soh}, {ack, 0, H("02 06 28 FF FF F1 01 1E")}}, true},
      {"LEN 4", len4, {{soh, 0, ack}, {kNameRequest, 20, ack + soh}, {ack, 0, H("02 04 28 FF 91 BB")}}, true},
      {"LEN 0", len0, {{soh, 0, ack}, {kNameRequest, 20, ack + soh}, {ack, 0, H("02 00 FF")}}, true},
      {"split frame after garbage", split,
       {{soh, 0, ack},
        {kRequest, 20, ack + soh},
        {ack, 0, H("00 33 02")},
        {{}, 5, H("06 28 FF")},
        {{}, 5, H("FF F1 01")},
        {{}, 5, H("1D")}},
       true},
      {"silent", silent, {{soh + kNotify, 2000, {}}}, true},
      {"name ignored", noName, {{soh, 0, ack}, {kNameRequest, 2000, ack}}, true},
      {"every byte answered", ackAll, {{soh, 0, ack}, {kNotify, 1000, H("06 06 06 06 06")}}, true},
      {"carrier lost at sync", dropSync, {{soh, 0, kNoCarrier}, {"AT\r"_ba, 0, kOk}}, false},
      {"carrier lost at notify", dropNotify, {{soh, 0, ack}, {kNotify, 0, kNoCarrier}}, false},
      {"carrier lost at request", dropRequest, {{soh, 0, ack}, {kNotify, 0, ack}, {soh + kRequest, 0, ack + kNoCarrier}},
       false},
      {"carrier lost after connect", dropDial, {{{}, 99, {}}, {{}, 1, kNoCarrier}}, false},
      {"late reply", late, {{soh, 0, ack}, {kRequest, 5000, ack}, {{}, 1000, soh}}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ulv::SimModemOptions o;
    o.faults = c.faults;
    Modem m(o);
    std::vector<QByteArray> requests;
    m.modem.OnRequest = [&requests](const QByteArray& r) { requests.push_back(r); };
    // (A partner that answers every byte answers the data-mode switch too.)
    ASSERT_TRUE(m.Connect().startsWith("ATE0\r"_ba + kOk + "\r\nCONNECT 9600\r\n"_ba));
    int n = 0;
    for (const Step& s : c.steps) {
      SCOPED_TRACE(n++);
      EXPECT_EQ(m.Step(s.tool, s.ms).toHex(' '), s.expect.toHex(' '));
    }
    EXPECT_EQ(m.modem.Lines().dcd, c.online);
    if (c.steps.size() > 1 && c.steps[1].tool == kRequest) {
      EXPECT_EQ(requests, std::vector{H("F1 00")});
    }
  }
}

// The rig adaptor: the tool's end of an in-memory line sees the modem's
// answers and lines, and its DTR reaches the modem.
TEST(SimModem, RigCarriesBytesAndLines) {
  ulv::VirtualClock clock;
  ulv::MemoryLine tool, ctl;
  ulv::test::SimModemEnd end(ctl, tool, clock);
  ASSERT_TRUE(tool.Open(u"tool"_s, nullptr));
  tool.Write("ATDT1\r"_ba);
  clock.Advance(end.Modem().Options().dialDelayMs);
  EXPECT_EQ(tool.Read(100), "ATDT1\r\r\nCONNECT 9600\r\n"_ba);
  EXPECT_TRUE(tool.Lines().dcd && tool.Lines().dsr);
  tool.Write(H("01") + kRequest);
  clock.Advance(1);
  tool.SetDtr(false);
  clock.Advance(1000);
  EXPECT_EQ(tool.Read(100), H("06 06 01") + kNoCarrier);
  EXPECT_FALSE(tool.Lines().dcd);
  EXPECT_EQ(end.Requests, std::vector{H("F1 00")});
}
