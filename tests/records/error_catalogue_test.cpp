// The error text catalogue: lookups, fallbacks and template expansion.
#include "records/error_catalogue.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <vector>

#include "records/fake_transfers.h"
#include "support/test_support.h"

using namespace Qt::StringLiterals;

namespace ulv {
namespace {

using test::B;

// Date word 32 (01.02.00) and time word 43199 (23:59:58), little-endian.
QByteArray Record(int group, int code, int detail) {
  return B({0xF7, group, code, detail, 0x20, 0x00, 0xBF, 0xA8});
}
const QString kPrefix = u" 01.02.00  23:59:58 "_s;

const char kCatalogue[] =
    "[texte]\n"
    "_HOLEN_=Lesen\n"
    "[id]\n"
    "file=test.ini\n"
    "version=V1\n"
    "[_id]\n"
    "20=AUS_ID\n"
    "22=AUS_ID_22\n"
    "30=ANTRIEB\n"
    "[12]\n"
    "id=TUER\n"
    "%t=Tür %n\n"
    "3=%t offen (%4$)\n"
    "<>=Störung %n\n"
    "[12:8]\n"
    "id=UNTER\n"
    "%t=Sub %o$\n"
    "<>=%t default\n"
    "[12:7]\n"
    "5=Sonderfall %o\n"
    "[13]\n"
    "%t=x%ty\n"
    "[20]\n"
    "1=Gruppe aus _id\n"
    "[21]\n"
    "2=nur Code\n"
    "[22]\n"
    "id=?\n"
    "1=eins\n"
    "[23]\n";

class CatalogueTest : public ::testing::Test {
protected:
  void SetUp() override { catalogue.LoadFromBytes(QByteArray(kCatalogue)); }
  ErrorCatalogue catalogue;
};

TEST_F(CatalogueTest, ExpandTemplateReplacesFirstOccurrencesOnlyAndNothingElse) {
  const QByteArray r = Record(0x0C, 3, 0x1F);
  struct Case {
    const char* tmpl;
    const char* section;
    QString expected;
  };
  const std::vector<Case> cases = {
      {"%t offen (%4$)", "12", u"Tür 3 offen (1F$)"_s},
      {"%t%t", "12", u"Tür 3%t"_s},
      {"%t offen", "21", u"%t offen"_s},  // no %t key
      {"%t", "13", u"x%ty"_s},            // inserted %t is not expanded again
      {"%m", "12", u"12"_s},
      {"%m$", "12", u"0C"_s},
      {"%m$/%m", "12", u"0C/%m"_s},
      {"%m %m$", "12", u"%m 0C"_s},
      {"%n$ %n", "12", u"03 %n"_s},
      {"%n%n", "12", u"3%n"_s},
      {"%o", "12", u"31"_s},
      {"%o$", "12", u"1F"_s},
      {"a%4d", "12", u"a31"_s},
      {"a%4", "12", u"a1F"_s},
      {"a%4x", "12", u"a1Fx"_s},
      {"a%4D", "12", u"a1FD"_s},
      {"%4d %4", "12", u"31 %4"_s},
      {"G%2d und G%2", "12", u"G12 und G%2"_s},
      {"%1%2%3%4%5%6%7%8", "12", u"F70C031F2000BFA8"_s},
      {"%1d %5d %6d %7d %8d", "12", u"247 32 0 191 168"_s},
      {"", "12", QString()},
      {"%", "12", u"%"_s},
      // Hostile templates come out literally where nothing matches; a number
      // inserted for one placeholder never forms the next one.
      {"100% %s %d %x %p %9 %0 %% %", "21", u"100% %s %d %x %p %9 %0 %% %"_s},
      {"%%m", "21", u"%12"_s},
      {"%%n$", "21", u"%03"_s},
      {"%%1", "21", u"%F7"_s},
      {"%s%n%s", "21", u"%s3%s"_s},
      {"%ld %lld %*d %.999999f %n", "21", u"%ld %lld %*d %.999999f 3"_s},
  };
  for (const Case& c : cases)
    EXPECT_EQ(catalogue.ExpandTemplate(QString::fromUtf8(c.tmpl), QLatin1String(c.section), r), c.expected)
        << c.tmpl;
}

TEST_F(CatalogueTest, DecodeFallsBackThroughSectionKeyDefaultAndBracketedForm) {
  struct Case {
    QByteArray record;
    QString text;
    QString prefix = kPrefix;
  };
  const std::vector<Case> cases = {
      // a short record reads its missing bytes as zero
      {B({0xF7, 21, 2}), u"[21:2,0] nur Code"_s, u" ?? ?? ??  00:00:00 "_s},
      // sub-section: name, common text and default of its own
      {Record(0x0C, 8, 0x2A), u"[UNTER:8,42] Sub 2A default"_s},
      // group section without id, name from [_id]
      {Record(20, 1, 0), u"[AUS_ID:1,0] Gruppe aus _id"_s},
      // neither id nor [_id]: the number
      {Record(21, 2, 0), u"[21:2,0] nur Code"_s},
      // code missing, no "<>": bracketed template
      {Record(21, 5, 6), u"[21:5,6] [21:5,6]"_s},
      // "id=?" counts as missing
      {Record(22, 1, 0), u"[AUS_ID_22:1,0] eins"_s},
      // an empty section counts as absent
      {Record(23, 1, 0), u"[23:1,0] [23:1,0]"_s},
      // no section at all
      {Record(99, 1, 2), u"[99:1,2] [99:1,2]"_s},
      // no section, name from [_id]
      {Record(30, 1, 2), u"[ANTRIEB:1,2] [ANTRIEB:1,2]"_s},
      // a sub-section without id is named by the number, not the group's id
      {Record(0x0C, 7, 5), u"[12:7,5] Sonderfall 5"_s},
      // default template of the group
      {Record(0x0C, 200, 0), u"[TUER:200,0] Störung 200"_s},
  };
  for (const Case& c : cases) EXPECT_EQ(catalogue.DecodeErrorRecord(c.record), c.prefix + c.text);
}

TEST_F(CatalogueTest, ErrorLines) {
  const QByteArray r = Record(0x0C, 3, 1);
  const QString decoded = kPrefix + u"[TUER:3,1] Tür 3 offen (01$)"_s;
  EXPECT_EQ(catalogue.FormatErrorLine(r, 7, false), u" 007 : "_s + decoded);
  EXPECT_EQ(catalogue.FormatErrorLine(r, 1234, false), u" 1234 : "_s + decoded);
  EXPECT_EQ(catalogue.FormatErrorLine(r, 42, true), u" 042 : 0C 03 01 20 00 BF A8    "_s + decoded);
  for (const QByteArray& bad :
       {QByteArray(8, '\0'), QByteArray(), B({0xF4, 0x0C, 3, 1}), B({0xF8, 0x0C, 3, 1})})
    EXPECT_EQ(catalogue.FormatErrorLine(bad, 1, false), u"error"_s);
}

TEST_F(CatalogueTest, TextsAndInfo) {
  EXPECT_EQ(catalogue.CatalogueText(u"_HOLEN_"_s), u"Lesen"_s);
  EXPECT_EQ(catalogue.CatalogueText(u"_holen_"_s), u"Lesen"_s);
  EXPECT_EQ(catalogue.CatalogueText(u"_JA_"_s), u"_JA_"_s);
  QStringList lines;
  catalogue.WriteCatalogueInfo([&](const QString& l) { lines << l; });
  EXPECT_EQ(lines,
            (QStringList{u"decode-file-info"_s, u"  test.ini"_s, u"  "_s, u"  "_s, u"  "_s, u"  V1"_s}));
}

TEST(CatalogueFile, MissingFileGivesDefaultsEverywhere) {
  ErrorCatalogue catalogue(u"/nonexistent/dir/fehler.ini"_s);
  EXPECT_EQ(catalogue.CatalogueText(u"_HOLEN_"_s), u"_HOLEN_"_s);
  EXPECT_EQ(catalogue.DecodeErrorRecord(Record(12, 3, 1)), kPrefix + u"[12:3,1] [12:3,1]"_s);
  QStringList lines;
  catalogue.WriteCatalogueInfo([&](const QString& l) { lines << l; });
  EXPECT_EQ(lines.size(), 6);
  EXPECT_EQ(lines.mid(1), QStringList(5, u"  "_s));
}

TEST(CatalogueFile, ReadOnFirstUseAndOnlyOnce) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"f.ini"_s);
  ErrorCatalogue catalogue(path);
  ASSERT_TRUE(test::WriteBytes(path, "[texte]\n_HOLEN_=eins\n"));  // after construction: not read yet
  EXPECT_FALSE(catalogue.IsLoaded());
  EXPECT_EQ(catalogue.CatalogueText(u"_HOLEN_"_s), u"eins"_s);
  ASSERT_TRUE(test::WriteBytes(path, "[texte]\n_HOLEN_=zwei\n"));
  EXPECT_EQ(catalogue.CatalogueText(u"_HOLEN_"_s), u"eins"_s);
}

