// The error log window and the plant identity window, offscreen, with the
// modal questions answered by the test.
#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QToolButton>

#include "common/virtual_clock.h"
#include "records/error_log_window.h"
#include "records/fake_transfers.h"
#include "records/identity_window.h"

namespace ulv {
namespace {

using test::B;
using test::FakeTransfers;

const char kCatalogue[] =
    "[texte]\n"
    "_FEHLER_READER_=Leser\n"
    "_HOLEN_=Holt\n"
    "_FEHLER_=Fehlerspeicher löschen\n"
    "_LOESCHEN_=Zum Löschen JA eingeben\n"
    "_JA_=JA\n"
    "_unit45_1=Fehlerliste\n"
    "_unit45_2= Fehler\n"
    "[12]\n"
    "id=TUER\n"
    "3=Tür offen %o\n";

struct Asked {
  QString title;
  QString text;
  QMessageBox::StandardButtons buttons;
};

class WindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    catalogue.LoadFromBytes(QByteArray(kCatalogue));
    reader.SetListDirectory(dir.path());
    form.Dokudir = [this] { return dir.path(); };
    form.Dialogs.SaveFileName = [this](QWidget*, const QString& d, const QString& name,
                                       const QString& filter) {
      saveArgs = {d, name, filter};
      return saveAnswer;
    };
    form.Dialogs.Question = [this](QWidget*, const QString& title, const QString& text,
                                   QMessageBox::StandardButtons buttons) {
      asked.push_back(Asked{title, text, buttons});
      return questionAnswer;
    };
    form.Dialogs.InputText = [this](QWidget*, const QString& caption, const QString& prompt, QString* text) {
      inputArgs = {caption, prompt, *text};
      *text = inputAnswer;
      return inputOk;
    };
    form.Dialogs.FileError = [this](QWidget*, const QString& text) { fileErrors << text; };
  }
  void TearDown() override { QLocale::setDefault(QLocale::c()); }

  template <typename T = QToolButton>
  T* Child(const char* name) {
    T* w = form.findChild<T*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QStringList MemoLines() { return Child<QPlainTextEdit>("Memo1")->toPlainText().split(QLatin1Char('\n')); }
  void ReadThree() {
    Child("HolenButton")->click();
    transfers.RunAll([](const QByteArray& c) {
      if (c == B({0xF1, 0x31})) return B({0xF4, 3, 0, 0, 0});
      return B({0xF7, 0x0C, 0x03, static_cast<uint8_t>(c[3]), 0x20, 0x00, 0xBF, 0xA8});
    });
  }
  QByteArray FileData(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }

  QTemporaryDir dir;
  VirtualClock clock{QDateTime(QDate(2026, 3, 14), QTime(10, 0, 0))};
  FakeTransfers transfers;
  QelUtils utils{transfers, clock};
  ErrorCatalogue catalogue;
  PlantIdentity identity{transfers, utils, clock};
  ErrorLogReader reader{transfers, utils, catalogue, identity, clock};
  TForm4 form{reader};

  QStringList saveArgs;
  QString saveAnswer;
  std::vector<Asked> asked;
  QMessageBox::StandardButton questionAnswer = QMessageBox::Cancel;
  QStringList inputArgs;
  QString inputAnswer;
  bool inputOk = true;
  QStringList fileErrors;
};

TEST_F(WindowTest, ToolbarControlsCarryTheirNamesCaptionsAndHints) {
  struct Case {
    const char* name;
    const char* caption;
    const char* hint;
  };
  const std::vector<Case> cases = {
      {"CloseButton", "Schliessen", ""},
      {"HolenButton", "holen", "Fehlerspeicher von der Steuerung holen"},
      {"BitBtn1", "HEX", "dekodiert Fehler zusätzlich als Hexbytes..."},
      {"SaveButton", "Sichern", "angezeigte Seite sichern"},
      {"BitBtn2", "Transfer Daten", "Daten in die ALLES Seite kopieren"},
      {"DeleteButton", "Löschen", "Fehler Speicher in der Steuerung löschen"},
  };
  for (const Case& c : cases) {
    QToolButton* b = Child(c.name);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->text(), QString::fromUtf8(c.caption));
    EXPECT_EQ(b->toolTip(), QString::fromUtf8(c.hint));
  }
  form.SetToolButtonHeight(34);
  EXPECT_EQ(Child("HolenButton")->height(), 34);
  form.SetStatus(0);
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Leser"));
}

