#include "common/clock.h"

namespace ulv {

namespace {

// The locale's long time format without its time-zone field: log and report
// heads show the wall-clock time only ("10:00:00", not "10:00:00 CET").
QString TimeFormatWithoutZone(const QLocale& locale) {
  const QString format = locale.timeFormat(QLocale::LongFormat);
  QString out;
  bool quoted = false;
  for (qsizetype i = 0; i < format.size(); ++i) {
    const QChar c = format.at(i);
    if (c == QLatin1Char('\'')) {
      quoted = !quoted;
      out += c;
      continue;
    }
    if (!quoted && c == QLatin1Char('t')) {
      while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('t')) ++i;
      // Drop the blank that separated the zone from the rest.
      if (out.endsWith(QLatin1Char(' ')))
        out.chop(1);
      else if (i + 1 < format.size() && format.at(i + 1) == QLatin1Char(' '))
        ++i;
      continue;
    }
    out += c;
  }
  return out.trimmed();
}

}  // namespace

int Clock::MsecsSinceMidnight() const { return Now().time().msecsSinceStartOfDay(); }

QString Clock::NowText() const { return DateTimeText(Now()); }

QString Clock::DateTimeText(const QDateTime& t, const QLocale& locale) {
  return locale.toString(t.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
         locale.toString(t.time(), TimeFormatWithoutZone(locale));
}

}  // namespace ulv
