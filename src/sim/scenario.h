#pragma once
// The plant a simulated controller pretends to be, loaded from a scenario
// file (JSON). Format (every key optional; missing keys keep the defaults of
// the built-in plant):
//
//   {
//     "version":   "ULV 4.21 250311",   software version text (F1 01), cut or
//                                       padded with blanks to 15 characters
//     "eeprom":    "02.05",             EEPROM version as the tool prints it;
//                                       F1 02 answers F4 05 00 02 00
//     "name":      "AUFZUG 3",          plant identifier (F2 55 12), at most 15
//     "telephone": "0301234567",        telephone number (F2 55 14), at most 15
//     "trips":     1234567,             trip counter (F1 40), below 655360000
//     "errors": [                       error memory, OLDEST FIRST; the record
//                                       request F3 55 07 0 reads the last entry
//       { "group": 12, "code": 3, "detail": 0,
//         "date": "2026-02-11",         or "day": <days since 1 January 2000>
//         "time": "14:22:08" }          or "twoSeconds": <seconds since midnight / 2>
//     ],
//     "stream": {                       event stream family (every key optional)
//       "present": true, "interfaceValid": true, "interfaceVersion": 12,
//       "versionText": "TARVO 2.1.1", "magic": 1998, "open": 1, "stop": 0,
//       "mask": 63, "day": 9568, "twoSeconds": 21600, "count": 40, "wrap": 0,
//       "size": 500, "entriesPerPoll": 3,
//       "faults": [ { "request": "fetch", "nth": 2, "fault": "silent" } ]
//                                       request: query test version header run
//                                       stop rewrite fetch; fault: silent, wrong
//     },
//     "faults": [ { "request": "memoryRead", "nth": 1, "fault": "drop" } ]
//                                       request: memoryAddress (F5 04) memoryRead
//                                       (F1 0B) memoryWrite (F9 0C) memoryDump
//                                       (F1 54) firmware (F3 4B 04 n) monitor (the
//                                       monitor window's requests); nth counts
//                                       from 1 per request; fault: drop (no
//                                       reply), wrong (first byte), short (half
//                                       the reply, its header saying so), delay
//                                       (the reply comes with the next request)
//   }
//
// Texts are Latin-1 on the wire. The shipped scenarios are resources
// ":/sim/default.json" (a dozen errors) and ":/sim/many_errors.json" (150).
#include <QByteArray>
#include <QDate>
#include <QString>
#include <QTime>
#include <cstdint>
#include <vector>

#include "sim/system_records_model.h"

#include "sim/stream_model.h"

namespace ulv {

struct SimErrorRecord {
  uint8_t group = 0;
  uint8_t code = 0;
  uint8_t detail = 0;
  uint16_t day = 0;         // days since 1 January 2000 (that day is 0)
  uint16_t twoSeconds = 0;  // seconds since midnight / 2
};

// Request kinds a per-request fault can hit, and what it does.
enum class SimRequestKind { MemoryAddress, MemoryRead, MemoryWrite, MemoryDump, Firmware, Monitor };
enum class SimReplyFault { Drop, Wrong, Short, Delay };

struct SimRequestFault {
  SimRequestKind request = SimRequestKind::MemoryRead;
  int nth = 1;
  SimReplyFault fault = SimReplyFault::Drop;
};

struct Scenario {
  QByteArray version;    // 15 bytes
  uint16_t eepromA = 0;  // first value of the F1 02 reply (minor)
  uint16_t eepromB = 0;  // second value (major)
  QByteArray name;       // up to 15 bytes
  QByteArray telephone;  // up to 15 bytes
  int64_t trips = 0;
  std::vector<SimErrorRecord> errors;  // oldest first
  SimSystemData system;                // "system": see sim/system_records_model.h
  SimStreamSetup stream;
  std::vector<SimRequestFault> faults;
};

// Day number the controller stores for a date (1 January 2000 gives 0).
uint16_t SimDayNumber(const QDate& date);
// Two-second units since midnight.
uint16_t SimTwoSeconds(const QTime& time);

// Parses scenario JSON over `base` (keys that are missing keep base's value).
bool ParseScenario(const QByteArray& json, Scenario* scenario, QString* error);
// Reads a file or a resource (":/sim/..."); the built-in default plant is the
// base. An empty path gives the default scenario.
bool LoadScenario(const QString& path, Scenario* scenario, QString* error);
// The built-in default plant (":/sim/default.json").
Scenario DefaultScenario();

// Resource paths of the shipped scenarios.
inline constexpr const char* kDefaultScenarioResource = ":/sim/default.json";
inline constexpr const char* kManyErrorsScenarioResource = ":/sim/many_errors.json";
// "default" and "many-errors" name the shipped scenarios; anything else is a path.
QString ScenarioPath(const QString& nameOrPath);

}  // namespace ulv
