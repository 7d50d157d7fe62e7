// The error text catalogue: lookups, fallbacks and template expansion.
#include "records/error_catalogue.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <vector>

#include "records/fake_transfers.h"

namespace ulv {
namespace {

using test::B;

// Date word 32 (01.02.00) and time word 43199 (23:59:58), little-endian.
QByteArray Record(int group, int code, int detail) {
  return B({0xF7, group, code, detail, 0x20, 0x00, 0xBF, 0xA8});
}
const QString kPrefix = QStringLiteral(" 01.02.00  23:59:58 ");

const char kCatalogue[] =
    "[texte]\n"
    "_HOLEN_=Lesen\n"
    "[id]\n"
    "file=test.ini\n"
    "version=V1\n"
    "[_id]\n"
    "20=AUS_ID\n"
    "22=AUS_ID_22\n"
    "[12]\n"
    "id=TUER\n"
    "%t=Tür %n\n"
    "3=%t offen (%4$)\n"
    "<>=Störung %n\n"
    "[12:8]\n"
    "id=UNTER\n"
    "%t=Sub %o$\n"
    "<>=%t default\n"
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

TEST(CatalogueExamples, TheFiveExamplesDecodeAsDocumented) {
  ErrorCatalogue catalogue(QStringLiteral(ULV_TEST_DATA "/catalogue_examples.ini"));
  struct Case {
    QByteArray record;
    QString text;
  };
  const std::vector<Case> cases = {
      {Record(0x0C, 3, 1), QStringLiteral("[TUER:3,1] Tür 3 offen (01$)")},
      {Record(0x0C, 7, 5), QStringLiteral("[12:7,5] Sonderfall 5")},
      {Record(0x0C, 9, 0), QStringLiteral("[TUER:9,0] Störung 9")},
      {Record(0x1E, 1, 2), QStringLiteral("[ANTRIEB:1,2] [ANTRIEB:1,2]")},
  };
  for (const Case& c : cases) EXPECT_EQ(catalogue.DecodeErrorRecord(c.record), kPrefix + c.text);
  // The group placeholder twice, first with a following d: only the first
  // is replaced.
  EXPECT_EQ(
      catalogue.ExpandTemplate(QStringLiteral("G%2d und G%2"), QStringLiteral("12"), Record(0x0C, 3, 1)),
      QStringLiteral("G12 und G%2"));
}

TEST_F(CatalogueTest, ExpandTemplateReplacesFirstOccurrencesOnly) {
  const QByteArray r = Record(0x0C, 3, 0x1F);
  struct Case {
    const char* tmpl;
    const char* section;
    QString expected;
  };
  const std::vector<Case> cases = {
      {"%t offen (%4$)", "12", QStringLiteral("Tür 3 offen (1F$)")},
      {"%t%t", "12", QStringLiteral("Tür 3%t")},
      {"%t offen", "21", QStringLiteral("%t offen")},  // no %t key
      {"%t", "13", QStringLiteral("x%ty")},            // inserted %t is not expanded again
      {"%m", "12", QStringLiteral("12")},
      {"%m$", "12", QStringLiteral("0C")},
      {"%m$/%m", "12", QStringLiteral("0C/%m")},
      {"%m %m$", "12", QStringLiteral("%m 0C")},
      {"%n$ %n", "12", QStringLiteral("03 %n")},
      {"%n%n", "12", QStringLiteral("3%n")},
      {"%o", "12", QStringLiteral("31")},
      {"%o$", "12", QStringLiteral("1F")},
      {"a%4d", "12", QStringLiteral("a31")},
      {"a%4", "12", QStringLiteral("a1F")},
      {"a%4x", "12", QStringLiteral("a1Fx")},
      {"a%4D", "12", QStringLiteral("a1FD")},
      {"%4d %4", "12", QStringLiteral("31 %4")},
      {"%1%2%3%4%5%6%7%8", "12", QStringLiteral("F70C031F2000BFA8")},
      {"%1d %5d %6d %7d %8d", "12", QStringLiteral("247 32 0 191 168")},
      {"", "12", QString()},
      {"%", "12", QStringLiteral("%")},
  };
  for (const Case& c : cases)
    EXPECT_EQ(catalogue.ExpandTemplate(QString::fromUtf8(c.tmpl), QLatin1String(c.section), r), c.expected)
        << c.tmpl;
}

TEST_F(CatalogueTest, HostileTemplatesComeOutLiterallyWhereNothingMatches) {
  const QByteArray r = Record(0x0C, 3, 0x1F);
  struct Case {
    const char* tmpl;
    QString expected;
  };
  const std::vector<Case> cases = {
      {"100% %s %d %x %p %9 %0 %% %", QStringLiteral("100% %s %d %x %p %9 %0 %% %")},
      // A number inserted for one placeholder never forms the next one: "%%m"
      // gives "%12", not the header byte followed by "2".
      {"%%m", QStringLiteral("%12")},
      {"%%n$", QStringLiteral("%03")},
      {"%%1", QStringLiteral("%F7")},
      {"%s%n%s", QStringLiteral("%s3%s")},
      {"%ld %lld %*d %.999999f %n", QStringLiteral("%ld %lld %*d %.999999f 3")},
  };
  for (const Case& c : cases)
    EXPECT_EQ(catalogue.ExpandTemplate(QLatin1String(c.tmpl), QStringLiteral("21"), r), c.expected) << c.tmpl;
}

TEST_F(CatalogueTest, DecodeFallsBackThroughSectionKeyDefaultAndBracketedForm) {
  struct Case {
    QByteArray record;
    QString text;
  };
  const std::vector<Case> cases = {
      // sub-section: name, common text and default of its own
      {Record(0x0C, 8, 0x2A), QStringLiteral("[UNTER:8,42] Sub 2A default")},
      // group section without id, name from [_id]
      {Record(20, 1, 0), QStringLiteral("[AUS_ID:1,0] Gruppe aus _id")},
      // neither id nor [_id]: the number
      {Record(21, 2, 0), QStringLiteral("[21:2,0] nur Code")},
      // code missing, no "<>": bracketed template
      {Record(21, 5, 6), QStringLiteral("[21:5,6] [21:5,6]")},
      // "id=?" counts as missing
      {Record(22, 1, 0), QStringLiteral("[AUS_ID_22:1,0] eins")},
      // an empty section counts as absent
      {Record(23, 1, 0), QStringLiteral("[23:1,0] [23:1,0]")},
      // no section at all
      {Record(99, 1, 2), QStringLiteral("[99:1,2] [99:1,2]")},
      // default template of the group
      {Record(0x0C, 200, 0), QStringLiteral("[TUER:200,0] Störung 200")},
  };
  for (const Case& c : cases) EXPECT_EQ(catalogue.DecodeErrorRecord(c.record), kPrefix + c.text);
}

TEST_F(CatalogueTest, GroupNames) {
  EXPECT_EQ(catalogue.ErrorGroupName(QStringLiteral("12"), 12), QStringLiteral("TUER"));
  EXPECT_EQ(catalogue.ErrorGroupName(QStringLiteral("12:8"), 12), QStringLiteral("UNTER"));
  EXPECT_EQ(catalogue.ErrorGroupName(QStringLiteral("20"), 20), QStringLiteral("AUS_ID"));
  EXPECT_EQ(catalogue.ErrorGroupName(QStringLiteral("21"), 21), QStringLiteral("21"));
  EXPECT_EQ(catalogue.ErrorGroupName(QStringLiteral("77"), 77), QStringLiteral("77"));
}

TEST_F(CatalogueTest, ErrorLines) {
  const QByteArray r = Record(0x0C, 3, 1);
  const QString decoded = kPrefix + QStringLiteral("[TUER:3,1] Tür 3 offen (01$)");
  EXPECT_EQ(catalogue.FormatErrorLine(r, 7, false), QStringLiteral(" 007 : ") + decoded);
  EXPECT_EQ(catalogue.FormatErrorLine(r, 1234, false), QStringLiteral(" 1234 : ") + decoded);
  EXPECT_EQ(catalogue.FormatErrorLine(r, 42, true),
            QStringLiteral(" 042 : 0C 03 01 20 00 BF A8    ") + decoded);
  for (const QByteArray& bad :
       {QByteArray(8, '\0'), QByteArray(), B({0xF4, 0x0C, 3, 1}), B({0xF8, 0x0C, 3, 1})})
    EXPECT_EQ(catalogue.FormatErrorLine(bad, 1, false), QStringLiteral("error"));
}

TEST_F(CatalogueTest, ShortRecordReadsMissingBytesAsZero) {
  EXPECT_EQ(catalogue.DecodeErrorRecord(B({0xF7, 21, 2})),
            QStringLiteral(" ?? ?? ??  00:00:00 [21:2,0] nur Code"));
}

TEST_F(CatalogueTest, TextsAndInfo) {
  EXPECT_EQ(catalogue.CatalogueText(QStringLiteral("_HOLEN_")), QStringLiteral("Lesen"));
  EXPECT_EQ(catalogue.CatalogueText(QStringLiteral("_holen_")), QStringLiteral("Lesen"));
  EXPECT_EQ(catalogue.CatalogueText(QStringLiteral("_JA_")), QStringLiteral("_JA_"));
  QStringList lines;
  catalogue.WriteCatalogueInfo([&](const QString& l) { lines << l; });
  EXPECT_EQ(lines, (QStringList{QStringLiteral("decode-file-info"), QStringLiteral("  test.ini"),
                                QStringLiteral("  "), QStringLiteral("  "), QStringLiteral("  "),
                                QStringLiteral("  V1")}));
}

TEST(CatalogueFile, MissingFileGivesDefaultsEverywhere) {
  ErrorCatalogue catalogue(QStringLiteral("/nonexistent/dir/fehler.ini"));
  EXPECT_EQ(catalogue.CatalogueText(QStringLiteral("_HOLEN_")), QStringLiteral("_HOLEN_"));
  EXPECT_EQ(catalogue.DecodeErrorRecord(Record(12, 3, 1)), kPrefix + QStringLiteral("[12:3,1] [12:3,1]"));
  QStringList lines;
  catalogue.WriteCatalogueInfo([&](const QString& l) { lines << l; });
  EXPECT_EQ(lines.size(), 6);
  EXPECT_EQ(lines.mid(1), QStringList(5, QStringLiteral("  ")));
}

TEST(CatalogueFile, ReadOnFirstUseAndOnlyOnce) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("f.ini"));
  auto write = [&](const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
  };
  ErrorCatalogue catalogue(path);
  write("[texte]\n_HOLEN_=eins\n");  // written after construction: not read yet
  EXPECT_FALSE(catalogue.IsLoaded());
  EXPECT_EQ(catalogue.CatalogueText(QStringLiteral("_HOLEN_")), QStringLiteral("eins"));
  write("[texte]\n_HOLEN_=zwei\n");
  EXPECT_EQ(catalogue.CatalogueText(QStringLiteral("_HOLEN_")), QStringLiteral("eins"));
}

