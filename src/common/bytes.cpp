#include "common/bytes.h"

namespace ulv {

uint8_t ReplyByte(const QByteArray& reply, int i) {
  if (i < 0 || i >= reply.size()) return 0;
  return static_cast<uint8_t>(reply.at(i));
}

int64_t NibbleWord(const QByteArray& reply, int offset) {
  return int64_t{ReplyByte(reply, offset)} + int64_t{ReplyByte(reply, offset + 1)} * 16 +
         int64_t{ReplyByte(reply, offset + 2)} * 256 + int64_t{ReplyByte(reply, offset + 3)} * 4096;
}

int64_t NibbleByte(const QByteArray& reply, int offset) {
  return int64_t{ReplyByte(reply, offset)} + int64_t{ReplyByte(reply, offset + 1)} * 16;
}

QByteArray Nibbles16(uint16_t value) {
  QByteArray out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (4 * i)) & 0x0F);
  return out;
}

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
}

QString HexByte(uint8_t b) {
  const QChar digits[2] = {QLatin1Char(kHexDigits[b >> 4]), QLatin1Char(kHexDigits[b & 0x0F])};
  return QString(digits, 2);
}

QString HexString(const QByteArray& bytes) {
  QString out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    out += QLatin1Char(kHexDigits[b >> 4]);
    out += QLatin1Char(kHexDigits[b & 0x0F]);
  }
  return out;
}

QString Printable(const QString& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text.at(begin).unicode() <= 32) ++begin;
  while (end > begin && text.at(end - 1).unicode() <= 32) --end;
  QString out = text.mid(begin, end - begin);
  for (QChar& c : out) {
    if (c.unicode() < 32 || c.unicode() > 127) c = QLatin1Char('.');
  }
  return out;
}

QString Latin1Text(const QByteArray& bytes) { return QString::fromLatin1(bytes); }

QByteArray Bytes(std::initializer_list<uint8_t> bytes) {
  QByteArray out;
  out.reserve(static_cast<qsizetype>(bytes.size()));
  for (uint8_t b : bytes) out.append(static_cast<char>(b));
  return out;
}

}  // namespace ulv
