// Modem sessions end to end in virtual time: the tool's modem link, framed
// transport and queue against the simulated modem and its framed partner.
#include <gtest/gtest.h>

#include <optional>

#include "common/log_hooks.h"
#include "common/virtual_clock.h"
#include "link/com_port.h"
#include "link/line_port.h"
#include "link/memory_line.h"
#include "link/modem_link.h"
#include "link/new_com.h"
#include "link/transfer_queue.h"
#include "support/sim_modem_end.h"

using namespace Qt::StringLiterals;

namespace ulv::test {
namespace {

const QByteArray kVersion = QByteArray::fromHex("F101");

struct SessionRig {
  VirtualClock clock;
  LogHooks logs;
  MemoryLine toolEnd;
  MemoryLine ctlEnd;
  ComPort port{toolEnd, logs, clock, clock};
  LinePort line{port, clock};
  TNewCom com{port, clock};
  TransferQueue queue{port.Link(), line, logs, clock, clock};
  ModemLink modem{port, toolEnd, com, line, queue, logs, clock};
  SimModemEnd sim;
  QString failure;
  QString ended;
  std::optional<QString> partner;

  explicit SessionRig(SimModemOptions options = {})
      : sim(ctlEnd, toolEnd, clock, DefaultScenario(), std::move(options)) {
    toolEnd.SetDelivery(MemoryLine::Delivery::Immediate);
    port.DeviceForCom = [](int) { return u"mem:modem"_s; };
    line.ComPortNumber = [] { return 1; };
    queue.SetFramedTransport(&com);
    queue.SetTransport(false);
    modem.ReadConfig = [](const QString&, const QString& key, const QString& def) {
      return key == u"askmodem"_s ? u"ATI0"_s : def;
    };
    modem.OnSessionEnded = [this](const QString& why) { ended = why; };
  }
  bool Dial() {
    return modem.Dial(
        u"0815"_s, [this](const QString& name) { partner = name; },
        [this](const QString& text) { failure = text; });
  }
  // Whether the line is back in the line port's hands, stopped.
  bool BackToStoppedLinePort() const {
    return queue.Mode() == 2 && !port.Link().IsLinked() && !port.ReceiveHook && !line.LineTimerActive() &&
           !port.DataMode() && com.State() == TNewCom::Idle;
  }
};

TEST(ModemSession, DialSyncNameRequestCarrierLossAndLampRestart) {
  SessionRig rig;
  QString tested;
  rig.modem.Test([&](const QString& text) { tested = text; });
  rig.clock.Advance(5000);
  EXPECT_EQ(tested, u"COM1/19200/8N1/MODEM"_s);
  EXPECT_EQ(rig.modem.ModemId(), u"56000"_s);

  ASSERT_TRUE(rig.Dial());
  rig.clock.Advance(3000);
  ASSERT_TRUE(rig.modem.Synchronised());
  EXPECT_EQ(rig.partner, std::optional<QString>(u"ULV4711"_s));
  EXPECT_EQ(rig.queue.Mode(), 1);
  EXPECT_TRUE(rig.port.Link().IsLinked());
  EXPECT_EQ(rig.com.MatchHeader(), TNewCom::RequestHeader());

  std::vector<QByteArray> got;
  ASSERT_TRUE(rig.queue.AddTransfer(kVersion, 16, [&](const QByteArray& r) { got.push_back(r); }));
  rig.clock.Advance(1000);
  PlantModel plant;
  EXPECT_EQ(got, std::vector<QByteArray>{*plant.Answer(kVersion)});

  // Carrier lost with a request on the line: its handler gets the substitute
  // once, and the line goes back to the stopped line port.
  SimPartnerFaults drop;
  drop.dropCarrierIn = SimModemPhase::Request;
  rig.sim.Modem().SetFaults(drop);
  ASSERT_TRUE(rig.queue.AddTransfer(kVersion, 16, [&](const QByteArray& r) { got.push_back(r); }));
  rig.clock.Advance(ModemLink::kCarrierWatchMs + 100);
  EXPECT_EQ(rig.ended, u"carrier lost"_s);
  EXPECT_EQ(got.size(), 2u);
  EXPECT_EQ(got.back(), QByteArray(16, '\0'));
  EXPECT_TRUE(rig.BackToStoppedLinePort());
  rig.clock.Advance(20000);
  EXPECT_EQ(got.size(), 2u);

  rig.port.Link().OnLampClick();
  EXPECT_TRUE(rig.line.LineTimerActive());
  EXPECT_TRUE(rig.line.OwnsReceiveHook());
}

TEST(ModemSession, FailuresEndTheSessionInEveryPhase) {
  const auto dial = [](SimDialResult result) {
    SimModemOptions o;
    o.dialResult = result;
    return o;
  };
  SimModemOptions silent;
  silent.faults.silent = true;
  SimModemOptions ackEveryByte;
  ackEveryByte.faults.ackEveryByte = true;
  const struct {
    const char* name;
    SimModemOptions options;
    int hangUpAfterMs;  // < 0: no hang-up
    const char* ended;
  } rows[] = {
      {"busy", dial(SimDialResult::Busy), -1, "connect failed"},
      {"no carrier", dial(SimDialResult::NoCarrier), -1, "connect failed"},
      {"no dialtone", dial(SimDialResult::NoDialtone), -1, "connect failed"},
      {"silence", dial(SimDialResult::Silence), -1, "connect failed"},
      {"sync never answered", silent, -1, "sync failed"},
      {"partner answers every byte", ackEveryByte, -1, "sync failed"},
      {"hang-up while dialling", {}, 100, "hang-up"},
      {"hang-up while synchronising", {}, 520, "hang-up"},
      {"hang-up in the session", {}, 3000, "hang-up"},
  };
  for (const auto& r : rows) {
    SessionRig rig(r.options);
    ASSERT_TRUE(rig.Dial()) << r.name;
    if (r.hangUpAfterMs >= 0) {
      rig.clock.Advance(r.hangUpAfterMs);
      rig.modem.HangUp();
    }
    rig.clock.Advance(HayesModem::kDialTimeoutSec * 1000 + 10000);
    EXPECT_EQ(rig.ended, QLatin1String(r.ended)) << r.name;
    EXPECT_TRUE(rig.BackToStoppedLinePort()) << r.name;
    EXPECT_FALSE(rig.modem.SessionActive()) << r.name;
    EXPECT_EQ(rig.sim.Modem().CurrentState(), SimModem::State::Command) << r.name;
    EXPECT_TRUE(rig.toolEnd.Dtr()) << r.name;
  }
}

// A partner that never names itself still gets the session: after the name
// exchange's time-out the queue runs over frames with the request header.
TEST(ModemSession, IgnoredNameRequestStillCarriesRequests) {
  SimModemOptions options;
  options.faults.ignoreName = true;
  SessionRig rig(options);
  ASSERT_TRUE(rig.Dial());
  rig.clock.Advance(3000);
  EXPECT_EQ(rig.queue.Mode(), 2);
  rig.clock.Advance(TNewCom::kReplyBoundMs);
  EXPECT_EQ(rig.queue.Mode(), 1);
  EXPECT_EQ(rig.com.MatchHeader(), TNewCom::RequestHeader());
  std::vector<QByteArray> got;
  ASSERT_TRUE(rig.queue.AddTransfer(kVersion, 16, [&](const QByteArray& r) { got.push_back(r); }));
  rig.clock.Advance(1000);
  EXPECT_EQ(got, std::vector<QByteArray>{*PlantModel().Answer(kVersion)});
}

}  // namespace
}  // namespace ulv::test

