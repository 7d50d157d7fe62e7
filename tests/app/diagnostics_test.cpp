// The memory debugger in the whole program against the simulated controller:
// its lamp, a read and a write at the shown address, the maintenance
// write-back and "dump".
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>

#include "app_rig.h"
#include "common/bytes.h"
#include "diag/direction_window.h"

namespace ulv::test {
namespace {

class DiagnosticsTest : public AppRig {
protected:
  void RunUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 300 && !done(); ++i, QCoreApplication::processEvents()) Run(100);
  }
  QString Text(QWidget* in, const char* name) { return Find<QLineEdit>(in, name)->text(); }
  QString Memory(uint16_t a, int n) {
    QString hex;
    for (int i = 0; i < n; ++i) hex += HexByte(controller->Plant().System().Peek(static_cast<uint16_t>(a + i))) + u'.';
    return hex;
  }
};

TEST_F(DiagnosticsTest, DebuggerReadsWritesAndHandsItsAddressToTheDump) {
  Start();
  RunUntil([this] { return units->port.Link().IsLinked(); });
  TUlvDebug* debug = windows->UlvDebug;
  ASSERT_TRUE(Find<QPushButton>(debug, "ReadButton")->isEnabled());  // its lamp is registered
  Form3().ToolAction("DebugButton")->trigger();
  ASSERT_TRUE(debug->isVisible());

  Find<QLineEdit>(debug, "Basis")->setText(u"$D000"_s);
  Find<QLineEdit>(debug, "Offset")->setText(u"16"_s);
  EXPECT_EQ(Find<QGroupBox>(debug, "GroupBox1")->title(), u"@=$D010"_s);
  RunUntil([&] { return Text(debug, "Edit1") == Memory(0xD010, 4); });
  EXPECT_EQ(Text(debug, "Edit1"), Memory(0xD010, 4));

  Find<QLineEdit>(debug, "Edit1")->setText(u"01.02.0a.04."_s);
  Click(debug, "SendButton");
  RunUntil([&] { return Memory(0xD010, 4) == u"01.02.0A.04."_s; });
  EXPECT_EQ(Memory(0xD010, 4), u"01.02.0A.04."_s);

  auto* senden = Find<QPushButton>(debug, "Button5");
  Click(debug, "Button3");
  RunUntil([&] { return senden->isEnabled(); });
  EXPECT_EQ(Text(debug, "Edit7"), QString::number(TestPlant().trips));
  Find<QLineEdit>(debug, "Edit7")->setText(u"5000"_s);
  Click(debug, "Button5");
  auto* memo = Find<QPlainTextEdit>(debug, "Memo1");
  RunUntil([&] { return memo->toPlainText().contains(u"ready"_s); });
  EXPECT_EQ(Memory(SimSystemRecords::kSysPermAddress + 14, 4), u"00.00.88.13."_s);  // FZhi 0, FZlo 5000

  Click(debug, "BitBtn3");
  EXPECT_TRUE(windows->Form5->isVisible());
  EXPECT_EQ(windows->Form5->Edit1()->text(), u"$D010"_s);
}

TEST_F(DiagnosticsTest, MonitorWindowFollowsTheControllerUntilHidden) {
  Start();
  RunUntil([this] { return units->port.Link().IsLinked(); });
  Form3().ToolAction("SpeedButton1")->trigger();
  TForm10* monitor = windows->Form10;
  ASSERT_TRUE(monitor->isVisible());
  Click(monitor, "BitBtn1");
  auto* lcd1 = Find<QLabel>(monitor, "LCD_1");
  RunUntil([&] { return !lcd1->text().isEmpty(); });
  EXPECT_EQ(lcd1->text(), QString::fromLatin1(SimSystemRecords::Lcd().left(16)).replace(u' ', u'.'));
  EXPECT_EQ(Find<QLabel>(monitor, "Label1")->text(), u"3"_s);
  EXPECT_EQ(Find<QSlider>(monitor, "TrackBar1")->value(), 4);
  EXPECT_EQ(Find<TRichtungsAnzeige>(monitor, "RichtungsAnzeige1")->GetRichtung(), Richtung::rrAUF);
  monitor->hide();
  const auto sent = controller->Controller().Requests();
  Run(3000);
  EXPECT_EQ(controller->Controller().Requests(), sent);  // the loop ended with the window
}

TEST_F(DiagnosticsTest, FirmwareViewReadsTheXramArea) {
  Start();
  RunUntil([this] { return units->port.Link().IsLinked(); });
  Form3().ToolAction("HKFWButton")->trigger();
  TForm1* firmware = windows->Form1;
  ASSERT_TRUE(firmware->isVisible());
  Click(firmware, "ReadButton");
  RunUntil([&] { return Text(firmware, "ErrorDisplay") == u"ohne Fehler"_s; });
  EXPECT_EQ(Find<QPlainTextEdit>(firmware, "Memo2")->toPlainText().split(u'\n'),
            FirmwareView::PrintHkfw(SimFirmware::XramArea(), u"===Sonder===XRAM====="_s, u"===SysVar===XRAM====="_s));
}

TEST(DirectionDisplay, EachDirectionShowsItsFrame) {
  // Which triangle is lit: the upper one's middle, the lower one's middle.
  const struct {
    Richtung r;
    bool upLit, downLit;
  } cases[] = {{Richtung::rrNULL, false, false}, {Richtung::rrAUF, true, false}, {Richtung::rrAB, false, true}};
  TRichtungsAnzeige display;
  for (const auto& c : cases) {
    display.SetRichtung(c.r);
    const QImage shown = display.pixmap().toImage();
    EXPECT_EQ(shown.pixelColor(12, 9) == QColor(Qt::yellow), c.upLit);
    EXPECT_EQ(shown.pixelColor(12, 20) == QColor(Qt::yellow), c.downLit);
  }
}

}  // namespace
}  // namespace ulv::test
