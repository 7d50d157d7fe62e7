#pragma once
// Ready-made controller requests shared by several windows (version text,
// date and time, plant name and telephone, 16-bit and 32-bit writes) and the
// controller's time and day formats.
#include "common/clock.h"
#include "link/transfers.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace ulv {

class QelUtils {
public:
  QelUtils(Transfers& transfers, const Clock& clock);

  // Queues F1 01 (reply 16); the callback gets the text after the header
  // byte, "Transfer.Fehler" for a reply not starting with FF, or
  // "transf.error" at once when the queue refuses.
  void ReadVersionText(std::function<void(const QString&)> callback);
  // Time (F5 34) then day number (F5 36); "date.send" through OnReport and
  // done(this) when the F5 36 reply starts with F4; done(nullptr) when the
  // link is down or a request is refused.
  void SendDateTime(std::function<void(QelUtils*)> done);
  void WriteNameText(const QString& text);
  void WriteTelephoneText(const QString& text);
  void WriteWord16(uint16_t value, std::function<void()> done);
  // Queues F9 0C + 8 nibbles; false (nothing sent) for a text that is not
  // exactly 8 hex digits or when the queue refuses.
  bool SendHex32(const QString& text);

  std::function<void(const QString&)> OnReport;
  std::function<void()> HexWriteDone;
  QString VersionText = QStringLiteral("??");
  QString DateText = QStringLiteral("??");

private:
  Transfers& transfers_;
  const Clock& clock_;
};

uint8_t HexDigitValue(QChar c);
QString FormatTwoSeconds(uint16_t value);
QString FormatTwoSecondsSpaced(uint16_t value);
QString FormatDayNumber(uint16_t dayNumber);
// Requests as bytes, shared with the simulator's tests.
QByteArray TimeOfDayRequest(const QTime& t);
QByteArray DayNumberRequest(const QDate& d);

}  // namespace ulv
