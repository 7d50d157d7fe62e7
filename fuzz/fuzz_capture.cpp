// The capture line decoder with EventText: arbitrary decode file, catalogue
// and capture lines. Input: filter word, decode file up to a NUL, catalogue
// up to a NUL, then capture lines separated by LF.
// Invariant: no display line is longer than the code can make it. EventText
// gives a value (perhaps with "??"), a template written over in place, or
// "k:s,v" (11); a panic text is a value plus the section's "%t" text plus 3
// ("%m", "%n", "%o" become up to three digits), or "[a:b:c]" behind seven
// blanks (20); in front of it go " %4d " (6), the kind's "  REC " (6) and
// " PANIC  [%3d:%3d]     " (22); a line that is no entry comes back behind
// "--" or "??", padded to 11.
#include <algorithm>

#include "fuzz_support.h"
#include "stream/event_decoder.h"

using namespace ulv;

namespace {

qsizetype LongestValue(const IniStore& store) {
  qsizetype longest = 0;
  for (const IniStore::Section& s : store.Sections()) {
    for (const IniStore::Entry& e : s.entries) longest = std::max(longest, e.value.size());
  }
  return longest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  EventDecoder decoder;
  decoder.EventTypeFilter = in.Word();
  const QByteArray decodeFile = in.Until('\0');
  const QByteArray catalogue = in.Until('\0');
  decoder.InitFromBytes(decodeFile, catalogue);
  IniStore d;
  d.LoadFromBytes(decodeFile);
  IniStore c;
  c.LoadFromBytes(catalogue);
  const qsizetype v = std::max(LongestValue(d), LongestValue(c));

  for (const QByteArray& raw : in.Rest().split('\n')) {
    const QString line = QString::fromLatin1(raw);
    const QString shown = decoder.DecodeCaptureLine(line);
    const qsizetype bound =
        std::max<qsizetype>(2 + std::max<qsizetype>(line.size(), 11), 34 + std::max<qsizetype>(20, 2 * v + 3));
    fuzz::Check(shown.size() <= bound, "display line too long", line + QStringLiteral(" -> ") + shown);
    for (int i = 0; i + 2 < raw.size(); i += 3) {
      const auto b = [&](int k) { return static_cast<uint8_t>(raw.at(i + k)); };
      const QString text = decoder.EventText(b(0), b(1), b(2));
      fuzz::Check(text.size() <= std::max<qsizetype>(v + 2, 11), "event text too long", text);
      const QString panic = decoder.PanicText(b(0), b(1), b(2));
      fuzz::Check(panic.size() <= 2 * v + 3, "panic text too long", panic);
    }
  }
  return 0;
}
