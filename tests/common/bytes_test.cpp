#include "common/bytes.h"

#include <gtest/gtest.h>

namespace ulv {
namespace {

TEST(BytesTest, ReplyByteBeyondTheEndReadsZero) {
  const QByteArray reply("\xF4\x01\x02", 3);
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
      {QByteArray("\xF4\x01\x02\x03\x04", 5), 1, 0x4321, 0x21},
      {QByteArray("\x0F\x0F\x0F\x0F", 4), 0, 0xFFFF, 0xFF},
      // Unmasked: a byte above 15 carries into the next group.
      {QByteArray("\x10\x00\x00\x00", 4), 0, 16, 16},
      {QByteArray("\xFF\xFF\xFF\xFF", 4), 0, 255 + 255 * 16 + 255 * 256 + 255 * 4096, 255 + 255 * 16},
      // Short reply: missing bytes count as 0.
      {QByteArray("\xF4\x05", 2), 1, 5, 5},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NibbleWord(c.bytes, c.offset), c.word) << c.bytes.toHex().constData();
    EXPECT_EQ(NibbleByte(c.bytes, c.offset), c.byte) << c.bytes.toHex().constData();
  }
}

TEST(BytesTest, Nibbles16LowestGroupFirst) {
  EXPECT_EQ(Nibbles16(0xA8BF), QByteArray("\x0F\x0B\x08\x0A", 4));
  EXPECT_EQ(Nibbles16(0), QByteArray(4, '\0'));
}

TEST(BytesTest, HexIsUpperCase) {
  EXPECT_EQ(HexByte(0x0A), QStringLiteral("0A"));
  EXPECT_EQ(HexByte(0xFF), QStringLiteral("FF"));
  EXPECT_EQ(HexString(QByteArray("\xF1\x55\x00\xAB", 4)), QStringLiteral("F15500AB"));
  EXPECT_EQ(HexString(QByteArray()), QString());
}

TEST(BytesTest, Printable) {
  struct Case {
    QString in;
    QString out;
  };
  const Case cases[] = {
      {QStringLiteral("  ANLAGE 1 \t\r\n"), QStringLiteral("ANLAGE 1")},
      {QString::fromLatin1("\x01Lift\x02Nord\x7F\x80"), QString::fromLatin1("Lift.Nord\x7F.")},
      {QStringLiteral("Tür"), QStringLiteral("T.r")},
      {QString::fromLatin1("\x00\x00", 2), QString()},
      {QStringLiteral(" a  b "), QStringLiteral("a  b")},
  };
  for (const Case& c : cases) EXPECT_EQ(Printable(c.in), c.out) << qPrintable(c.in);
}

TEST(BytesTest, Latin1TextMapsBytesOneToOne) {
  const QString text = Latin1Text(QByteArray("\x41\xE4\xFF", 3));
  ASSERT_EQ(text.size(), 3);
  EXPECT_EQ(text.at(1).unicode(), 0xE4);
  EXPECT_EQ(text.at(2).unicode(), 0xFF);
}

}  // namespace
}  // namespace ulv