TEST(CatalogueFile, Latin1FileKeepsItsUmlauts) {
  ErrorCatalogue catalogue(QStringLiteral(ULV_TEST_DATA "/catalogue_latin1.ini"));
  EXPECT_EQ(catalogue.CatalogueText(QStringLiteral("_FEHLER_")), QStringLiteral("Löschen"));
  EXPECT_EQ(catalogue.DecodeErrorRecord(Record(12, 1, 0)), kPrefix + QStringLiteral("[TÜR:1,0] Tür klemmt"));
}

TEST(CatalogueFile, ShippedCatalogueHasEveryWindowTextAndDecodes) {
  ErrorCatalogue catalogue(QStringLiteral(ULV_SOURCE_DIR "/demo/data/fehler.ini"));
  for (const char* key : {"_FEHLER_READER_", "_HOLEN_", "_FEHLER_", "_LOESCHEN_", "_JA_", "_unit45_1",
                          "_unit45_2", "_FEHLER_TEXT_", "_FZ_TEXT_", "_VERSIONS_TEXT_", "_ANLAGEN_TEXT_"}) {
    EXPECT_NE(catalogue.CatalogueText(QLatin1String(key)), QLatin1String(key)) << key;
  }
  QStringList info;
  catalogue.WriteCatalogueInfo([&](const QString& l) { info << l; });
  for (const QString& line : info.mid(1)) EXPECT_GT(line.size(), 2) << line.toStdString();

  struct Case {
    QByteArray record;
    QString text;
  };
  const std::vector<Case> cases = {
      {Record(2, 4, 0), QStringLiteral("[VERRIEGELUNG:4,0] Türverriegelung Schachttür fehlt nach Schließen")},
      {Record(2, 4, 9), QStringLiteral("[VERRIEGELUNG:4,9] Türverriegelung gestört, Etage 9")},
      {Record(2, 1, 1), QStringLiteral("[TÜR:1,1] Türantrieb Seite 1 öffnet nicht")},
      {Record(3, 1, 2), QStringLiteral("[ANTRIEB:1,2] Umrichter: Unterspannung Zwischenkreis")},
      {Record(3, 2, 1), QStringLiteral("[ANTRIEB:2,1] Motor-Übertemperatur, Fühler 1")},
      {Record(4, 1, 0x2A), QStringLiteral("[BUS:1,42] CAN-Bus: Teilnehmer 2A antwortet nicht")},
      {Record(4, 9, 0x10), QStringLiteral("[BUS:9,16] Busstörung, Gruppe 04 Code 09 Zusatz 10")},
      {Record(9, 1, 0), QStringLiteral("[NOTRUF:1,0] Notruf ausgelöst im Fahrkorb")},
      {Record(12, 3, 0xE1), QStringLiteral("[STEUERUNG:3,225] Steuerung neu gestartet (Software-Fehler E1)")},
  };
  for (const Case& c : cases) EXPECT_EQ(catalogue.DecodeErrorRecord(c.record), kPrefix + c.text);
}

}  // namespace
}  // namespace ulv
