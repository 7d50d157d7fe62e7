#pragma once
// The tool's half of the nibble exchange, written out independently for the
// tests: a request as the tool's turn bytes, and the controller's answers
// put back together into bytes.
#include <QByteArray>
#include <cstdint>
#include <initializer_list>

namespace ulvtest {

inline QByteArray Bytes(std::initializer_list<int> values) {
  QByteArray b;
  for (int v : values) b.append(static_cast<char>(v));
  return b;
}

// Each byte: high nibble without flags, then low nibble with 0x20.
inline QByteArray ToolTurns(const QByteArray& request) {
  QByteArray turns;
  for (char c : request) {
    const auto b = static_cast<uint8_t>(c);
    turns.append(static_cast<char>(b >> 4));
    turns.append(static_cast<char>(0x20 | (b & 0x0F)));
  }
  return turns;
}

inline QByteArray IdleTurns(int n) { return QByteArray(n, static_cast<char>(0x40)); }

// Controller answers to bytes: 0x40 carries nothing, a byte without 0x20 is a
// high nibble, one with 0x20 completes a byte.
inline QByteArray Assemble(const QByteArray& answers) {
  QByteArray out;
  int high = -1;
  for (char c : answers) {
    const auto a = static_cast<uint8_t>(c);
    if (a & 0x40) {
      high = -1;
      continue;
    }
    if (a & 0x20) {
      if (high >= 0) out.append(static_cast<char>((high << 4) | (a & 0x0F)));
      high = -1;
    } else {
      high = a & 0x0F;
    }
  }
  return out;
}

inline QByteArray Padded(const QByteArray& text, int n) {
  QByteArray b = text;
  while (b.size() < n) b.append(' ');
  return b;
}

}  // namespace ulvtest
