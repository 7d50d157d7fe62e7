#pragma once
// The controller's system records (system variables, persistent system data,
// shaft data, monitor block, I/O ports, shift status, calls map, port image)
// and their print procedures. A print procedure is a pure decoder: it reads
// the record from the start of a buffer and appends text lines; bytes beyond
// the end of the buffer read as 0.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace ulv {

// Bytes each print procedure uses from the start of the record.
inline constexpr int kSysVarSize = 22;
inline constexpr int kSysPermSize = 30;
inline constexpr int kShaftSize = 166;
inline constexpr int kMonBlockSize = 6;
inline constexpr int kIoPortsSize = 3;
inline constexpr int kShiftStatusSize = 122;
inline constexpr int kCallsMapSize = 256;
inline constexpr int kPortsSize = 14;

// "1-0-1-0-0-1-0-1": the bits, most significant first.
QString BitString8(uint8_t value);
QString BitString16(uint16_t value);
// " " and "_____" + title + 29 underscores.
void SectionHeader(const QString& title, QStringList& out);

void PrintSysVarLong(const QByteArray& record, QStringList& out);
void PrintSysVarShort(const QByteArray& record, QStringList& out);
void PrintSysPerm(const QByteArray& record, QStringList& out);
void PrintShaft(const QByteArray& record, QStringList& out);
void PrintMonBlock(const QByteArray& record, QStringList& out);
void PrintIoPorts(const QByteArray& record, QStringList& out);
void PrintShiftStatus(const QByteArray& record, QStringList& out);
// `count` bytes (a multiple of 16) as hex lines under `title`.
void PrintCallsMap(const QByteArray& record, const QString& title, int count, QStringList& out);

// The port image: 14 port bytes listed bit by bit with terminal and signal.
void PrintPorts(const QByteArray& record, QStringList& out);
// One line of the listing: the name padded to 8 behind two blanks, " : ",
// the code, three blanks and the text.
QString PortLine(const QString& name, const QString& code, const QString& text);

// The SHIFT-STATUS header followed by the failure line, for a shift status
// read that brought no data.
void PrintShiftStatusFailed(const QString& failure, QStringList& out);

}  // namespace ulv
