#include "common/configuration.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include "common/virtual_clock.h"
#include "context/app_context.h"

namespace ulv {
namespace {

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& data) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(data);
}

QStringList Lines(const QByteArray& data) {
  QStringList lines = QString::fromUtf8(data).split(QStringLiteral("\r\n"));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

// Every test runs in its own working directory with a German locale and a
// virtual clock at 14.03.2026 10:00:00.
class ConfigurationTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(tmp.isValid());
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  }
  void TearDown() override { QLocale::setDefault(savedLocale); }

  QString Path(const QString& name) const { return QDir::toNativeSeparators(tmp.filePath(name)); }
  // The configuration PROG.INI in the working directory.
  void WriteIni(const QByteArray& text) { WriteAll(Path(QStringLiteral("PROG.INI")), text); }
  void Start(Configuration& config, const QStringList& extra = {}) {
    config.Start(QStringList{QStringLiteral("/opt/ulv/PROG.EXE")} + extra, tmp.path());
  }

  QTemporaryDir tmp;
  QLocale savedLocale;
  VirtualClock clock{QDateTime(QDate(2026, 3, 14), QTime(10, 0, 0))};
  LogHooks logs;
  QStringList messages;
};

TEST_F(ConfigurationTest, CommandLineValue) {
  Configuration config(clock, logs);
  config.Start({QStringLiteral("/usr/bin/prog"), QStringLiteral("-x"), QStringLiteral("/I=upper"),
                QStringLiteral("/i=/etc/A.INI"), QStringLiteral("/i=second"),
                QStringLiteral("/m=") + QString(300, 'q')},
               tmp.path());
  EXPECT_EQ(config.CommandLineValue(QStringLiteral("/i=")), QStringLiteral("/etc/A.INI"));
  EXPECT_EQ(config.CommandLineValue(QStringLiteral("/m=")), QString(255, 'q'));
  EXPECT_EQ(config.CommandLineValue(QStringLiteral("/x=")), QString());
  // The program path itself is searched too.
  EXPECT_EQ(config.CommandLineValue(QStringLiteral("/usr")), QStringLiteral("/bin/prog"));
}

TEST_F(ConfigurationTest, ConfigurationFileIsTheProgramNameInTheWorkingDirectory) {
  WriteIni("[machine]\r\ntype=ekv\r\n");
  Configuration config(clock, logs);
  Start(config);
  EXPECT_TRUE(config.IsOpen());
  EXPECT_EQ(config.IniFileName(), Path(QStringLiteral("PROG.INI")));
  EXPECT_EQ(config.IniMachine(), QStringLiteral("EKV"));
}

TEST_F(ConfigurationTest, CommandLineNamesFileAndMachine) {
  WriteAll(Path(QStringLiteral("sub/other.ini")), "[machine]\r\ntype=ekv\r\n");
  Configuration config(clock, logs);
  Start(config, {QStringLiteral("/i=sub/other.ini"), QStringLiteral("/m=ulv2")});
  EXPECT_TRUE(config.IsOpen());
  EXPECT_EQ(config.IniFileName(), Path(QStringLiteral("sub/other.ini")));
  EXPECT_EQ(config.IniMachine(), QStringLiteral("ULV2"));
}

TEST_F(ConfigurationTest, MissingFileLeavesTheConfigurationClosedWithDefaults) {
  Configuration config(clock, logs);
  config.OnInfoMessage = [&](const QString& m) { messages << m; };
  Start(config);
  EXPECT_FALSE(config.IsOpen());
  EXPECT_EQ(config.IniFileName(), QString());
  EXPECT_EQ(config.IniMachine(), QString());
  EXPECT_EQ(config.Datadir(), QString());
  EXPECT_EQ(config.Translate(QStringLiteral("main"), QStringLiteral("25")), QString());
  EXPECT_EQ(config.User(), QStringLiteral("keine [id] angegeben !!"));
  EXPECT_EQ(config.TarvoName(), QStringLiteral("Tarvo-"));
  EXPECT_EQ(config.TarvoNummer(), 0);
  EXPECT_EQ(config.ComPort(), 1);
  EXPECT_EQ(config.EnableButtons(), QStringLiteral("0000000"));
  EXPECT_EQ(config.ModemValue(QStringLiteral("askmodem")), QStringLiteral("AT"));
  EXPECT_EQ(config.ModemValue(QStringLiteral("echooff")), QStringLiteral("AT"));
  EXPECT_EQ(config.ModemValue(QStringLiteral("i1")), QString());
  EXPECT_EQ(config.FlowControl(), QStringLiteral("rtscts"));
  EXPECT_EQ(config.HelpFile(), QString());
  EXPECT_TRUE(messages.isEmpty());  // no default edit file is used
  EXPECT_FALSE(logs.WriteLogHook);
  config.Finish();
  EXPECT_FALSE(QFile::exists(Path(QStringLiteral("PROG.INI"))));
}

