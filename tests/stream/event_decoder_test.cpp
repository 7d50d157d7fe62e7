#include "stream/event_decoder.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "link/fake_transfers.h"

using namespace Qt::StringLiterals;

namespace ulv::test {
namespace {

// Latin-1 with CR LF, as the files come.
const QByteArray kDecodeFile =
    "[test]\r\nkennung=version-3\r\n"
    "[1:10]\r\n<>=T[dd]\r\n"
    "[2:5]\r\n7=Kabine 7\r\n<>=T[d\r\n"
    "[2:6]\r\n<>=T[dd\r\n[2:7]\r\n<>=[hhh]\r\n[2:8]\r\n<>=[h\r\n[2:9]\r\n<>=X[bbb\r\n"
    "[2:10]\r\n<>=[bbbbbbbb]\r\n[2:11]\r\n<>=abc\r\n[2:12]\r\n3=\xE4\xE4\r\n<>=[ddd]\r\n"
    "[2:13]\r\n<>=[dd]\r\n[2:14]\r\n<>=[d]\r\n[3:1]\r\n4=A%1 %1 %s %n 100%\r\n"_ba;
const QByteArray kCatalogue =
    "[0:5]\r\n12=T\xFCr %m/%n/%o %1 %2d %8 %8d\r\n"
    "[1]\r\n%t=Gruppe %n\r\n3=%t: A%1 %1 %s %n 100%\r\n9=x%4\r\n8=%%m\r\n"_ba;

struct Case {
  const char* name;
  bool withFiles;
  uint16_t filter;
  std::vector<std::pair<QString, QString>> lines;  // capture line, display line
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class DecoderTable : public ::testing::TestWithParam<Case> {};

TEST_P(DecoderTable, DecodesLineByLine) {
  const Case& c = GetParam();
  EventDecoder decoder;
  decoder.InitFromBytes(c.withFiles ? kDecodeFile : QByteArray(), c.withFiles ? kCatalogue : QByteArray());
  decoder.EventTypeFilter = c.filter;
  for (const auto& [line, shown] : c.lines) EXPECT_EQ(decoder.DecodeCaptureLine(line), shown) << line.toStdString();
}

constexpr uint16_t kKinds1To10 = EventDecoder::kDefaultFilter;

INSTANTIATE_TEST_SUITE_P(
    Stream, DecoderTable,
    ::testing::Values(
        Case{"NumbersWithoutDecodeFile", false, kKinds1To10,
             {{u"01,05,0A,10"_s, u"  128   RD 1:10,5"_s},
              {u"02,05,07,00"_s, u"    0   KB 2:5,7"_s},
              {u"04,12,34,01"_s, u"    8   T-14:18,52"_s},
              {u"05,01,02,00"_s, u"    0   T-25:1,2"_s},
              {u"06,1A,2C,00"_s, u"    0   PORT[1A]   [00101100]"_s},
              {u"0A,01,02,03"_s, u"   24 10:1,2"_s},
              {u"09,00,05,0C"_s, u"   96   MN  PANIC  [  5: 12]            [0:5:12]"_s},
              {u"09,07,01,02"_s, u"   16   REC        [7:1:2]"_s}}},
        Case{"TimeMarksFiltersAndMalformedLines", false, kKinds1To10,
             {{u"FE,2D,00,00"_s, u"--00:01:30"_s},
              {u"FE,FF,FF,00"_s, u"--36:24:30"_s},
              {u"00,01,02,03"_s, QString()},
              {u"0B,00,00,00"_s, QString()},
              {u"20,00,00,00"_s, QString()},
              {u"0a,00,00,00"_s, u"??0a,00,00,00"_s},
              {u" 1: 2:30"_s, u"-- 1: 2:30   "_s},
              {u" 1: 2:30\n"_s, u"-- 1: 2:30   "_s},
              {u" 1: 2:30\r\n"_s, u"-- 1: 2:30   "_s},
              {u"01,02,03,04\n"_s, u"   32   RD 1:3,2"_s},
              {u"01,02,03"_s, u"??01,02,03   "_s}}},
        Case{"KindsAboveFifteenNeverReachTheFilter", false, 0xFFFF,
             {{u"00,01,02,03"_s, u"   24 0:1,2"_s}, {u"10,01,02,03"_s, QString()}, {u"FF,01,02,03"_s, QString()}}},
        Case{"StateLinesRepeatSuppressed", false, kKinds1To10,
             {{u"07,03,25,00"_s, u"    0             >[03]< a--F-U"_s},
              {u"07,03,25,01"_s, QString()},
              {u"08,00,C5,00"_s, u"    0   EINFAHRT  >[05]< <AB><AUF>"_s},
              {u"07,03,25,00"_s, QString()},
              {u"07,04,3F,00"_s, u"    0             >[04]< aBbFOU"_s}}},
        Case{"TemplatesStayWithinTheirLength", true, kKinds1To10,
             {{u"01,07,0A,00"_s, u"    0   RD T[07]"_s},
              {u"02,05,07,00"_s, u"    0   KB Kabine 7"_s},
              {u"02,05,7B,00"_s, u"    0   KB T[1"_s},
              {u"02,06,7B,00"_s, u"    0   KB T[12"_s},
              {u"02,07,AB,00"_s, u"    0   KB [ABh]"_s},
              {u"02,08,AB,00"_s, u"    0   KB [A"_s},
              {u"02,09,05,00"_s, u"    0   KB X[000"_s},
              {u"02,0A,05,00"_s, u"    0   KB [00000101]"_s},
              {u"02,0B,05,00"_s, u"    0   KB abc??"_s},
              {u"02,0C,03,00"_s, u"    0   KB [003]"_s},
              {u"02,0C,07,00"_s, u"    0   KB [007]"_s},
              {u"02,0D,07,00"_s, u"    0   KB [07]"_s},
              {u"02,0E,0C,00"_s, u"    0   KB [1]"_s},
              {u"03,01,04,00"_s, u"    0   TA A%1 %1 %s %n 100%"_s},
              {u"03,02,04,00"_s, u"    0   TA 3:2,4"_s}}},
        Case{"PanicTextsExpandOnceAndLiterally", true, kKinds1To10,
             {{u"09,00,05,0C"_s, u"   96   MN  PANIC  [  5: 12]     T\u00FCr 0/5/12 F7 0 00 %8d"_s},
              {u"09,01,03,04"_s, u"   32   ED  PANIC  [  3:  4]     Gruppe 3: AF7 %1 %s %n 100%"_s},
              {u"09,01,09,1F"_s, u"  248   ED  PANIC  [  9: 31]     x1F"_s},
              {u"09,01,08,00"_s, u"    0   ED  PANIC  [  8:  0]     %1"_s},
              {u"09,02,09,09"_s, u"   72   RD  PANIC  [  9:  9]            [2:9:9]"_s}}}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ulv::test
