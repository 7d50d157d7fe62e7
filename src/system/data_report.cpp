#include "system/data_report.h"

#include "system/system_records.h"

namespace ulv {

namespace {

struct RecordInfo {
  DataReport::Record record;
  int kind;
  int length;
  DataReport::Record next;  // the chain's next record; Version: end of the chain
};

const RecordInfo& Info(DataReport::Record r) {
  using R = DataReport::Record;
  static const RecordInfo kRecords[] = {
      {R::Shaft, 4, 166, R::MonBlock},       {R::MonBlock, 6, 6, R::SysPerm},
      {R::SysPerm, 2, 32, R::SysVar},        {R::SysVar, 3, 22, R::ShiftStatus},
      {R::ShiftStatus, 8, 6, R::IoPorts},    {R::IoPorts, 5, 4, R::Ports},
      {R::Ports, 7, 15, R::Version},         {R::CallsMap, 10, 256, R::Version},
  };
  for (const RecordInfo& i : kRecords) {
    if (i.record == r) return i;
  }
  return kRecords[0];
}

QString CutAtNul(const QString& text) {
  const qsizetype nul = text.indexOf(QChar(u'\0'));
  return nul < 0 ? text : text.left(nul);
}

}  // namespace

DataReport::DataReport(RecordReader& reader, const PlantIdentity& identity, const Clock&)
    : reader_(reader), identity_(identity) {}

QStringList DataReport::VersionBlock() const {
  QStringList lines{QStringLiteral("unit9.270702")};
  identity_.WriteIdentityBlock([&lines](const QString& l) { lines << CutAtNul(l); });
  return lines;
}

void DataReport::Emit(const QStringList& lines) {
  if (!Output) return;
  for (const QString& l : lines) Output(l);
}

void DataReport::Press(Record record) {
  chainFlag_ = false;
  Start(record);
}

void DataReport::Alles() {
  chainFlag_ = true;
  Start(Record::Version);
  Start(Record::Shaft);
}

void DataReport::Start(Record record) {
  if (record == Record::Version) {
    Emit(VersionBlock());
    if (!chainFlag_) EndWith(Ending::Done);
    return;
  }
  const RecordInfo& info = Info(record);
  reader_.Read(
      info.kind, info.length, [this, record](const QByteArray& buffer) { Print(record, buffer); },
      [this, record](RecordReader::Outcome outcome) { Ended(record, outcome); });
}

void DataReport::Print(Record record, const QByteArray& b) {
  QStringList lines;
  switch (record) {
    case Record::Shaft:
      PrintShaft(b, lines);
      break;
    case Record::MonBlock:
      PrintMonBlock(b, lines);
      break;
    case Record::SysPerm:
      PrintSysPerm(b, lines);
      break;
    case Record::SysVar:
      PrintSysVarLong(b, lines);
      break;
    case Record::ShiftStatus:
      PrintShiftStatus(b, lines);
      break;
    case Record::IoPorts:
      PrintIoPorts(b, lines);
      break;
    case Record::Ports:
      PrintPorts(b, lines);
      break;
    case Record::CallsMap:
      PrintCallsMap(b, callsTitle, callsCount, lines);
      break;
    case Record::Version:
      break;
  }
  Emit(lines);
}

void DataReport::Ended(Record record, RecordReader::Outcome outcome) {
  using O = RecordReader::Outcome;
  switch (outcome) {
    case O::Printed:
      break;
    case O::Failed:
      if (record == Record::ShiftStatus) {
        // The header and the failure line, never the stale buffer; the
        // chain goes on with the I/O ports.
        QStringList lines;
        PrintShiftStatusFailed(RecordReader::FailureText(), lines);
        Emit(lines);
        break;
      }
      Emit({RecordReader::FailureText()});
      EndWith(Ending::Failed);
      return;
    case O::Unsupported:
      EndWith(Ending::Unsupported);
      return;
    case O::Refused:
      EndWith(Ending::Refused);
      return;
  }
  const Record next = Info(record).next;
  if (!chainFlag_ || next == Record::Version) {
    EndWith(outcome == O::Printed ? Ending::Done : Ending::Failed);
    return;
  }
  Start(next);
}

void DataReport::EndWith(Ending ending) {
  chainFlag_ = false;
  if (OnEnded) OnEnded(ending);
}

QByteArray InfoFileBytes(const QStringList& lines) {
  QByteArray out;
  for (const QString& l : lines) out += CutAtNul(l).toLatin1() + "\r\n";
  return out;
}

}  // namespace ulv
