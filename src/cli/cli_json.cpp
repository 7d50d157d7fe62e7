#include "cli/cli_json.h"

#include <QJsonArray>
#include <QtEndian>
#include <algorithm>

#include "common/save_file.h"
#include "records/error_log_reader.h"
#include "records/plant_identity.h"

namespace ulv {

namespace {

constexpr int kRecordHead = 5;        // number (4 bytes) and length of a fehler.bin record
constexpr int kMaxRecordBytes = ErrorLogReader::kFileRecordSize - kRecordHead;

QJsonArray ToArray(const QStringList& lines) { return QJsonArray::fromStringList(lines); }

}  // namespace

QJsonObject IdentityJson(const PlantIdentity& identity) {
  QJsonObject o{{QStringLiteral("plantId"), identity.PlantId()},
                {QStringLiteral("telephone"), identity.TelephoneText()},
                {QStringLiteral("softwareVersion"), identity.SoftwareVersion()},
                {QStringLiteral("eepromVersion"), identity.EepromVersion()}};
  // -1 (no valid reply) is left out rather than passed off as a count.
  if (identity.TripCount() >= 0) o.insert(QStringLiteral("tripCount"), static_cast<qint64>(identity.TripCount()));
  return QJsonObject{{QStringLiteral("command"), QStringLiteral("identity")}, {QStringLiteral("identity"), o}};
}

bool ErrorsJson(ErrorLogReader& reader, QJsonObject* out, QString* error) {
  QJsonArray list;
  // A read that found no record leaves an older fehler.bin as it was.
  if (reader.LastTotal() > 0) {
    QByteArray data;
    if (!ReadWholeFile(reader.ErrorListPath(), &data, error)) return false;
    const ErrorCatalogue& catalogue = reader.Catalogue();
    for (qsizetype at = 0; at + ErrorLogReader::kFileRecordSize <= data.size(); at += ErrorLogReader::kFileRecordSize) {
      const qint32 number = qFromLittleEndian<qint32>(data.constData() + at);
      const int length = std::min<int>(static_cast<uint8_t>(data.at(at + 4)), kMaxRecordBytes);
      const QByteArray record = data.mid(at + kRecordHead, length);
      QJsonObject e{{QStringLiteral("number"), number},
                    {QStringLiteral("raw"), QString::fromLatin1(record.toHex().toUpper())},
                    {QStringLiteral("line"), catalogue.FormatErrorLine(record, number, false)}};
      if (!record.isEmpty() && static_cast<uint8_t>(record.at(0)) == 0xF7) {
        const ErrorRecordFields f = catalogue.DecodeErrorFields(record);
        e.insert(QStringLiteral("group"), f.group);
        e.insert(QStringLiteral("code"), f.code);
        e.insert(QStringLiteral("detail"), f.detail);
        e.insert(QStringLiteral("date"), f.date);
        e.insert(QStringLiteral("time"), f.time);
        e.insert(QStringLiteral("name"), f.name);
        e.insert(QStringLiteral("text"), f.text);
      }
      list.append(e);
    }
  }
  *out = QJsonObject{{QStringLiteral("command"), QStringLiteral("errors")},
                     {QStringLiteral("stored"), static_cast<qint64>(std::max<int64_t>(reader.LastTotal(), 0))},
                     {QStringLiteral("errors"), list}};
  return true;
}

QJsonObject RecordsJson(const QString& which, const QStringList& lines) {
  QStringList head;
  QJsonArray records;
  QJsonObject current;
  QStringList body;
  auto close = [&] {
    if (current.isEmpty()) return;
    current.insert(QStringLiteral("lines"), ToArray(body));
    records.append(current);
  };
  for (const QString& line : lines) {
    if (line.startsWith(QLatin1String("_____"))) {
      close();
      // "_____NAME=...____" or "_____NAME____": the name up to the first "_" or "=".
      const QString title = line.mid(5).section(QLatin1Char('_'), 0, 0).section(QLatin1Char('='), 0, 0);
      current = QJsonObject{{QStringLiteral("title"), title}, {QStringLiteral("heading"), line}};
      body.clear();
    } else if (current.isEmpty()) {
      head << line;
    } else {
      body << line;
    }
  }
  close();
  return QJsonObject{{QStringLiteral("command"), QStringLiteral("records")},
                     {QStringLiteral("which"), which},
                     {QStringLiteral("head"), ToArray(head)},
                     {QStringLiteral("records"), records}};
}

QJsonObject CaptureJson(const QString& file, const QStringList& head, const QStringList& decoder,
                        const std::vector<DecodedEntry>& entries) {
  QJsonArray list;
  for (const DecodedEntry& e : entries) {
    QJsonObject o{{QStringLiteral("raw"), e.raw}, {QStringLiteral("text"), e.text}};
    // "KK,AA,BB,CC": the entry's kind and its three bytes.
    const QStringList parts = e.raw.left(11).split(QLatin1Char(','));
    QJsonArray bytes;
    for (const QString& p : parts) {
      bool ok = false;
      const uint v = p.toUInt(&ok, 16);
      if (!ok || p.size() != 2) break;
      bytes.append(static_cast<int>(v));
    }
    if (bytes.size() == 4) o.insert(QStringLiteral("bytes"), bytes);
    list.append(o);
  }
  return QJsonObject{{QStringLiteral("file"), file},
                     {QStringLiteral("head"), ToArray(head)},
                     {QStringLiteral("decoder"), ToArray(decoder)},
                     {QStringLiteral("entries"), list}};
}

}  // namespace ulv
