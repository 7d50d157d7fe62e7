// Reliability: every request family on a noisy line in virtual time, and
// hostile files and command lines against the real programs.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "../../bench/noisy_rig.h"
#include "common/save_file.h"
#include "e2e_support.h"

namespace {

// 1 % of the bytes corrupted and 1 % dropped each way: every command ends,
// every request's handler runs at most once and within the time-out, and
// once the noise stops the first command of every family succeeds with the
// controller's output within one time-out.
TEST(NoisyLine, EveryFamilyEndsCleanlyAndRecovers) {
  noisy::Rig rig(7, 10000, 10000);
  const noisy::Result r = noisy::Run(rig, 300);
  ASSERT_TRUE(r.referencesOk);
  int64_t failures = 0;
  for (const auto& [name, c] : r.families) {
    SCOPED_TRACE(name);
    EXPECT_GE(c.requests, 300);
    EXPECT_EQ(c.hung, 0);
    EXPECT_EQ(c.late, 0) << "worst " << c.worstMs << " ms";
    EXPECT_EQ(c.calledTwice, 0);
    EXPECT_GT(c.replied, 0);
    failures += c.timedOut + c.dropped + c.refused;
  }
  EXPECT_GT(failures, 0) << "the noise reached the line";
  EXPECT_GT(rig.noisy.Received().dropped + rig.noisy.Sent().corrupted, 0);
  EXPECT_TRUE(r.recovered);
  EXPECT_LE(r.recoveryMs, ulv::TransferQueue::kReplyTimeoutMs);
}

}  // namespace

