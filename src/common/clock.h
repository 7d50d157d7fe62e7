#pragma once
// "Now" comes from an injected clock so tests can pin date and time.
#include <QDateTime>
#include <QLocale>
#include <QString>

namespace ulv {

class Clock {
public:
  virtual ~Clock() = default;
  virtual QDateTime Now() const = 0;
  // "Now" as milliseconds since the epoch: cheap enough to stamp every byte.
  virtual qint64 MsecsSinceEpoch() const { return Now().toMSecsSinceEpoch(); }
  // Milliseconds since local midnight.
  int MsecsSinceMidnight() const;
  // The short date, a blank and the long time of `locale` (default locale
  // when none is given), as report and log heads print it.
  QString NowText() const;
  static QString DateTimeText(const QDateTime& t, const QLocale& locale = QLocale());
};

class SystemClock : public Clock {
public:
  QDateTime Now() const override { return QDateTime::currentDateTime(); }
  qint64 MsecsSinceEpoch() const override { return QDateTime::currentMSecsSinceEpoch(); }
};

}  // namespace ulv
