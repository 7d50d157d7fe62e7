// The link's windows: the lamp, the serial port window with its trace and
// test buttons, the line window and the transfer monitor, bound to the
// program's units on an in-memory line.
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include "app_rig.h"

namespace ulv::test {
namespace {

class LinkWindowsTest : public AppRig {
protected:
  QByteArray Heard() { return controller->End().Read(4096); }
};

TEST(LinkPanelTest, ColourFiresOnLinkAndPaints) {
  struct Case {
    uint32_t color;
    bool linked;
    QColor painted;
  };
  const Case cases[] = {
      {0x008000, true, QColor(0, 128, 0)},     // clGreen
      {0x0000FF, false, QColor(255, 0, 0)},    // clRed
      {0x00FFFF, false, QColor(255, 255, 0)},  // clYellow
      {0x00FF00, false, QColor(0, 255, 0)},    // clLime is not green
  };
  TLinkPanel lamp;
  EXPECT_EQ(lamp.Color(), clRed);
  std::vector<std::pair<LinkLamp*, bool>> events;
  lamp.OnLink = [&events](LinkLamp* sender, bool linked) { events.emplace_back(sender, linked); };
  for (const Case& c : cases) {
    events.clear();
    lamp.SetColor(c.color);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].first, &lamp);
    EXPECT_EQ(events[0].second, c.linked) << std::hex << c.color;
    EXPECT_EQ(QColor(lamp.grab().toImage().pixel(8, 8)), c.painted) << std::hex << c.color;
  }
  int clicks = 0;
  lamp.OnClickHook = [&clicks] { ++clicks; };
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(8, 8), QPointF(8, 8), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(8, 8), QPointF(8, 8), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(&lamp, &press);
  QCoreApplication::sendEvent(&lamp, &release);
  EXPECT_EQ(clicks, 1);
}

TEST_F(LinkWindowsTest, SerialWindowShowsThePortState) {
  Start();
  TMyComPort* w = windows->MyComPort;
  EXPECT_TRUE(w->isWindow());
  const auto& lamps = units->port.Link().Lamps();
  EXPECT_NE(std::find(lamps.begin(), lamps.end(), w->link_led), lamps.end());
  EXPECT_EQ(Find<QGroupBox>(w, "GroupBox1")->title(), u"PORT OPEN"_s);
  EXPECT_EQ(Find<QLabel>(w, "COMname")->text(), u"COM1"_s);
  EXPECT_EQ(Find<QLabel>(w, "ComPortLabel")->text(), u"COM1/19200/8N1"_s);
  EXPECT_EQ(Find<TLinkPanel>(w, "ComOpenPanel")->Color(), clGreen);
  Click(w, "CloseButton");
  EXPECT_EQ(Find<QGroupBox>(w, "GroupBox1")->title(), u"PORT CLOSED"_s);
  EXPECT_EQ(Find<TLinkPanel>(w, "ComOpenPanel")->Color(), clRed);
  EXPECT_EQ(Form3().PanelText(1), u"   CLOSED"_s);
  Click(w, "Com2Button");
  EXPECT_EQ(Find<QGroupBox>(w, "GroupBox1")->title(), u"PORT OPEN"_s);
  EXPECT_EQ(line.Device(), u"/dev/ttyS1"_s);
  EXPECT_EQ(Find<QLabel>(w, "ComPortLabel")->text(), u"COM2/19200/8N1"_s);
  // Its lamp follows the link.
  Run(2100);
  EXPECT_EQ(w->link_led->Color(), clGreen);
}

