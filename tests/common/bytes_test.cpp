#include "common/bytes.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace ulv {
namespace {

TEST(BytesTest, ReplyByteBeyondTheEndReadsZero) {
  const QByteArray reply = "\xF4\x01\x02"_ba;
  EXPECT_EQ(ReplyByte(reply, 0), 0xF4);
  EXPECT_EQ(ReplyByte(reply, 2), 0x02);
  EXPECT_EQ(ReplyByte(reply, 3), 0);
  EXPECT_EQ(ReplyByte(reply, -1), 0);
  EXPECT_EQ(ReplyByte(QByteArray(), 0), 0);
}

TEST(BytesTest, NibbleValues) {
  struct Case {
    QByteArray bytes;
    int offset;
    int64_t word;
    int64_t byte;
  };
  const Case cases[] = {
      {"\xF4\x01\x02\x03\x04"_ba, 1, 0x4321, 0x21},
      {"\x0F\x0F\x0F\x0F"_ba, 0, 0xFFFF, 0xFF},
      // Unmasked: a byte above 15 carries into the next group.
      {"\x10\x00\x00\x00"_ba, 0, 16, 16},
      {"\xFF\xFF\xFF\xFF"_ba, 0, 255 + 255 * 16 + 255 * 256 + 255 * 4096, 255 + 255 * 16},
      // Short reply: missing bytes count as 0.
      {"\xF4\x05"_ba, 1, 5, 5},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NibbleWord(c.bytes, c.offset), c.word) << c.bytes.toHex().constData();
    EXPECT_EQ(NibbleByte(c.bytes, c.offset), c.byte) << c.bytes.toHex().constData();
  }
  EXPECT_EQ(Nibbles16(0xA8BF), "\x0F\x0B\x08\x0A"_ba);  // lowest group first
  EXPECT_EQ(Nibbles16(0), QByteArray(4, '\0'));
}

TEST(BytesTest, HexIsUpperCaseAndControllerTextIsLatin1) {
  EXPECT_EQ(HexByte(0x0A), u"0A"_s);
  EXPECT_EQ(HexByte(0xFF), u"FF"_s);
  EXPECT_EQ(HexString("\xF1\x55\x00\xAB"_ba), u"F15500AB"_s);
  EXPECT_EQ(HexString(QByteArray()), QString());
  EXPECT_EQ(Latin1Text("\x41\xE4\xFF"_ba), u"A\u00E4\u00FF"_s);
}

TEST(BytesTest, Printable) {
  const std::pair<QString, QString> cases[] = {
      {u"  ANLAGE 1 \t\r\n"_s, u"ANLAGE 1"_s},
      {QString::fromLatin1("\x01Lift\x02Nord\x7F\x80"), QString::fromLatin1("Lift.Nord\x7F.")},
      {u"Tür"_s, u"T.r"_s},
      {QString::fromLatin1("\x00\x00", 2), QString()},
      {u" a  b "_s, u"a  b"_s},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(Printable(in), out) << qPrintable(in);
}

}  // namespace
}  // namespace ulv
