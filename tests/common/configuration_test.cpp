#include "common/configuration.h"

#include <gtest/gtest.h>

#include <limits>

#include <QStandardPaths>
#include <QTemporaryDir>

#include "common/user_config.h"
#include "common/virtual_clock.h"
#include "context/app_context.h"
#include "support/test_support.h"

using namespace Qt::StringLiterals;

namespace ulv {
namespace {

using test::ReadBytes;
using test::WriteBytes;

QStringList Lines(const QByteArray& data) {
  QStringList lines = QString::fromUtf8(data).split(u"\r\n"_s);
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

// Every test runs in its own working directory with a German locale and a
// virtual clock at 14.03.2026 10:00:00.
class ConfigurationTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(tmp.isValid()); }

  QString Path(const QString& name) const { return Native(tmp.filePath(name)); }
  // The configuration PROG.INI in the working directory.
  void WriteIni(const QByteArray& text) { WriteBytes(Path(u"PROG.INI"_s), text); }
  QByteArray Ini() const { return ReadBytes(Path(u"PROG.INI"_s)); }
  void Start(Configuration& config, const QStringList& extra = {}) {
    config.OnInfoMessage = [this](const QString& m) { messages << m; };
    config.Start(QStringList{u"/opt/ulv/PROG.EXE"_s} + extra, tmp.path());
  }