TEST(CatalogueFile, Latin1FileKeepsItsUmlauts) {
  ErrorCatalogue catalogue(QStringLiteral(ULV_TEST_DATA "/catalogue_latin1.ini"));
  EXPECT_EQ(catalogue.CatalogueText(u"_FEHLER_"_s), u"Löschen"_s);
  EXPECT_EQ(catalogue.DecodeErrorRecord(Record(12, 1, 0)), kPrefix + u"[TÜR:1,0] Tür klemmt"_s);
}

// The catalogue shipped with the demo has a text for every key the windows use.
TEST(CatalogueFile, ShippedCatalogueHasEveryWindowText) {
  ErrorCatalogue catalogue(QStringLiteral(ULV_SOURCE_DIR "/demo/data/fehler.ini"));
  for (const char* key : {"_FEHLER_READER_", "_HOLEN_", "_FEHLER_", "_LOESCHEN_", "_JA_", "_unit45_1",
                          "_unit45_2", "_FEHLER_TEXT_", "_FZ_TEXT_", "_VERSIONS_TEXT_", "_ANLAGEN_TEXT_"}) {
    EXPECT_NE(catalogue.CatalogueText(QLatin1String(key)), QLatin1String(key)) << key;
  }
}

}  // namespace
}  // namespace ulv
