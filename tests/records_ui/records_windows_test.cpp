// The error log window and the plant identity window, offscreen, with the
// modal questions answered by the test.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QToolButton>

#include "records/error_log_window.h"
#include "records/identity_window.h"
#include "records/records_rig.h"

namespace ulv::test {
namespace {

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

// Both windows on the scripted queue; their dialogs answer from the fields.
class WindowTest : public RecordsTest {
protected:
  void SetUp() override {
    RecordsTest::SetUp();
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
    form.Dialogs.InputText = namen.Dialogs.InputText = [this](QWidget*, const QString& caption,
                                                              const QString& prompt, QString* text) {
      inputArgs = {caption, prompt, *text};
      *text = inputAnswer;
      return inputOk;
    };
    form.Dialogs.FileError = [this](QWidget*, const QString& text) { fileErrors << text; };
  }

  // A control of the error log window, or of `in`.
  template <typename T = QToolButton>
  T* Child(const char* name, QWidget* in = nullptr) {
    T* w = (in ? in : &form)->findChild<T*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QPlainTextEdit* Memo() { return Child<QPlainTextEdit>("Memo1"); }
  QStringList MemoLines() { return Memo()->toPlainText().split(QLatin1Char('\n')); }
  // Reads three records of group 12, code 3, at 01.02.00 23:59:58.
  void ReadThree() {
    Child("HolenButton")->click();
    transfers.RunAll([](const QByteArray& c) {
      if (c == B({0xF1, 0x31})) return B({0xF4, 3, 0, 0, 0});
      return B({0xF7, 0x0C, 0x03, static_cast<uint8_t>(c[3]), 0x20, 0x00, 0xBF, 0xA8});
    });
  }

  QTemporaryDir dir;
  ErrorCatalogue catalogue;
  ErrorLogReader reader{transfers, utils, catalogue, identity, clock};
  TForm4 form{reader};
  TNamenForm namen{identity};

  QStringList saveArgs;
  QString saveAnswer;
  std::vector<Asked> asked;
  QMessageBox::StandardButton questionAnswer = QMessageBox::Cancel;
  QStringList inputArgs;
  QString inputAnswer;
  bool inputOk = true;
  QStringList fileErrors;
};

// The control names the program and its users rely on.
TEST_F(WindowTest, ControlsCarryTheirNames) {
  for (const char* name : {"CloseButton", "HolenButton", "BitBtn1", "SaveButton", "BitBtn2", "DeleteButton"})
    Child(name);
  for (const char* name : {"CloseButton", "HolenButton", "SpeedButton1", "SpeedButton2"}) Child(name, &namen);
  form.SetToolButtonHeight(34);
  EXPECT_EQ(Child("HolenButton")->height(), 34);
  form.SetStatus(0);
  EXPECT_EQ(form.windowTitle(), u"Leser"_s);
}

// The list shows the whole read, "Transfer Daten" hands every line over.
TEST_F(WindowTest, ReadListsTheRecordsAndShowsProgress) {
  QStringList handedOver;
  form.TransferDataHook = [&](const QStringList& l) { handedOver = l; };
  ReadThree();
  const QStringList memo = MemoLines();
  EXPECT_EQ(memo.first(), u"ulv_fehler.270702"_s);
  EXPECT_EQ(memo.filter(u"] Tür offen "_s).size(), 3);
  EXPECT_EQ(memo.last(), u" OK"_s);
  Child("BitBtn2")->click();
  EXPECT_EQ(handedOver, memo);
  EXPECT_EQ(form.windowTitle(), u"Holt"_s);
  auto* gauge = Child<QProgressBar>("Gauge1");
  EXPECT_EQ(gauge->maximum(), 3);
  EXPECT_EQ(gauge->value(), 3);
  EXPECT_FALSE(Memo()->document()->isModified());
}

TEST_F(WindowTest, HexNeedsTheRecordsOfARead) {
  // An empty read leaves no FEHLER.BIN: a message, nothing added.
  Child("HolenButton")->click();
  transfers.RunAll([](const QByteArray&) { return B({0xF4, 0, 0, 0, 0}); });
  const QStringList empty = MemoLines();
  Child("BitBtn1")->click();
  EXPECT_EQ(fileErrors.size(), 1);
  EXPECT_EQ(MemoLines(), empty);

  fileErrors.clear();
  ReadThree();
  const qsizetype before = MemoLines().size();
  Child("BitBtn1")->click();
  EXPECT_EQ(MemoLines().mid(before).filter(u" 0C 03 "_s).size(), 3);
  EXPECT_TRUE(fileErrors.isEmpty());
}

TEST_F(WindowTest, SaveAskedNotToOverwriteWritesNothing) {
  ReadThree();
  const QString path = dir.filePath(u"Fehler.txt"_s);
  ASSERT_TRUE(WriteBytes(path, "alt"));
  saveAnswer = path;
  questionAnswer = QMessageBox::No;
  EXPECT_FALSE(form.SaveButtonClick());
  EXPECT_EQ(saveArgs.value(0), dir.path());
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, path + u" überschreiben ?"_s);
  EXPECT_EQ(asked[0].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  EXPECT_EQ(ReadBytes(path), QByteArray("alt"));

  questionAnswer = QMessageBox::Cancel;
  EXPECT_FALSE(form.SaveButtonClick());
  EXPECT_EQ(ReadBytes(path), QByteArray("alt"));

  questionAnswer = QMessageBox::Yes;
  EXPECT_TRUE(form.SaveButtonClick());
  const QByteArray saved = ReadBytes(path);
  EXPECT_TRUE(saved.startsWith("ulv_fehler.270702\r\ndecode-file-info\r\n"));
  EXPECT_TRUE(saved.endsWith(" OK\r\n"));
  EXPECT_FALSE(saved.contains("\n\n"));
  EXPECT_TRUE(saved.contains(u"[TUER:3,2] Tür offen 2\r\n"_s.toUtf8()));
}

TEST_F(WindowTest, CloseAsksOnlyAfterTypingAndEmptiesTheList) {
  form.show();
  ReadThree();
  Child("CloseButton")->click();
  EXPECT_TRUE(asked.empty());
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(Memo()->toPlainText().isEmpty());

  form.show();
  Memo()->insertPlainText(u"Notiz\nzwei"_s);  // as typing does
  saveAnswer = dir.filePath(u"notiz.txt"_s);
  questionAnswer = QMessageBox::Ok;
  Child("CloseButton")->click();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, u"Änderung sichern ?"_s);
  EXPECT_EQ(asked[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
  // A new file: no question about overwriting, lines end in CR LF.
  EXPECT_EQ(ReadBytes(saveAnswer), QByteArray("Notiz\r\nzwei\r\n"));
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(Memo()->toPlainText().isEmpty());
}

TEST_F(WindowTest, DeleteNeedsTheExactAnswer) {
  struct Case {
    bool ok;
    const char* answer;
    bool sends;
  };
  const Case cases[] = {{true, "ja", false}, {true, "JA ", false}, {false, "JA", false}, {true, "JA", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ok << " '" << c.answer << "'");
    transfers.accepted.clear();
    transfers.waiting.clear();
    inputOk = c.ok;
    inputAnswer = QString::fromUtf8(c.answer);
    Child("DeleteButton")->click();
    EXPECT_EQ(inputArgs, (QStringList{u"Fehlerspeicher löschen"_s, u"Zum Löschen JA eingeben"_s, u"JA"_s}));
    // The delete request goes first; nothing at all without the exact answer.
    EXPECT_EQ(transfers.accepted.empty() ? QByteArray() : transfers.accepted[0],
              c.sends ? B({0xF1, 0x25}) : QByteArray());
  }
}

TEST_F(WindowTest, NamenHolenFillsMemoAndEditFields) {
  Child("HolenButton", &namen)->click();
  transfers.Reply(TextReply("AUFZUG 3"));
  transfers.Reply(TextReply("1234567"));
  transfers.Reply("\xFF"_ba + "V2.14");
  transfers.Reply(B({0xF4, 5, 0, 2, 0}));
  transfers.Reply(B({0xF8, 1, 0, 0, 0, 2, 0, 0, 0}));
  EXPECT_EQ(Child<QLineEdit>("Name_Edit", &namen)->text(), u"AUFZUG 3"_s);
  EXPECT_EQ(Child<QLineEdit>("Tel_Edit", &namen)->text(), u".1234567"_s);
  EXPECT_TRUE(Child<QPlainTextEdit>("Memo1", &namen)->toPlainText().contains(u"Kennung: AUFZUG 3"_s));
}

TEST_F(WindowTest, NamenSetNameAndTelephoneAskThenWrite) {
  Child<QLineEdit>("Name_Edit", &namen)->setText(u"ALT"_s);
  Child<QLineEdit>("Tel_Edit", &namen)->setText(u".0815"_s);
  inputOk = false;
  Child("SpeedButton1", &namen)->click();
  EXPECT_EQ(inputArgs, (QStringList{u"Name"_s, QString(), u"ALT"_s}));
  EXPECT_TRUE(transfers.accepted.empty());

  inputOk = true;
  inputAnswer = u"NEU"_s;
  Child("SpeedButton1", &namen)->click();
  inputAnswer = u"0815-4711"_s;
  Child("SpeedButton2", &namen)->click();
  EXPECT_EQ(inputArgs, (QStringList{u"Telefon"_s, QString(), u".0815"_s}));
  ASSERT_EQ(transfers.accepted.size(), 2u);
  EXPECT_EQ(transfers.accepted[0], B({0xFF, 0x55, 0x11}) + QByteArray("NEU\0\0\0\0\0\0\0\0\0\0", 13));
  EXPECT_EQ(transfers.accepted[1], B({0xFF, 0x55, 0x13}) + QByteArray("0815-4711\0\0\0\0", 13));
  EXPECT_EQ(Child<QLineEdit>("Name_Edit", &namen)->text(), u"ALT"_s);
}

}  // namespace
}  // namespace ulv::test