TEST_F(LinkWindowsTest, TestButtonsPutTheirBytesOnTheLine) {
  Start();
  TMyComPort* w = windows->MyComPort;
  int inputs = 0;
  QString answer = u"ATZ"_s;
  w->InputBox = [&](const QString& caption, const QString&, QString* text) {
    ++inputs;
    EXPECT_EQ(caption, u"TEST STRING"_s);
    EXPECT_EQ(*text, u"AT"_s);
    if (answer.isEmpty()) return false;
    *text = answer;
    return true;
  };
  struct Case {
    const char* button;
    QByteArray bytes;
  };
  const Case cases[] = {
      {"ATButton", "AT\r"},        {"SOHButton", QByteArray(1, '\x01')},
      {"EchoOffButton", "ATE0\r"}, {"InpBoxButton", "ATZ\r"},
      {"ATSButton", "ATS0?\r"},    {"ATSButton", "ATS1?\r"},
      {"IdentButton", "ATI0\r"},   {"IdentButton", "ATI1\r"},
  };
  for (const Case& c : cases) {
    Click(w, c.button);
    EXPECT_EQ(Heard(), c.bytes) << c.button;
  }
  EXPECT_EQ(Find<QPushButton>(w, "ATSButton")->text(), u"ATS2?"_s);
  // The counters wrap: ATS after 20, ATI after 10.
  for (int n = 2; n <= 20; ++n) Click(w, "ATSButton");
  EXPECT_TRUE(Heard().endsWith("ATS20?\r"));
  Click(w, "ATSButton");
  EXPECT_EQ(Heard(), QByteArray("ATS0?\r"));
  for (int n = 2; n <= 10; ++n) Click(w, "IdentButton");
  EXPECT_TRUE(Heard().endsWith("ATI10\r"));
  Click(w, "IdentButton");
  EXPECT_EQ(Heard(), QByteArray("ATI0\r"));
  // A cancelled input box sends nothing.
  answer.clear();
  Click(w, "InpBoxButton");
  EXPECT_EQ(inputs, 2);
  EXPECT_TRUE(Heard().isEmpty());
}

// The hidden serial window takes no trace lines; shown, it gets the latest
// ones the port kept, then a batch per tick.
TEST_F(LinkWindowsTest, TraceReachesTheMemoOnlyWhileShown) {
  Start();
  TMyComPort* w = windows->MyComPort;
  TraceView* memo = w->Memo();
  const int n = 3 * TMyComPort::kTraceLines;
  for (int i = 0; i < n; ++i) units->port.SendByte(static_cast<uint8_t>('A' + i % 26));
  clock.Advance(TMyComPort::kLightsMs);
  EXPECT_EQ(memo->LineCount(), 0);
  w->show();
  EXPECT_EQ(memo->LineCount(), TMyComPort::kTraceLines);
  EXPECT_TRUE(memo->Text().endsWith(u" > "_s + QLatin1Char(static_cast<char>('A' + (n - 1) % 26))));
  units->port.SendByte('z');
  EXPECT_FALSE(memo->Text().endsWith(u" > z"_s));
  clock.Advance(TMyComPort::kLightsMs);
  EXPECT_TRUE(memo->Text().endsWith(u" > z"_s));
  Click(w, "ClearButton");
  EXPECT_EQ(memo->LineCount(), 0);
}

TEST_F(LinkWindowsTest, StatusLightsFollowTheLine) {
  Start();
  TMyComPort* w = windows->MyComPort;
  auto colour = [&](const char* name) { return Find<TLinkPanel>(w, name)->Color(); };
  const uint32_t lime = 0x00FF00;
  const uint32_t maroon = 0x000080;
  line.SetLines(ModemLines{.dcd = true, .dsr = true, .ring = false, .cts = true});
  units->port.SendByte(0x41);
  w->UpdateLights();
  EXPECT_EQ(colour("TxdLight"), lime);
  EXPECT_EQ(colour("RxdLight"), maroon);
  EXPECT_EQ(colour("DcdLight"), lime);
  EXPECT_EQ(colour("DsrLight"), lime);
  EXPECT_EQ(colour("RingLight"), maroon);
  // No traffic since the last look: TxD goes dark again.
  w->UpdateLights();
  EXPECT_EQ(colour("TxdLight"), maroon);
  line.SetLines(ModemLines{});
  w->UpdateLights();
  EXPECT_EQ(colour("DcdLight"), maroon);
}

