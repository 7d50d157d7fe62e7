// ulvreader-cli capture and decode against the built-in simulated controller.
#include <gtest/gtest.h>

#include <QDir>

#include "e2e_support.h"

TEST(CliEndToEnd, CaptureThenDecodeGiveTheSameLines) {
  const e2e::WorkDir dir("DokuDir=doku\r\ndecodefile=stream.ini\r\n");
  ASSERT_TRUE(QDir(dir.Path()).mkdir(u"doku"_s));
  QFile decode(dir.File(u"stream.ini"_s));
  ASSERT_TRUE(decode.open(QIODevice::WriteOnly));
  decode.write("[test]\r\nkennung=version-3\r\n[1:10]\r\n<>=Ruf [dd]\r\n");
  decode.close();
  QFile broken(dir.File(u"broken.json"_s));
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write(R"({"stream": {"count": 30, "faults": [{"request": "fetch", "nth": 3}]}})");
  broken.close();

  const e2e::CliResult capture = dir.Run(e2e::SmallSim() << u"capture"_s);
  ASSERT_TRUE(capture.Ok()) << qPrintable(capture.Describe());
  const QString file = dir.File(u"doku/Tarvo-0.cap"_s);
  const e2e::CliResult decoded = dir.Run({u"decode"_s, file});
  ASSERT_TRUE(decoded.Ok()) << qPrintable(decoded.Describe());
  EXPECT_EQ(capture.out, decoded.out);
  EXPECT_TRUE(e2e::Lines(decoded.out).contains(u"    8   RD Ruf [00]"_s)) << qPrintable(decoded.out);

  // A fetch reply that never comes: an error, the file holds what came.
  const e2e::CliResult cut = dir.Run({u"--port"_s, u"sim"_s, u"--scenario"_s, dir.File(u"broken.json"_s),
                                      u"--no-line-timing"_s, u"capture"_s, u"--out"_s, u"cut.cap"_s});
  EXPECT_EQ(cut.exitCode, 1) << qPrintable(cut.Describe());
  EXPECT_TRUE(cut.err.contains(u"holds the 6 entries"_s)) << qPrintable(cut.err);
  QFile cutFile(dir.File(u"cut.cap"_s));
  ASSERT_TRUE(cutFile.open(QIODevice::ReadOnly));
  EXPECT_EQ(cutFile.readAll().count("\r\n"), 5 + 6);

  const e2e::CliResult missing = dir.Run({u"decode"_s, dir.File(u"none.cap"_s)});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(missing.err.contains(u"none.cap"_s)) << qPrintable(missing.err);
}
