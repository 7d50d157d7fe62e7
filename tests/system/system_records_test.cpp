#include "system/system_records.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <utility>

using namespace Qt::StringLiterals;

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace ulv {
namespace {

// A record of `size` zero bytes with some bytes set: {{offset, value}, ...}.
QByteArray Rec(int size, std::initializer_list<std::pair<int, int>> set) {
  QByteArray r(size, '\0');
  for (auto [offset, value] : set) r[offset] = static_cast<char>(value);
  return r;
}

using Print = std::function<void(const QByteArray&, QStringList&)>;
const Print kLong = PrintSysVarLong, kShort = PrintSysVarShort, kPerm = PrintSysPerm, kShaft = PrintShaft,
            kMon = PrintMonBlock, kIo = PrintIoPorts, kShift = PrintShiftStatus, kPorts = PrintPorts;
const Print kCalls = [](const QByteArray& r, QStringList& out) { PrintCallsMap(r, u"Calls-Map"_s, 256, out); };

QByteArray ShaftOf(int entries) {
  QByteArray r(kShaftSize, '\0');
  for (int i = 0; i < entries; ++i) {
    r[4 + 2 * i] = static_cast<char>(i + 1);
    r[5 + 2 * i] = static_cast<char>(i + 2);
    r[84 + 2 * i] = static_cast<char>(600 & 0xFF);
    r[85 + 2 * i] = static_cast<char>(600 >> 8);
  }
  r[164] = 0x34;
  r[165] = 0x12;
  return r;
}

struct Golden {
  const char* what;
  Print print;
  QByteArray record;
  int line;  // negative: from the end
  QString text;
};

// Lines by hand from the record layouts, one or two per edge case.
const Golden kGolden[] = {
    {"sysvar header", kLong, Rec(22, {}), 1, u"_____SYSVAR_____________________________"_s},
    {"modus bits", kLong, Rec(22, {{3, 0xA5}}), 5, u"  +03    modus 0xA5  1-0-1-0-0-1-0-1"_s},
    {"kfBUNDIG one bit", kLong, Rec(22, {{7, 0x08}}), 33, u"            -      kfBUNDIG 08"_s},
    {"p94 lock", kLong, Rec(22, {{9, 0x01}}), 47, u"            -      p94/ADAU 0100"_s},
    {"timer lock", kLong, Rec(22, {{9, 0x01}}), 39, u"            -     0 (timer) 0000 *"_s},
    {"adrsperren", kLong, Rec(22, {{8, 0x01}, {9, 0x80}}), 37,
     u"  + adrsperren 0x8001  1-0-0-0-0-0-0-0-0-0-0-0-0-0-0-1"_s},
    {"feuerwehr no width", kLong, Rec(22, {{12, 0x0F}}), 50, u"  +  feuerwehr 0xF     0-0-0-0-1-1-1-1"_s},
    {"lsutest", kLong, Rec(22, {{10, 0xAA}, {11, 0x55}}), 49, u"  +    lsutest 0x55AA"_s},
    {"no kb error", kLong, Rec(22, {{21, 0x81}}), 67, u"  +         - NO_KB_ERROR   01"_s},
    {"short empty head", kShort, Rec(22, {{0, 7}}), 1, QString()},
    {"short mocx", kShort, Rec(22, {{0, 7}}), 2, u"        mocx 7"_s},
    {"short feuerwehr", kShort, Rec(22, {{12, 0xF0}}), 31, u"   feuerwehr 0xF0     1-1-1-1-0-0-0-0"_s},
    {"short flags1", kShort, Rec(22, {{21, 0x01}}), 47, u"      flags1 0x01  0-0-0-0-0-0-0-1"_s},
    {"systime", kPerm, Rec(32, {{8, 0x26}, {9, 0x07}}), 7, u"  +08     systime 01830  1: 1: 0"_s},
    {"sysdate 365", kPerm, Rec(32, {{10, 0x6D}, {11, 0x01}}), 8, u"  +10     sysdate 00365 31.12.00"_s},
    {"sysdate 9132", kPerm, Rec(32, {{10, 0xAC}, {11, 0x23}}), 8, u"  +10     sysdate 09132 01.01.25"_s},
    {"sysdate far", kPerm, Rec(32, {{10, 0xFF}, {11, 0xFF}}), 8, u"  +10     sysdate 65535 ?? ?? ??"_s},
    {"kbFREEZE decimal mask", kPerm, Rec(32, {{26, 0x80}}), 25, u"     7  -     kbFREEZE 128"_s},
    {"unnamed kb bit", kPerm, Rec(32, {{26, 0xFF}}), 20, u"     2  -"_s},
    {"wartung", kPerm, Rec(32, {{27, 0x1E}}), 26, u" +27     wartung 30"_s},
    {"chksum", kPerm, Rec(32, {{28, 0x39}, {29, 0x30}}), 31, u" +28      chksum 12345"_s},
    {"sysperm ends empty", kPerm, Rec(32, {}), -1, QString()},
    {"empty shaft", kShaft, ShaftOf(0), 6, u"    ChkSum  4660"_s},
    {"shaft tab", kShaft, ShaftOf(3), 8, u"    tab[02]  auf=03 ab=04"_s},
    {"shaft time", kShaft, ShaftOf(3), 9, u"    time[0]  12000 MSec"_s},
    {"full shaft last time", kShaft, ShaftOf(40), 85, u"    time[39]  12000 MSec"_s},
    {"mode 7 no direction", kMon, Rec(6, {{0, 0x1F}}), 3, u"    D-0.prio     inspektion"_s},
    {"empty direction", kMon, Rec(6, {{0, 0x1F}}), 4, u"    D-0.richt.  "_s},
    {"direction up", kMon, Rec(6, {{0, 0x0E}}), 4, u"    D-0.richt.  Richtung: AUF"_s},
    {"mode umlaut", kMon, Rec(6, {{0, 0x06}}), 3, u"    D-0.prio     rückholung"_s},
    {"monblock floor", kMon, Rec(6, {{1, 5}}), 5, u"    D-1.etage   05"_s},
    {"port 3 label", kIo, Rec(4, {{2, 0x0C}}), 7, u"    Port-3   0-0-0-0-1-1-0-0"_s},
    {"decimal list", kShift, Rec(135, {{0, 24}, {1, 100}, {2, 255}, {5, 7}}), 3,
     u"  SA4_SHIFT : 24.100.255.00.00.07."_s},
    {"hex list", kShift, Rec(135, {{60, 0xFF}, {61, 0x0A}}), 7,
     u"     DD_REG : FF.0A.00.00.00.00.00.00.00.00.00.00.00.00.00."_s},
    {"tzust/tfg", kShift, Rec(135, {{120, 1}, {105, 2}, {121, 3}, {106, 4}}), 9,
     u" tzust/tfg  : [01/02]/[03/04]"_s},
    {"turstat", kShift, Rec(135, {{100, 0xC3}}), 19, u"    .turstat : C3."_s},
    {"calls map second line", kCalls, Rec(270, {{16, 0xAB}, {24, 0x01}}), 3,
     u"0016 AB 00 00 00 00 00 00 00 - 01 00 00 00 00 00 00 00 "_s},
    {"port 72 header", kPorts, Rec(15, {{0, 0x41}}), 1, u"_____Port[72]=0-1-0-0-0-0-0-1___________________"_s},
    {"blank terminal", kPorts, Rec(15, {{0, 0x41}}), 3, u"           : 1   * Prozessor Watchdog"_s},
    {"port 74 inactive key", kPorts, Rec(15, {{2, 0x0C}}), 28, u"           : 11   inaktiv"_s},
    {"port 74 zero key", kPorts, Rec(15, {}), 28, u"  [348]    : 00   Prio Innen"_s},
    {"port 74 zero load", kPorts, Rec(15, {}), 30, u"  [314]    : 00   Überlast"_s},
    {"port 75 door B", kPorts, Rec(15, {{3, 0xF0}}), 41, u"  [352]    : 11   Tür Drücker AUF (Rücklaufkontakt)"_s},
    {"port 75 door A", kPorts, Rec(15, {{3, 0xF0}}), 43, u"  [359]    : 11   Tür Drücker AUF (Rücklaufkontakt)"_s},
    {"tab in signal", kPorts, Rec(15, {{5, 0x01}}), 58, u"  X300.03  : 1   [370]\tKU"_s},
    {"A2 terminal column", kPorts, Rec(15, {}), 102, u"  104      : 0   K103 FP.10 Antrieb/Schnell (verknüpft mit KO+KU)"_s},
    {"listing ends with A6", kPorts, Rec(15, {{13, 0x80}}), -1, u"  X401.12  : 1   Weiterfahrts Richtung AB"_s},
};

TEST(SystemRecords, GoldenLines) {
  for (const Golden& g : kGolden) {
    QStringList out;
    g.print(g.record, out);
    const int i = g.line < 0 ? out.size() + g.line : g.line;
    ASSERT_LT(i, out.size()) << g.what;
    EXPECT_EQ(out.at(i), g.text) << g.what;
  }
}

// Line counts follow from the layouts: table entries, the fixed per-port
// lines and the count / 16 dump lines.
TEST(SystemRecords, LineCounts) {
  const struct {
    Print print;
    QByteArray record;
    int lines;
  } cases[] = {{kLong, Rec(22, {}), 68},      {kShort, Rec(22, {}), 48},    {kPerm, Rec(32, {}), 33},
               {kShaft, ShaftOf(0), 7},      {kShaft, ShaftOf(3), 13},     {kShaft, ShaftOf(40), 87},
               {kMon, Rec(6, {}), 11},        {kIo, Rec(4, {}), 9},         {kShift, Rec(135, {}), 21},
               {kCalls, Rec(270, {}), 18},    {kPorts, Rec(15, {}), 14 * 11}};
  for (const auto& c : cases) {
    QStringList out;
    c.print(c.record, out);
    EXPECT_EQ(out.size(), c.lines) << out.value(1).toStdString();
  }
}

}  // namespace
}  // namespace ulv
