// ulvreader-cli peek, poke and monitor against ulv-sim on a pty: the write
// lands at the address given and reads back there.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "sim/system_records_model.h"

namespace {

QString Pattern(uint16_t from, int n) {
  QString hex;
  for (int i = 0; i < n; ++i)
    hex += QString::asprintf("%2.2X.", ulv::SimSystemRecords::MemoryByte(static_cast<uint16_t>(from + i)));
  return hex;
}

TEST(CliEndToEnd, PokeWritesWherePeekReadsAndMonitorDecodes) {
  const e2e::WorkDir dir;
  for (const QStringList& wrong : {QStringList{u"poke"_s, u"$D010"_s, u"01020304"_s},
                                   QStringList{u"poke"_s, u"$D010"_s, u"0102030"_s, u"--yes"_s},
                                   QStringList{u"peek"_s, u"$D010"_s, u"--count"_s, u"0"_s},
                                   QStringList{u"peek"_s, u"70000"_s},
                                   QStringList{u"monitor"_s, u"--seconds"_s, u"0"_s}}) {
    EXPECT_EQ(dir.Run(QStringList{u"--port"_s, u"/dev/null"_s} + wrong).exitCode, 2) << qPrintable(wrong.join(u' '));
  }
  e2e::SimProcess sim({u"--no-line-timing"_s});
  e2e::CliResult r = dir.Run({u"--port"_s, sim.Path(), u"peek"_s, u"$D000"_s, u"--count"_s, u"6"_s});
  ASSERT_TRUE(r.Ok()) << qPrintable(r.Describe());
  EXPECT_EQ(e2e::Lines(r.out), (QStringList{u"$D000  "_s + Pattern(0xD000, 4), u"$D004  "_s + Pattern(0xD004, 2)}));

  r = dir.Run({u"--port"_s, sim.Path(), u"poke"_s, u"$D010"_s, u"0102a0FF"_s, u"--yes"_s});
  ASSERT_TRUE(r.Ok()) << qPrintable(r.Describe());
  EXPECT_EQ(e2e::Lines(r.out), QStringList{u"$D010  01.02.A0.FF."_s});
  r = dir.Run({u"--port"_s, sim.Path(), u"peek"_s, u"$D00E"_s, u"--count"_s, u"8"_s});
  ASSERT_TRUE(r.Ok()) << qPrintable(r.Describe());
  EXPECT_EQ(e2e::Lines(r.out), (QStringList{u"$D00E  "_s + Pattern(0xD00E, 2) + u"01.02."_s,
                                            u"$D012  A0.FF."_s + Pattern(0xD014, 2)}));

  r = dir.Run({u"--port"_s, sim.Path(), u"monitor"_s, u"--seconds"_s, u"2"_s});
  ASSERT_TRUE(r.Ok()) << qPrintable(r.Describe());
  const QStringList lines = e2e::Lines(r.out);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].startsWith(u"Etage 3  PRIO.INNEN  Richtung=auf"_s)) << qPrintable(lines[0]);
}

}  // namespace
