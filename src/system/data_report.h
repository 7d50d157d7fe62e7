#pragma once
// The data window's logic: each record button fetches one record through
// the record reader and appends its printed form; "Alles" runs the chain
// version block, SHAFT.DATA, MONBLOCK, SYSPERM, SYSVAR, SHIFT-STATUS,
// IOPORTS and the port listing. The window TForm9 and the headless
// `records` command bind to it.
#include <QString>
#include <QStringList>
#include <functional>

#include "common/clock.h"
#include "records/plant_identity.h"
#include "system/record_reader.h"

namespace ulv {

class DataReport {
public:
  enum class Record { Version, Shaft, MonBlock, SysPerm, SysVar, ShiftStatus, IoPorts, Ports, CallsMap };
  // How the last read or chain ended.
  enum class Ending { Done, Unsupported, Failed, Refused };

  DataReport(RecordReader& reader, const PlantIdentity& identity, const Clock& clock);

  // A user's click on a record button: clears ChainFlag, then reads.
  void Press(Record record);
  // "Alles": sets ChainFlag, prints the version block and starts "Shaft".
  void Alles();
  bool ChainFlag() const { return chainFlag_; }
  // "Schliessen" clears it too.
  void ClearChain() { chainFlag_ = false; }

  // The identity block with its version line; the software version is cut
  // at its first NUL.
  QStringList VersionBlock() const;

  // Every printed line, in order.
  std::function<void(const QString& line)> Output;
  // A read (or the chain) has ended and no further read was started. Not
  // called for a read that another read (the SysVar window's) gave up.
  std::function<void(Ending)> OnEnded;

  // The calls map's title and byte count (set by "CALLS-MAP").
  QString callsTitle = QStringLiteral("Calls-Map");
  int callsCount = 256;

private:
  void Start(Record record);
  void Print(Record record, const QByteArray& buffer);
  void Ended(Record record, RecordReader::Outcome outcome);
  void Emit(const QStringList& lines);
  void EndWith(Ending ending);

  RecordReader& reader_;
  const PlantIdentity& identity_;
  bool chainFlag_ = false;
};

// Info.txt's bytes: every line cut at its first NUL, CR LF after each,
// Latin-1 ('?' for what Latin-1 cannot hold).
QByteArray InfoFileBytes(const QStringList& lines);

}  // namespace ulv
