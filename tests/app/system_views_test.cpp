// The system data views in the whole program: the data button, the Alles
// chain, "Transfer Daten", the SysVar lamp and the dump window.
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolBar>
#include <QToolButton>

#include "app_rig.h"

namespace ulv::test {
namespace {

class SystemViewsTest : public AppRig {
protected:
  void RunUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 200 && !done(); ++i, QCoreApplication::processEvents()) Run(100);
  }
};

TEST_F(SystemViewsTest, DataSysVarAndDumpWindowsAgainstTheSimulatedController) {
  Start();
  RunUntil([this] { return units->port.Link().IsLinked(); });
  ASSERT_TRUE(units->port.Link().IsLinked());
  TForm8* sysvar = windows->Form8;
  EXPECT_TRUE(sysvar->ReadButton()->isEnabled());  // its lamp is registered

  Form3().ToolAction("DataButton")->trigger();
  TForm9* data = windows->Form9;
  ASSERT_FALSE(data->isHidden());
  Click(data, "AllesButton");
  RunUntil([this] { return !units->dataReport.ChainFlag(); });
  const QStringList lines = data->Lines();
  EXPECT_EQ(lines.first(), u"unit9.270702"_s);
  EXPECT_TRUE(lines.last().contains(u"Weiterfahrts Richtung AB"_s)) << lines.last().toStdString();

  // The error log window's "Transfer Daten" appends to the same page.
  windows->Form4->AddLine(u"Fehlerliste"_s);
  Click(windows->Form4, "BitBtn2");
  EXPECT_EQ(data->Lines().last(), u"Fehlerliste"_s);

  sysvar->show();
  sysvar->ReadButtonClick();
  RunUntil([this] { return !units->recordReader.IsReading(); });
  EXPECT_TRUE(sysvar->Memo()->toPlainText().contains(u"     lsutest 0x55AA"_s));

  TForm5* dump = windows->Form5;
  dump->Edit1()->setText(u"$D000"_s);
  Form3().ShowToolWindow(dump);
  Click(dump, "DumpButton");
  RunUntil([this] { return !units->memoryDump.IsRunning(); });
  EXPECT_EQ(dump->Edit1()->text(), u"$D080"_s);
  EXPECT_TRUE(dump->Memo()->toPlainText().startsWith(u"D000  "_s));
}

}  // namespace
}  // namespace ulv::test
