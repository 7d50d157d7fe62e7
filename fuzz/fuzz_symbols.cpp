// The symbol file parser and the debugger's typed fields. Input: the symbol
// file. Invariants: every listed symbol whose name has no comma gives back
// its address, at least D000 (the address is read after the first comma);
// edited bytes are eight upper-case hex digits.
#include "diag/memory_debugger.h"
#include "fuzz_support.h"

using namespace ulv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  for (const QString& entry : MemoryDebugger::ParseSymbols(bytes)) {
    if (entry.count(QLatin1Char(',')) != 1) continue;
    const std::optional<uint16_t> address = MemoryDebugger::SymbolAddress(entry);
    fuzz::Check(address.has_value() && *address >= 0xD000, "a listed symbol has no usable address", entry);
  }
  const QString text = QString::fromLatin1(bytes.left(64));
  (void)MemoryDebugger::ParseNumber(text);
  (void)MemoryDebugger::SymbolAddress(text);
  if (const std::optional<QString> edited = MemoryDebugger::EditedBytes(text)) {
    bool ok = false;
    (void)edited->toUInt(&ok, 16);
    fuzz::Check(ok && edited->size() == 8 && *edited == edited->toUpper(), "edited bytes malformed", *edited);
  }
  return 0;
}
