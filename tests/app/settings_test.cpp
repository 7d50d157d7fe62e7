// The settings editor and the paths window: the editor's round trip, its
// interplay with the configuration held in memory and written back at the
// end, and the paths listing rebuilt at every show.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QToolButton>

#include "app_rig.h"

namespace ulv::test {
namespace {

class SettingsTest : public AppRig {
protected:
  void OpenEditor() { Menu("IniFile1"); }
  QString Listing() { return windows->Files->Memo1->toPlainText(); }
  Tini_form& Editor() { return *windows->ini_form; }
  QString Text() { return Editor().Memo1->toPlainText(); }
  QByteArray IniFile() const { return ReadFile(u"ulvreader.INI"_s); }
  // Typing at the end of the text.
  void Type(const QString& text) {
    Editor().Memo1->moveCursor(QTextCursor::End);
    Editor().Memo1->insertPlainText(text);
  }
  void AnswerSave(bool ok) {
    Editor().AskSave = [this, ok](const QString& title, const QString& text) {
      questions.append(title + u"|"_s + text);
      return ok;
    };
  }
  QStringList questions;
};

const QByteArray kIni =
    "; a comment line\r\n[files]\r\nbase=/opt/ulv\r\n[Tarvo]\r\nnummer=3\r\n[enable]\r\nbuttons=0000000\r\n";

TEST_F(SettingsTest, ShowsTheFileWithTheRunsValuesAndReloadsAtEveryShow) {
  WriteIni(kIni);
  Start();
  OpenEditor();
  EXPECT_EQ(Form3().Panel1->FrontWindow(), &Editor());
  EXPECT_EQ(Editor().Panel1->text(), u"   "_s + IniPath());
  EXPECT_EQ(Text(), QString::fromLatin1(kIni).remove(QLatin1Char('\r')));
  EXPECT_TRUE(Editor().CanSave());
  // A value the program changed during the run is written and shown first.
  Editor().hide();
  ctx->config.SetTarvoNummer(42);
  OpenEditor();
  EXPECT_TRUE(Text().contains(u"nummer=42"_s)) << qPrintable(Text());
  EXPECT_TRUE(IniFile().contains("nummer=42\r\n"));
  // Showing again reloads: an unsaved edit is gone.
  Type(u"[weg]\r\n"_s);
  Editor().hide();
  OpenEditor();
  EXPECT_FALSE(Text().contains(u"[weg]"_s));
}

TEST_F(SettingsTest, SaveAsksAndWritesAndTheProgramUsesTheEdit) {
  WriteIni(kIni);
  Start();
  OpenEditor();
  AnswerSave(true);
  Editor().Memo1->selectAll();
  Editor().Memo1->insertPlainText(Text().replace(u"buttons=0000000"_s, u"buttons=1000000"_s));
  Click(&Editor(), "BitBtn1");
  EXPECT_EQ(questions, QStringList{u"IniFile geändert|Änderung sichern ?"_s});
  // Written with CR LF, the comment kept as typed.
  EXPECT_EQ(IniFile(), QByteArray(kIni).replace("buttons=0000000", "buttons=1000000"));
  EXPECT_EQ(ctx->config.EnableButtons(), u"1000000"_s);
  // The modified flag stays: closing asks again.
  Click(&Editor(), "CloseButton");
  EXPECT_EQ(questions.size(), 2);
  EXPECT_TRUE(Editor().isHidden());
  // The program's own change after the save reaches the file at the end
  // without losing the user's edit.
  ctx->config.SetTarvoNummer(12);
  windows.reset();
  ctx->Finish();
  const QByteArray file = IniFile();
  EXPECT_TRUE(file.contains("buttons=1000000\r\n")) << file.constData();
  EXPECT_TRUE(file.contains("nummer=12\r\n")) << file.constData();
}

TEST_F(SettingsTest, NothingIsWrittenWithoutTypingConsentOrFile) {
  struct Case {
    const char* name;
    bool file;
    const char* typed;
    bool answer;
    int questions;
  };
  const Case cases[] = {
      {"nothing typed", true, "", true, 0},
      {"cancelled", true, "[neu]\nx=1\n", false, 1},
      {"no configuration file", false, "[neu]\nx=1\n", true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(IniPath());
    if (c.file) WriteIni(kIni);
    Start();
    OpenEditor();
    AnswerSave(c.answer);
    questions.clear();
    EXPECT_FALSE(Text().isEmpty());
    EXPECT_EQ(Editor().CanSave(), c.file);
    EXPECT_EQ(Find<QToolButton>(&Editor(), "BitBtn1")->isEnabled(), c.file);
    Type(QString::fromLatin1(c.typed));
    EXPECT_FALSE(Editor().Sichern());
    if (!c.typed[0]) Editor().Schliessen();
    EXPECT_EQ(questions.size(), c.questions);
    EXPECT_EQ(IniFile(), c.file ? kIni : QByteArray());
    Stop();
  }
}

TEST_F(SettingsTest, Latin1FileIsSavedInLatin1) {
  WriteIni("[id]\r\nuser=M\xFCller\r\n");
  Start();
  EXPECT_EQ(ctx->config.User(), u"Müller"_s);
  OpenEditor();
  AnswerSave(true);
  Type(u"[ort]\nname=Köln\n"_s);
  ASSERT_TRUE(Editor().Sichern());
  EXPECT_EQ(IniFile(), QByteArray("[id]\r\nuser=M\xFCller\r\n[ort]\r\nname=K\xF6ln\r\n"));
  // A character Latin-1 cannot hold is never turned into "?": the file
  // becomes UTF-8 once the user agreed to that too.
  Type(u"x=€\n"_s);
  const qsizetype asked = questions.size();
  ASSERT_TRUE(Editor().Sichern());
  EXPECT_EQ(questions.size() - asked, 2);
  EXPECT_EQ(IniFile(), u"[id]\r\nuser=Müller\r\n[ort]\r\nname=Köln\r\nx=€\r\n"_s.toUtf8());
}

TEST_F(SettingsTest, PathsListing) {
  WriteIni("[files]\r\nbase=" + Path(u"lift"_s).toUtf8() +
           "\r\nDataDir=$(base)/daten\r\nFilesDir=$(BASE)/files\r\nhelpdir=hilfe\r\nDokuDir=doku\r\n"
           "Fehler=fehler.ini\r\ndecodefile=$(BASE)/decode.ini\r\ndebugfile=debug.txt\r\nkennung=V2-Test\r\n"
           "[id]\r\nuser=Meier\r\n[logfiles]\r\nmainlogfile=main.log\r\n");
  WriteFile(u"fehler.ini"_s, "[id]\r\nfile=FEHLER.INI\r\nversion=7\r\n");
  Start();
  Menu("FILES1");
  const QStringList lines = Listing().split(QLatin1Char('\n'));
  const QString lift = Path(u"lift"_s);
  const QStringList paths = {
      u"        User : Meier"_s,
      u"     Version : v2-test"_s,
      u"     LogFile : "_s + Path(u"main.log"_s),
      u"  FehlerFile : "_s + lift + u"/daten/fehler.ini"_s,
      u"  Decodefile : "_s + lift + u"/decode.ini"_s,
      u" Defaultfile : "_s + lift + u"/files/default.smb"_s,
      u"     HelpDir : "_s + Path(u"hilfe"_s),
      u"     DokuDir : "_s + Path(u"doku"_s),
      u"    FilesDir : "_s + lift + u"/files"_s,
      u"     DataDir : "_s + lift + u"/daten"_s,
      u"   DebugFile : "_s + lift + u"/daten/debug.txt"_s,
  };
  EXPECT_EQ(lines.mid(lines.size() - paths.size()), paths);
}

TEST_F(SettingsTest, PathsListingIsRebuiltAtEveryShow) {
  WriteIni("[id]\r\nuser=Meier\r\n");
  Start();
  QAction* files = Find<QAction>(&Form3(), "FILES1");
  files->trigger();
  const QString first = Listing();
  Click(windows->Files, "BitBtn2");
  EXPECT_TRUE(windows->Files->isHidden());
  files->trigger();
  EXPECT_EQ(Listing(), first);
  // A saved edit of the configuration shows at the next opening.
  WriteIni("[id]\r\nuser=Schulze\r\n");
  ctx->config.Reload();
  windows->Files->hide();
  files->trigger();
  EXPECT_TRUE(Listing().contains(u"        User : Schulze"_s));
  EXPECT_EQ(Listing().count(u"User : "_s), 1);
}

// The port row offers the adapters' by-id names and stores a device by its
// by-id name however it was given; any other path is stored as typed.
TEST_F(SettingsTest, PortRowStoresTheStableName) {
  QTemporaryDir fake;
  const QString dev = fake.filePath(u"dev"_s), byId = dev + u"/serial/by-id/usb-Adapter_A1-if00-port0"_s;
  WriteBytes(dev + u"/ttyUSB3"_s, {});
  QDir().mkpath(dev + u"/serial/by-id"_s);
  QFile::link(u"../../ttyUSB3"_s, byId);
  WriteBytes(fake.filePath(u"sys/class/tty/ttyUSB3/device/uevent"_s), {});
  WriteIni(kIni);
  Start();
  OpenEditor();
  AnswerSave(true);
  Editor().PortRoots = DoctorRoots{dev, fake.filePath(u"sys"_s), fake.filePath(u"proc"_s), {}};
  Editor().RefreshPorts();
  ASSERT_EQ(Editor().ComDeviceBox->count(), 1);
  EXPECT_EQ(Editor().ComDeviceBox->itemText(0), byId);
  Editor().ComNumberBox->setCurrentIndex(1);
  for (const QString& typed : {dev + u"/ttyUSB3"_s, byId, u"/dev/ttyS7"_s}) {
    Editor().ComDeviceBox->setEditText(typed);
    Click(&Editor(), "ComEnterButton");
    const QString stored = typed.endsWith(u"ttyS7"_s) ? typed : byId;
    EXPECT_TRUE(IniFile().endsWith("[comport]\r\ncom2=" + stored.toUtf8() + "\r\n")) << IniFile().constData();
    EXPECT_EQ(ctx->config.ComDevice(2), stored);
  }
}

}  // namespace
}  // namespace ulv::test
