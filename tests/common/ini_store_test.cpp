#include "common/ini_store.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

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
  const QString def = QStringLiteral("<def>");
  const Case cases[] = {
      {"files", "BASE", QStringLiteral("D:\\Lift")},
      {"FILES", " key ", QStringLiteral(" value ")},  // blanks belong to key and value
      {"files", "key", def},
      {"files", "dup", QStringLiteral("first")},  // first occurrence wins
      {"files", "late", def},                     // only the first section is searched
      {"files", "orphan", def},                   // lines before the first section
      {"files", "no separator", def},
      {"files", "empty", QString()},        // present but empty: not the default
      {"two", "A", QStringLiteral("b=c")},  // split at the first "="
      {"Empty", "x", def},
      {"missing", "a", def},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ini.Value(QLatin1String(c.section), QLatin1String(c.key), def), c.expected)
        << c.section << "/" << c.key;
  }
  EXPECT_TRUE(ini.HasKey(QStringLiteral("files"), QStringLiteral("empty")));
  EXPECT_FALSE(ini.HasKey(QStringLiteral("files"), QStringLiteral("late")));
  EXPECT_TRUE(ini.HasSection(QStringLiteral("TWO")));
  EXPECT_FALSE(ini.HasSection(QStringLiteral("Empty")));  // present only with an entry
  EXPECT_FALSE(ini.HasSection(QStringLiteral("missing")));
}

TEST(IniStoreTest, EveryLineEndEndsALineAndIsNeverPartOfAValue) {
  IniStore crlf;
  crlf.LoadFromBytes(SampleIni("\r\n"));
  for (const QByteArray& eol : {QByteArray("\n"), QByteArray("\r")}) {
    IniStore other;
    other.LoadFromBytes(SampleIni(eol));
    EXPECT_EQ(other.Serialize(), crlf.Serialize()) << (eol == "\r" ? "CR" : "LF");
  }
  IniStore mixed;
  mixed.LoadFromBytes("[a]\rx=1\r\ny=2\nz=3\r");
  EXPECT_EQ(mixed.Value(QStringLiteral("a"), QStringLiteral("x")), QStringLiteral("1"));
  EXPECT_EQ(mixed.Value(QStringLiteral("a"), QStringLiteral("y")), QStringLiteral("2"));
  EXPECT_EQ(mixed.Value(QStringLiteral("a"), QStringLiteral("z")), QStringLiteral("3"));
}

TEST(IniStoreTest, WritesSectionsInOrderWithAnEmptyLineAfterEach) {
  IniStore ini;
  ini.LoadFromBytes(SampleIni("\n"));
  const QByteArray expected =
      "[Files]\r\n"
      "base=D:\\Lift\r\n"
      " key = value \r\n"
      "Dup=first\r\n"
      "dup=second\r\n"
      "no separator\r\n"
      "empty=\r\n"
      "\r\n"
      "[files]\r\n"
      "late=second section\r\n"
      "\r\n"
      "[Empty]\r\n"
      "\r\n"
      "[Two]\r\n"
      "a=b=c\r\n"
      "\r\n";
  EXPECT_EQ(ini.Serialize(), expected);
  EXPECT_FALSE(ini.IsModified());
}

TEST(IniStoreTest, SetValueReplacesAppendsOrAddsASection) {
  IniStore ini;
  ini.LoadFromBytes("[Tarvo]\r\nname=T-\r\nnummer=5\r\n[x]\r\na=1\r\n");
  ini.SetValue(QStringLiteral("tarvo"), QStringLiteral("NUMMER"), QStringLiteral("5"));
  EXPECT_FALSE(ini.IsModified());  // same value: nothing changed
  ini.SetValue(QStringLiteral("tarvo"), QStringLiteral("NUMMER"), QStringLiteral("6"));
  EXPECT_TRUE(ini.IsModified());
  ini.SetValue(QStringLiteral("TARVO"), QStringLiteral("extra"), QStringLiteral("e"));
  ini.SetValue(QStringLiteral("new"), QStringLiteral("k"), QStringLiteral("v"));
  EXPECT_EQ(ini.Serialize(), QByteArray("[Tarvo]\r\nname=T-\r\nnummer=6\r\nextra=e\r\n\r\n"
                                        "[x]\r\na=1\r\n\r\n"
                                        "[new]\r\nk=v\r\n\r\n"));
}