TEST_F(WindowTest, ReadListsTheRecordsAndShowsProgress) {
  ReadThree();
  const QStringList memo = MemoLines();
  ASSERT_GE(memo.size(), 6);
  EXPECT_EQ(memo.first(), QStringLiteral("ulv_fehler.270702"));
  EXPECT_EQ(memo.mid(memo.size() - 4),
            (QStringList{QStringLiteral(" 001 :  01.02.00  23:59:58 [TUER:3,2] Tür offen 2"),
                         QStringLiteral(" 002 :  01.02.00  23:59:58 [TUER:3,1] Tür offen 1"),
                         QStringLiteral(" 003 :  01.02.00  23:59:58 [TUER:3,0] Tür offen 0"),
                         QStringLiteral(" OK")}));
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Holt"));
  auto* gauge = Child<QProgressBar>("Gauge1");
  EXPECT_EQ(gauge->maximum(), 3);
  EXPECT_EQ(gauge->value(), 3);
  EXPECT_FALSE(Child<QPlainTextEdit>("Memo1")->document()->isModified());
}

TEST_F(WindowTest, HexAddsTheHexListingAfterARead) {
  ReadThree();
  const int before = static_cast<int>(MemoLines().size());
  Child("BitBtn1")->click();
  const QStringList memo = MemoLines();
  ASSERT_EQ(memo.size(), before + 3);
  EXPECT_EQ(memo[before],
            QStringLiteral(" 001 : 0C 03 02 20 00 BF A8     01.02.00  23:59:58 [TUER:3,2] Tür offen 2"));
  EXPECT_TRUE(fileErrors.isEmpty());
}

TEST_F(WindowTest, HexWithoutFehlerBinShowsAMessageAndAddsNothing) {
  Child("HolenButton")->click();
  transfers.RunAll([](const QByteArray&) { return B({0xF4, 0, 0, 0, 0}); });
  const QStringList before = MemoLines();
  Child("BitBtn1")->click();
  EXPECT_EQ(fileErrors.size(), 1);
  EXPECT_EQ(MemoLines(), before);
}

TEST_F(WindowTest, SaveAskedNotToOverwriteWritesNothing) {
  ReadThree();
  const QString path = dir.filePath(QStringLiteral("Fehler.txt"));
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("alt");
  }
  saveAnswer = path;
  questionAnswer = QMessageBox::No;
  EXPECT_FALSE(form.SaveButtonClick());
  EXPECT_EQ(saveArgs, (QStringList{dir.path(), QStringLiteral("Fehler.txt"),
                                   QStringLiteral("Ulv Fehlerdateien (*.txt)")}));
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, path + QStringLiteral(" überschreiben ?"));
  EXPECT_EQ(asked[0].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  EXPECT_EQ(FileData(path), QByteArray("alt"));

  questionAnswer = QMessageBox::Cancel;
  EXPECT_FALSE(form.SaveButtonClick());
  EXPECT_EQ(FileData(path), QByteArray("alt"));

  questionAnswer = QMessageBox::Yes;
  EXPECT_TRUE(form.SaveButtonClick());
  const QByteArray saved = FileData(path);
  EXPECT_TRUE(saved.startsWith("ulv_fehler.270702\r\ndecode-file-info\r\n"));
  EXPECT_TRUE(saved.endsWith(" OK\r\n"));
  EXPECT_FALSE(saved.contains("\n\n"));
  EXPECT_TRUE(saved.contains(QStringLiteral("[TUER:3,2] Tür offen 2\r\n").toUtf8()));
}

TEST_F(WindowTest, SaveToANewFileAsksNothing) {
  Child<QPlainTextEdit>("Memo1")->setPlainText(QStringLiteral("a\nb"));
  saveAnswer = dir.filePath(QStringLiteral("neu.txt"));
  EXPECT_TRUE(form.SaveButtonClick());
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(FileData(saveAnswer), QByteArray("a\r\nb\r\n"));
  EXPECT_FALSE(Child<QPlainTextEdit>("Memo1")->document()->isModified());
}

