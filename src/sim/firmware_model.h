#pragma once
// The special firmware's requests of the simulated controller (F3 4B 04 n;
// the interface text F3 4B 01 06 is the event stream family's): acquire,
// highest function number, and the data area
// read in 12-byte blocks from one of three places (the XRAM area, the live
// system variables, the special-run record) with its own block pointer.
#include <QByteArray>
#include <optional>

namespace ulv {

class SimFirmware {
public:
  static constexpr int kMaxFunction = 5;

  std::optional<QByteArray> Answer(const QByteArray& request);

  // The 44-byte XRAM area: magic -1, 1, version, priority and fire bytes,
  // a pointer, the system variables, the special run and five more bytes.
  static QByteArray XramArea();
  static QByteArray Sonder();

private:
  QByteArray selected_;
  int position_ = 0;
};

}  // namespace ulv