TEST(IniStoreTest, Latin1TextIsKeptByteForByte) {
  const QByteArray latin1(
      "[id]\r\nuser=M\xFC"
      "ller \xB0\xE4\r\n\r\n");
  IniStore ini;
  ini.LoadFromBytes(latin1);
  EXPECT_FALSE(ini.IsUtf8());
  EXPECT_EQ(ini.Value(QStringLiteral("id"), QStringLiteral("user")), QStringLiteral("Müller °ä"));
  EXPECT_EQ(ini.Serialize(), latin1);
  ini.SetValue(QStringLiteral("id"), QStringLiteral("ort"), QStringLiteral("Köln"));
  EXPECT_TRUE(ini.Serialize().contains("ort=K\xF6ln\r\n"));
}

TEST(IniStoreTest, Utf8TextStaysUtf8) {
  const QByteArray utf8 = QStringLiteral("[id]\r\nuser=Müller\r\n\r\n").toUtf8();
  IniStore ini;
  ini.LoadFromBytes(utf8);
  EXPECT_TRUE(ini.IsUtf8());
  EXPECT_EQ(ini.Value(QStringLiteral("id"), QStringLiteral("user")), QStringLiteral("Müller"));
  EXPECT_EQ(ini.Serialize(), utf8);
  // A byte-order mark is not part of the first line and survives a write.
  IniStore bom;
  bom.LoadFromBytes(QByteArray("\xEF\xBB\xBF") + utf8);
  EXPECT_EQ(bom.Value(QStringLiteral("id"), QStringLiteral("user")), QStringLiteral("Müller"));
  EXPECT_EQ(bom.Serialize(), QByteArray("\xEF\xBB\xBF") + utf8);
}

TEST(IniStoreTest, IntValues) {
  IniStore ini;
  ini.LoadFromBytes("[n]\na=12\nb= 7\nc=$1F\nd=0x10\ne=-3\nf=7 \ng=abc\nh=\ni=99999999999\n");
  struct Case {
    const char* key;
    int expected;
  };
  const Case cases[] = {{"a", 12}, {"b", 7},  {"c", 31}, {"d", 16}, {"e", -3},
                        {"f", -1}, {"g", -1}, {"h", -1}, {"i", -1}, {"missing", -1}};
  for (const Case& c : cases)
    EXPECT_EQ(ini.IntValue(QStringLiteral("N"), QLatin1String(c.key), -1), c.expected) << c.key;
}

TEST(IniStoreTest, SaveAndLoadRoundTrip) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("t.ini"));
  IniStore ini;
  EXPECT_FALSE(ini.Load(path));
  ini.LoadFromBytes(QByteArray("[a]\nk=\xE4\n"));
  ini.SetValue(QStringLiteral("b"), QStringLiteral("n"), QStringLiteral("1"));
  ASSERT_TRUE(ini.Save(path));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("[a]\r\nk=\xE4\r\n\r\n[b]\r\nn=1\r\n\r\n"));
  IniStore back;
  ASSERT_TRUE(back.Load(path));
  EXPECT_EQ(back.Value(QStringLiteral("A"), QStringLiteral("K")), QStringLiteral("ä"));
  EXPECT_EQ(back.IntValue(QStringLiteral("b"), QStringLiteral("n"), 0), 1);
  EXPECT_FALSE(back.IsUtf8());
}

}  // namespace
}  // namespace ulv
