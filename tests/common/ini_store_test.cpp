#include "common/ini_store.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <sys/stat.h>

#include "common/save_file.h"

#include "support/test_support.h"

using namespace Qt::StringLiterals;

namespace ulv {
namespace {

// One file with every reading rule in it; `eol` is the line end used.
QByteArray SampleIni(const QByteArray& eol) {
  const char* lines[] = {
      "; comment before the first section",
      "orphan=dropped",
      "[Files]",
      "base=D:\\Lift",
      " key = value ",
      "Dup=first",
      "dup=second",
      "; a comment inside",
      "",
      "no separator",
      "empty=",
      "[files]",
      "late=second section",
      "[Empty]",
      "[Two]",
      "a=b=c",
  };
  QByteArray out;
  for (const char* l : lines) out += QByteArray(l) + eol;
  return out;
}

TEST(IniStoreTest, LookupsFollowTheReadingRules) {
  IniStore ini;
  ini.LoadFromBytes(SampleIni("\r\n"));
  struct Case {
    const char* section;
    const char* key;
    QString expected;
  };
  const QString def = u"<def>"_s;
  const Case cases[] = {
      {"files", "BASE", u"D:\\Lift"_s},
      {"FILES", " key ", u" value "_s},  // blanks belong to key and value
      {"files", "key", def},
      {"files", "dup", u"first"_s},  // first occurrence wins
      {"files", "late", def},        // only the first section is searched
      {"files", "orphan", def},      // lines before the first section
      {"files", "no separator", def},
      {"files", "empty", QString()},  // present but empty: not the default
      {"two", "A", u"b=c"_s},         // split at the first "="
      {"Empty", "x", def},
      {"missing", "a", def},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ini.Value(QLatin1String(c.section), QLatin1String(c.key), def), c.expected)
        << c.section << "/" << c.key;
  }
  EXPECT_TRUE(ini.HasKey(u"files"_s, u"empty"_s));
  EXPECT_FALSE(ini.HasKey(u"files"_s, u"late"_s));
  EXPECT_TRUE(ini.HasSection(u"TWO"_s));
  EXPECT_FALSE(ini.HasSection(u"Empty"_s));  // present only with an entry
  EXPECT_FALSE(ini.HasSection(u"missing"_s));
}

TEST(IniStoreTest, EveryLineEndEndsALineAndIsNeverPartOfAValue) {
  IniStore crlf;
  crlf.LoadFromBytes(SampleIni("\r\n"));
  for (const QByteArray& eol : {"\n"_ba, "\r"_ba}) {
    IniStore other;
    other.LoadFromBytes(SampleIni(eol));
    EXPECT_EQ(other.Serialize(), crlf.Serialize()) << (eol == "\r" ? "CR" : "LF");
  }
  IniStore mixed;
  mixed.LoadFromBytes("[a]\rx=1\r\ny=2\nz=3\r");
  EXPECT_EQ(mixed.Value(u"a"_s, u"x"_s) + mixed.Value(u"a"_s, u"y"_s) + mixed.Value(u"a"_s, u"z"_s),
            u"123"_s);
}

TEST(IniStoreTest, WritesSectionsInOrderWithAnEmptyLineAfterEach) {
  IniStore ini;
  ini.LoadFromBytes(SampleIni("\n"));
  EXPECT_EQ(
      ini.Serialize(),
      "[Files]\r\nbase=D:\\Lift\r\n key = value \r\nDup=first\r\ndup=second\r\nno separator\r\nempty=\r\n"
      "\r\n[files]\r\nlate=second section\r\n\r\n[Empty]\r\n\r\n[Two]\r\na=b=c\r\n\r\n"_ba);
  EXPECT_FALSE(ini.IsModified());
}

TEST(IniStoreTest, SetValueReplacesAppendsOrAddsASection) {
  IniStore ini;
  ini.LoadFromBytes("[Tarvo]\r\nname=T-\r\nnummer=5\r\n[x]\r\na=1\r\n");
  ini.SetValue(u"tarvo"_s, u"NUMMER"_s, u"5"_s);
  EXPECT_FALSE(ini.IsModified());  // same value: nothing changed
  ini.SetValue(u"tarvo"_s, u"NUMMER"_s, u"6"_s);
  EXPECT_TRUE(ini.IsModified());
  ini.SetValue(u"TARVO"_s, u"extra"_s, u"e"_s);
  ini.SetValue(u"new"_s, u"k"_s, u"v"_s);
  EXPECT_EQ(ini.Serialize(),
            "[Tarvo]\r\nname=T-\r\nnummer=6\r\nextra=e\r\n\r\n[x]\r\na=1\r\n\r\n[new]\r\nk=v\r\n\r\n"_ba);
}

// The settings editor's text: one line changes or comes in, the rest stays,
// and the store reads back what was set.
TEST(IniStoreTest, SetValueInTextTouchesOneLine) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"; c\n[ComPort]\nCOM2=/dev/ttyS1\nport=2\n", "; c\n[ComPort]\ncom2=/dev/x\nport=2\n"},
      {"[comport]\n;com2=old\nport=2\n\n[b]\na=1\n", "[comport]\n;com2=old\nport=2\ncom2=/dev/x\n\n[b]\na=1\n"},
      {"[a]\nk=v\n", "[a]\nk=v\n\n[comport]\ncom2=/dev/x\n"},
      {"", "[comport]\ncom2=/dev/x\n"},
  };
  for (const auto& c : cases) {
    const QString out = IniStore::SetValueInText(QLatin1String(c.text), u"comport"_s, u"com2"_s, u"/dev/x"_s);
    EXPECT_EQ(out, QLatin1String(c.expected)) << c.text;
    IniStore ini;
    ini.LoadFromBytes(out.toUtf8());
    EXPECT_EQ(ini.Value(u"COMPORT"_s, u"Com2"_s), u"/dev/x"_s);
  }
}

