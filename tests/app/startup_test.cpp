// Start-up, the main window's toolbar, menus and status bar, the COM port
// choice with its delayed identity read, and the end of the program.
#include <QAction>
#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QFontInfo>
#include <QLabel>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <set>

#include "app_rig.h"

namespace ulv::test {
namespace {

class StartupTest : public AppRig {};

// The buttons every configuration shows.
const std::set<QString> kAlwaysShown = {u"SpeedButton2"_s, u"SpeedButton1"_s, u"SpeedButton3"_s};

std::set<QString> VisibleButtons(TForm3& f) {
  std::set<QString> shown;
  for (const char* name : {"SpeedButton2", "DataButton", "ErrorButton", "RecordButton", "HKFWButton",
                           "DebugButton", "SpeedButton1", "QelButton", "SendButton", "SpeedButton3"}) {
    QAction* a = f.ToolAction(name);
    auto* b = f.ToolBar1->findChild<QToolButton*>(QLatin1String(name));
    if (!a || !b) {
      ADD_FAILURE() << "missing " << name;
      continue;
    }
    if (a->isVisible()) shown.insert(QLatin1String(name));
    // The button on screen agrees at once, before any event-loop pass.
    EXPECT_EQ(b->isVisible(), a->isVisible()) << name;
  }
  return shown;
}

TEST_F(StartupTest, WithoutConfigurationFileStartsOnDefaults) {
  Start();
  EXPECT_FALSE(ctx->config.IsOpen());
  EXPECT_TRUE(Form3().isVisible());
  EXPECT_EQ(VisibleButtons(Form3()), kAlwaysShown);
  EXPECT_EQ(Form3().ComPortNumber, 1);
  EXPECT_TRUE(infoMessages.isEmpty());
  // Nothing to see but the main window's own picture.
  EXPECT_EQ(Form3().Panel1->FrontWindow(), nullptr);
  // The opening at start-up is not reported, so no identity read follows.
  EXPECT_EQ(Form3().PanelText(1), u"   seriell"_s);
  EXPECT_TRUE(Form3().PanelText(3).startsWith(u"   14.03.26 10:00:00"_s)) << qPrintable(Form3().PanelText(3));
  EXPECT_FALSE(Form3().Timer1->IsActive());
  EXPECT_EQ(Form3().Link_Led->Color(), clRed);
}

// The lamp sits inside panel 2 and the last panel reaches the bar's right
// edge, also after the window changed size.
TEST_F(StartupTest, LampAndLastPanelFollowTheStatusBar) {
  Start();
  QStatusBar* bar = Form3().StatusBar1;
  for (const QSize size : {QSize(), QSize(900, 700)}) {
    if (size.isValid()) Form3().resize(size);
    // A text longer than its panel widens it and moves the later panels.
    if (size.isValid()) Form3().ShowPartner(QString(20, u'W'));
    QCoreApplication::processEvents();
    for (int i = 0, right = -1; i < 5; ++i) {
      const QLabel* panel = bar->findChild<QLabel*>(u"StatusPanel%1"_s.arg(i));
      EXPECT_GE(panel->width(), panel->sizeHint().width()) << i;
      EXPECT_GT(panel->x(), right) << i;
      right = panel->geometry().right();
    }
    EXPECT_EQ(Form3().Link_Led->parentWidget(), bar);
    EXPECT_TRUE(
        bar->findChild<QLabel*>(u"StatusPanel2"_s)->geometry().contains(Form3().Link_Led->geometry()));
    EXPECT_EQ(bar->findChild<QLabel*>(u"StatusPanel4"_s)->geometry().right(), bar->width() - 1);
  }
}

TEST_F(StartupTest, WithConfigurationFileUsesItsPortDevicesAndHelp) {
  WriteIni(
      "[files]\r\nhelpdir=help\r\nhelpfile=ulv.html\r\n[comport]\r\nport=2\r\ncom2=/dev/ttyUSB7\r\n"
      "[enable]\r\nbuttons=1111111\r\n");
  Start();
  EXPECT_TRUE(ctx->config.IsOpen());
  EXPECT_EQ(VisibleButtons(Form3()).size(), 10u);
  // The default edit file is missing: the information box came before the
  // main window existed.
  EXPECT_EQ(infoMessages.size(), 1);

  Menu("HELP1");
  ASSERT_EQ(helpUrls.size(), 1);
  EXPECT_EQ(helpUrls[0].toLocalFile(), QDir(Path(u"help"_s)).filePath(u"ulv.html"_s));
  EXPECT_EQ(helpUrls[0].fragment(), u"Contents"_s);
}

TEST_F(StartupTest, EnableButtonsRule) {
  struct Case {
    const char* ini;  // nullptr: no [enable] section
    std::set<QString> optional;
  };
  const Case cases[] = {
      {"buttons=0000000", {}},
      {nullptr, {}},
      {"buttons=", {}},
      {"buttons=1", {u"QelButton"_s}},
      {"buttons=0000001", {u"DataButton"_s}},
      {"buttons=0101010", {u"DebugButton"_s, u"ErrorButton"_s, u"SendButton"_s}},
      {"buttons=0010100", {u"RecordButton"_s, u"HKFWButton"_s}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini ? c.ini : "missing");
    WriteIni(QByteArray("[id]\r\nuser=x\r\n") + (c.ini ? QByteArray("[enable]\r\n") + c.ini + "\r\n" : ""));
    Start();
    std::set<QString> expected = c.optional;
    expected.insert(kAlwaysShown.begin(), kAlwaysShown.end());
    EXPECT_EQ(VisibleButtons(Form3()), expected);
    Stop();
  }
}

// The ticked item of the COM menu: the configured port's, the simulator's,
// or none for a port the menu does not list. Only --simulate starts the
// simulator; a configured port 0 is just a COM number.
TEST_F(StartupTest, StartUpPortTicksItsMenuItem) {
  struct Case {
    const char* ini;
    bool simulate;
    int ticked;  // COM item 1..4, 0 none, -1 the simulator
    const char* device;
    int port;
  };
  const Case cases[] = {
      {"", false, 1, "/dev/ttyS0", 1},
      {"[comport]\r\nport=2\r\ncom2=/dev/ttyUSB7\r\n", false, 2, "/dev/ttyUSB7", 2},
      {"[comport]\r\nport=7\r\ncom7=/dev/ttyACM0\r\n", false, 0, "/dev/ttyACM0", 7},
      {"[comport]\r\nport=$0\r\ncom0=/dev/ttyACM0\r\n", false, 0, "/dev/ttyACM0", 0},
      {"", true, -1, "/dev/pts/sim-test", AppUnits::kSimulatorPort},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ini << c.simulate);
    WriteIni(c.ini);
    simulatorStarts = 0;
    Start(c.simulate);
    for (int tag = 1; tag <= 4; ++tag) EXPECT_EQ(Form3().ComItem(tag)->isChecked(), tag == c.ticked) << tag;
    EXPECT_EQ(Form3().SimulatorItem()->isChecked(), c.ticked == -1);
    EXPECT_EQ(simulatorStarts, c.simulate ? 1 : 0);
    EXPECT_EQ(line.Device(), QString::fromLatin1(c.device));
    EXPECT_EQ(Form3().ComPortNumber, c.port);
    Stop();
  }
}

TEST_F(StartupTest, ComMenuTicksOneItem) {
  Start();
  for (int tag : {2, 4, 3, 1}) {
    Form3().ComItem(tag)->trigger();
    for (int other = 1; other <= 4; ++other)
      EXPECT_EQ(Form3().ComItem(other)->isChecked(), other == tag) << tag;
    EXPECT_FALSE(Form3().SimulatorItem()->isChecked());
    EXPECT_EQ(line.Device(), u"/dev/ttyS%1"_s.arg(tag - 1));
  }
  // Choosing the ticked item again keeps it ticked.
  Form3().ComItem(1)->trigger();
  EXPECT_TRUE(Form3().ComItem(1)->isChecked());
  // The simulator item opens the simulator's device and unticks the rest.
  Form3().SimulatorItem()->trigger();
  EXPECT_TRUE(Form3().SimulatorItem()->isChecked());
  EXPECT_EQ(simulatorStarts, 1);
  EXPECT_EQ(line.Device(), u"/dev/pts/sim-test"_s);
  for (int tag = 1; tag <= 4; ++tag) EXPECT_FALSE(Form3().ComItem(tag)->isChecked()) << tag;
  Form3().ComItem(3)->trigger();
  EXPECT_FALSE(Form3().SimulatorItem()->isChecked());
}

// --read-errors reads at the first link-up only, not when the link returns.
TEST_F(StartupTest, ReadErrorsReadsOnceAtTheFirstLinkUp) {
  Start();
  windows->ReadErrorsWhenLinked();
  int reads = 0;
  units->errorReader.OnReadEnded = [&reads](ErrorLogReader::ReadOutcome) { ++reads; };
  for (bool silent : {false, true, false}) {
    controller->Controller().SetFaults(SimFaults{.silent = silent});
    for (int i = 0; i < 80; ++i, QCoreApplication::processEvents()) Run(100);
  }
  EXPECT_TRUE(units->port.Link().IsLinked() && reads == 1) << reads;
}

// The controller starts the exchange after 2 s of silence; a port choice
// reports the partner and reads the plant one second later.
TEST_F(StartupTest, LinkUpThenPortChoiceReadsThePlantOneSecondLater) {
  Start();
  Run(1999);
  EXPECT_EQ(Form3().Link_Led->Color(), clRed);
  Run(50);
  EXPECT_EQ(Form3().Link_Led->Color(), clGreen);
  ASSERT_TRUE(units->port.Link().IsLinked());
  // No port report at start-up, so no identity read either.
  EXPECT_EQ(Form3().PanelText(4), u"  nicht verbunden"_s);
  EXPECT_EQ(controller->Plant().RequestCount(), 0);
  Form3().ComItem(2)->trigger();
  EXPECT_EQ(Form3().PanelText(1), u"   COM2/19200/8N1"_s);
  EXPECT_TRUE(Form3().Timer1->IsActive());
  Run(999);
  EXPECT_TRUE(Form3().Timer1->IsActive());
  EXPECT_FALSE(units->identity.IsReading());
  Run(2);
  EXPECT_FALSE(Form3().Timer1->IsActive());
  EXPECT_TRUE(units->identity.IsReading());
  // The reopened port waits for the controller's next byte to go on.
  Run(2500);
  EXPECT_FALSE(Form3().Timer1->IsActive());
  EXPECT_GE(controller->Plant().RequestCount(), 1);
  EXPECT_EQ(Form3().PanelText(4), u"  verbunden mit AUFZUG. 3"_s);
  // A lost link shows "not linked" and keeps the port report.
  controller->Controller().SetFaults(SimFaults{.silent = true});
  Run(3000);
  EXPECT_EQ(Form3().PanelText(4), u"  nicht verbunden"_s);
  EXPECT_EQ(Form3().PanelText(1), u"   COM2/19200/8N1"_s);
  EXPECT_EQ(Form3().Link_Led->Color(), clRed);
}

// A port choice starts the exchange afresh: neither the old line's 401 state
// nor a half-received reply is carried over to the new port.
TEST_F(StartupTest, PortChoiceStartsTheExchangeAfresh) {
  Start();
  Run(2100);
  units->queue.AddTransfer(H("F1 01"), 16, nullptr);
  for (int ms = 0; ms < 500 && units->linePort.PartialMessage().isEmpty(); ++ms) Run(1);
  ASSERT_FALSE(units->linePort.PartialMessage().isEmpty());
  ASSERT_TRUE(units->linePort.State().lineOk);
  Form3().ComItem(2)->trigger();
  EXPECT_TRUE(units->linePort.PartialMessage().isEmpty());
  EXPECT_FALSE(units->linePort.State().lineOk);
  EXPECT_EQ(units->linePort.State().count, 0);
}

TEST_F(StartupTest, WhileLinkDownPortChoiceAndSendTimeSendNothing) {
  Start();
  Form3().ComItem(1)->trigger();
  Menu("SendTime1");
  Run(1100);
  EXPECT_FALSE(Form3().Timer1->IsActive());
  EXPECT_EQ(Form3().Label3->text(), u"."_s);
  Run(3000);
  EXPECT_EQ(controller->Plant().RequestCount(), 0);
  EXPECT_EQ(Form3().PanelText(4), u"  nicht verbunden"_s);
}

TEST_F(StartupTest, SendTimeSendsTheClockAndShowsDateSend) {
  Start();
  Run(2100);
  clock.SetDateTime(QDateTime(QDate(2026, 3, 14), QTime(23, 59, 58)));
  Menu("SendTime1");
  Run(200);
  EXPECT_EQ(Form3().Label3->text(), u"date.send"_s);
  EXPECT_EQ(controller->Plant().TimeValue(), 43199);  // the clock's time, not the start time
}

TEST_F(StartupTest, LinkButtonStopsAndRestartsTheLine) {
  Start();
  Run(2100);
  ASSERT_TRUE(units->port.Link().IsLinked());
  Form3().ToolAction("SpeedButton3")->trigger();
  EXPECT_FALSE(units->port.Link().IsLinked());
  EXPECT_TRUE(units->linePort.LineStopped());
  Run(3000);
  EXPECT_EQ(Form3().Link_Led->Color(), clRed);
  Form3().ToolAction("SpeedButton3")->trigger();
  Run(50);
  EXPECT_EQ(Form3().Link_Led->Color(), clGreen);
}

TEST_F(StartupTest, CloseAndBeendenEndTheProgram) {
  Start();
  Menu("Beenden1");
  EXPECT_EQ(endRequests, 1);
  Form3().show();
  Form3().close();
  EXPECT_EQ(endRequests, 2);
}

TEST_F(StartupTest, ToolWindowsEmbedAndUncoverWhatLiesBelow) {
  WriteIni("[enable]\r\nbuttons=1111111\r\n");
  Start();
  TClientPanel* panel = Form3().Panel1;
  Menu("IniFile1");
  EXPECT_EQ(panel->FrontWindow(), windows->ini_form);
  Form3().ToolAction("QelButton")->trigger();
  EXPECT_EQ(panel->FrontWindow(), windows->Qel_Form);
  EXPECT_EQ(windows->Qel_Form->geometry(), panel->rect());
  Form3().ToolAction("ErrorButton")->trigger();
  EXPECT_EQ(panel->FrontWindow(), windows->Form4);
  // Hiding the front window uncovers the one below, down to the picture.
  windows->Form4->hide();
  EXPECT_EQ(panel->FrontWindow(), windows->Qel_Form);
  Click(windows->Qel_Form, "CloseButton");
  EXPECT_EQ(panel->FrontWindow(), windows->ini_form);
  windows->ini_form->hide();
  EXPECT_EQ(panel->FrontWindow(), nullptr);
  // The two top-level windows stay out of the panel.
  Form3().ToolAction("SendButton")->trigger();
  EXPECT_TRUE(windows->Send->isVisible());
  EXPECT_TRUE(windows->Send->isWindow());
  EXPECT_TRUE(windows->MyComPort->isWindow());
  EXPECT_EQ(panel->FrontWindow(), nullptr);
  // Every window that lists text in columns uses a fixed-pitch font.
  for (QWidget* w : std::initializer_list<QWidget*>{windows->Form4, windows->NamenForm, windows->Files,
                                                    windows->ini_form, windows->MyComPort}) {
    for (QAbstractScrollArea* list : w->findChildren<QAbstractScrollArea*>())
      EXPECT_TRUE(QFontInfo(list->font()).fixedPitch()) << qPrintable(w->objectName());
  }
  // The menus reach both as well, whatever [enable] shows.
  windows->Send->hide();
  for (const char* item : {"ComWindow1", "SendMonitor1", "SysVar1", "Dump1"}) Menu(item);
  EXPECT_TRUE(windows->Send->isVisible() && windows->MyComPort->isVisible());
  EXPECT_TRUE(windows->Form8->isVisible());
  EXPECT_EQ(panel->FrontWindow(), windows->Form5);
}

}  // namespace
}  // namespace ulv::test