namespace ulv::test {
namespace {

// The dial button's guards and countdown, and the lamp taking the line back
// from a standing session.
TEST(ModemSession, DialButtonAndLamp) {
  {
    SessionRig rig;
    rig.port.ClosePort();
    EXPECT_FALSE(rig.modem.DialTest(u"0815"_s));
    EXPECT_EQ(rig.port.Message(), u"WAHL-FEHLER"_s);
    EXPECT_EQ(rig.modem.Countdown(), 0);
  }
  {
    SimModemOptions silence;
    silence.dialResult = SimDialResult::Silence;
    SessionRig rig(silence);
    ASSERT_TRUE(rig.modem.DialTest(u"0815"_s));
    rig.clock.Advance(10000);
    EXPECT_EQ(rig.modem.DialStatus(), u"noch 35 sec"_s);
    rig.clock.Advance(60000);
    EXPECT_GE(rig.modem.Countdown(), 0);
    EXPECT_EQ(rig.modem.DialStatus(), u"Modem Connect Fehler"_s);
    EXPECT_EQ(rig.ended, u"connect failed"_s);
  }
  // The lamp and a COM menu choice end the session alike.
  for (const bool menu : {false, true}) {
    // Without echo: the line port restarted on a modem in command state
    // would otherwise answer its own echoes forever.
    SessionRig rig;
    rig.modem.SendEchoOff();
    rig.clock.Advance(100);
    ASSERT_TRUE(rig.Dial());
    rig.clock.Advance(3000);
    ASSERT_EQ(rig.queue.Mode(), 1);
    if (menu) {
      rig.modem.GiveBackLine([&rig] { rig.queue.SetTransport(false); });
    } else {
      rig.port.Link().OnLampClick();
    }
    EXPECT_EQ(rig.ended, u"line restarted"_s) << menu;
    EXPECT_EQ(rig.queue.Mode(), 2) << menu;
    EXPECT_FALSE(rig.line.LineTimerActive()) << menu;
    rig.clock.Advance(HayesModem::kHangUpDtrLowMs);
    EXPECT_EQ(rig.sim.Modem().CurrentState(), SimModem::State::Command) << menu;
    // The menu reopens the port for a line port that stays stopped until a
    // lamp click, as after any stop.
    EXPECT_TRUE(rig.line.OwnsReceiveHook()) << menu;
    EXPECT_EQ(rig.line.LineTimerActive(), !menu);
  }
}

}  // namespace
}  // namespace ulv::test
