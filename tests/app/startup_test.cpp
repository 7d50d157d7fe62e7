// Start-up, the main window's toolbar, menus and status bar, the COM port
// choice with its delayed identity read, and the end of the program.
#include <QAction>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <set>

#include "app_rig.h"

namespace ulv::test {
namespace {

class StartupTest : public AppRig {};

std::set<QString> VisibleButtons(TForm3& f) {
  std::set<QString> shown;
  for (const char* name : {"SpeedButton2", "DataButton", "ErrorButton", "RecordButton", "HKFWButton",
                           "DebugButton", "SpeedButton1", "QelButton", "SendButton", "SpeedButton3"}) {
    QAction* a = f.ToolAction(name);
    EXPECT_NE(a, nullptr) << name;
    if (a && a->isVisible()) shown.insert(QLatin1String(name));
    // The button on screen agrees at once, before any event-loop pass.
    auto* b = f.ToolBar1->findChild<QToolButton*>(QLatin1String(name));
    EXPECT_NE(b, nullptr) << name;
    if (a && b) {
      EXPECT_EQ(b->isVisible(), a->isVisible()) << name;
    }
  }
  return shown;
}

TEST_F(StartupTest, WithoutConfigurationFileStartsOnDefaults) {
  Start();
  EXPECT_FALSE(ctx->config.IsOpen());
  EXPECT_EQ(Form3().windowTitle(), QStringLiteral("Ulv/Ekv Reader"));
  EXPECT_EQ(Form3().size(), QSize(836, 659));
  EXPECT_TRUE(Form3().isVisible());
  EXPECT_EQ(VisibleButtons(Form3()),
            (std::set<QString>{QStringLiteral("SpeedButton2"), QStringLiteral("SpeedButton1"),
                               QStringLiteral("SpeedButton3")}));
  EXPECT_EQ(Form3().ComPortNumber, 1);
  EXPECT_TRUE(Form3().ComItem(1)->isChecked());
  EXPECT_EQ(line.Device(), QStringLiteral("/dev/ttyS0"));
  EXPECT_TRUE(infoMessages.isEmpty());
  // Nothing to see but the main window's own picture.
  EXPECT_EQ(Form3().Panel1->FrontWindow(), nullptr);
}

TEST_F(StartupTest, StatusBarTextsAfterStartUp) {
  Start();
  EXPECT_EQ(Form3().PanelText(0), QStringLiteral("   Version 040604"));
  // The opening at start-up is not reported.
  EXPECT_EQ(Form3().PanelText(1), QStringLiteral("   seriell"));
  EXPECT_TRUE(Form3().PanelText(3).startsWith(QStringLiteral("   14.03.26 10:00:00")))
      << qPrintable(Form3().PanelText(3));
  EXPECT_EQ(Form3().PanelText(4), QStringLiteral("  nicht verbunden"));
  EXPECT_FALSE(Form3().Timer1->IsActive());
  EXPECT_EQ(Form3().Timer1->Interval(), 1000);
  EXPECT_EQ(Form3().Label3->text(), QStringLiteral("."));
  EXPECT_EQ(Form3().Link_Led->Color(), uint32_t{0x0000FF});
}

TEST_F(StartupTest, StatusPanelsAndLampSitAtTheirPlaces) {
  Start();
  QStatusBar* bar = Form3().StatusBar1;
  // Panels 200, 150, 26, 170 and 50 pixels wide, side by side from the left
  // edge; the last one reaches the right edge.
  struct Panel {
    int left;
    int width;
  };
  const Panel panels[] = {{0, 200}, {200, 150}, {350, 26}, {376, 170}, {546, bar->width() - 546}};
  ASSERT_GE(bar->width() - 546, 50);
  for (int i = 0; i < 5; ++i) {
    auto* p = bar->findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(i));
    ASSERT_NE(p, nullptr) << i;
    EXPECT_EQ(p->geometry(), QRect(panels[i].left, 0, panels[i].width, bar->height())) << i;
  }
  // The lamp: a child of the bar, top 2, left 352, panel 2's width and the
  // bar's height less 4, also after the bar changed size.
  TLinkPanel* lamp = Form3().findChild<TLinkPanel*>(QStringLiteral("Link_Led"));
  ASSERT_EQ(lamp, Form3().Link_Led);
  EXPECT_EQ(lamp->parentWidget(), bar);
  EXPECT_EQ(lamp->geometry(), QRect(352, 2, 22, bar->height() - 4));
  Form3().resize(900, 700);
  QCoreApplication::processEvents();
  EXPECT_EQ(lamp->geometry(), QRect(352, 2, 22, bar->height() - 4));
  EXPECT_EQ(bar->findChild<QLabel*>(QStringLiteral("StatusPanel4"))->width(), bar->width() - 546);
}

TEST_F(StartupTest, WithConfigurationFileUsesItsPortDevicesAndHelp) {
  WriteIni(
      "[files]\r\nhelpdir=help\r\nhelpfile=ulv.html\r\n[comport]\r\nport=2\r\ncom2=/dev/ttyUSB7\r\n"
      "[enable]\r\nbuttons=1111111\r\n");
  Start();
  EXPECT_TRUE(ctx->config.IsOpen());
  EXPECT_EQ(line.Device(), QStringLiteral("/dev/ttyUSB7"));
  EXPECT_TRUE(Form3().ComItem(2)->isChecked());
  EXPECT_FALSE(Form3().ComItem(1)->isChecked());
  EXPECT_EQ(VisibleButtons(Form3()).size(), 10u);
  // The default edit file is missing: the information box came before the
  // main window existed.
  EXPECT_EQ(infoMessages.size(), 1);

  Form3().findChild<QAction*>(QStringLiteral("HELP1"))->trigger();
  ASSERT_EQ(helpUrls.size(), 1);
  EXPECT_EQ(helpUrls[0].toLocalFile(),
            QDir(Path(QStringLiteral("help"))).filePath(QStringLiteral("ulv.html")));
  EXPECT_EQ(helpUrls[0].fragment(), QStringLiteral("Contents"));
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
      {"buttons=1", {QStringLiteral("QelButton")}},
      {"buttons=0000001", {QStringLiteral("DataButton")}},
      {"buttons=0101010",
       {QStringLiteral("DebugButton"), QStringLiteral("ErrorButton"), QStringLiteral("SendButton")}},
      {"buttons=0010100", {QStringLiteral("RecordButton"), QStringLiteral("HKFWButton")}},
  };
  for (const Case& c : cases) {
    QByteArray ini = "[id]\r\nuser=x\r\n";
    if (c.ini) ini += QByteArray("[enable]\r\n") + c.ini + "\r\n";
    WriteIni(ini);
    Start();
    std::set<QString> expected = c.optional;
    expected.insert(
        {QStringLiteral("SpeedButton2"), QStringLiteral("SpeedButton1"), QStringLiteral("SpeedButton3")});
    EXPECT_EQ(VisibleButtons(Form3()), expected) << (c.ini ? c.ini : "missing");
    TearDown();
  }
}