namespace {

// A bad file of each sort, made in `dir`; "unreadable" is a file whose read
// fails (for root, who may read any file, the process's own memory image).
QString MakeBadFile(const QString& dir, const QString& sort) {
  const QString path = dir + u"/bad_"_s + sort;
  QFile f(path);
  if (sort == u"fifo"_s) {
    ::mkfifo(QFile::encodeName(path).constData(), 0600);
  } else if (sort == u"directory"_s) {
    QDir().mkpath(path);
  } else if (sort == u"unreadable"_s) {
    if (::geteuid() == 0) return u"/proc/self/mem"_s;
    if (f.open(QIODevice::WriteOnly)) f.write("[Files]\r\n");
    f.setPermissions({});
  } else if (f.open(QIODevice::WriteOnly)) {
    QByteArray bytes;
    if (sort == u"garbage"_s) {
      for (int i = 0; i < 4096; ++i) bytes += static_cast<char>((i * 7919 + 13) % 251);
    } else if (sort == u"10MB line"_s) {
      bytes = QByteArray(10 * 1024 * 1024, 'A');
    } else if (sort == u"UTF-16"_s) {
      const QString text = u"[Files]\r\nFehler=x\r\n{\"version\": \"X\"}\r\n"_s;
      bytes = QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    }
    f.write(bytes);
  }
  return path;
}

// Every file the tool reads, given a bad file of each sort: no hang (a FIFO
// never blocks), no crash; a FIFO, a folder or an unreadable file is named
// in a message; a command that fails says why and writes no output file.
TEST(HostileInputs, BadFilesOfEveryKind) {
  const QStringList sorts = {u"garbage"_s, u"10MB line"_s, u"UTF-16"_s,   u"fifo"_s,
                             u"directory"_s, u"unreadable"_s, u"empty"_s};
  const QString cap = u"capture.cap"_s;
  const struct {
    const char* kind;
    QByteArray ini;  // configuration lines; %1 is the bad file
    QStringList args;
    bool namesUnusable;
  } kinds[] = {
      {"configuration", "", QStringList{u"--ini"_s, u"%1"_s, u"version"_s} + e2e::SmallSim(), true},
      {"catalogue", "[Files]\r\nFehler=%1\r\n", e2e::SmallSim() << u"errors"_s, true},
      // The decode file is optional: without it the entries are shown raw.
      {"decode file", "[Files]\r\ndecodefile=%1\r\n", {u"decode"_s, cap}, true},
      {"capture file", "", {u"decode"_s, u"%1"_s}, true},
      {"scenario", "", {u"--port"_s, u"sim"_s, u"--scenario"_s, u"%1"_s, u"version"_s}, true},
  };
  for (const auto& k : kinds) {
    for (const QString& sort : sorts) {
      SCOPED_TRACE(std::string(k.kind) + " / " + sort.toStdString());
      e2e::WorkDir dir;
      const QString bad = MakeBadFile(dir.Path(), sort);
      QFile ini(dir.File(u"ulvreader.INI"_s));
      ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
      if (!k.ini.isEmpty()) ini.write(QString::fromLatin1(k.ini).arg(bad).toLocal8Bit());
      ini.close();
      QFile capture(dir.File(cap));
      ASSERT_TRUE(capture.open(QIODevice::WriteOnly));
      capture.write(" \r\nDatum\r\nKennung\r\nVersion\r\nEEprom\r\n01,00,0A,01\r\n");
      capture.close();
      QStringList args;
      for (const QString& a : k.args) args << (a == u"%1"_s ? bad : a);
      const QString out = dir.File(u"out.txt"_s);
      const e2e::CliResult r = e2e::RunCli(args << u"--out"_s << out, dir.Path(), 30000);
      ASSERT_TRUE(r.finished) << "hangs";
      EXPECT_FALSE(r.crashed);
      const bool unusable = sort == u"fifo"_s || sort == u"directory"_s || sort == u"unreadable"_s;
      if (unusable && k.namesUnusable) {
        EXPECT_TRUE(r.err.contains(bad)) << qPrintable(r.Describe());
      }
      if (r.exitCode != 0) {
        EXPECT_FALSE(r.err.trimmed().isEmpty()) << qPrintable(r.Describe());
        EXPECT_FALSE(QFile::exists(out)) << "a failed command writes no output";
      }
    }
  }
  // The symbol file is read by the debugger window only: the same read and
  // parse, in this process.
  e2e::WorkDir dir;
  for (const QString& sort : sorts) {
    QByteArray text;
    QString error;
    const QString bad = MakeBadFile(dir.Path(), sort);
    const bool read = ulv::ReadWholeFile(bad, &text, &error);
    const QStringList symbols = ulv::MemoryDebugger::ParseSymbols(text);
    EXPECT_TRUE(read || error.contains(bad)) << qPrintable(sort);
    EXPECT_LE(symbols.size(), text.count('\n') + 1) << qPrintable(sort);
  }
}

// Bad command lines of each program end at once with status 2 and a message.
TEST(HostileInputs, BadCommandLines) {
  e2e::WorkDir dir;
  const QString fifo = MakeBadFile(dir.Path(), u"fifo"_s);
  const QString gui = QStringLiteral(ULV_BIN_DIR "/src/app/ulvreader");
  const struct {
    QString program;
    QStringList args;
  } cases[] = {
      {e2e::CliPath(), {u"peek"_s}},
      {e2e::CliPath(), {u"dump"_s, u"$1FFFF"_s}},
      {e2e::CliPath(), {u"peek"_s, u"0"_s, u"--count"_s, u"0"_s}},
      {e2e::CliPath(), {u"version"_s, u"--ini"_s}},
      {e2e::CliPath(), {u"decode"_s}},
      {e2e::CliPath(), {u"--port"_s, fifo, u"--scenario"_s, fifo, u"version"_s}},
      {e2e::SimPath(), {}},
      {e2e::SimPath(), {u"--pty"_s, u"--device"_s, fifo}},
      {e2e::SimPath(), {u"--pty"_s, u"--corrupt-every"_s, u"x"_s}},
      {gui, {u"--frobnicate"_s}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE((c.program + u' ' + c.args.join(u' ')).toStdString());
    // The sanitized tree builds no windowed program.
    if (c.program == gui && !QFile::exists(gui)) continue;
    QProcess p;
    p.setWorkingDirectory(dir.Path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    p.setProcessEnvironment(env);
    p.start(c.program, c.args);
    ASSERT_TRUE(p.waitForFinished(30000)) << "hangs";
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_FALSE(p.readAllStandardError().trimmed().isEmpty());
    EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
  }
}

// A save the disk cuts short (here a file-size limit a few blocks in) keeps
// the old file, leaves no temporary file and gives the system's reason.
TEST(CrashSafeFiles, ASaveCutShortKeepsTheOldFileAndSaysWhy) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"Info.txt"_s);
  QFile old(path);
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("old\r\n");
  old.close();
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 3 * 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  QString error;
  const bool saved_ok = ulv::SaveWholeFile(path, QByteArray(64 * 1024, 'x'), &error);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(saved_ok);
  EXPECT_TRUE(error.contains(QString::fromLocal8Bit(std::strerror(EFBIG)))) << qPrintable(error);
  QByteArray kept;
  ASSERT_TRUE(ulv::ReadWholeFile(path, &kept));
  EXPECT_EQ(kept, "old\r\n");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{u"Info.txt"_s});
}

}  // namespace