  test::GermanLocale german;
  QTemporaryDir tmp;
  VirtualClock clock{QDateTime(QDate(2026, 3, 14), QTime(10, 0, 0))};
  LogHooks logs;
  QStringList messages;
};

// "/i=" names the configuration file (default: the program's name with
// ".INI" in the working directory), "/m=" the machine; a value is cut to 255.
TEST_F(ConfigurationTest, CommandLineValuesNameFileAndMachine) {
  WriteIni("[machine]\r\ntype=ekv\r\n");
  WriteBytes(Path(u"sub/other.ini"_s), "[machine]\r\ntype=ekv\r\n");
  const struct {
    QStringList args;
    const char* file;
    const char* machine;
  } cases[] = {{{}, "PROG.INI", "EKV"}, {{u"/i=sub/other.ini"_s, u"/m=ulv2"_s}, "sub/other.ini", "ULV2"}};
  for (const auto& c : cases) {
    Configuration config(clock, logs);
    Start(config, c.args);
    EXPECT_TRUE(config.IsOpen());
    EXPECT_EQ(config.IniFileName(), Path(QLatin1String(c.file)));
    EXPECT_EQ(config.IniMachine(), QLatin1String(c.machine));
  }
  Configuration config(clock, logs);
  config.Start({u"/usr/bin/prog"_s, u"-x"_s, u"/I=upper"_s, u"/i=/etc/A.INI"_s, u"/i=second"_s,
                u"/m="_s + QString(300, 'q')},
               tmp.path());
  EXPECT_EQ(config.CommandLineValue(u"/i="_s), u"/etc/A.INI"_s);
  EXPECT_EQ(config.CommandLineValue(u"/m="_s), QString(255, 'q'));
  EXPECT_EQ(config.CommandLineValue(u"/x="_s), QString());
  EXPECT_EQ(config.CommandLineValue(u"/usr"_s), u"/bin/prog"_s);  // the program path is searched too
}

TEST_F(ConfigurationTest, MissingFileLeavesTheConfigurationClosedWithDefaults) {
  Configuration config(clock, logs);
  Start(config);
  EXPECT_FALSE(config.IsOpen());
  EXPECT_EQ(config.IniFileName(), QString());
  EXPECT_EQ(config.IniMachine(), QString());
  EXPECT_EQ(config.Translate(u"main"_s, u"25"_s), QString());
  EXPECT_EQ(config.HelpFile(), QString());
  EXPECT_TRUE(messages.isEmpty());  // no default edit file is used
  EXPECT_FALSE(logs.WriteLogHook);
  config.Finish();
  EXPECT_FALSE(QFile::exists(Path(u"PROG.INI"_s)));
}

// An installed program without a configuration gets the user's copy of the
// shipped one, made once with the user's data folder as base; without a
// shipped file (a build tree) or with the default name in the working
// directory it gets none.
TEST_F(ConfigurationTest, UserConfigurationIsMadeOnceFromTheShippedOne) {
  const UserConfigPlaces places{Path(u"share/ulvreader/ulvreader.INI"_s), Path(u"config/ulvreader/ulvreader.INI"_s),
                                Path(u"data/ulvreader"_s)};
  EXPECT_EQ(UserConfiguration(places), QString());
  EXPECT_FALSE(QFile::exists(places.user));
  WriteBytes(places.shipped, "[files]\r\nbase=.\r\nDataDir=/usr/share/ulvreader/data\r\n");
  for (const QString& base : {places.dataDir, u"mine"_s}) {
    ASSERT_EQ(UserConfiguration(places), places.user);
    IniStore ini;
    ASSERT_TRUE(ini.Load(places.user));
    EXPECT_EQ(ini.Value(u"files"_s, u"base"_s), base);  // a copy the user changed is kept
    EXPECT_EQ(ini.Value(u"files"_s, u"DataDir"_s), u"/usr/share/ulvreader/data"_s);
    EXPECT_TRUE(QFileInfo(places.dataDir).isDir());
    ini.SetValue(u"files"_s, u"base"_s, u"mine"_s);
    ASSERT_TRUE(ini.Save(places.user));
  }
  QStandardPaths::setTestModeEnabled(true);  // a fault must not touch the real home folder
  WriteIni("");
  WriteBytes(Path(u"share/ulvreader/ulvreader.INI"_s), "[files]\r\n");
  EXPECT_EQ(FallbackConfiguration(Path(u"PROG.INI"_s), Path(u"bin"_s)), QString());
  QStandardPaths::setTestModeEnabled(false);
}

// ExpandBase replaces only the first "$(BASE)", in any case; ResolveInDir
// keeps an absolute name and resolves against the working directory when
// the directory is empty.
TEST_F(ConfigurationTest, ExpandBaseAndResolveInDir) {
  WriteIni("[files]\r\nbase=/srv/Lift\r\n");
  Configuration config(clock, logs);
  Start(config);
  ASSERT_EQ(config.BaseDir(), u"/srv/Lift"_s);
  const std::pair<QString, QString> expansions[] = {{u"$(base)/daten"_s, u"/srv/Lift/daten"_s},
                                                    {u"$(BASE)/a/$(BASE)"_s, u"/srv/Lift/a/$(BASE)"_s},
                                                    {u"x$(Base)"_s, u"x/srv/Lift"_s},
                                                    {u"$(BASE"_s, u"$(BASE"_s},
                                                    {u"no base"_s, u"no base"_s},
                                                    {QString(), QString()}};
  for (const auto& [in, out] : expansions) EXPECT_EQ(config.ExpandBase(in), out) << qPrintable(in);

  const QString sep = QDir::separator();
  const std::tuple<QString, QString, QString> resolved[] = {
      {u"/srv/daten"_s, u"fehler.ini"_s, u"/srv/daten"_s + sep + u"fehler.ini"_s},
      {u"/srv/daten"_s, u"/e/t/f.ini"_s, u"/e/t/f.ini"_s},
      {u"/srv/daten"_s, QString(), QString()},
      {QString(), QString(), QString()},
      {QString(), u"fehler.ini"_s, Path(u"fehler.ini"_s)},
      {u"$(BASE)/d"_s, u"f.ini"_s, Native(u"/srv/Lift/d/f.ini"_s)},
      {u"/srv/daten"_s, u"$(base)/x.ini"_s, u"/srv/Lift/x.ini"_s},
  };
  for (const auto& [dir, name, expected] : resolved)
    EXPECT_EQ(config.ResolveInDir(dir, name), expected) << qPrintable(dir) << " + " << qPrintable(name);
}

// Directories are expanded and made absolute; every key getter resolves its
// name; a second section of the same name (any case) is never read.
TEST_F(ConfigurationTest, DirectoriesAndKeyGetters) {
  WriteIni(
      "[files]\r\nbase=/srv/L\r\nDataDir=$(base)/daten\r\nSystemDir=sys\r\nhelpdir=./h/../help\r\n"
      "FilesDir=$(BASE)\r\nDebugDir=\r\nhelpfile=ulv.hlp\r\ndecodefile=$(base)/dec/../decode.ini\r\n"
      "kennung=V2.1-ABC\r\nsymfile=sym.txt\r\ndebugfile=dbg.txt\r\nsysmod=/abs/sysmod.sys\r\n"
      "language=deutsch.lng\r\n[Files]\r\nFehler=ignored: second section\r\n"
      "[comport]\r\nport=7\r\ncom2=/dev/ttyUSB0\r\nflowcontrol=none\r\n"
      "[id]\r\nuser=Meier\r\n[Tarvo]\r\nname=Cap-\r\nnummer=12\r\n[enable]\r\nbuttons=1\r\n"
      "[Modem]\r\ni1=ATZ\r\n[modem]\r\naskmodem=ignored: second section\r\n");
  Configuration config(clock, logs);
  Start(config);
  const QString sep = QDir::separator();
  const QString data = Native(u"/srv/L/daten"_s);
  const std::pair<QString, QString> cases[] = {
      {config.Datadir(), data},
      {config.Systemdir(), Path(u"sys"_s)},
      {config.Helpdir(), Path(u"help"_s)},
      {config.Filesdir(), Native(u"/srv/L"_s)},
      {config.Debugdir(), QString()},
      {config.Dokudir(), QString()},
      {config.HelpFile(), Path(u"help"_s) + sep + u"ulv.hlp"_s},
      {config.DecodeFile(), Native(u"/srv/L/decode.ini"_s)},
      {config.Kennung(), u"v2.1-abc"_s},
      {config.SymFile(), u"sym.txt"_s},
      {config.DebugFile(), data + sep + u"dbg.txt"_s},
      {config.ErrorCatalogueFile(), QString()},  // [Files] is the same section as [files]
      {config.SysModFile(), u"/abs/sysmod.sys"_s},
      {config.LanguageFileName(), Path(u"sys"_s) + sep + u"deutsch.lng"_s},
      {config.DefaultFile(), QString()},
      {config.ComDevice(2), u"/dev/ttyUSB0"_s},
#ifndef Q_OS_WIN
      {config.ComDevice(3), u"/dev/ttyS2"_s},
      {config.ComDevice(std::numeric_limits<int>::min()), u"/dev/ttyS-2147483649"_s},
#else
      {config.ComDevice(3), u"COM3"_s},
#endif
      {config.FlowControl(), u"none"_s},
      {config.User(), u"Meier"_s},
      {config.TarvoName(), u"Cap-"_s},
      {config.EnableButtons(), u"1"_s},
      {config.ModemValue(u"i1"_s), u"ATZ"_s},
      {config.ModemValue(u"askmodem"_s), u"AT"_s},
      {config.ModemValue(u"echooff"_s), u"AT"_s},
      {config.ModemValue(u"i2"_s), QString()},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
  EXPECT_EQ(config.ComPort(), 7);
  EXPECT_EQ(config.TarvoNummer(), 12);
}

TEST(LogHooksTest, ReportFlagsAndWriteReportNeedingFlag3) {
  struct Case {
    QString raw;
    std::vector<int> flags;
  };
  const Case cases[] = {
      {u"1"_s, {0}},
      {u"0001"_s, {3}},
      {u"?"_s, {}},
      {QString(), {}},
      {u"x1?1"_s, {1, 3}},
      {u"000000000011"_s, {10, 11}},
      {QString(25, '1'), {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}},
  };
  for (const Case& c : cases) {
    LogHooks hooks;
    hooks.SetReports(c.raw);
    std::vector<int> set;
    for (int i = 0; i < 25; ++i)
      if (hooks.Flag(i)) set.push_back(i);
    EXPECT_EQ(set, c.flags) << qPrintable(c.raw);
    EXPECT_GE(hooks.Reports.size(), 21);
  }
  LogHooks hooks;
  hooks.SetReports(u"?"_s);
  EXPECT_EQ(hooks.Reports, QString(21, '0'));
  hooks.SetReports(u"01"_s);
  EXPECT_EQ(hooks.Reports, u"01"_s + QString(19, '0'));

  QStringList lines;
  hooks.WriteLog(u"no hook: nothing happens"_s);
  hooks.WriteLogHook = [&](const QString& l) { lines << l; };
  hooks.SetReports(u"1"_s);
  hooks.WriteReport(u"a"_s);
  hooks.SetReports(u"0001"_s);
  hooks.WriteReport(u"b"_s);
  hooks.WriteLog(u"c"_s);
  EXPECT_EQ(lines, (QStringList{u"b"_s, u"c"_s}));
}

TEST_F(ConfigurationTest, MainLogRecreatedAndLogonLogAppendedAcrossTwoRuns) {
  WriteIni("[logfiles]\r\nmainlogfile=logs/main.log\r\nlogonfile=logon.log\r\n");
  QDir(tmp.path()).mkpath(u"logs"_s);
  const QString mainLog = Path(u"logs/main.log"_s);
  {
    Configuration config(clock, logs);
    Start(config);
    EXPECT_EQ(config.MainLogFileName(), mainLog);
    logs.WriteLog(u"first run"_s);
    logs.WriteReport(u"flag 3 is clear"_s);
    clock.Advance(5000);
    config.Finish();
    EXPECT_FALSE(logs.WriteLogHook);
  }
  EXPECT_EQ(ReadBytes(mainLog),
            "- auf ** 14.03.26 10:00:00 [no report]\r\nfirst run\r\n- zu  ** 14.03.26 10:00:05\r\n"_ba);
  clock.SetDateTime(QDateTime(QDate(2026, 3, 15), QTime(8, 30, 0)));
  {
    Configuration config(clock, logs);
    Start(config);
    for (int i = 0; i < 5000; ++i) logs.WriteLog(u"line %1"_s.arg(i));
  }  // program end also when Finish is not called explicitly; no line is lost
  const QStringList lines = Lines(ReadBytes(mainLog));
  ASSERT_EQ(lines.size(), 5002);
  EXPECT_EQ(lines.first(), u"- auf ** 15.03.26 08:30:00 [no report]"_s);
  EXPECT_EQ(lines.at(1), u"line 0"_s);
  EXPECT_EQ(lines.at(5000), u"line 4999"_s);
  EXPECT_EQ(lines.last(), u"- zu  ** 15.03.26 08:30:00"_s);
  EXPECT_EQ(ReadBytes(Path(u"logon.log"_s)),
            "14.03.26 10:00:00- logfile kreiiert\r\n"
            "14.03.26 10:00:05 - zu  ** \r\n"
            "15.03.26 08:30:00 - zu  ** \r\n"_ba);
}

TEST_F(ConfigurationTest, TraceFlagWritesLongHeaderPathsAndLookups) {
  WriteBytes(Path(u"sys/lang.ini"_s), "[main]\r\n25= nicht gefunden\r\n");
  WriteIni(
      "[files]\r\nhelpdir=/srv/help\r\nSystemDir=sys\r\nFilesDir=/srv/files\r\nlanguage=lang.ini\r\n"
      "DefaultFile=default.smb\r\n[logfiles]\r\nmainlogfile=main.log\r\nreports=1\r\n");
  Configuration config(clock, logs);
  Start(config, {u"-v"_s, u"/m=ulv"_s});
  EXPECT_TRUE(logs.Flag(0));
  EXPECT_EQ(config.Translate(u"main"_s, u"99"_s), u"99"_s);
  config.Finish();

  const QString sep = QDir::separator();
  const QString sys = Path(u"sys"_s);
  const QString defaultFile = u"/srv/files"_s + sep + u"default.smb"_s;
  const QStringList expected = {
      u"- auf ** 14.03.26 10:00:00"_s,
      u"parameter= -v /m=ulv "_s,
      u"inifile="_s + Path(u"PROG.INI"_s),
      u"reports=1"_s,
      QString(),
      u"*** TestAbsolute: "_s + sys + sep + u"lang.ini"_s,
      u"   IniFileName="_s + Path(u"PROG.INI"_s),
      u"   ini_machine=ULV"_s,
      u"       Helpdir=/srv/help"_s,
      u"       Dokudir="_s,
      u"      Debugdir="_s,
      u"      Filesdir=/srv/files"_s,
      u"   Expfilesdir="_s,
      u"     Bilderdir="_s,
      u"       Datadir="_s,
      u"     Systemdir="_s + sys,
      u"*** TestAbsolute: "_s + sys + sep + u"sysmod.sys"_s,
      u"*** TestAbsolute: "_s + defaultFile,
      u"*** language>[main,25]= nicht gefunden"_s,
      u"*** language>[main,99]=99"_s,
      u"- zu  ** 14.03.26 10:00:00"_s,
  };
  EXPECT_EQ(Lines(ReadBytes(Path(u"main.log"_s))), expected);
  // The missing default edit file is reported through the hook.
  EXPECT_EQ(messages, QStringList{u"\""_s + defaultFile + u"\" nicht gefunden"_s});
}

// The configuration is written back at program end only when a value changed
// (an unchanged file keeps its comments and layout), then in the encoding it
// was read in.
TEST_F(ConfigurationTest, TarvoNummerIsWrittenBackOnlyWhenChanged) {
  const struct {
    const char* name;
    QByteArray before;
    int nummer;
    QByteArray after;
  } cases[] = {
      {"changed, Latin-1", "; Kommentar\r\n[id]\r\nuser=M\xFCller\r\n[Tarvo]\r\nnummer=3\r\n"_ba, 4,
       "[id]\r\nuser=M\xFCller\r\n\r\n[Tarvo]\r\nnummer=4\r\n\r\n"_ba},
      {"unchanged", "; Kommentar bleibt\n\n[Tarvo]\nnummer=3\n"_ba, 3,
       "; Kommentar bleibt\n\n[Tarvo]\nnummer=3\n"_ba},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteIni(c.before);
    {
      Configuration config(clock, logs);
      Start(config);
      ASSERT_EQ(config.TarvoNummer(), 3);
      config.SetTarvoNummer(c.nummer);
    }
    EXPECT_EQ(Ini(), c.after);
  }
}

TEST_F(ConfigurationTest, ReloadAfterTheEditorSavedAndSaveIfChangedBeforeItLoads) {
  WriteIni("[files]\r\nDataDir=/a\r\n[Tarvo]\r\nnummer=1\r\n");
  Configuration config(clock, logs);
  Start(config);
  config.SetTarvoNummer(2);
  ASSERT_TRUE(config.SaveIfChanged());
  EXPECT_TRUE(Ini().contains("nummer=2\r\n"));
  // Saved means unmodified: a second save leaves the editor's later text alone.
  WriteIni("[files]\r\nDataDir=/b\r\n[Tarvo]\r\nnummer=2\r\n; edited\r\n");
  ASSERT_TRUE(config.SaveIfChanged());
  EXPECT_TRUE(Ini().endsWith("; edited\r\n"));
  ASSERT_TRUE(config.Reload());
  EXPECT_EQ(config.Datadir(), Native(u"/b"_s));
  config.Finish();
  // Nothing changed after the reload: the editor's text stays as saved.
  EXPECT_TRUE(Ini().endsWith("; edited\r\n"));
}

// The default edit file image: 1040 bytes (a longer file is cut), format word
// 0x020A, and a checksum over bytes 0..1037 minus 1 (mod 65536, little-endian).
TEST_F(ConfigurationTest, DefaultEditFileImage) {
  WriteBytes(Path(u"files/default.smb"_s), QByteArray(2000, '\x01'));
  WriteIni("[files]\r\nFilesDir=files\r\nDefaultFile=default.smb\r\n");
  Configuration config(clock, logs);
  Start(config);
  EXPECT_TRUE(messages.isEmpty());
  // Without a language text the box still names the missing file in words.
  WriteIni("[files]\r\nFilesDir=files\r\nDefaultFile=gone.smb\r\n");
  Configuration gone(clock, logs);
  Start(gone);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains(Path(u"files/gone.smb"_s)) && messages[0].contains(u"fehlt"_s))
      << qPrintable(messages[0]);
  const QByteArray& image = config.SysMod().Image();
  ASSERT_EQ(image.size(), 1040);
  EXPECT_EQ(image.left(5), "\x0A\x02\x00\x00\x01"_ba);
  // 0x0A + 0x02 + 1034 * 0x01 - 1 = 0x0415.
  EXPECT_EQ(image.right(2), "\x15\x04"_ba);

  const QString full = Path(u"full.smb"_s);
  WriteBytes(full, QByteArray(1040, '\xFF'));
  TSysMod mod;
  ASSERT_TRUE(mod.Load(full));
  // 0x0A + 0x02 + 1034 * 0xFF - 1 = 0x40601: wraps to 0x0601.
  EXPECT_EQ(mod.StoredChecksum(), 0x0601);
  EXPECT_EQ(mod.Image().right(2), "\x01\x06"_ba);
  // Missing file: the empty image, sealed. 0x0A + 0x02 - 1 = 0x000B.
  EXPECT_FALSE(mod.Load(Path(u"missing.smb"_s)));
  EXPECT_EQ(mod.Image().left(4), "\x0A\x02\x00\x00"_ba);
  EXPECT_EQ(mod.StoredChecksum(), 0x000B);
}

TEST_F(ConfigurationTest, AppContextWithVirtualClock) {
  WriteIni("[logfiles]\r\nmainlogfile=main.log\r\n[Tarvo]\r\nnummer=1\r\n");
  {
    AppContext ctx(&clock, &clock);
    EXPECT_EQ(&ctx.clock, static_cast<Clock*>(&clock));
    ctx.Start({u"/opt/ulv/PROG.EXE"_s}, tmp.path());
    auto timer = ctx.timers.CreateTimer();
    timer->SetSingleShot(true);
    timer->OnTimeout = [&] { ctx.logs.WriteLog(u"timer"_s); };
    timer->Start(4000);
    clock.Advance(4000);
    // The main log reaches the disk within a second.
    clock.Advance(1000);
    EXPECT_TRUE(ReadBytes(Path(u"main.log"_s)).endsWith("timer\r\n"));
    ctx.config.SetTarvoNummer(2);
  }
  EXPECT_EQ(Lines(ReadBytes(Path(u"main.log"_s))),
            (QStringList{u"- auf ** 14.03.26 10:00:00 [no report]"_s, u"timer"_s,
                         u"- zu  ** 14.03.26 10:00:05"_s}));
  EXPECT_TRUE(Ini().contains("nummer=2"));
}

}  // namespace
}  // namespace ulv
