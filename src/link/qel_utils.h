#pragma once
// Ready-made controller requests shared by several windows (version text,
// date and time, plant name and telephone, 16-bit and 32-bit writes) and the
// controller's time and day formats.
#include <QString>
#include <cstdint>
#include <functional>

#include "common/clock.h"
#include "link/transfers.h"

namespace ulv {

// How a request of the utilities ended: a controller reply (kind 0xF), the
// queue's time-out substitute (zero bytes), or refused by the queue.
enum class ReplyStatus { Replied, Substitute, Refused };

// True for a message the controller sent: its kind (high nibble of the
// header) is always 0xF; a time-out substitute starts with 0x00 or is empty.
bool IsControllerReply(const QByteArray& reply);

class QelUtils {
public:
  QelUtils(Transfers& transfers, const Clock& clock);

  // Queues F1 01 (reply 16); the callback gets the text after the header
  // byte, "Transfer.Fehler" for a reply not starting with FF, or
  // "transf.error" at once when the queue refuses.
  void ReadVersionText(std::function<void(const QString&)> callback);
  // The same read; the callback also learns how the request ended, so a
  // reader can tell a time-out (the queue drops what waits behind it) from
  // a controller reply.
  void ReadVersion(std::function<void(const QString& text, ReplyStatus status)> callback);
  // Time (F5 34) then day number (F5 36), both from one reading of the
  // clock. done(this) once a reply ends the send (after the F5 34 reply
  // when it is not F4, a time-out included, else after the F5 36 reply);
  // "date.send" through OnReport only when the F5 36 reply starts with F4.
  // done(nullptr) when the link is down or a request is refused. OnReport
  // is taken over by this send when it starts.
  void SendDateTime(std::function<void(QelUtils*)> done);
  // FF 55 11 / FF 55 13 + 13 bytes: the text trimmed, in Latin-1 ('?' for
  // what Latin-1 cannot hold), cut or padded with 0x00 to 13 bytes. Nothing
  // is sent while the link is down.
  void WriteNameText(const QString& text);
  void WriteTelephoneText(const QString& text);
  // F5 04 + nibbles; done() on the reply (whatever it holds).
  void WriteWord16(uint16_t value, std::function<void()> done);
  // The same; done gets the reply, so a writer can check it was F4 before it
  // writes at the pointer. False when the queue refuses (done is not called).
  bool WriteWord16(uint16_t value, std::function<void(const QByteArray& reply)> done);
  // Queues F9 0C + 8 nibbles; false (nothing sent) for a text that is not
  // exactly 8 hex digits (0-9, A-F, a-f) or when the queue refuses. The
  // HexWriteDone installed at the time of this call is taken and cleared
  // (also when nothing is sent), so a later send never runs an old chain's
  // step; the reply is handed to it.
  bool SendHex32(const QString& text);

  std::function<void(const QString&)> OnReport;
  std::function<void(const QByteArray& reply)> HexWriteDone;
  QString VersionText = QStringLiteral("??");
  QString DateText = QStringLiteral("??");

private:
  Transfers& transfers_;
  const Clock& clock_;
};

// 0..15 for 0-9, A-F and a-f; 0xFF for any other character.
uint8_t HexDigitValue(QChar c);
QString FormatTwoSeconds(uint16_t value);
QString FormatTwoSecondsSpaced(uint16_t value);
// Day number (1 = 1 January 2000, the year 2000 counted with 365 days) as
// "dd.mm.yy"; a remainder of 0 after the year count is 31 December of the
// year before, so every date from 2001 on reads back as sent. Day 0 and
// years beyond 2099 give "?? ?? ??".
QString FormatDayNumber(uint16_t dayNumber);
// Requests as bytes, shared with the simulator's tests.
// F5 34 + nibbles of seconds/2 since midnight.
QByteArray TimeOfDayRequest(const QTime& t);
// F5 36 + nibbles of the days since 1 January 2000 (that day is 0).
QByteArray DayNumberRequest(const QDate& d);
// The 13 bytes a name or telephone write carries.
QByteArray PlantTextField(const QString& text);

}  // namespace ulv
