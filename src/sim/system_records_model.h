#pragma once
// The controller's system records family of the simulated controller: the
// highest function number, record selections, 15-byte block reads, the
// direct records (I/O ports, monitor block, port image), the shift status
// blocks and a 64 KiB memory read in 13-byte blocks. Records follow the
// plant: the trip counter of F1 40, the time and date last set.
#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "sim/car_model.h"

namespace ulv {

// Scenario part "system" (every key optional):
//   "maxFunction": 48,             reply to F2 55 00 (0x30)
//   "sysdate": 9132,               SysPerm date word (default: as last set by F5 36)
//   "shaftEntries": 3,             shaft table entries (0 to 40)
//   "shiftBytes": [24, 100, 255],  first bytes of the shift status
//   "ports": [65, 12, 240, ...],   port image bytes from byte 0 (up to 14)
//   "shiftRefuseBlock": 0,         F3 55 27 n of this block answers F1 00 (0: none)
//   "blockFault": "none",          fault of one F2 55 26 reply: "silence", "refuse"
//                                  (F1 00), "lone" (F0 alone), "short" (5 data bytes)
//   "blockFaultAt": 1              which F2 55 26 since the start (1 = the first)
//   "sysPermAddress": 33552        where F1 06 says the SysPerm record lies (0x8310)
//   "groupLineData": false         after a group command (8x, 9x) the controller
//                                  sends the command back as line data (no reply)
struct SimSystemData {
  int maxFunction = 0x30;
  int sysdate = -1;
  int shaftEntries = 3;
  QByteArray shiftBytes;
  QByteArray ports;
  int shiftRefuseBlock = 0;
  QString blockFault = QStringLiteral("none");
  int blockFaultAt = 1;
  int sysPermAddress = 0x8310;
  bool groupLineData = false;
};

bool ParseSystemData(const QJsonObject& scenario, SimSystemData* data, QString* error);

class SimSystemRecords {
public:
  // The reply to a request of this family, or nothing for other requests;
  // an empty reply: the request is known but left unanswered (a fault). `trips`, `time` and `day` are the
  // plant's values at the time of the request.
  std::optional<QByteArray> Answer(const QByteArray& request, const SimSystemData& data, int64_t trips,
                                   uint16_t time, uint16_t day);
  // F5 04: the memory pointer of the next F1 54.
  void SetMemoryPointer(uint16_t address) { pointer_ = address; }
  uint16_t MemoryPointer() const { return pointer_; }
  // The simulated memory: a pattern derived from the address.
  static uint8_t MemoryByte(uint16_t address);
  // The memory as read: written bytes over the pattern; the SysPerm record
  // lies at the scenario's address (kSysPermAddress unless set), so a write
  // there shows in the next F1 06 read.
  uint8_t Peek(uint16_t address) const;
  // F9 0C: the four bytes of the request's nibbles (low first) at the pointer.
  void WriteFour(const QByteArray& nibbles);
  static constexpr uint16_t kSysPermAddress = 0x8310;
  // The car the monitor block reports (F1 60) and floor calls move.
  SimCar& Car() { return car_; }

  // The records as the controller holds them.
  static QByteArray SysVar();
  // The LCD's text as F1 52 selects it: five blocks of 15 characters.
  static QByteArray Lcd();
  static QByteArray SysPerm(int64_t trips, uint16_t time, uint16_t day);
  static QByteArray Shaft(int entries);
  static QByteArray ShiftStatus(const QByteArray& first);
  static QByteArray Ports(const QByteArray& first);

private:
  QByteArray selected_;  // the record the block reads walk through
  int position_ = 0;
  int blockReads_ = 0;
  uint16_t pointer_ = 0;
  std::map<uint16_t, uint8_t> written_;
  SimCar car_;
  uint8_t groupRole_ = 0;  // the last 81 n: 1 slave, 2 master, 3 single master
};

}  // namespace ulv
