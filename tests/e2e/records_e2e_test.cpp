// ulvreader-cli records and dump against ulv-sim on a pty.
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace {

TEST(CliEndToEnd, RecordsAllAndDumpFromUlvSim) {
  e2e::SimProcess sim({u"--no-line-timing"_s, u"--scenario"_s, e2e::SmallPlant()});
  ASSERT_TRUE(sim.Path().startsWith(QLatin1String("/dev/"))) << qPrintable(sim.Path());
  const e2e::WorkDir dir;
  e2e::CliResult r = dir.Run({u"--port"_s, sim.Path(), u"records"_s, u"--out"_s, u"Info.txt"_s});
  ASSERT_TRUE(r.Ok()) << qPrintable(r.Describe());
  QFile file(dir.File(u"Info.txt"_s));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  EXPECT_FALSE(bytes.contains('\0'));
  EXPECT_EQ(bytes.count("\r\n"), bytes.count('\n'));
  const QStringList lines = QString::fromLatin1(bytes).split(u"\r\n"_s);
  QStringList titles;
  for (const QString& l : lines) {
    if (l.startsWith(u"_____"_s)) titles << l.mid(5).section(u'_', 0, 0).section(u'=', 0, 0);
  }
  EXPECT_EQ(titles.mid(0, 8), (QStringList{u"SHAFT.DATA"_s, u"MONBLOCK"_s, u"SYSPERM"_s, u"SYSVAR"_s,
                                           u"SHIFT-STATUS"_s, u"rTUR"_s, u"IOPORTS"_s, u"Port[72]"_s}));
  EXPECT_EQ(titles.last(), u"Port[A6]"_s);
  EXPECT_EQ(lines.first(), u"unit9.270702"_s);
  // The small plant's trip counter 20003 in the SysPerm record.
  EXPECT_TRUE(lines.contains(u"  +14 FZhi(10000) 00002"_s));
  EXPECT_TRUE(lines.contains(u"  +16 FZlo (9999) 00003"_s));
  EXPECT_TRUE(lines.contains(u"  [359]    : 11   Tür Drücker AUF (Rücklaufkontakt)"_s));

  r = dir.Run({u"--port"_s, sim.Path(), u"dump"_s, u"$D000"_s});
  ASSERT_TRUE(r.Ok()) << qPrintable(r.Describe());
  const QStringList dump = e2e::Lines(r.out);
  ASSERT_EQ(dump.size(), 8);
  EXPECT_TRUE(dump.first().startsWith(u"D000  "_s));
  EXPECT_TRUE(dump.last().startsWith(u"D070  "_s));
}

TEST(CliEndToEnd, RecordsFailureEndsWithTheFailureLine) {
  const e2e::WorkDir dir;
  QFile plant(dir.File(u"plant.json"_s));
  ASSERT_TRUE(plant.open(QIODevice::WriteOnly));
  plant.write(R"({"system": {"blockFault": "short", "blockFaultAt": 2}})");
  plant.close();
  const e2e::CliResult r = dir.Run({u"--port"_s, u"sim"_s, u"--scenario"_s, plant.fileName(),
                                    u"--no-line-timing"_s, u"records"_s, u"sysvar"_s});
  EXPECT_TRUE(r.finished && r.exitCode == 1) << qPrintable(r.Describe());
  EXPECT_EQ(e2e::Lines(r.out).last(), u"Transfer.Fehler"_s);
  EXPECT_TRUE(r.err.contains(u"Transfer.Fehler"_s)) << qPrintable(r.err);
}

}  // namespace
