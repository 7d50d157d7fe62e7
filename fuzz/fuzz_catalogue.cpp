// The error text catalogue: arbitrary catalogue bytes, error records and
// templates through DecodeErrorRecord, ExpandTemplate and FormatErrorLine.
// Input: 8 record bytes, 2 bytes line number, the template up to a NUL, then
// the catalogue file.
// Invariant: no line is longer than the code can make it. A template grows
// by at most 3 characters ("%m", "%n", "%o" each become up to three digits;
// "%1".."%8" and "%m$" never grow) plus the section's "%t" text once, minus
// the two characters of "%t".
#include <algorithm>

#include "common/bytes.h"
#include "fuzz_support.h"
#include "records/error_catalogue.h"

using namespace ulv;
using namespace Qt::StringLiterals;

namespace {

qsizetype LongestValue(const IniStore& store) {
  qsizetype longest = 0;
  for (const IniStore::Section& s : store.Sections()) {
    for (const IniStore::Entry& e : s.entries) longest = std::max(longest, e.value.size());
  }
  return longest;
}

// The most ExpandTemplate may add to `tmpl` in `section`.
qsizetype Growth(const ErrorCatalogue& cat, const QString& tmpl, const QString& section) {
  const QString common = u"%t"_s;
  qsizetype grow = 3;
  if (tmpl.contains(common) && cat.Store().HasKey(section, common))
    grow += cat.Store().Value(section, common).size() - common.size();
  return grow;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const QByteArray record = in.Bytes(8);
  const int number = static_cast<int16_t>(in.Word());
  const QString tmpl = IniStore::DecodeText(in.Until('\0'));
  ErrorCatalogue cat;
  cat.LoadFromBytes(in.Rest());

  const qsizetype v = LongestValue(cat.Store());
  // Prefix " dd.mm.yy  hh:mm:ss" (at most 32), two blanks, the bracketed
  // name twice ("[" name ":" code "," detail "]", the name a value or at most
  // three digits) and the expanded template (a value or the bracketed name).
  const qsizetype name = std::max<qsizetype>(v, 3) + 10;
  const qsizetype decodeBound = 32 + 2 + 2 * name + std::max(v, name) + v + 3;
  for (int cut = 0; cut <= 8; cut += 4) {
    const QByteArray r = record.left(cut == 0 ? 8 : cut);
    const QString line = cat.DecodeErrorRecord(r);
    fuzz::Check(line.size() <= decodeBound, "decoded record too long", line);
    for (bool hex : {false, true}) {
      const QByteArray f7 = QByteArray(1, '\xF7') + r.mid(1);
      const QString listed = cat.FormatErrorLine(f7, number, hex);
      fuzz::Check(listed.size() <= 16 + 25 + decodeBound, "error line too long", listed);
    }
  }
  const QString section = QString::number(ReplyByte(record, 0));
  for (const QString& sec : {section, section + u":1"_s}) {
    const QString expanded = cat.ExpandTemplate(tmpl, sec, record);
    fuzz::Check(expanded.size() <= tmpl.size() + Growth(cat, tmpl, sec), "expanded template too long",
                tmpl + u" -> "_s + expanded);
  }
  (void)cat.CatalogueText(tmpl);
  (void)cat.ErrorGroupName(section, ReplyByte(record, 1));
  int lines = 0;
  cat.WriteCatalogueInfo([&](const QString&) { ++lines; });
  fuzz::Check(lines == 6, "catalogue info is not six lines");
  return 0;
}
