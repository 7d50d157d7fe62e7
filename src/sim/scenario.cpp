#include "sim/scenario.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>
#include <iterator>

#include "common/save_file.h"

namespace ulv {

namespace {

constexpr int kTextLength = 15;

QByteArray FixedText(const QString& text) {
  QByteArray bytes = text.toLatin1().left(kTextLength);
  while (bytes.size() < kTextLength) bytes.append(' ');
  return bytes;
}

bool ReadNumber(const QJsonObject& o, const char* key, int64_t lo, int64_t hi, int64_t* out, QString* error,
                const QString& where) {
  const QJsonValue v = o.value(QLatin1String(key));
  if (v.isUndefined()) return true;
  if (!v.isDouble()) {
    *error = QStringLiteral("%1: \"%2\" must be a number").arg(where, QLatin1String(key));
    return false;
  }
  const double d = v.toDouble();
  if (d < static_cast<double>(lo) || d > static_cast<double>(hi) ||
      d != static_cast<double>(static_cast<int64_t>(d))) {
    *error = QStringLiteral("%1: \"%2\" must be a whole number from %3 to %4")
                 .arg(where, QLatin1String(key), QString::number(lo), QString::number(hi));
    return false;
  }
  *out = static_cast<int64_t>(d);
  return true;
}

bool ReadError(const QJsonObject& o, int index, SimErrorRecord* rec, QString* error) {
  const QString where = QStringLiteral("errors[%1]").arg(index);
  int64_t group = 0, code = 0, detail = 0;
  if (!ReadNumber(o, "group", 0, 255, &group, error, where) ||
      !ReadNumber(o, "code", 0, 255, &code, error, where) ||
      !ReadNumber(o, "detail", 0, 255, &detail, error, where)) {
    return false;
  }
  rec->group = static_cast<uint8_t>(group);
  rec->code = static_cast<uint8_t>(code);
  rec->detail = static_cast<uint8_t>(detail);

  if (o.contains(QLatin1String("date"))) {
    const QDate d = QDate::fromString(o.value(QLatin1String("date")).toString(), Qt::ISODate);
    if (!d.isValid() || d < QDate(2000, 1, 1) || SimDayNumber(d) != QDate(2000, 1, 1).daysTo(d)) {
      *error = QStringLiteral("%1: \"date\" must be a date YYYY-MM-DD from 2000-01-01 on").arg(where);
      return false;
    }
    rec->day = SimDayNumber(d);
  } else {
    int64_t day = 0;
    if (!ReadNumber(o, "day", 0, 0xFFFF, &day, error, where)) return false;
    rec->day = static_cast<uint16_t>(day);
  }
  if (o.contains(QLatin1String("time"))) {
    const QTime t = QTime::fromString(o.value(QLatin1String("time")).toString(), QStringLiteral("HH:mm:ss"));
    if (!t.isValid()) {
      *error = QStringLiteral("%1: \"time\" must be a time HH:MM:SS").arg(where);
      return false;
    }
    rec->twoSeconds = SimTwoSeconds(t);
  } else {
    int64_t ts = 0;
    if (!ReadNumber(o, "twoSeconds", 0, 0xFFFF, &ts, error, where)) return false;
    rec->twoSeconds = static_cast<uint16_t>(ts);
  }
  return true;
}

bool ReadStream(const QJsonObject& o, SimStreamSetup* st, QString* error) {
  const QString where = QStringLiteral("stream");
  struct Field {
    const char* key;
    int64_t hi;
    int64_t value;
  };
  Field fields[] = {{"interfaceVersion", 255, st->interfaceVersion}, {"magic", 0xFFFF, st->magic},
                    {"open", 255, st->open},         {"stop", 255, st->stop},
                    {"mask", 255, st->mask},         {"day", 0xFFFF, st->day},
                    {"twoSeconds", 0xFFFF, st->twoSeconds}, {"count", 0xFFFF, st->count},
                    {"wrap", 255, st->wrap},         {"size", 0xFFFF, st->size},
                    {"entriesPerPoll", 1000, st->entriesPerPoll}};
  for (Field& f : fields) {
    if (!ReadNumber(o, f.key, 0, f.hi, &f.value, error, where)) return false;
  }
  st->interfaceVersion = static_cast<uint8_t>(fields[0].value);
  st->magic = static_cast<uint16_t>(fields[1].value);
  st->open = static_cast<uint8_t>(fields[2].value);
  st->stop = static_cast<uint8_t>(fields[3].value);
  st->mask = static_cast<uint8_t>(fields[4].value);
  st->day = static_cast<uint16_t>(fields[5].value);
  st->twoSeconds = static_cast<uint16_t>(fields[6].value);
  st->count = static_cast<int>(fields[7].value);
  st->wrap = static_cast<int>(fields[8].value);
  st->size = static_cast<int>(fields[9].value);
  st->entriesPerPoll = static_cast<int>(fields[10].value);
  st->present = o.value(QLatin1String("present")).toBool(st->present);
  st->interfaceValid = o.value(QLatin1String("interfaceValid")).toBool(st->interfaceValid);
  if (o.contains(QLatin1String("versionText")))
    st->versionText = o.value(QLatin1String("versionText")).toString().toLatin1();
  static const char* const kRequests[] = {"query", "test", "version", "header", "run", "stop", "rewrite", "fetch"};
  const QJsonArray faults = o.value(QLatin1String("faults")).toArray();
  st->faults.clear();
  for (int i = 0; i < faults.size(); ++i) {
    const QJsonObject f = faults[i].toObject();
    const QString request = f.value(QLatin1String("request")).toString();
    const QString fault = f.value(QLatin1String("fault")).toString(QStringLiteral("silent"));
    SimStreamFault sf;
    const auto* known = std::find_if(std::begin(kRequests), std::end(kRequests),
                                     [&](const char* r) { return request == QLatin1String(r); });
    int64_t nth = 1;
    if (known == std::end(kRequests) ||
        (fault != QLatin1String("silent") && fault != QLatin1String("wrong") && fault != QLatin1String("late")) ||
        !ReadNumber(f, "nth", 1, 1000000, &nth, error, where)) {
      if (error->isEmpty() || known == std::end(kRequests))
        *error = QStringLiteral("stream.faults[%1]: request must be one of query test version header run "
                                "stop rewrite fetch, fault silent, wrong or late")
                     .arg(i);
      return false;
    }
    sf.request = static_cast<SimStreamRequest>(known - std::begin(kRequests));
    sf.nth = static_cast<int>(nth);
    sf.wrongByte = fault == QLatin1String("wrong");
    sf.late = fault == QLatin1String("late");
    st->faults.push_back(sf);
  }
  return true;
}

}  // namespace

uint16_t SimDayNumber(const QDate& date) { return static_cast<uint16_t>(QDate(2000, 1, 1).daysTo(date)); }

uint16_t SimTwoSeconds(const QTime& time) {
  return static_cast<uint16_t>(time.msecsSinceStartOfDay() / 2000);
}

namespace {

bool ReadRequestFaults(const QJsonValue& v, std::vector<SimRequestFault>* out, QString* error) {
  static const char* const kRequests[] = {"memoryAddress", "memoryRead", "memoryWrite",
                                          "memoryDump",    "firmware",   "monitor"};
  static const char* const kFaults[] = {"drop", "wrong", "short", "delay"};
  const auto indexOf = [](const auto& names, const QString& name) {
    const auto* it = std::find_if(std::begin(names), std::end(names),
                                  [&](const char* n) { return name == QLatin1String(n); });
    return it == std::end(names) ? -1 : static_cast<int>(it - std::begin(names));
  };
  const QJsonArray a = v.toArray();
  std::vector<SimRequestFault> faults;
  for (int i = 0; i < a.size(); ++i) {
    const QJsonObject f = a[i].toObject();
    const int request = indexOf(kRequests, f.value(QLatin1String("request")).toString());
    const int fault = indexOf(kFaults, f.value(QLatin1String("fault")).toString(QStringLiteral("drop")));
    const double nth = f.value(QLatin1String("nth")).toDouble(1);
    if (!v.isArray() || !a[i].isObject() || request < 0 || fault < 0 || nth < 1 || nth > 1000000 ||
        nth != static_cast<int>(nth)) {
      *error = QStringLiteral("faults[%1]: request must be one of memoryAddress memoryRead memoryWrite "
                              "memoryDump firmware monitor, fault drop, wrong, short or delay, nth from 1")
                   .arg(i);
      return false;
    }
    faults.push_back({static_cast<SimRequestKind>(request), static_cast<int>(nth), static_cast<SimReplyFault>(fault)});
  }
  if (!v.isArray()) {
    *error = QStringLiteral("scenario: \"faults\" must be a list");
    return false;
  }
  *out = std::move(faults);
  return true;
}

}  // namespace

bool ParseScenario(const QByteArray& json, Scenario* scenario, QString* error) {
  QString dummy;
  if (!error) error = &dummy;
  QJsonParseError pe{};
  const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
  if (pe.error != QJsonParseError::NoError) {
    *error = QStringLiteral("scenario: %1 at offset %2").arg(pe.errorString(), QString::number(pe.offset));
    return false;
  }
  if (!doc.isObject()) {
    *error = QStringLiteral("scenario: the file must hold one JSON object");
    return false;
  }
  const QJsonObject o = doc.object();
  Scenario s = *scenario;
  const QString where = QStringLiteral("scenario");

  if (o.contains(QLatin1String("version")))
    s.version = FixedText(o.value(QLatin1String("version")).toString());
  if (o.contains(QLatin1String("name")))
    s.name = o.value(QLatin1String("name")).toString().toLatin1().left(kTextLength);
  if (o.contains(QLatin1String("telephone"))) {
    s.telephone = o.value(QLatin1String("telephone")).toString().toLatin1().left(kTextLength);
  }
  if (o.contains(QLatin1String("eeprom"))) {
    const QStringList parts = o.value(QLatin1String("eeprom")).toString().split(QLatin1Char('.'));
    bool okB = false, okA = false;
    const int b = parts.size() == 2 ? parts[0].toInt(&okB) : 0;
    const int a = parts.size() == 2 ? parts[1].toInt(&okA) : 0;
    if (!okA || !okB || a < 0 || b < 0 || a > 0xFFFF || b > 0xFFFF) {
      *error = QStringLiteral("scenario: \"eeprom\" must read like \"02.05\"");
      return false;
    }
    s.eepromA = static_cast<uint16_t>(a);
    s.eepromB = static_cast<uint16_t>(b);
  }
  if (!ReadNumber(o, "trips", 0, int64_t{0xFFFF} * 10000 + 9999, &s.trips, error, where)) return false;
  if (o.contains(QLatin1String("errors"))) {
    const QJsonValue v = o.value(QLatin1String("errors"));
    if (!v.isArray()) {
      *error = QStringLiteral("scenario: \"errors\" must be a list");
      return false;
    }
    const QJsonArray a = v.toArray();
    if (a.size() > 0xFFFF) {
      *error = QStringLiteral("scenario: too many errors");
      return false;
    }
    s.errors.clear();
    for (int i = 0; i < a.size(); ++i) {
      if (!a[i].isObject()) {
        *error = QStringLiteral("errors[%1]: must be an object").arg(i);
        return false;
      }
      SimErrorRecord rec;
      if (!ReadError(a[i].toObject(), i, &rec, error)) return false;
      s.errors.push_back(rec);
    }
  }
  if (o.contains(QLatin1String("stream"))) {
    if (!o.value(QLatin1String("stream")).isObject()) {
      *error = QStringLiteral("scenario: \"stream\" must be an object");
      return false;
    }
    if (!ReadStream(o.value(QLatin1String("stream")).toObject(), &s.stream, error)) return false;
  }
  if (!ParseSystemData(o, &s.system, error)) return false;
  if (o.contains(QLatin1String("faults")) && !ReadRequestFaults(o.value(QLatin1String("faults")), &s.faults, error))
    return false;
  *scenario = s;
  return true;
}

Scenario DefaultScenario() {
  Scenario s;
  s.version = FixedText(QStringLiteral("ULV-SIM"));
  QFile f{QString::fromLatin1(kDefaultScenarioResource)};
  if (f.open(QIODevice::ReadOnly)) {
    QString error;
    ParseScenario(f.readAll(), &s, &error);
  }
  return s;
}

QString ScenarioPath(const QString& nameOrPath) {
  if (nameOrPath == QLatin1String("default")) return QString::fromLatin1(kDefaultScenarioResource);
  if (nameOrPath == QLatin1String("many-errors")) return QString::fromLatin1(kManyErrorsScenarioResource);
  return nameOrPath;
}

bool LoadScenario(const QString& path, Scenario* scenario, QString* error) {
  Scenario s = DefaultScenario();
  if (!path.isEmpty()) {
    // A file is read only when it is a regular file of sane size: a FIFO
    // would block the simulator for good.
    QByteArray bytes;
    QString why;
    if (path.startsWith(QLatin1Char(':'))) {
      QFile f(path);
      if (!f.open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("scenario %1: %2").arg(path, f.errorString());
        return false;
      }
      bytes = f.readAll();
    } else if (!ReadWholeFile(path, &bytes, &why)) {
      if (error) *error = QStringLiteral("scenario %1").arg(why);
      return false;
    }
    if (!ParseScenario(bytes, &s, &why)) {
      if (error) *error = QStringLiteral("%1: %2").arg(path, why);
      return false;
    }
  }
  *scenario = s;
  return true;
}

}  // namespace ulv