TEST_F(WindowTest, CloseAsksOnlyAfterTypingAndEmptiesTheList) {
  form.show();
  ReadThree();
  Child("CloseButton")->click();
  EXPECT_TRUE(asked.empty());
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(Child<QPlainTextEdit>("Memo1")->toPlainText().isEmpty());

  form.show();
  auto* memo = Child<QPlainTextEdit>("Memo1");
  memo->insertPlainText(QStringLiteral("Notiz"));  // as typing does
  saveAnswer = dir.filePath(QStringLiteral("notiz.txt"));
  questionAnswer = QMessageBox::Ok;
  Child("CloseButton")->click();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, QStringLiteral("Änderung sichern ?"));
  EXPECT_EQ(asked[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
  EXPECT_EQ(FileData(saveAnswer), QByteArray("Notiz\r\n"));
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(memo->toPlainText().isEmpty());
}

TEST_F(WindowTest, DeleteNeedsTheExactAnswer) {
  struct Case {
    bool ok;
    const char* answer;
    bool sends;
  };
  const std::vector<Case> cases = {
      {true, "ja", false}, {true, "JA ", false}, {false, "JA", false}, {true, "JA", true}};
  for (const Case& c : cases) {
    transfers.accepted.clear();
    transfers.waiting.clear();
    inputOk = c.ok;
    inputAnswer = QString::fromUtf8(c.answer);
    Child("DeleteButton")->click();
    EXPECT_EQ(inputArgs, (QStringList{QStringLiteral("Fehlerspeicher löschen"),
                                      QStringLiteral("Zum Löschen JA eingeben"), QStringLiteral("JA")}));
    if (c.sends) {
      ASSERT_FALSE(transfers.accepted.empty());
      EXPECT_EQ(transfers.accepted[0], B({0xF1, 0x25}));
    } else {
      EXPECT_TRUE(transfers.accepted.empty()) << c.answer;
    }
  }
}

TEST_F(WindowTest, TransferDatenHandsOverEveryLine) {
  QStringList got;
  form.TransferDataHook = [&](const QStringList& l) { got = l; };
  ReadThree();
  Child("BitBtn2")->click();
  EXPECT_EQ(got, MemoLines());
}

class NamenTest : public ::testing::Test {
protected:
  void SetUp() override {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    form.Dialogs.InputText = [this](QWidget*, const QString& caption, const QString& prompt, QString* text) {
      inputArgs = {caption, prompt, *text};
      *text = inputAnswer;
      return inputOk;
    };
  }
  void TearDown() override { QLocale::setDefault(QLocale::c()); }
  template <typename T = QToolButton>
  T* Child(const char* name) {
    T* w = form.findChild<T*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  VirtualClock clock{QDateTime(QDate(2026, 3, 14), QTime(10, 0, 0))};
  FakeTransfers transfers;
  QelUtils utils{transfers, clock};
  PlantIdentity identity{transfers, utils, clock};
  TNamenForm form{identity};
  QStringList inputArgs;
  QString inputAnswer;
  bool inputOk = true;
};

TEST_F(NamenTest, HolenFillsMemoAndEditFields) {
  EXPECT_EQ(Child("SpeedButton1")->text(), QStringLiteral("Set-Name"));
  EXPECT_EQ(Child("SpeedButton2")->text(), QStringLiteral("Set-Telefon"));
  Child("HolenButton")->click();
  transfers.Reply(
      QByteArray("\xFF"
                 "AUFZUG 3       ",
                 16));
  transfers.Reply(
      QByteArray("\xFF"
                 "1234567        ",
                 16));
  transfers.Reply(
      QByteArray("\xFF"
                 "V2.14",
                 6));
  transfers.Reply(B({0xF4, 5, 0, 2, 0}));
  transfers.Reply(B({0xF8, 1, 0, 0, 0, 2, 0, 0, 0}));
  EXPECT_EQ(Child<QLineEdit>("Name_Edit")->text(), QStringLiteral("AUFZUG 3"));
  EXPECT_EQ(Child<QLineEdit>("Tel_Edit")->text(), QStringLiteral(".1234567"));
  EXPECT_EQ(Child<QPlainTextEdit>("Memo1")->toPlainText().split(QLatin1Char('\n')).size(), 7);
  EXPECT_EQ(identity.PlantId(), QStringLiteral("AUFZUG 3"));
}

TEST_F(NamenTest, SetNameAndTelephoneAskThenWrite) {
  Child<QLineEdit>("Name_Edit")->setText(QStringLiteral("ALT"));
  Child<QLineEdit>("Tel_Edit")->setText(QStringLiteral(".0815"));
  inputOk = false;
  Child("SpeedButton1")->click();
  EXPECT_EQ(inputArgs, (QStringList{QStringLiteral("Name"), QString(), QStringLiteral("ALT")}));
  EXPECT_TRUE(transfers.accepted.empty());

  inputOk = true;
  inputAnswer = QStringLiteral("NEU");
  Child("SpeedButton1")->click();
  inputAnswer = QStringLiteral("0815-4711");
  Child("SpeedButton2")->click();
  EXPECT_EQ(inputArgs, (QStringList{QStringLiteral("Telefon"), QString(), QStringLiteral(".0815")}));
  ASSERT_EQ(transfers.accepted.size(), 2u);
  EXPECT_EQ(transfers.accepted[0], B({0xFF, 0x55, 0x11}) + QByteArray("NEU\0\0\0\0\0\0\0\0\0\0", 13));
  EXPECT_EQ(transfers.accepted[1], B({0xFF, 0x55, 0x13}) + QByteArray("0815-4711\0\0\0\0", 13));
  EXPECT_EQ(Child<QLineEdit>("Name_Edit")->text(), QStringLiteral("ALT"));
}

}  // namespace
}  // namespace ulv
