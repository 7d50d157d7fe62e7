// The system record printers with arbitrary record bytes. Input: a selector
// byte, a count byte, then the record. Invariants: a printer reads only the
// bytes of its record (more bytes print the same), and a short record prints
// as if it were padded with zeros.
#include "fuzz_support.h"
#include "system/system_records.h"

using namespace ulv;

namespace {

using Printer = void (*)(const QByteArray&, QStringList&);

struct Procedure {
  Printer print;
  int size;
};

const Procedure kProcedures[] = {
    {PrintSysVarLong, kSysVarSize},   {PrintSysVarShort, kSysVarSize},     {PrintSysPerm, kSysPermSize},
    {PrintShaft, kShaftSize},         {PrintMonBlock, kMonBlockSize},      {PrintIoPorts, kIoPortsSize},
    {PrintShiftStatus, kShiftStatusSize}, {PrintPorts, kPortsSize},
};

QStringList Printed(const Procedure& p, const QByteArray& record) {
  QStringList out;
  p.print(record, out);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t selector = in.Byte();
  const int count = 16 * (in.Byte() % 17);
  const QByteArray record = in.Rest();
  const Procedure& p = kProcedures[selector % std::size(kProcedures)];
  const QStringList printed = Printed(p, record);
  const QByteArray own = record.left(p.size);
  const QByteArray padded = own + QByteArray(p.size - own.size(), '\0');
  fuzz::Check(Printed(p, own) == printed, "a printer read past its record");
  fuzz::Check(Printed(p, padded) == printed, "a short record prints unlike the padded one");

  QStringList calls;
  PrintCallsMap(record, QString::fromLatin1(record.left(16)), count, calls);
  QStringList callsPadded;
  const QByteArray map = record.left(count);
  PrintCallsMap(map + QByteArray(count - map.size(), '\0'), QString::fromLatin1(record.left(16)), count,
                callsPadded);
  fuzz::Check(calls == callsPadded, "the calls map read past its count");
  QStringList failed;
  PrintShiftStatusFailed(QString::fromLatin1(record), failed);
  return 0;
}