TEST_F(ConfigurationTest, ExpandBaseReplacesOnlyTheFirstBaseInAnyCase) {
  WriteIni("[files]\r\nbase=/srv/Lift\r\n");
  Configuration config(clock, logs);
  Start(config);
  ASSERT_EQ(config.BaseDir(), QStringLiteral("/srv/Lift"));
  const std::pair<QString, QString> cases[] = {
      {QStringLiteral("$(base)/daten"), QStringLiteral("/srv/Lift/daten")},
      {QStringLiteral("$(BASE)/a/$(BASE)"), QStringLiteral("/srv/Lift/a/$(BASE)")},
      {QStringLiteral("x$(Base)"), QStringLiteral("x/srv/Lift")},
      {QStringLiteral("$(BASE"), QStringLiteral("$(BASE")},
      {QStringLiteral("no base"), QStringLiteral("no base")},
      {QString(), QString()},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(config.ExpandBase(in), out) << qPrintable(in);
}

TEST_F(ConfigurationTest, DirectoriesAreExpandedAndMadeAbsolute) {
  WriteIni(
      "[files]\r\nbase=/srv/Lift\r\nDataDir=$(base)/daten\r\nSystemDir=sys\r\nhelpdir=./h/../help\r\n"
      "FilesDir=$(BASE)\r\nDebugDir=\r\n");
  Configuration config(clock, logs);
  Start(config);
  EXPECT_EQ(config.Datadir(), QDir::toNativeSeparators(QStringLiteral("/srv/Lift/daten")));
  EXPECT_EQ(config.Systemdir(), Path(QStringLiteral("sys")));
  EXPECT_EQ(config.Helpdir(), Path(QStringLiteral("help")));
  EXPECT_EQ(config.Filesdir(), QDir::toNativeSeparators(QStringLiteral("/srv/Lift")));
  EXPECT_EQ(config.Debugdir(), QString());
  EXPECT_EQ(config.Dokudir(), QString());
}

TEST_F(ConfigurationTest, ResolveInDir) {
  WriteIni("[files]\r\nbase=/srv/Lift\r\n");
  Configuration config(clock, logs);
  Start(config);
  const QString sep = QDir::separator();
  struct Case {
    QString dir;
    QString name;
    QString expected;
  };
  const Case cases[] = {
      {QStringLiteral("/srv/daten"), QStringLiteral("fehler.ini"),
       QStringLiteral("/srv/daten") + sep + "fehler.ini"},
      {QStringLiteral("/srv/daten"), QStringLiteral("/e/t/f.ini"), QStringLiteral("/e/t/f.ini")},
      {QStringLiteral("/srv/daten"), QString(), QString()},
      {QString(), QString(), QString()},
      // An empty directory resolves against the working directory.
      {QString(), QStringLiteral("fehler.ini"), Path(QStringLiteral("fehler.ini"))},
      {QStringLiteral("$(BASE)/d"), QStringLiteral("f.ini"),
       QDir::toNativeSeparators(QStringLiteral("/srv/Lift/d/f.ini"))},
      {QStringLiteral("/srv/daten"), QStringLiteral("$(base)/x.ini"), QStringLiteral("/srv/Lift/x.ini")},
  };
  for (const Case& c : cases)
    EXPECT_EQ(config.ResolveInDir(c.dir, c.name), c.expected)
        << qPrintable(c.dir) << " + " << qPrintable(c.name);
}

TEST_F(ConfigurationTest, KeyGettersResolveTheirNames) {
  WriteIni(
      "[files]\r\nbase=/srv/L\r\nDataDir=$(base)/daten\r\nSystemDir=/srv/sys\r\nhelpdir=/srv/help\r\n"
      "FilesDir=/srv/files\r\nhelpfile=ulv.hlp\r\ndecodefile=$(base)/dec/../"
      "decode.ini\r\nkennung=V2.1-ABC\r\n"
      "symfile=sym.txt\r\ndebugfile=dbg.txt\r\nsysmod=/abs/sysmod.sys\r\nlanguage=deutsch.lng\r\n"
      "[Files]\r\nFehler=ignored: second section\r\n"
      "[comport]\r\nport=7\r\ncom2=/dev/ttyUSB0\r\nflowcontrol=none\r\n"
      "[id]\r\nuser=Meier\r\n[Tarvo]\r\nname=Cap-\r\nnummer=12\r\n[enable]\r\nbuttons=1\r\n"
      "[Modem]\r\ni1=ATZ\r\n[modem]\r\naskmodem=ignored: second section\r\n");
  Configuration config(clock, logs);
  Start(config);
  const QString sep = QDir::separator();
  EXPECT_EQ(config.HelpFile(), QStringLiteral("/srv/help") + sep + "ulv.hlp");
  EXPECT_EQ(config.DecodeFile(), QDir::toNativeSeparators(QStringLiteral("/srv/L/decode.ini")));
  EXPECT_EQ(config.Kennung(), QStringLiteral("v2.1-abc"));
  EXPECT_EQ(config.SymFile(), QStringLiteral("sym.txt"));
  EXPECT_EQ(config.DebugFile(), QDir::toNativeSeparators(QStringLiteral("/srv/L/daten")) + sep + "dbg.txt");
  EXPECT_EQ(config.ErrorCatalogueFile(), QString());  // [Files] is the same section as [files]
  EXPECT_EQ(config.SysModFile(), QStringLiteral("/abs/sysmod.sys"));
  EXPECT_EQ(config.LanguageFileName(), QStringLiteral("/srv/sys") + sep + "deutsch.lng");
  EXPECT_EQ(config.DefaultFile(), QString());
  EXPECT_EQ(config.ComPort(), 7);
  EXPECT_EQ(config.ComDevice(2), QStringLiteral("/dev/ttyUSB0"));
#ifndef Q_OS_WIN
  EXPECT_EQ(config.ComDevice(3), QStringLiteral("/dev/ttyS2"));
#else
  EXPECT_EQ(config.ComDevice(3), QStringLiteral("COM3"));
#endif
  EXPECT_EQ(config.FlowControl(), QStringLiteral("none"));
  EXPECT_EQ(config.User(), QStringLiteral("Meier"));
  EXPECT_EQ(config.TarvoName(), QStringLiteral("Cap-"));
  EXPECT_EQ(config.TarvoNummer(), 12);
  EXPECT_EQ(config.EnableButtons(), QStringLiteral("1"));
  EXPECT_EQ(config.ModemValue(QStringLiteral("i1")), QStringLiteral("ATZ"));
  EXPECT_EQ(config.ModemValue(QStringLiteral("askmodem")), QStringLiteral("AT"));
}

TEST(LogHooksTest, ReportFlagStrings) {
  struct Case {
    QString raw;
    std::vector<int> flags;
  };
  const Case cases[] = {
      {QStringLiteral("1"), {0}},
      {QStringLiteral("0001"), {3}},
      {QStringLiteral("?"), {}},
      {QString(), {}},
      {QStringLiteral("x1?1"), {1, 3}},
      {QStringLiteral("000000000011"), {10, 11}},
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
  hooks.SetReports(QStringLiteral("?"));
  EXPECT_EQ(hooks.Reports, QString(21, '0'));
  hooks.SetReports(QStringLiteral("01"));
  EXPECT_EQ(hooks.Reports, QStringLiteral("01") + QString(19, '0'));
}

TEST(LogHooksTest, WriteReportNeedsFlag3) {
  LogHooks hooks;
  QStringList lines;
  hooks.WriteLog(QStringLiteral("no hook: nothing happens"));
  hooks.WriteLogHook = [&](const QString& l) { lines << l; };
  hooks.SetReports(QStringLiteral("1"));
  hooks.WriteReport(QStringLiteral("a"));
  hooks.SetReports(QStringLiteral("0001"));
  hooks.WriteReport(QStringLiteral("b"));
  hooks.WriteLog(QStringLiteral("c"));
  EXPECT_EQ(lines, (QStringList{QStringLiteral("b"), QStringLiteral("c")}));
}

TEST_F(ConfigurationTest, MainLogRecreatedAndLogonLogAppendedAcrossTwoRuns) {
  WriteIni("[logfiles]\r\nmainlogfile=logs/main.log\r\nlogonfile=logon.log\r\n");
  QDir(tmp.path()).mkpath(QStringLiteral("logs"));
  const QString mainLog = Path(QStringLiteral("logs/main.log"));
  const QString logonLog = Path(QStringLiteral("logon.log"));
  {
    Configuration config(clock, logs);
    Start(config);
    EXPECT_EQ(config.MainLogFileName(), mainLog);
    logs.WriteLog(QStringLiteral("first run"));
    logs.WriteReport(QStringLiteral("flag 3 is clear"));
    clock.Advance(5000);
    config.Finish();
    EXPECT_FALSE(logs.WriteLogHook);
  }
  EXPECT_EQ(ReadAll(mainLog), QByteArray("- auf ** 14.03.26 10:00:00 [no report]\r\n"
                                         "first run\r\n"
                                         "- zu  ** 14.03.26 10:00:05\r\n"));
  clock.SetDateTime(QDateTime(QDate(2026, 3, 15), QTime(8, 30, 0)));
  {
    Configuration config(clock, logs);
    Start(config);
    logs.WriteLog(QStringLiteral("second run"));
  }  // program end also when Finish is not called explicitly
  EXPECT_EQ(ReadAll(mainLog), QByteArray("- auf ** 15.03.26 08:30:00 [no report]\r\n"
                                         "second run\r\n"
                                         "- zu  ** 15.03.26 08:30:00\r\n"));
  EXPECT_EQ(ReadAll(logonLog), QByteArray("14.03.26 10:00:00- logfile kreiiert\r\n"
                                          "14.03.26 10:00:05 - zu  ** \r\n"
                                          "15.03.26 08:30:00 - zu  ** \r\n"));
}

TEST_F(ConfigurationTest, ManyLogLinesReachTheFileAtProgramEnd) {
  WriteIni("[logfiles]\r\nmainlogfile=main.log\r\n");
  {
    Configuration config(clock, logs);
    Start(config);
    for (int i = 0; i < 5000; ++i) logs.WriteLog(QStringLiteral("line %1").arg(i));
  }
  const QStringList lines = Lines(ReadAll(Path(QStringLiteral("main.log"))));
  ASSERT_EQ(lines.size(), 5002);
  EXPECT_EQ(lines.at(1), QStringLiteral("line 0"));
  EXPECT_EQ(lines.at(5000), QStringLiteral("line 4999"));
}

TEST_F(ConfigurationTest, TraceFlagWritesLongHeaderPathsAndLookups) {
  WriteAll(Path(QStringLiteral("sys/lang.ini")), "[main]\r\n25= nicht gefunden\r\n");
  WriteIni(
      "[files]\r\nhelpdir=/srv/help\r\nSystemDir=sys\r\nFilesDir=/srv/files\r\nlanguage=lang.ini\r\n"
      "DefaultFile=default.smb\r\n"
      "[logfiles]\r\nmainlogfile=main.log\r\nreports=1\r\n");
  Configuration config(clock, logs);
  config.OnInfoMessage = [&](const QString& m) { messages << m; };
  Start(config, {QStringLiteral("-v"), QStringLiteral("/m=ulv")});
  EXPECT_TRUE(logs.Flag(0));
  EXPECT_EQ(config.Translate(QStringLiteral("main"), QStringLiteral("99")), QStringLiteral("99"));
  config.Finish();

  const QString sep = QDir::separator();
  const QString sys = Path(QStringLiteral("sys"));
  const QString defaultFile = QStringLiteral("/srv/files") + sep + "default.smb";
  const QStringList expected = {
      QStringLiteral("- auf ** 14.03.26 10:00:00"),
      QStringLiteral("parameter= -v /m=ulv "),
      QStringLiteral("inifile=") + Path(QStringLiteral("PROG.INI")),
      QStringLiteral("reports=1"),
      QString(),
      QStringLiteral("*** TestAbsolute: ") + sys + sep + "lang.ini",
      QStringLiteral("   IniFileName=") + Path(QStringLiteral("PROG.INI")),
      QStringLiteral("   ini_machine=ULV"),
      QStringLiteral("       Helpdir=/srv/help"),
      QStringLiteral("       Dokudir="),
      QStringLiteral("      Debugdir="),
      QStringLiteral("      Filesdir=/srv/files"),
      QStringLiteral("   Expfilesdir="),
      QStringLiteral("     Bilderdir="),
      QStringLiteral("       Datadir="),
      QStringLiteral("     Systemdir=") + sys,
      QStringLiteral("*** TestAbsolute: ") + sys + sep + "sysmod.sys",
      QStringLiteral("*** TestAbsolute: ") + defaultFile,
      QStringLiteral("*** language>[main,25]= nicht gefunden"),
      QStringLiteral("*** language>[main,99]=99"),
      QStringLiteral("- zu  ** 14.03.26 10:00:00"),
  };
  EXPECT_EQ(Lines(ReadAll(Path(QStringLiteral("main.log")))), expected);
  EXPECT_EQ(messages, QStringList{QLatin1Char('"') + defaultFile + QStringLiteral("\" nicht gefunden")});
}

TEST_F(ConfigurationTest, TarvoNummerIsInTheFileAfterProgramEnd) {
  // Latin-1 file: written back in Latin-1.
  WriteIni(
      "; Kommentar\r\n[id]\r\nuser=M\xFC"
      "ller\r\n[Tarvo]\r\nnummer=3\r\n");
  {
    Configuration config(clock, logs);
    Start(config);
    EXPECT_EQ(config.User(), QStringLiteral("Müller"));
    config.SetTarvoNummer(config.TarvoNummer() + 1);
  }
  EXPECT_EQ(ReadAll(Path(QStringLiteral("PROG.INI"))), QByteArray("[id]\r\nuser=M\xFC"
                                                                  "ller\r\n\r\n[Tarvo]\r\nnummer=4\r\n\r\n"));
  Configuration again(clock, logs);
  Start(again);
  EXPECT_EQ(again.TarvoNummer(), 4);
}

TEST_F(ConfigurationTest, UnchangedConfigurationIsNotRewritten) {
  const QByteArray original = "; Kommentar bleibt\n\n[Tarvo]\nnummer=3\n";
  WriteIni(original);
  {
    Configuration config(clock, logs);
    Start(config);
    config.SetTarvoNummer(3);  // same value: no change
  }
  EXPECT_EQ(ReadAll(Path(QStringLiteral("PROG.INI"))), original);
}

TEST_F(ConfigurationTest, ReloadAfterTheEditorSavedAndSaveIfChangedBeforeItLoads) {
  WriteIni("[files]\r\nDataDir=/a\r\n[Tarvo]\r\nnummer=1\r\n");
  Configuration config(clock, logs);
  Start(config);
  config.SetTarvoNummer(2);
  ASSERT_TRUE(config.SaveIfChanged());
  EXPECT_TRUE(ReadAll(Path(QStringLiteral("PROG.INI"))).contains("nummer=2\r\n"));
  WriteIni("[files]\r\nDataDir=/b\r\n[Tarvo]\r\nnummer=2\r\n; edited\r\n");
  ASSERT_TRUE(config.Reload());
  EXPECT_EQ(config.Datadir(), QDir::toNativeSeparators(QStringLiteral("/b")));
  config.Finish();
  // Nothing changed after the reload: the editor's text stays as saved.
  EXPECT_TRUE(ReadAll(Path(QStringLiteral("PROG.INI"))).endsWith("; edited\r\n"));
}

TEST_F(ConfigurationTest, DefaultEditFileImage) {
  // Longer than the image: only 1040 bytes are read.
  WriteAll(Path(QStringLiteral("files/default.smb")), QByteArray(2000, '\x01'));
  WriteIni("[files]\r\nFilesDir=files\r\nDefaultFile=default.smb\r\n");
  Configuration config(clock, logs);
  config.OnInfoMessage = [&](const QString& m) { messages << m; };
  Start(config);
  EXPECT_TRUE(messages.isEmpty());
  const QByteArray& image = config.SysMod().Image();
  ASSERT_EQ(image.size(), 1040);
  EXPECT_EQ(image.left(5), QByteArray("\x0A\x02\x00\x00\x01", 5));
  // (0x0A + 0x02 + 1034 * 0x01 - 1) mod 65536 = 0x0415, little-endian.
  EXPECT_EQ(static_cast<uint8_t>(image.at(1038)), 0x15);
  EXPECT_EQ(static_cast<uint8_t>(image.at(1039)), 0x04);
}

TEST(TSysModTest, ChecksumWrapsAndCoversBytesUpTo1037) {
  QTemporaryDir tmp;
  const QString path = tmp.filePath(QStringLiteral("full.smb"));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QByteArray(1040, '\xFF'));
  f.close();
  TSysMod mod;
  ASSERT_TRUE(mod.Load(path));
  // 0x0A + 0x02 + 1034 * 0xFF - 1 = 263681 = 0x40601 -> 0x0601.
  EXPECT_EQ(mod.StoredChecksum(), 0x0601);
  EXPECT_EQ(static_cast<uint8_t>(mod.Image().at(1038)), 0x01);
  EXPECT_EQ(static_cast<uint8_t>(mod.Image().at(1039)), 0x06);

  // Missing file: the empty image, sealed. 0x0A + 0x02 - 1 = 0x000B.
  EXPECT_FALSE(mod.Load(tmp.filePath(QStringLiteral("missing.smb"))));
  EXPECT_EQ(mod.Image().left(4), QByteArray("\x0A\x02\x00\x00", 4));
  EXPECT_EQ(mod.StoredChecksum(), 0x000B);
}

TEST_F(ConfigurationTest, MissingDefaultEditFileMessageUsesTheLanguageFile) {
  WriteIni("[files]\r\nFilesDir=/no/such/dir\r\nDefaultFile=default.smb\r\n");
  Configuration config(clock, logs);
  config.OnInfoMessage = [&](const QString& m) { messages << m; };
  Start(config);
  // No language file: Translate gives the key.
  const QString path = QStringLiteral("/no/such/dir") + QDir::separator() + "default.smb";
  EXPECT_EQ(messages,
            QStringList{QLatin1Char('"') + QDir::toNativeSeparators(path) + QStringLiteral("\"25")});
}

TEST_F(ConfigurationTest, AppContextWithVirtualClock) {
  WriteIni("[logfiles]\r\nmainlogfile=main.log\r\n[Tarvo]\r\nnummer=1\r\n");
  {
    AppContext ctx(&clock, &clock);
    EXPECT_EQ(&ctx.clock, static_cast<Clock*>(&clock));
    ctx.Start({QStringLiteral("/opt/ulv/PROG.EXE")}, tmp.path());
    auto timer = ctx.timers.CreateTimer();
    timer->SetSingleShot(true);
    timer->OnTimeout = [&] { ctx.logs.WriteLog(QStringLiteral("timer")); };
    timer->Start(4000);
    clock.Advance(4000);
    ctx.config.SetTarvoNummer(2);
  }
  EXPECT_EQ(Lines(ReadAll(Path(QStringLiteral("main.log")))),
            (QStringList{QStringLiteral("- auf ** 14.03.26 10:00:00 [no report]"), QStringLiteral("timer"),
                         QStringLiteral("- zu  ** 14.03.26 10:00:04")}));
  EXPECT_TRUE(ReadAll(Path(QStringLiteral("PROG.INI"))).contains("nummer=2"));
}

}  // namespace
}  // namespace ulv
