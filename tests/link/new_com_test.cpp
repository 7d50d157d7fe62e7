// The framed transport at byte level: frames built, partner frames found in
// whatever the line delivers, every exchange ended.
#include <gtest/gtest.h>

#include <vector>

#include "common/log_hooks.h"
#include "common/virtual_clock.h"
#include "link/com_port.h"
#include "link/memory_line.h"
#include "link/new_com.h"

using namespace Qt::StringLiterals;

namespace ulv::test {
namespace {

QByteArray Hex(const char* hex) { return QByteArray::fromHex(hex); }

struct FrameRig {
  VirtualClock clock;
  LogHooks logs;
  MemoryLine tool;
  MemoryLine partner;
  ComPort port{tool, logs, clock, clock};
  TNewCom com{port, clock};
  std::vector<QByteArray> replies;
  std::vector<QByteArray> errors;
  QStringList log;

  FrameRig() {
    MemoryLine::Connect(tool, partner);
    tool.SetDelivery(MemoryLine::Delivery::Immediate);
    partner.Open(u"partner"_s, nullptr);
    port.OpenDevice(u"mem:tool"_s, 1);
    com.OnError = [this](const QByteArray& t) { errors.push_back(t); };
    com.OnLog = [this](const QString& l) { log << l; };
  }
  QByteArray Heard() { return partner.Read(partner.BytesAvailable()); }
  void Say(const QByteArray& bytes) { partner.Write(bytes); }
  // A request up to the point where the partner starts its reply frame.
  void RequestUntilReply(const QByteArray& message) {
    com.SendRequest(message, [this](const QByteArray& r) { replies.push_back(r); });
    Heard();
    Say(Hex("06"));
    Heard();
    Say(Hex("06"));
    clock.Advance(50);
    Say(Hex("01"));
  }
};

TEST(NewCom, FramesOnTheWire) {
  EXPECT_EQ(TNewCom::BuildFrame(Hex("F101")), Hex("0628FFFFF1011D"));
  EXPECT_EQ(TNewCom::NotifyFrame(), Hex("030C0513"));
  EXPECT_EQ(TNewCom::NameRequestFrame(), Hex("0428FF90BA"));
  const struct {
    QByteArray payload;
    QByteArray data;
    bool error;
  } rows[] = {
      {Hex("28FFFFF10177"), Hex("F101"), false},
      {Hex("28FFFF77"), {}, false},
      {Hex("28FFFF"), {}, false},
      {Hex("28FF"), {}, true},
      {{}, {}, true},
      {"<ERROR> NC/TIME.OUT 5000", "<ERROR> NC/TIME.OUT 5000", true},
      {Hex("28FF91414200AA"), Hex("28FF91414200AA"), true},
  };
  for (const auto& r : rows) {
    bool error = !r.error;
    EXPECT_EQ(TNewCom::ParseReply(r.payload, &error), r.data) << r.payload.toHex().constData();
    EXPECT_EQ(error, r.error) << r.payload.toHex().constData();
  }
}

// The request goes out as SOH, then the frame after the partner's ACK; the
// reply frame is found behind garbage, across chunks, with any CHK, and a
// frame too short for data gives empty data.
TEST(NewCom, ReplyFramesAreFoundHoweverTheyArrive) {
  const struct {
    const char* name;
    std::vector<QByteArray> chunks;
    QByteArray reply;
    int errors;
    bool checkNoted;
  } rows[] = {
      {"whole", {Hex("020628FFFFF1011D")}, Hex("F101"), 0, false},
      {"garbage first", {Hex("33440206"), Hex("28FFFFF1011D")}, Hex("F101"), 0, false},
      {"split", {Hex("0206"), Hex("28"), Hex("FFFF"), Hex("F1"), Hex("011D")}, Hex("F101"), 0, false},
      {"wrong CHK", {Hex("020628FFFFF10177")}, Hex("F101"), 0, true},
      {"LEN 4", {Hex("020428FFFF29")}, {}, 0, false},
      {"LEN 3", {Hex("020328FFFF")}, {}, 0, true},
      {"LEN 2", {Hex("020228FFFF")}, {}, 1, true},
      {"LEN 0", {Hex("020028FFFF")}, {}, 1, false},
  };
  for (const auto& r : rows) {
    FrameRig rig;
    rig.com.SendRequest(Hex("F101"), [&rig](const QByteArray& x) { rig.replies.push_back(x); });
    EXPECT_EQ(rig.Heard(), Hex("01")) << r.name;
    rig.Say(Hex("06"));
    EXPECT_EQ(rig.Heard(), Hex("020628FFFFF1011D")) << r.name;
    rig.Say(Hex("06"));
    rig.clock.Advance(50);
    rig.Say(Hex("01"));
    EXPECT_EQ(rig.Heard(), Hex("06")) << r.name;
    for (const QByteArray& c : r.chunks) rig.Say(c);
    EXPECT_EQ(rig.Heard(), Hex("06")) << r.name;
    EXPECT_EQ(rig.replies, std::vector<QByteArray>{r.reply}) << r.name;
    EXPECT_EQ(static_cast<int>(rig.errors.size()), r.errors) << r.name;
    EXPECT_EQ(!rig.log.filter(u"CHK "_s).isEmpty(), r.checkNoted) << r.name;
    EXPECT_EQ(rig.com.State(), TNewCom::Idle) << r.name;
    EXPECT_FALSE(rig.com.ReplyTimerActive()) << r.name;
    rig.clock.Advance(10000);
    EXPECT_EQ(rig.replies.size(), 1u) << r.name;
  }
}

TEST(NewCom, RefusalsAndRepeats) {
  FrameRig rig;
  std::vector<QByteArray> sent;
  ASSERT_TRUE(rig.com.SendFrameWithReturn(TNewCom::NotifyFrame(), [&](const QByteArray& t) { sent.push_back(t); }));
  // A second exchange is refused and leaves the first one's completion alone.
  EXPECT_FALSE(rig.com.SendFrameWithReturn(TNewCom::NotifyFrame(), [&](const QByteArray&) { sent.push_back("2"); }));
  rig.replies.clear();
  EXPECT_FALSE(rig.com.SendRequest(Hex("F101"), [&](const QByteArray& r) { rig.replies.push_back(r); }));
  EXPECT_EQ(rig.replies, std::vector<QByteArray>{"<ERROR> NC/STATUS"});
  EXPECT_EQ(rig.Heard(), Hex("01"));
  // NAK after SOH: SOH again after the back-off; NAK after the frame: SOH at once.
  rig.Say(Hex("15"));
  rig.clock.Advance(199);
  EXPECT_TRUE(rig.Heard().isEmpty());
  rig.clock.Advance(1);
  EXPECT_EQ(rig.Heard(), Hex("01"));
  rig.Say(Hex("06"));
  EXPECT_EQ(rig.Heard(), Hex("02030C0513"));
  rig.Say(Hex("15"));
  EXPECT_EQ(rig.Heard(), Hex("01"));
  EXPECT_TRUE(rig.log.contains(u"Fehler <NAK> : senden wiederholen"_s));
  rig.Say(Hex("06"));
  EXPECT_EQ(rig.Heard(), Hex("02030C0513"));
  rig.Say(Hex("06"));
  EXPECT_EQ(sent, std::vector<QByteArray>{"return with no answer"});
  // An unexpected byte after SOH is refused with NAK.
  ASSERT_TRUE(rig.com.SendFrame(TNewCom::NotifyFrame(), nullptr));
  rig.Heard();
  rig.Say(Hex("41"));
  EXPECT_EQ(rig.Heard(), Hex("15"));
  EXPECT_EQ(rig.com.State(), TNewCom::Idle);
  // While a request waits for its reply another request or frame is
  // refused, and the first still gets its answer once.
  rig.com.ResetProtocol();
  rig.replies.clear();
  rig.RequestUntilReply(Hex("F101"));
  EXPECT_FALSE(rig.com.SendRequest(Hex("F15B"), [&](const QByteArray& r) { sent.push_back(r); }));
  EXPECT_FALSE(rig.com.SendFrameWithReturn(TNewCom::NotifyFrame(), [&](const QByteArray& t) { sent.push_back(t); }));
  rig.clock.Advance(TNewCom::kReplyBoundMs);
  EXPECT_EQ(rig.replies, std::vector<QByteArray>{"<ERROR> NC/TIME.OUT 5000"});
  // So is a request while a frame's return is awaited after its SOH met a
  // stray byte.
  ASSERT_TRUE(rig.com.SendFrameWithReturn(TNewCom::NotifyFrame(), [&](const QByteArray& t) { sent.push_back(t); }));
  rig.Say(Hex("41"));
  EXPECT_FALSE(rig.com.SendRequest(Hex("F101"), [&](const QByteArray& r) { rig.replies.push_back(r); }));
  // And while an acknowledged frame waits for the partner's answering frame.
  rig.com.ResetProtocol();
  ASSERT_TRUE(rig.com.SendFrame(TNewCom::NotifyFrame(), [&](const QByteArray& p) { sent.push_back(p); }));
  rig.Say(Hex("06"));
  rig.Say(Hex("06"));
  EXPECT_FALSE(rig.com.SendFrame(TNewCom::NotifyFrame(), nullptr));
  EXPECT_FALSE(rig.com.SendRequest(Hex("F101"), [&](const QByteArray& r) { rig.replies.push_back(r); }));
  rig.Say(Hex("01"));
  rig.Say(Hex("020628FFFFF1011D"));
  EXPECT_EQ(sent.back(), Hex("28FFFFF1011D"));
  EXPECT_TRUE(rig.com.SendFrame(TNewCom::NotifyFrame(), nullptr));
}

// No exchange outlives the reply bound; a partner frame that never ends is
// refused by its gap time-out or by its size.
TEST(NewCom, EveryExchangeEnds) {
  {
    FrameRig rig;
    ASSERT_TRUE(rig.com.SendFrame(TNewCom::NameRequestFrame(), [&](const QByteArray&) { ADD_FAILURE(); }));
    rig.com.SetMatchHeader(TNewCom::PartnerReplyHeader());
    rig.clock.Advance(TNewCom::kReplyBoundMs);
    EXPECT_EQ(rig.errors, std::vector<QByteArray>{"<ERROR> NC/TIME.OUT 5000"});
    EXPECT_EQ(rig.com.MatchHeader(), TNewCom::RequestHeader());
    EXPECT_FALSE(rig.com.OwnsReceiveHook());
    EXPECT_EQ(rig.com.State(), TNewCom::Idle);
  }
  {
    FrameRig rig;
    rig.RequestUntilReply(Hex("F101"));
    rig.clock.Advance(TNewCom::kReplyBoundMs);
    EXPECT_EQ(rig.replies, std::vector<QByteArray>{"<ERROR> NC/TIME.OUT 5000"});
    EXPECT_EQ(rig.errors, std::vector<QByteArray>{"NEWCOM_TO_QEL Error"});
  }
  {
    FrameRig rig;
    rig.RequestUntilReply(Hex("F101"));
    rig.Heard();
    rig.Say(Hex("0206"));
    rig.clock.Advance(1000);
    EXPECT_EQ(rig.Heard(), Hex("15"));
    EXPECT_EQ(rig.com.State(), TNewCom::Idle);
  }
  {
    FrameRig rig;
    rig.RequestUntilReply(Hex("F101"));
    rig.Heard();
    for (int i = 0; i < 40; ++i) rig.Say(QByteArray(10, '\x02'));
    EXPECT_EQ(rig.Heard(), Hex("15"));
    EXPECT_LE(rig.com.RxFrame().size(), TNewCom::kMaxRxFrame);
  }
}

// A reset clears only the protocol's own receive hook.
TEST(NewCom, ResetLeavesAnotherLayersHook) {
  FrameRig rig;
  int other = 0;
  rig.port.ReceiveHook = [&](int) { ++other; };
  rig.com.ResetProtocol();
  ASSERT_TRUE(rig.port.ReceiveHook);
  ASSERT_TRUE(rig.com.SendFrame(TNewCom::NotifyFrame(), nullptr));
  EXPECT_TRUE(rig.com.OwnsReceiveHook());
  rig.com.ResetProtocol();
  EXPECT_FALSE(rig.port.ReceiveHook);
}

}  // namespace
}  // namespace ulv::test