TEST_F(LinkWindowsTest, LocalTakesTheInputFromTheLinePort) {
  Start();
  TMyComPort* w = windows->MyComPort;
  Run(2100);
  ASSERT_TRUE(units->port.Link().IsLinked());
  Click(w, "LocalButton");
  EXPECT_TRUE(w->LocalMode());
  // The line port lets go of the line as a lamp click stops it.
  EXPECT_FALSE(units->linePort.LineTimerActive());
  EXPECT_FALSE(units->port.Link().IsLinked());
  const int reads = units->linePort.ReadCount();
  controller->End().Write("OK\r");
  line.Pump();
  EXPECT_EQ(units->port.LastModemLine(), u"OK"_s);
  Click(w, "LocalButton");
  EXPECT_FALSE(w->LocalMode());
  controller->End().Write(QByteArray(1, '\x40'));
  line.Pump();
  EXPECT_EQ(units->linePort.ReadCount(), reads);
  // The lamp gives the line back to the line port.
  units->port.Link().OnLampClick();
  Run(2100);
  EXPECT_TRUE(units->port.Link().IsLinked());
}

TEST_F(LinkWindowsTest, LineWindowRequestsAndCounters) {
  Start();
  TQel_Form* w = windows->Qel_Form;
  for (const char* name : {"RestartButton", "UlvResetButton", "F100Button", "GruppeButton"})
    EXPECT_FALSE(Find<QPushButton>(w, name)->isEnabled()) << name;
  EXPECT_FALSE(Find<QPushButton>(w, "SysModButton")->isEnabled());
  Run(2100);
  EXPECT_EQ(w->link_led->Color(), clGreen);
  EXPECT_EQ(Find<TLinkPanel>(w, "qel_line_led")->Color(), clGreen);
  // The counters are shown at most every kCountersMs, not per byte.
  clock.Advance(TQel_Form::kCountersMs);
  const QString shown = Find<QLineEdit>(w, "Send")->text();
  Run(10);
  EXPECT_EQ(Find<QLineEdit>(w, "Send")->text(), shown);
  clock.Advance(TQel_Form::kCountersMs);
  EXPECT_EQ(Find<QLineEdit>(w, "Send")->text(), QString::number(units->linePort.SendCount()));
  EXPECT_EQ(Find<QLineEdit>(w, "Read")->text(), QString::number(units->linePort.ReadCount()));
  EXPECT_GT(units->linePort.ReadCount(), 50);

  Click(w, "EnableButton");
  EXPECT_TRUE(Find<QPushButton>(w, "GruppeButton")->isEnabled());
  Click(w, "F100Button");
  Run(100);
  EXPECT_EQ(controller->Plant().LastRequest(), QByteArray("\xF1\x00", 2));
  EXPECT_EQ(Find<QLineEdit>(w, "inqueue")->text(), u"F101"_s);
  Click(w, "GruppeButton");
  Run(100);
  EXPECT_EQ(controller->Plant().LastRequest(), QByteArray("\xC1\x00", 2));
  Click(w, "F101Button");
  Run(200);
  EXPECT_EQ(Find<QLineEdit>(w, "Message")->text(), u"ULV 4.21 250311"_s);
  Find<QSpinBox>(w, "SpinEdit1")->setValue(3500);
  EXPECT_EQ(units->linePort.LineTimeout(), 3500);
}

// The sync lamp of the line window turns green for the test reply F1 01 only.
TEST_F(LinkWindowsTest, SyncLampOnlyForTheReplyF101) {
  StartUnits(line);
  const std::pair<QByteArray, uint32_t> cases[] = {
      {H("F1 01"), clGreen}, {H("F1 00"), clRed}, {H("F2 01"), clRed}};
  for (const auto& [reply, lamp] : cases) {
    FakeTransfers transfers;
    TQel_Form w(units->linePort, transfers, units->utils, clock);
    Click(&w, "EnableButton");
    Click(&w, "F100Button");
    transfers.Reply(reply);
    EXPECT_EQ(Find<TLinkPanel>(&w, "sync_led")->Color(), lamp) << reply.toHex().constData();
  }
}

TEST_F(LinkWindowsTest, LineWindowTimeoutCounter) {
  Start();
  TQel_Form* w = windows->Qel_Form;
  Run(2100);
  controller->Controller().SetFaults(SimFaults{.silent = true});
  Run(2000 + 500 + 10);
  clock.Advance(TQel_Form::kCountersMs);
  EXPECT_EQ(Find<QLineEdit>(w, "Edit2")->text(), u"2"_s);
  EXPECT_EQ(w->link_led->Color(), clRed);
}

