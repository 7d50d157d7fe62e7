// The settings editor and the paths window: the editor's round trip, its
// interplay with the configuration held in memory and written back at the
// end, and the paths listing rebuilt at every show.
#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QToolButton>

#include "app_rig.h"

namespace ulv::test {
namespace {

class SettingsTest : public AppRig {
protected:
  void OpenEditor() { Form3().findChild<QAction*>(QStringLiteral("IniFile1"))->trigger(); }
  Tini_form& Editor() { return *windows->ini_form; }
  // Typing at the end of the text.
  void Type(const QString& text) {
    QTextCursor c = Editor().Memo1->textCursor();
    c.movePosition(QTextCursor::End);
    Editor().Memo1->setTextCursor(c);
    Editor().Memo1->insertPlainText(text);
  }
  void AnswerSave(bool ok) {
    Editor().AskSave = [this, ok](const QString& title, const QString& text) {
      questions.append(title + QStringLiteral("|") + text);
      return ok;
    };
  }
  QStringList questions;
};

const QByteArray kIni =
    "; a comment line\r\n[files]\r\nbase=/opt/ulv\r\n[Tarvo]\r\nnummer=3\r\n[enable]\r\nbuttons=0000000\r\n";

TEST_F(SettingsTest, ShowsTheFileAndItsName) {
  WriteIni(kIni);
  Start();
  OpenEditor();
  EXPECT_EQ(Form3().Panel1->FrontWindow(), &Editor());
  EXPECT_EQ(Editor().Panel1->text(), QStringLiteral("   ") + IniPath());
  EXPECT_EQ(Editor().Memo1->toPlainText(), QString::fromLatin1(kIni).remove(QLatin1Char('\r')));
  EXPECT_TRUE(Editor().CanSave());
}

TEST_F(SettingsTest, SaveAsksAndWritesAndTheProgramUsesTheEdit) {
  WriteIni(kIni);
  Start();
  OpenEditor();
  AnswerSave(true);
  QString text = Editor().Memo1->toPlainText();
  text.replace(QStringLiteral("buttons=0000000"), QStringLiteral("buttons=1000000"));
  Editor().Memo1->selectAll();
  Editor().Memo1->insertPlainText(text);
  Editor().findChild<QToolButton*>(QStringLiteral("BitBtn1"))->click();
  EXPECT_EQ(questions, QStringList{QStringLiteral("IniFile geändert|Änderung sichern ?")});
  // Written with CR LF, the comment kept as typed.
  EXPECT_EQ(ReadFile(QStringLiteral("ulvreader.INI")),
            QByteArray(kIni).replace("buttons=0000000", "buttons=1000000"));
  EXPECT_EQ(ctx->config.EnableButtons(), QStringLiteral("1000000"));
  // The modified flag stays: closing asks again.
  Editor().findChild<QToolButton*>(QStringLiteral("CloseButton"))->click();
  EXPECT_EQ(questions.size(), 2);
  EXPECT_TRUE(Editor().isHidden());
  // The program's own change after the save reaches the file at the end
  // without losing the user's edit.
  ctx->config.SetTarvoNummer(12);
  windows.reset();
  ctx->Finish();
  const QByteArray file = ReadFile(QStringLiteral("ulvreader.INI"));
  EXPECT_TRUE(file.contains("buttons=1000000\r\n")) << file.constData();
  EXPECT_TRUE(file.contains("nummer=12\r\n")) << file.constData();
}

TEST_F(SettingsTest, SaveWithoutTypingAsksNothingAndWritesNothing) {
  WriteIni(kIni);
  Start();
  OpenEditor();
  AnswerSave(true);
  EXPECT_FALSE(Editor().Sichern());
  Editor().Schliessen();
  EXPECT_TRUE(questions.isEmpty());
  EXPECT_EQ(ReadFile(QStringLiteral("ulvreader.INI")), kIni);
}

TEST_F(SettingsTest, CancelWritesNothing) {
  WriteIni(kIni);
  Start();
  OpenEditor();
  AnswerSave(false);
  Type(QStringLiteral("[neu]\nx=1\n"));
  EXPECT_FALSE(Editor().Sichern());
  EXPECT_EQ(questions.size(), 1);
  EXPECT_EQ(ReadFile(QStringLiteral("ulvreader.INI")), kIni);
}

TEST_F(SettingsTest, ValuesChangedDuringTheRunAreShownBeforeEditing) {
  WriteIni(kIni);
  Start();
  ctx->config.SetTarvoNummer(42);
  OpenEditor();
  EXPECT_TRUE(Editor().Memo1->toPlainText().contains(QStringLiteral("nummer=42")))
      << qPrintable(Editor().Memo1->toPlainText());
  EXPECT_TRUE(ReadFile(QStringLiteral("ulvreader.INI")).contains("nummer=42\r\n"));
  // Showing again reloads: an unsaved edit is gone.
  Type(QStringLiteral("[weg]\r\n"));
  Editor().hide();
  OpenEditor();
  EXPECT_FALSE(Editor().Memo1->toPlainText().contains(QStringLiteral("[weg]")));
}

TEST_F(SettingsTest, Latin1FileIsSavedInLatin1) {
  WriteIni("[id]\r\nuser=M\xFCller\r\n");
  Start();
  EXPECT_EQ(ctx->config.User(), QStringLiteral("Müller"));
  OpenEditor();
  AnswerSave(true);
  Type(QStringLiteral("[ort]\nname=Köln\n"));
  ASSERT_TRUE(Editor().Sichern());
  EXPECT_EQ(ReadFile(QStringLiteral("ulvreader.INI")),
            QByteArray("[id]\r\nuser=M\xFCller\r\n[ort]\r\nname=K\xF6ln\r\n"));
}

TEST_F(SettingsTest, WithoutConfigurationFileThereIsNothingToSave) {
  Start();
  OpenEditor();
  AnswerSave(true);
  EXPECT_FALSE(Editor().CanSave());
  EXPECT_FALSE(Editor().findChild<QToolButton*>(QStringLiteral("BitBtn1"))->isEnabled());
  EXPECT_FALSE(Editor().Memo1->toPlainText().isEmpty());
  EXPECT_FALSE(Editor().Sichern());
  EXPECT_TRUE(questions.isEmpty());
}

TEST_F(SettingsTest, PathsListing) {
  WriteIni("[files]\r\nbase=" + Path(QStringLiteral("lift")).toUtf8() +
           "\r\nDataDir=$(base)/daten\r\nFilesDir=$(BASE)/files\r\nhelpdir=hilfe\r\nDokuDir=doku\r\n"
           "Fehler=fehler.ini\r\ndecodefile=$(BASE)/decode.ini\r\ndebugfile=debug.txt\r\nkennung=V2-Test\r\n"
           "[id]\r\nuser=Meier\r\n[logfiles]\r\nmainlogfile=main.log\r\n");
  WriteFile(QStringLiteral("fehler.ini"), "[id]\r\nfile=FEHLER.INI\r\nversion=7\r\n");
  Start();
  Form3().findChild<QAction*>(QStringLiteral("FILES1"))->trigger();
  const QStringList lines = windows->Files->Memo1->toPlainText().split(QLatin1Char('\n'));
  const QString lift = Path(QStringLiteral("lift"));
  const QStringList head = {QStringLiteral("reader.040604"), QStringLiteral("ulv_tarvo.310702"),
                            QStringLiteral("ulv_fehler.270702"), QStringLiteral("unit26.040402"),
                            QStringLiteral("qel_transfer.280702")};
  ASSERT_GE(lines.size(), 5 + 6 + 3 + 11);
  EXPECT_EQ(lines.mid(0, 5), head);
  EXPECT_EQ(lines.mid(11, 3),
            (QStringList{QStringLiteral(" "), QStringLiteral("  Zugriffs-Pfade und Dateien"),
                         QStringLiteral(" ")}));
  const QStringList paths = {
      QStringLiteral("        User : Meier"),
      QStringLiteral("     Version : v2-test"),
      QStringLiteral("     LogFile : ") + Path(QStringLiteral("main.log")),
      QStringLiteral("  FehlerFile : ") + lift + QStringLiteral("/daten/fehler.ini"),
      QStringLiteral("  Decodefile : ") + lift + QStringLiteral("/decode.ini"),
      QStringLiteral(" Defaultfile : ") + lift + QStringLiteral("/files/default.smb"),
      QStringLiteral("     HelpDir : ") + Path(QStringLiteral("hilfe")),
      QStringLiteral("     DokuDir : ") + Path(QStringLiteral("doku")),
      QStringLiteral("    FilesDir : ") + lift + QStringLiteral("/files"),
      QStringLiteral("     DataDir : ") + lift + QStringLiteral("/daten"),
      QStringLiteral("   DebugFile : ") + lift + QStringLiteral("/daten/debug.txt"),
  };
  EXPECT_EQ(lines.mid(14), paths);
}

TEST_F(SettingsTest, PathsListingIsRebuiltAtEveryShow) {
  WriteIni("[id]\r\nuser=Meier\r\n");
  Start();
  QAction* files = Form3().findChild<QAction*>(QStringLiteral("FILES1"));
  files->trigger();
  const QString first = windows->Files->Memo1->toPlainText();
  EXPECT_EQ(first.count(QStringLiteral("reader.040604")), 1);
  windows->Files->findChild<QToolButton*>(QStringLiteral("BitBtn2"))->click();
  EXPECT_TRUE(windows->Files->isHidden());
  files->trigger();
  EXPECT_EQ(windows->Files->Memo1->toPlainText(), first);
  // A saved edit of the configuration shows at the next opening.
  WriteIni("[id]\r\nuser=Schulze\r\n");
  ctx->config.Reload();
  windows->Files->hide();
  files->trigger();
  EXPECT_TRUE(windows->Files->Memo1->toPlainText().contains(QStringLiteral("        User : Schulze")));
  EXPECT_EQ(windows->Files->Memo1->toPlainText().count(QStringLiteral("User : ")), 1);
}

TEST_F(SettingsTest, PathsListingWithoutConfigurationShowsDefaults) {
  Start();
  windows->Files->BuildListing();
  const QString text = windows->Files->Memo1->toPlainText();
  EXPECT_TRUE(text.contains(QStringLiteral("        User : keine [id] angegeben !!\n")));
  EXPECT_TRUE(text.contains(QStringLiteral("     DataDir : \n")));
}

}  // namespace
}  // namespace ulv::test