TEST_F(StartupTest, PortSevenTicksNoComItem) {
  WriteIni("[comport]\r\nport=7\r\ncom7=/dev/ttyACM0\r\n");
  Start();
  EXPECT_EQ(Form3().ComPortNumber, 7);
  for (int tag = 1; tag <= 4; ++tag) EXPECT_FALSE(Form3().ComItem(tag)->isChecked()) << tag;
  EXPECT_FALSE(Form3().SimulatorItem()->isChecked());
  EXPECT_EQ(line.Device(), QStringLiteral("/dev/ttyACM0"));
}

TEST_F(StartupTest, ComMenuTicksOneItem) {
  Start();
  for (int tag : {2, 4, 3, 1}) {
    Form3().ComItem(tag)->trigger();
    for (int other = 1; other <= 4; ++other)
      EXPECT_EQ(Form3().ComItem(other)->isChecked(), other == tag) << tag;
    EXPECT_FALSE(Form3().SimulatorItem()->isChecked());
    EXPECT_EQ(line.Device(), QStringLiteral("/dev/ttyS%1").arg(tag - 1));
  }
  // Choosing the ticked item again keeps it ticked.
  Form3().ComItem(1)->trigger();
  EXPECT_TRUE(Form3().ComItem(1)->isChecked());
}