// The transfer monitor's controls set the queue; the local report makes the
// window taller.
TEST_F(LinkWindowsTest, TransferMonitorSettings) {
  Start();
  TSend* w = windows->Send;
  w->show();
  Find<QSpinBox>(w, "UpDown1")->setValue(3000);
  EXPECT_EQ(units->queue.Timeout(), 3000);
  EXPECT_EQ(Find<QLabel>(w, "Interval")->text(), u"3000"_s);
  Find<QSpinBox>(w, "UpDown2")->setValue(120);
  EXPECT_EQ(units->queue.DelayInterval(), 120);
  EXPECT_EQ(Find<QLabel>(w, "Label9")->text(), u"120"_s);
  const int height = w->height();
  QCheckBox* report = Find<QCheckBox>(w, "ReportCheckBox");
  report->setChecked(true);
  EXPECT_GT(w->height(), height);
  EXPECT_TRUE(units->queue.ReportLocal());
  report->setChecked(false);
  EXPECT_EQ(w->height(), height);
  QPushButton* so = Find<QPushButton>(w, "SOTimeOutButton");
  so->click();
  EXPECT_TRUE(units->queue.SendOnTimeout());
  so->click();
  EXPECT_FALSE(units->queue.SendOnTimeout());
}

TEST_F(LinkWindowsTest, TransferMonitorShowsQueueAndLocalReport) {
  Start();
  TSend* w = windows->Send;
  Run(2100);
  Find<QCheckBox>(w, "ReportCheckBox")->setChecked(true);
  // "Fill" queues F3 01 02 03, which the controller does not answer.
  Click(w, "FillButton");
  Click(w, "FillButton");
  EXPECT_EQ(Find<QLabel>(w, "CountLabel")->text(), u"2"_s);
  EXPECT_EQ(Find<QProgressBar>(w, "Gauge1")->value(), 2);
  EXPECT_TRUE(Find<QPushButton>(w, "SOTimeOutButton")->isChecked());
  EXPECT_TRUE(Find<QLineEdit>(w, "ReportOut")->text().endsWith(u" >> F3010203"_s))
      << qPrintable(Find<QLineEdit>(w, "ReportOut")->text());
  Click(w, "LeerenButton");
  EXPECT_EQ(Find<QLabel>(w, "CountLabel")->text(), u"0"_s);
  // A request with its reply: both lines reach the memo in one batch.
  units->queue.AddTransfer(QByteArray("\xF1\x00", 2), 2, nullptr);
  Run(100);
  EXPECT_TRUE(Find<QLineEdit>(w, "ReportIn")->text().endsWith(u" << F101"_s))
      << qPrintable(Find<QLineEdit>(w, "ReportIn")->text());
  const QString memo = w->Memo()->toPlainText();
  EXPECT_TRUE(memo.contains(u" >> F100"_s)) << qPrintable(memo);
  EXPECT_TRUE(memo.contains(u" << F101"_s)) << qPrintable(memo);
  Click(w, "ClearButton");
  EXPECT_TRUE(w->Memo()->toPlainText().isEmpty());
}

// COM / "Verbindung prüfen": while the program has the port open, its own
// line state is the live check (no second open of the device).
TEST_F(LinkWindowsTest, ConnectionDoctorTakesTheProgramsOwnLine) {
  Start();
  Run(2100);
  const struct {
    bool stop;
    const char* says;
  } cases[] = {{false, "this program's line is up"}, {true, "this program has the port open, but"}};
  for (const auto& c : cases) {
    if (c.stop) units->port.Link().OnLampClick();
    Menu("Doctor1");
    auto* form = Form3().findChild<TDoctorForm*>();
    ASSERT_NE(form, nullptr);
    EXPECT_FALSE(form->IsChecking());
    EXPECT_TRUE(form->Memo1->toPlainText().contains(QLatin1String(c.says))) << qPrintable(form->Memo1->toPlainText());
    delete form;
  }
}

}  // namespace
}  // namespace ulv::test
