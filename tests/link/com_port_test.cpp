#include <gtest/gtest.h>

#include "link_rig.h"

namespace ulv::test {
namespace {

struct PortRig {
  VirtualClock clock;
  LogHooks logs;
  MemoryLine toolEnd;
  MemoryLine farEnd;
  ComPort port{toolEnd, logs, clock, clock};
  QStringList trace;
  QStringList logLines;
  QStringList partner;
  int stateChanges = 0;

  PortRig() {
    MemoryLine::Connect(toolEnd, farEnd);
    farEnd.Open(QStringLiteral("far"), nullptr);
    port.DeviceForCom = [](int n) { return QStringLiteral("mem:com%1").arg(n); };
    port.OnTraceLine = [this](const QString& l) { trace << l; };
    port.OnPortStateChanged = [this] { ++stateChanges; };
    port.SetPartnerHook([this](const QString& t) { partner << t; });
    logs.WriteLogHook = [this](const QString& l) { logLines << l; };
    clock.Advance(1234);  // 10:00:01.234 -> 36001234 ms since midnight
  }
};

TEST(ComPort, OpenPortResolvesTheDeviceAndReports) {
  PortRig rig;
  ASSERT_TRUE(rig.port.OpenPort(2));
  EXPECT_EQ(rig.toolEnd.Device(), QStringLiteral("mem:com2"));
  EXPECT_TRUE(rig.toolEnd.Dtr());
  EXPECT_EQ(rig.trace, QStringList({"36001234 > myport: open", "36001234 > myport: open"}));
  EXPECT_EQ(rig.port.PortDescription(), QStringLiteral("COM2/19200/8N1"));
  EXPECT_EQ(rig.partner, QStringList({"COM2/19200/8N1"}));
  EXPECT_EQ(rig.port.PortStateText(), QStringLiteral("PORT OPEN"));
  EXPECT_EQ(rig.port.ComNumber(), 2);
  EXPECT_FALSE(rig.port.PortBlocked());
  EXPECT_GE(rig.stateChanges, 1);
  // Report flag 9 off: nothing in the main log.
  EXPECT_TRUE(rig.logLines.isEmpty());
}

TEST(ComPort, FailedOpenGivesFalseAndNoPartnerReport) {
  PortRig rig;
  rig.toolEnd.SetOpenError(QStringLiteral("/dev/ttyS0 is busy"));
  EXPECT_FALSE(rig.port.OpenPort(1));
  EXPECT_EQ(rig.port.LastError(), QStringLiteral("/dev/ttyS0 is busy"));
  EXPECT_TRUE(rig.partner.isEmpty());
  EXPECT_EQ(rig.port.PortStateText(), QStringLiteral("PORT CLOSED"));
  EXPECT_EQ(rig.trace, QStringList({"36001234 > myport: open"}));
}

TEST(ComPort, ClosePortBlocksTheLine) {
  PortRig rig;
  rig.logs.SetReports(QStringLiteral("0001"));
  ASSERT_TRUE(rig.port.OpenDevice(QStringLiteral("/dev/pts/7"), 3));
  EXPECT_EQ(rig.port.PortDescription(), QStringLiteral("COM3/19200/8N1"));
  EXPECT_TRUE(rig.port.ClosePort());
  EXPECT_EQ(rig.logLines, QStringList({"myport: closing", "myport: closed"}));
  EXPECT_EQ(rig.partner, QStringList({"COM3/19200/8N1", "CLOSED"}));
  EXPECT_EQ(rig.port.PortStateText(), QStringLiteral("PORT CLOSED"));
  EXPECT_TRUE(rig.port.PortBlocked());
  EXPECT_TRUE(rig.port.CanClose());
  rig.trace.clear();
  rig.port.SendByte(0x40);
  EXPECT_FALSE(rig.port.SendString("AT\r"));
  EXPECT_EQ(rig.port.ReadByte(), 0);
  EXPECT_TRUE(rig.trace.isEmpty());
  EXPECT_EQ(rig.farEnd.BytesAvailable(), 0);
}

struct TraceCase {
  const char* name;
  bool dataMode;
  bool sent;
  QByteArray bytes;
  const char* line;
};

const TraceCase kTraceCases[] = {
    {"control byte trimmed away", false, true, Bytes({0x05}), "36001234 > "},
    {"idle nibble byte", false, true, Bytes({0x40}), "36001234 > @"},
    {"reset byte", false, true, Bytes({0xF0}), "36001234 > ~F0~"},
    {"trimmed, inner bytes escaped", false, true,
     QByteArray(" A\x01"
                "B\x7F\x80\r\n"),
     "36001234 > A~01~B\x7F~80~"},
    {"received", false, false, QByteArray("OK"), "36001234 < OK"},
    {"data mode shows hex", true, true, Bytes({0x41, 0x05}), "36001234 > 4105   A"},
    {"data mode keeps a lone control byte", true, false, Bytes({0x05}), "36001234 < 05   "},
    {"data mode escapes", true, true, Bytes({0x02, 0x06, 0x28, 0xFF}), "36001234 > 020628FF   (~FF~"},
};

class TraceFormat : public ::testing::TestWithParam<TraceCase> {};

TEST_P(TraceFormat, OneLinePerCall) {
  const TraceCase& c = GetParam();
  PortRig rig;
  rig.logs.SetReports(QStringLiteral("0000000001"));
  ASSERT_TRUE(rig.port.OpenPort(1));
  rig.port.SetDataMode(c.dataMode);
  rig.trace.clear();
  rig.logLines.clear();
  if (c.sent) {
    if (c.bytes.size() == 1) {
      rig.port.SendByte(static_cast<uint8_t>(c.bytes[0]));
    } else {
      ASSERT_TRUE(rig.port.SendString(c.bytes));
    }
    EXPECT_EQ(rig.farEnd.Read(100), c.bytes);
  } else {
    rig.farEnd.Write(c.bytes);
    EXPECT_EQ(rig.port.ReadString(static_cast<int>(c.bytes.size())), c.bytes);
  }
  const QString want = QString::fromLatin1(c.line);
  EXPECT_EQ(rig.trace, QStringList({want})) << c.name;
  EXPECT_EQ(rig.logLines, QStringList({want})) << c.name;
}

INSTANTIATE_TEST_SUITE_P(ComPort, TraceFormat, ::testing::ValuesIn(kTraceCases));

TEST(ComPort, ReadByteTracesEachByteAndReportsPlainLines) {
  PortRig rig;
  ASSERT_TRUE(rig.port.OpenPort(1));
  rig.trace.clear();
  rig.farEnd.Write(Bytes({0x2F, 0x40}));
  EXPECT_EQ(rig.port.ReadByte(), 0x2F);
  EXPECT_EQ(rig.port.ReadByte(), 0x40);
  EXPECT_EQ(rig.port.ReadByte(), 0);
  rig.port.PortReport(QStringLiteral("start-sync"));
  EXPECT_EQ(rig.trace, QStringList({"36001234 < /", "36001234 < @", "start-sync"}));
}

// What the modem-line assembly reports, in order.
QStringList ModemEvents(const QByteArray& stream, bool byteAtATime, bool dataMode) {
  PortRig rig;
  QStringList events;
  rig.port.OnMessage = [&](const QString& t) { events << "msg:" + t; };
  rig.port.OnConnectText = [&](const QString& t) { events << "connect:" + t; };
  rig.port.OnModemOk = [&] { events << "ok"; };
  rig.port.SetDataMode(dataMode);
  rig.toolEnd.SetDelivery(MemoryLine::Delivery::Immediate);
  rig.port.OpenPort(1);
  rig.trace.clear();
  if (byteAtATime) {
    for (char c : stream) rig.farEnd.Write(QByteArray(1, c));
  } else {
    rig.farEnd.Write(stream);
  }
  for (const QString& l : rig.trace) events << "trace:" + l;
  events << "last:" + rig.port.LastModemLine();
  return events;
}

TEST(ComPort, ModemLinesAreTheSameByteAtATimeAndInBulk) {
  const QByteArray stream(
      "\r\nOK\r\n\r\nCONNECT 19200\r\nRI"
      "NG\x01\r\nATI\xE4\r\nOK\r\nNO CAR");
  const QStringList want = {
      "ok",
      "connect:CONNECT 19200",
      "msg:CONNECT 19200",
      "msg:RING$01",
      "msg:ATI$E4",
      "ok",
      "trace:36001234 < OK",
      "trace:36001234 < CONNECT 19200",
      "trace:36001234 < RING$01",
      "trace:36001234 < ATI$E4",
      "trace:36001234 < OK",
      "last:OK",
  };
  EXPECT_EQ(ModemEvents(stream, false, false), want);
  EXPECT_EQ(ModemEvents(stream, true, false), want);
}

TEST(ComPort, DataModeMakesEveryByteALine) {
  // CR and LF never join a line; every other byte is a line of its own,
  // traced in the long form.
  const QStringList want = {"msg:A", "msg:$7B", "trace:36001234 < 41   A", "trace:36001234 < 243742   $7B",
                            "last:$7B"};
  EXPECT_EQ(ModemEvents(QByteArray("A\r\n{"), false, true), want);
  EXPECT_EQ(ModemEvents(QByteArray("A\r\n{"), true, true), want);
}

TEST(ComPort, ReceiveHookTakesTheInput) {
  PortRig rig;
  std::vector<int> counts;
  QStringList messages;
  rig.port.OnMessage = [&](const QString& t) { messages << t; };
  rig.port.ReceiveHook = [&](int n) {
    counts.push_back(n);
    rig.port.ReadString(n);
  };
  rig.port.OpenPort(1);
  rig.farEnd.Write("OK\r");
  rig.toolEnd.Pump();
  EXPECT_EQ(counts, std::vector<int>({3}));
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_TRUE(rig.port.LastModemLine().isEmpty());
}

TEST(ComPort, LampClickGoesToLineToggleHookWithPortState) {
  PortRig rig;
  LinkLampModel lamp;
  rig.port.Link().RegisterLinkLed(&lamp);
  std::vector<bool> clicks;
  lamp.Click();  // no hook yet: nothing
  rig.port.LineToggleHook = [&](bool open) { clicks.push_back(open); };
  lamp.Click();
  rig.port.OpenPort(1);
  lamp.Click();
  EXPECT_EQ(clicks, std::vector<bool>({false, true}));
}

TEST(ComPort, VanishedDeviceClosesOnceAndReopensWithBackOff) {
  LinkRig rig;
  QStringList partner;
  QStringList trace;
  LinkLampModel lamp;
  rig.port.Link().RegisterLinkLed(&lamp);
  rig.port.SetPartnerHook([&](const QString& t) { partner << t; });
  rig.port.OnTraceLine = [&](const QString& l) { trace << l; };
  rig.line.LineToggle(false);
  rig.ctl.Plant = [](const QByteArray&) { return QByteArray(); };
  rig.Run(5);
  ASSERT_TRUE(rig.port.Link().IsLinked());
  partner.clear();
  trace.clear();

  rig.toolEnd.Vanish(QStringLiteral("read error"));
  EXPECT_FALSE(rig.port.Link().IsLinked());
  EXPECT_EQ(lamp.Color(), clRed);
  EXPECT_EQ(rig.port.PortStateText(), QStringLiteral("PORT CLOSED"));
  EXPECT_EQ(partner, QStringList({"CLOSED"}));
  ASSERT_EQ(trace.size(), 1);
  EXPECT_TRUE(trace[0].contains(QStringLiteral("mem:com1"))) << trace[0].toStdString();
  // A second error report of the same loss changes nothing.
  rig.toolEnd.OnLost(QStringLiteral("write error"));
  EXPECT_EQ(partner.size(), 1);
  EXPECT_EQ(trace.size(), 1);

  // Quiet attempts after 250, 500, 1000, 2000, 2000 ms.
  const int delays[] = {250, 500, 1000, 2000, 2000};
  int attempts = rig.toolEnd.OpenAttempts();
  for (int d : delays) {
    EXPECT_EQ(rig.port.ReopenDelayMs(), d);
    rig.clock.Advance(d - 1);
    EXPECT_EQ(rig.toolEnd.OpenAttempts(), attempts);
    rig.clock.Advance(1);
    EXPECT_EQ(rig.toolEnd.OpenAttempts(), ++attempts);
  }
  EXPECT_EQ(partner.size(), 1);
  EXPECT_EQ(trace.size(), 1) << trace.join('|').toStdString();

  // The device returns: the next attempt opens it, the partner report
  // follows and the line starts again with its first byte.
  rig.toolEnd.Reappear();
  rig.Written();
  rig.clock.Advance(2000);
  EXPECT_EQ(rig.toolEnd.OpenAttempts(), attempts + 1);
  EXPECT_EQ(rig.port.PortStateText(), QStringLiteral("PORT OPEN"));
  EXPECT_EQ(partner, QStringList({"CLOSED", "COM1/19200/8N1"}));
  EXPECT_EQ(rig.toolEnd.Device(), QStringLiteral("mem:com1"));
  EXPECT_EQ(rig.Written(), Bytes({0x40}));
  EXPECT_TRUE(rig.line.LineTimerActive());
  rig.ctlEnd.Write(Bytes({0x40}));
  rig.toolEnd.Pump();
  rig.Run(5);
  EXPECT_TRUE(rig.port.Link().IsLinked());
  EXPECT_EQ(rig.port.ReopenDelayMs(), 0);
}

TEST(ComPort, ClosedPortIsNotReopened) {
  LinkRig rig;
  rig.line.LineToggle(false);
  rig.toolEnd.Vanish();
  ASSERT_EQ(rig.port.ReopenDelayMs(), 250);
  rig.port.ClosePort();
  EXPECT_EQ(rig.port.ReopenDelayMs(), 0);
  const int attempts = rig.toolEnd.OpenAttempts();
  rig.toolEnd.Reappear();
  rig.clock.Advance(10000);
  EXPECT_EQ(rig.toolEnd.OpenAttempts(), attempts);
  EXPECT_FALSE(rig.port.IsOpen());
}

}  // namespace
}  // namespace ulv::test
