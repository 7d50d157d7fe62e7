#pragma once
// Byte and text helpers shared by every layer: bounds-checked reply access,
// nibble values, upper-case hex and the printable form of controller text.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <initializer_list>

namespace ulv {

// Byte i of a reply; a byte beyond the end reads as 0 (a time-out's substitute
// reply can be shorter than the handler expects).
uint8_t ReplyByte(const QByteArray& reply, int i);

// b0 + b1*16 + b2*256 + b3*4096 of the four bytes from `offset` (bytes are not
// masked, so the result can exceed 0xFFFF). Bytes beyond the end read as 0.
int64_t NibbleWord(const QByteArray& reply, int offset);
// b0 + b1*16 of the two bytes from `offset`.
int64_t NibbleByte(const QByteArray& reply, int offset);
// The four nibbles of a 16-bit value, bits 0-3 first, one per byte.
QByteArray Nibbles16(uint16_t value);

// A byte string from byte values (requests and replies written as bytes).
QByteArray Bytes(std::initializer_list<uint8_t> bytes);

// Two upper-case hex digits.
QString HexByte(uint8_t b);
// Upper-case hex pairs without separators ("F155").
QString HexString(const QByteArray& bytes);

// Removes characters of code 32 or less at both ends, then replaces every
// character outside 32..127 by '.'.
QString Printable(const QString& text);
// Bytes to characters one to one (Latin-1).
QString Latin1Text(const QByteArray& bytes);

}  // namespace ulv