TEST_F(StartupTest, SimulatorChoiceOpensTheSimulatorDevice) {
  Start(/*simulate=*/true);
  EXPECT_EQ(simulatorStarts, 1);
  EXPECT_EQ(line.Device(), QStringLiteral("/dev/pts/sim-test"));
  EXPECT_TRUE(Form3().SimulatorItem()->isChecked());
  Form3().ComItem(3)->trigger();
  EXPECT_FALSE(Form3().SimulatorItem()->isChecked());
  Form3().SimulatorItem()->trigger();
  EXPECT_TRUE(Form3().SimulatorItem()->isChecked());
  EXPECT_EQ(line.Device(), QStringLiteral("/dev/pts/sim-test"));
  for (int tag = 1; tag <= 4; ++tag) EXPECT_FALSE(Form3().ComItem(tag)->isChecked());
}

TEST_F(StartupTest, ControllerStartsTheExchangeAndTheLampTurnsGreen) {
  Start();
  Run(1999);
  EXPECT_EQ(Form3().Link_Led->Color(), uint32_t{0x0000FF});
  Run(50);
  EXPECT_EQ(Form3().Link_Led->Color(), uint32_t{0x008000});
  EXPECT_TRUE(units->port.Link().IsLinked());
  // No port report at start-up, so no identity read either.
  EXPECT_EQ(Form3().PanelText(4), QStringLiteral("  nicht verbunden"));
  EXPECT_EQ(controller->Plant().RequestCount(), 0);
}

TEST_F(StartupTest, PortChoiceReportsPartnerAndReadsPlantOneSecondLater) {
  Start();
  Run(2100);
  ASSERT_TRUE(units->port.Link().IsLinked());
  Form3().ComItem(2)->trigger();
  EXPECT_EQ(Form3().PanelText(1), QStringLiteral("   COM2/19200/8N1"));
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
  EXPECT_EQ(Form3().PanelText(4), QStringLiteral("  verbunden mit AUFZUG. 3"));
}

TEST_F(StartupTest, PortChoiceWhileLinkDownReadsNothing) {
  Start();
  Form3().ComItem(1)->trigger();
  Run(1100);
  EXPECT_FALSE(Form3().Timer1->IsActive());
  EXPECT_EQ(controller->Plant().RequestCount(), 0);
  Run(3000);
  EXPECT_EQ(Form3().PanelText(4), QStringLiteral("  nicht verbunden"));
}

TEST_F(StartupTest, LinkLossShowsNotLinkedAndKeepsPartner) {
  Start();
  Run(2100);
  Form3().ComItem(1)->trigger();
  Run(5000);
  ASSERT_EQ(Form3().PanelText(4), QStringLiteral("  verbunden mit AUFZUG. 3"));
  controller->Controller().SetFaults(SimFaults{.silent = true});
  Run(3000);
  EXPECT_EQ(Form3().PanelText(4), QStringLiteral("  nicht verbunden"));
  EXPECT_EQ(Form3().PanelText(1), QStringLiteral("   COM1/19200/8N1"));
  EXPECT_EQ(Form3().Link_Led->Color(), uint32_t{0x0000FF});
}

TEST_F(StartupTest, SendTimeSendsTheClockAndShowsDateSend) {
  Start();
  Run(2100);
  clock.SetDateTime(QDateTime(QDate(2026, 3, 14), QTime(23, 59, 58)));
  Form3().findChild<QAction*>(QStringLiteral("SendTime1"))->trigger();
  Run(200);
  EXPECT_EQ(Form3().Label3->text(), QStringLiteral("date.send"));
  // 23:59:58 is 43199 two-second units; 14.03.2026 is day 9569 since 1.1.2000.
  EXPECT_EQ(controller->Plant().TimeValue(), 43199);
  EXPECT_EQ(controller->Plant().DayValue(), 9569);
}

