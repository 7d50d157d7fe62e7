#include <gtest/gtest.h>

#include "link_rig.h"

namespace ulv::test {
namespace {

// The link rig with the port's reports collected; the controller's end is
// read and written by hand. The clock stands at 10:00:01.234.
struct PortRig : LinkRig {
  MemoryLine& farEnd = ctlEnd;
  QStringList trace;
  QStringList partner;
  int stateChanges = 0;

  PortRig() {
    port.OnTraceLine = [this](const QString& l) { trace << l; };
    port.OnPortStateChanged = [this] { ++stateChanges; };
    port.SetPartnerHook([this](const QString& t) { partner << t; });
    clock.Advance(1234);
  }
};

TEST(ComPort, OpenPortResolvesTheDeviceAndReports) {
  PortRig rig;
  rig.toolEnd.SetOpenError(u"/dev/ttyS0 is busy"_s);
  EXPECT_FALSE(rig.port.OpenPort(1));
  EXPECT_EQ(rig.port.LastError(), u"/dev/ttyS0 is busy"_s);
  EXPECT_TRUE(rig.partner.isEmpty());  // a failed open has no partner report
  EXPECT_EQ(rig.port.PortStateText(), u"PORT CLOSED"_s);
  EXPECT_EQ(rig.trace, QStringList({"36001234 > myport: open"}));

  rig.toolEnd.SetOpenError(QString());
  rig.trace.clear();
  ASSERT_TRUE(rig.port.OpenPort(2));
  EXPECT_EQ(rig.toolEnd.Device(), u"mem:com2"_s);
  EXPECT_TRUE(rig.toolEnd.Dtr());
  EXPECT_EQ(rig.trace, QStringList({"36001234 > myport: open", "36001234 > myport: open"}));
  EXPECT_EQ(rig.port.PortDescription(), u"COM2/19200/8N1"_s);
  EXPECT_EQ(rig.partner, QStringList({"COM2/19200/8N1"}));
  EXPECT_EQ(rig.port.PortStateText(), u"PORT OPEN"_s);
  EXPECT_EQ(rig.port.ComNumber(), 2);
  EXPECT_FALSE(rig.port.PortBlocked());
  EXPECT_GE(rig.stateChanges, 1);
  EXPECT_TRUE(rig.logLines.isEmpty());  // report flag 9 off: nothing in the main log
}

TEST(ComPort, ClosePortBlocksTheLine) {
  PortRig rig;
  rig.logs.SetReports(u"0001"_s);
  ASSERT_TRUE(rig.port.OpenDevice(u"/dev/pts/7"_s, 3));
  EXPECT_EQ(rig.port.PortDescription(), u"COM3/19200/8N1"_s);
  EXPECT_TRUE(rig.port.ClosePort());
  EXPECT_EQ(rig.logLines, QStringList({"myport: closing", "myport: closed"}));
  EXPECT_EQ(rig.partner, QStringList({"COM3/19200/8N1", "CLOSED"}));
  EXPECT_EQ(rig.port.PortStateText(), u"PORT CLOSED"_s);
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
    {"control byte trimmed away", false, true, "\x05"_ba, "36001234 > "},
    {"idle nibble byte", false, true, "\x40"_ba, "36001234 > @"},
    {"reset byte", false, true, "\xF0"_ba, "36001234 > ~F0~"},
    {"trimmed, inner bytes escaped", false, true,
     " A\x01"
     "B\x7F\x80\r\n"_ba,
     "36001234 > A~01~B\x7F~80~"},
    {"received", false, false, "OK"_ba, "36001234 < OK"},
    {"data mode shows hex", true, true, "\x41\x05"_ba, "36001234 > 4105   A"},
    {"data mode keeps a lone control byte", true, false, "\x05"_ba, "36001234 < 05   "},
    {"data mode escapes", true, true, "\x02\x06\x28\xFF"_ba, "36001234 > 020628FF   (~FF~"},
};

void PrintTo(const TraceCase& c, std::ostream* os) { *os << c.name; }

class TraceFormat : public ::testing::TestWithParam<TraceCase> {};

TEST_P(TraceFormat, OneLinePerCall) {
  const TraceCase& c = GetParam();
  PortRig rig;
  rig.logs.SetReports(u"0000000001"_s);
  ASSERT_TRUE(rig.port.OpenPort(1));
  rig.port.SetDataMode(c.dataMode);
  rig.trace.clear();
  rig.logLines.clear();
  if (c.sent && c.bytes.size() == 1) {
    rig.port.SendByte(static_cast<uint8_t>(c.bytes[0]));
  } else if (c.sent) {
    ASSERT_TRUE(rig.port.SendString(c.bytes));
  } else {
    rig.farEnd.Write(c.bytes);
    EXPECT_EQ(rig.port.ReadString(static_cast<int>(c.bytes.size())), c.bytes);
  }
  EXPECT_EQ(rig.farEnd.Read(100), c.sent ? c.bytes : QByteArray());
  const QString want = QString::fromLatin1(c.line);
  EXPECT_EQ(rig.trace, QStringList({want})) << c.name;
  EXPECT_EQ(rig.logLines, QStringList({want})) << c.name;
  // The kept line, formatted later, reads the same.
  EXPECT_EQ(rig.port.TraceLinesSince(rig.port.TraceCount() - 1), QStringList({want})) << c.name;
}

INSTANTIATE_TEST_SUITE_P(ComPort, TraceFormat, ::testing::ValuesIn(kTraceCases));

TEST(ComPort, ReadByteTracesEachByteAndReportsPlainLines) {
  PortRig rig;
  ASSERT_TRUE(rig.port.OpenPort(1));
  rig.trace.clear();
  rig.farEnd.Write("\x2F\x40"_ba);
  EXPECT_EQ(rig.port.ReadByte(), 0x2F);
  EXPECT_EQ(rig.port.ReadByte(), 0x40);
  EXPECT_EQ(rig.port.ReadByte(), 0);
  rig.port.PortReport(u"start-sync"_s);
  EXPECT_EQ(rig.trace, QStringList({"36001234 < /", "36001234 < @", "start-sync"}));
  EXPECT_EQ(rig.port.TraceLinesSince(rig.port.TraceCount() - 3), rig.trace);
}

// What the modem-line assembly reports, in order; the same whether the bytes
// arrive one at a time or in bulk.
void ExpectModemEvents(const QByteArray& stream, bool dataMode, const QStringList& want) {
  for (bool byteAtATime : {false, true}) {
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
    EXPECT_EQ(events, want) << (byteAtATime ? "byte at a time" : "bulk");
  }
}

TEST(ComPort, ModemLinesAreTheSameByteAtATimeAndInBulk) {
  ExpectModemEvents("\r\nOK\r\n\r\nCONNECT 19200\r\nRING\x01\r\nATI\xE4\r\nOK\r\nNO CAR"_ba, false,
                    {"ok", "connect:CONNECT 19200", "msg:CONNECT 19200", "msg:RING$01", "msg:ATI$E4", "ok",
                     "trace:36001234 < OK", "trace:36001234 < CONNECT 19200", "trace:36001234 < RING$01",
                     "trace:36001234 < ATI$E4", "trace:36001234 < OK", "last:OK"});
  // In data mode CR and LF never join a line; every other byte is a line of
  // its own, traced in the long form.
  ExpectModemEvents(
      "A\r\n{"_ba, true,
      {"msg:A", "msg:$7B", "trace:36001234 < 41   A", "trace:36001234 < 243742   $7B", "last:$7B"});
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
  PortRig rig;
  LinkLampModel lamp;
  rig.port.Link().RegisterLinkLed(&lamp);
  rig.line.LineToggle(false);
  rig.Run(5);
  ASSERT_TRUE(rig.port.Link().IsLinked());
  rig.partner.clear();
  rig.trace.clear();

  rig.toolEnd.Vanish(u"read error"_s);
  EXPECT_FALSE(rig.port.Link().IsLinked());
  EXPECT_EQ(lamp.Color(), clRed);
  EXPECT_EQ(rig.port.PortStateText(), u"PORT CLOSED"_s);
  EXPECT_EQ(rig.partner, QStringList({"CLOSED"}));
  ASSERT_EQ(rig.trace.size(), 1);
  EXPECT_TRUE(rig.trace[0].contains(u"mem:com1"_s)) << rig.trace[0].toStdString();
  // A second error report of the same loss changes nothing.
  rig.toolEnd.OnLost(u"write error"_s);
  EXPECT_EQ(rig.partner.size(), 1);
  EXPECT_EQ(rig.trace.size(), 1);

  // Quiet attempts after 250, 500, 1000, 2000, 2000 ms.
  int attempts = rig.toolEnd.OpenAttempts();
  for (int d : {250, 500, 1000, 2000, 2000}) {
    EXPECT_EQ(rig.port.ReopenDelayMs(), d);
    rig.clock.Advance(d - 1);
    EXPECT_EQ(rig.toolEnd.OpenAttempts(), attempts);
    rig.clock.Advance(1);
    EXPECT_EQ(rig.toolEnd.OpenAttempts(), ++attempts);
  }
  EXPECT_EQ(rig.partner.size(), 1);
  EXPECT_EQ(rig.trace.size(), 1) << rig.trace.join('|').toStdString();

  // The device returns: the next attempt opens it, the partner report
  // follows and the line starts again with its first byte.
  rig.toolEnd.Reappear();
  rig.Written();
  rig.clock.Advance(2000);
  EXPECT_EQ(rig.toolEnd.OpenAttempts(), attempts + 1);
  EXPECT_EQ(rig.port.PortStateText(), u"PORT OPEN"_s);
  EXPECT_EQ(rig.partner, QStringList({"CLOSED", "COM1/19200/8N1"}));
  EXPECT_EQ(rig.toolEnd.Device(), u"mem:com1"_s);
  EXPECT_EQ(rig.Written(), "\xF0"_ba);  // the reset request first
  EXPECT_TRUE(rig.line.LineTimerActive());
  rig.ctlEnd.Write("\xF0"_ba);
  rig.toolEnd.Pump();
  rig.Run(5);
  EXPECT_TRUE(rig.port.Link().IsLinked());
  EXPECT_EQ(rig.port.ReopenDelayMs(), 0);

  // A line the user stopped stays stopped when its device comes back.
  rig.port.Link().OnLampClick();
  rig.toolEnd.Vanish();
  rig.toolEnd.Reappear();
  rig.Written();
  rig.clock.Advance(250);
  EXPECT_TRUE(rig.port.IsOpen());
  EXPECT_TRUE(rig.line.LineStopped());
  EXPECT_EQ(rig.Written(), QByteArray());
  EXPECT_FALSE(rig.line.LineTimerActive());
  rig.port.Link().OnLampClick();
  rig.Run(5);

  // A port closed on purpose while it is gone is not reopened.
  rig.toolEnd.Vanish();
  ASSERT_EQ(rig.port.ReopenDelayMs(), 250);
  rig.port.ClosePort();
  EXPECT_EQ(rig.port.ReopenDelayMs(), 0);
  attempts = rig.toolEnd.OpenAttempts();
  rig.toolEnd.Reappear();
  rig.clock.Advance(10000);
  EXPECT_EQ(rig.toolEnd.OpenAttempts(), attempts);
  EXPECT_FALSE(rig.port.IsOpen());
}

}  // namespace
}  // namespace ulv::test
