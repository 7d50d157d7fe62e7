#pragma once
// The event stream decoder: turns one capture line (four entry bytes as hex
// text, or the time text of a kind 0x0A entry) into the display line of the
// recorder's memo. Wording of calls, commands and TA entries comes from the
// decode file, that of panic reports from the error text catalogue; both are
// read into memory once. State: the kinds to print and the last printed
// state line (kind 7), whose repeats are suppressed.
#include <QByteArray>
#include <QString>
#include <cstdint>

#include "common/ini_store.h"

namespace ulv {

class EventDecoder {
public:
  static constexpr const char* kVersion = "unit26.040402";
  // Kinds 1 to 10.
  static constexpr uint16_t kDefaultFilter = 0x07FE;

  // InitEventDecoder: forgets the last state line and reads the decode file
  // and the catalogue (either may be missing: numbers are printed then).
  // A decode file that is there but cannot be read (a folder, a FIFO, no
  // permission) is named in `problem`: the entries are then shown raw.
  void Init(const QString& decodeFilePath, const QString& cataloguePath, QString* problem = nullptr);
  // The same from bytes (tests, the headless decode).
  void InitFromBytes(const QByteArray& decodeFile, const QByteArray& catalogue);

  // The display line of one capture line; empty when nothing is shown.
  QString DecodeCaptureLine(const QString& line);

  // Kinds 0 to 15, one bit each.
  uint16_t EventTypeFilter = kDefaultFilter;
  bool DecodeFileValid() const { return decodeFileValid_; }
  QString LastStateLine() const { return lastStateLine_; }

  // The parts, for the recorder and the tests.
  QString EventText(int kind, int selector, int value) const;
  QString PanicText(uint8_t arg1, uint8_t arg2, uint8_t arg3) const;
  static QString TimeMark(uint16_t value);
  static QString BracketedBits(uint8_t value);

private:
  void TakeDecodeFile();
  QString Description(uint8_t kind, uint8_t arg1, uint8_t arg2, uint8_t arg3);

  IniStore decodeFile_;
  IniStore catalogue_;
  bool decodeFileValid_ = false;
  QString lastStateLine_;
};

}  // namespace ulv
