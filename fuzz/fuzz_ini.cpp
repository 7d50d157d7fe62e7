// The INI store and the configuration's getters on arbitrary file bytes.
// Invariants: what a lookup finds survives a write-back and a second read
// (when the second read decodes the bytes the same way), and writing back
// twice gives the same bytes.
#include "common/clock.h"
#include "common/configuration.h"
#include "common/ini_store.h"
#include "common/log_hooks.h"
#include "fuzz_support.h"

using namespace ulv;
using namespace Qt::StringLiterals;

namespace {

class FixedClock : public Clock {
public:
  QDateTime Now() const override { return QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  IniStore first;
  first.LoadFromBytes(bytes);
  const QByteArray written = first.Serialize();
  IniStore second;
  second.LoadFromBytes(written);
  // A Latin-1 file whose non-UTF-8 bytes were all in dropped lines reads back
  // as UTF-8: its lookups may then differ, by design.
  if (second.IsUtf8() == first.IsUtf8()) {
    fuzz::Check(second.Serialize() == written, "write-back is not stable", QString::fromLatin1(written.toHex()));
    for (const IniStore::Section& s : first.Sections()) {
      for (const IniStore::Entry& e : s.entries) {
        if (!e.hasSeparator) continue;
        const QString missing = u"\x1"_s;
        fuzz::Check(second.Value(s.name, e.key, missing) == first.Value(s.name, e.key, missing), "lookup changed",
                    s.name + QLatin1Char('/') + e.key);
        (void)first.IntValue(s.name, e.key, 0);
      }
    }
  }

  FixedClock clock;
  LogHooks logs;
  Configuration config(clock, logs);
  config.Ini().LoadFromBytes(bytes);
  const QString base = config.Ini().Value(u"files"_s, u"base"_s);
  (void)config.ExpandBase(base + u"/$(base)/x"_s);
  (void)config.ResolveInDir(config.Ini().Value(u"files"_s, u"DataDir"_s), config.ErrorCatalogueFile());
  (void)config.HelpFile();
  (void)config.DecodeFile();
  (void)config.Kennung();
  (void)config.SymFile();
  (void)config.SysModFile();
  (void)config.MachineType();
  (void)config.ComDevice(config.ComPort());
  (void)config.FlowControl();
  (void)config.TarvoNummer();
  (void)config.EnableButtons();
  (void)config.ReportsValue();
  (void)config.ModemValue(u"i1"_s);
  config.SetTarvoNummer(config.TarvoNummer() ^ 1);
  IniStore third;
  third.LoadFromBytes(config.Ini().Serialize());
  if (third.IsUtf8() == config.Ini().IsUtf8())
    fuzz::Check(third.Value(u"Tarvo"_s, u"nummer"_s) == config.Ini().Value(u"Tarvo"_s, u"nummer"_s),
                "a value set is not read back");
  return 0;
}