TEST_F(StartupTest, SendTimeWhileLinkDownSendsNothing) {
  Start();
  Form3().findChild<QAction*>(QStringLiteral("SendTime1"))->trigger();
  Run(100);
  EXPECT_EQ(Form3().Label3->text(), QStringLiteral("."));
  EXPECT_EQ(controller->Plant().RequestCount(), 0);
}

TEST_F(StartupTest, LinkButtonStopsAndRestartsTheLine) {
  Start();
  Run(2100);
  ASSERT_TRUE(units->port.Link().IsLinked());
  Form3().ToolAction("SpeedButton3")->trigger();
  EXPECT_FALSE(units->port.Link().IsLinked());
  EXPECT_TRUE(units->linePort.LineStopped());
  Run(3000);
  EXPECT_EQ(Form3().Link_Led->Color(), uint32_t{0x0000FF});
  Form3().ToolAction("SpeedButton3")->trigger();
  Run(50);
  EXPECT_EQ(Form3().Link_Led->Color(), uint32_t{0x008000});
}

TEST_F(StartupTest, CloseAndBeendenEndTheProgram) {
  Start();
  Form3().findChild<QAction*>(QStringLiteral("Beenden1"))->trigger();
  EXPECT_EQ(endRequests, 1);
  Form3().show();
  Form3().close();
  EXPECT_EQ(endRequests, 2);
}

TEST_F(StartupTest, ToolWindowsEmbedAndUncoverWhatLiesBelow) {
  WriteIni("[enable]\r\nbuttons=1111111\r\n");
  Start();
  TClientPanel* panel = Form3().Panel1;
  Form3().findChild<QAction*>(QStringLiteral("IniFile1"))->trigger();
  EXPECT_EQ(panel->FrontWindow(), windows->ini_form);
  Form3().ToolAction("QelButton")->trigger();
  EXPECT_EQ(panel->FrontWindow(), windows->Qel_Form);
  EXPECT_EQ(windows->Qel_Form->geometry(), panel->rect());
  for (QToolButton* b : windows->Qel_Form->ToolBar1->findChildren<QToolButton*>())
    EXPECT_GE(b->minimumHeight(), 34);
  Form3().ToolAction("ErrorButton")->trigger();
  EXPECT_EQ(panel->FrontWindow(), windows->Form4);
  // Hiding the front window uncovers the one below, down to the picture.
  windows->Form4->hide();
  EXPECT_EQ(panel->FrontWindow(), windows->Qel_Form);
  windows->Qel_Form->findChild<QToolButton*>(QStringLiteral("CloseButton"))->click();
  EXPECT_EQ(panel->FrontWindow(), windows->ini_form);
  windows->ini_form->hide();
  EXPECT_EQ(panel->FrontWindow(), nullptr);
  // The two top-level windows stay out of the panel.
  Form3().ToolAction("SendButton")->trigger();
  EXPECT_TRUE(windows->Send->isVisible());
  EXPECT_TRUE(windows->Send->isWindow());
  EXPECT_TRUE(windows->MyComPort->isWindow());
  EXPECT_EQ(panel->FrontWindow(), nullptr);
}

TEST_F(StartupTest, MainWindowRendersToPng) {
  Start();
  Run(2100);
  const QString png = Path(QStringLiteral("main.png"));
  ASSERT_TRUE(Form3().grab().save(png));
  QImage img(png);
  ASSERT_FALSE(img.isNull());
  EXPECT_EQ(img.size(), Form3().size() * img.devicePixelRatio());
  // Not blank: many colours, and the green lamp is among them.
  std::set<QRgb> colours;
  for (int y = 0; y < img.height(); y += 3)
    for (int x = 0; x < img.width(); x += 3) colours.insert(img.pixel(x, y));
  EXPECT_GT(colours.size(), 50u);
  const QPoint lamp = Form3().Link_Led->mapTo(&Form3(), Form3().Link_Led->rect().center());
  EXPECT_EQ(QColor(img.pixel(lamp)), QColor(0, 128, 0));
}

}  // namespace
}  // namespace ulv::test
