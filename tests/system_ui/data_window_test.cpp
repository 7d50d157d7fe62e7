// The data window's save and close flows, offscreen, with the dialogs
// answered by the test.
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "common/virtual_clock.h"
#include "link/fake_transfers.h"
#include "link/qel_utils.h"
#include "system/data_window.h"

using namespace Qt::StringLiterals;

namespace ulv::test {
namespace {

struct DataWindowRig {
  FakeTransfers queue;
  VirtualClock clock;
  QelUtils utils{queue, clock};
  PlantIdentity identity{queue, utils, clock};
  RecordReader reader{queue};
  DataReport report{reader, identity, clock};
  TForm9 form{report, clock};
  QTemporaryDir dir;
  QString saveAnswer;  // the save dialog's file; empty: cancelled
  QMessageBox::StandardButton overwriteAnswer = QMessageBox::Yes;
  QMessageBox::StandardButton closeAnswer = QMessageBox::Ok;
  QStringList asked;
  QStringList fileErrors;

  DataWindowRig() {
    form.Dokudir = [this] { return dir.path(); };
    form.Dialogs.SaveFileName = [this](QWidget*, const QString&, const QString&, const QString&) {
      return saveAnswer;
    };
    form.Dialogs.Question = [this](QWidget*, const QString&, const QString& text, QMessageBox::StandardButtons) {
      asked << text;
      return text.endsWith(u" überschreiben ?"_s) ? overwriteAnswer : closeAnswer;
    };
    form.Dialogs.FileError = [this](QWidget*, const QString& text) { fileErrors << text; };
    form.show();
  }
};

QByteArray FileBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

TEST(DataWindow, CloseKeepsTheTextUnlessItIsSavedOrGivenUp) {
  enum class Target { Cancel, NewFile, Existing, Unwritable };
  const struct {
    bool modified;
    QMessageBox::StandardButton closeAnswer;
    Target target;
    QMessageBox::StandardButton overwrite;
    bool closed;  // memo cleared and window hidden
    bool written;
  } cases[] = {
      {false, QMessageBox::Ok, Target::NewFile, QMessageBox::Yes, true, false},
      {true, QMessageBox::Cancel, Target::NewFile, QMessageBox::Yes, true, false},
      {true, QMessageBox::Ok, Target::Cancel, QMessageBox::Yes, false, false},
      {true, QMessageBox::Ok, Target::NewFile, QMessageBox::Yes, true, true},
      {true, QMessageBox::Ok, Target::Existing, QMessageBox::No, false, false},
      {true, QMessageBox::Ok, Target::Existing, QMessageBox::Cancel, false, false},
      {true, QMessageBox::Ok, Target::Existing, QMessageBox::Yes, true, true},
      {true, QMessageBox::Ok, Target::Unwritable, QMessageBox::Yes, false, false},
  };
  for (const auto& c : cases) {
    DataWindowRig rig;
    const QString path = rig.dir.filePath(u"Info.txt"_s);
    if (c.target == Target::Existing) {
      QFile f(path);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write("old");
    }
    rig.saveAnswer = c.target == Target::Cancel       ? QString()
                     : c.target == Target::Unwritable ? rig.dir.filePath(u"no/such/dir/Info.txt"_s)
                                                      : path;
    rig.overwriteAnswer = c.overwrite;
    rig.closeAnswer = c.closeAnswer;
    rig.report.Alles();  // its chain flag is cleared by Schliessen
    rig.form.Memo()->clear();
    rig.form.AppendLines({u"Tür"_s, QString(u"V\0x"_s)});
    if (!c.modified) rig.form.Memo()->document()->setModified(false);
    rig.form.CloseButtonClick();
    const int row = static_cast<int>(&c - cases);
    EXPECT_EQ(rig.form.isVisible(), !c.closed) << row;
    EXPECT_EQ(rig.form.Memo()->toPlainText().isEmpty(), c.closed) << row;
    EXPECT_EQ(rig.asked.isEmpty(), !c.modified) << row;
    EXPECT_FALSE(rig.report.ChainFlag()) << row;
    EXPECT_EQ(rig.fileErrors.size(), c.target == Target::Unwritable && c.closeAnswer == QMessageBox::Ok ? 1 : 0)
        << row;
    const QByteArray expected = c.written                      ? QByteArray("T\xFCr\r\nV\r\n")
                                : c.target == Target::Existing ? QByteArray("old")
                                                               : QByteArray("<none>");
    EXPECT_EQ(FileBytes(path), expected) << row;
  }
}

}  // namespace
}  // namespace ulv::test