// Latin-1 text is kept byte for byte, UTF-8 (with or without a byte-order
// mark) stays UTF-8, also for a value set later and through a file.
TEST(IniStoreTest, TextIsWrittenBackInTheEncodingItWasRead) {
  const QByteArray utf8 = u"[id]\r\nuser=Müller °ä\r\n\r\n"_s.toUtf8();
  struct Case {
    const char* name;
    QByteArray file;
    bool isUtf8;
    QByteArray added;  // the line "ort=Köln"
  };
  const Case cases[] = {
      {"latin-1", "[id]\r\nuser=M\xFCller \xB0\xE4\r\n\r\n"_ba, false, "ort=K\xF6ln\r\n"_ba},
      {"utf-8", utf8, true, "ort=K\xC3\xB6ln\r\n"_ba},
      {"utf-8 with BOM", "\xEF\xBB\xBF"_ba + utf8, true, "ort=K\xC3\xB6ln\r\n"_ba},
  };
  QTemporaryDir dir;
  const QString path = dir.filePath(u"t.ini"_s);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IniStore ini;
    EXPECT_FALSE(ini.Load(dir.filePath(u"missing.ini"_s)));
    ini.LoadFromBytes(c.file);
    EXPECT_EQ(ini.IsUtf8(), c.isUtf8);
    EXPECT_EQ(ini.Value(u"id"_s, u"user"_s), u"Müller °ä"_s);
    EXPECT_EQ(ini.Serialize(), c.file);
    ini.SetValue(u"id"_s, u"ort"_s, u"Köln"_s);
    ASSERT_TRUE(ini.Save(path));
    EXPECT_EQ(test::ReadBytes(path), c.file.chopped(2) + c.added + "\r\n");
    IniStore back;
    ASSERT_TRUE(back.Load(path));
    EXPECT_EQ(back.Value(u"ID"_s, u"ORT"_s), u"Köln"_s);
    EXPECT_EQ(back.IsUtf8(), c.isUtf8);
  }
}

// A save that fails part-way (a full disk) leaves the old file as it was; a
// load takes regular files of at most 16 MiB only and says why not.
TEST(IniStoreTest, FilesThatCannotBeTakenLeaveEverythingAsItWas) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"t.ini"_s), fifo = dir.filePath(u"fifo"_s), huge = dir.filePath(u"h"_s);
  ASSERT_TRUE(test::WriteBytes(path, "[old]\r\n"));
  IniStore ini;
  ini.LoadFromBytes("[big]\r\nk=" + QByteArray(4000, 'x') + "\r\n");
  QString error;
  {
    test::FileSizeLimit full(1024);
    EXPECT_FALSE(ini.Save(path, &error));
  }
  EXPECT_TRUE(error.startsWith(path) && test::ReadBytes(path) == "[old]\r\n") << qPrintable(error);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{u"t.ini"_s});
  ASSERT_EQ(::mkfifo(qPrintable(fifo), 0600), 0);
  QFile big(huge);
  ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(kMaxReadFileSize + 1));
  for (const QString& refused : {fifo, u"/dev/zero"_s, dir.path(), huge}) {
    EXPECT_FALSE(ini.Load(refused, &error));
    EXPECT_TRUE(error.startsWith(refused) && ini.Sections().empty()) << qPrintable(error);
  }
}

TEST(IniStoreTest, IntValues) {
  IniStore ini;
  // j to l would wrap a 64-bit accumulator to 1: out of range, so the default.
  ini.LoadFromBytes(
      "[n]\na=12\nb= 7\nc=$1F\nd=0x10\ne=-3\nf=7 \ng=abc\nh=\ni=99999999999\nj=18446744073709551617\n"
      "k=-18446744073709551617\nl=$10000000000000001\nm=-2147483648\n");
  const std::pair<const char*, int> cases[] = {
      {"a", 12}, {"b", 7},  {"c", 31}, {"d", 16}, {"e", -3}, {"f", -1},          {"g", -1},
      {"h", -1}, {"i", -1}, {"j", -1}, {"k", -1}, {"l", -1}, {"m", INT32_MIN}, {"missing", -1}};
  for (const auto& [key, expected] : cases)
    EXPECT_EQ(ini.IntValue(u"N"_s, QLatin1String(key), -1), expected) << key;
}

}  // namespace
}  // namespace ulv
