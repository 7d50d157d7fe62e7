#pragma once
// The JSON documents of ulvreader-cli --format json. Their field names are
// kept stable: a service company's own systems read them.
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace ulv {

class ErrorLogReader;
class PlantIdentity;

// identity: the values the identity lines show.
QJsonObject IdentityJson(const PlantIdentity& identity);
// errors: the records the read just wrote to fehler.bin, oldest first, each
// with its raw bytes, its decoded fields and its line of the text list.
// False with `error` set when the file cannot be read.
bool ErrorsJson(ErrorLogReader& reader, QJsonObject* out, QString* error);
// records: the lines before the first record, then each record's heading
// ("_____" line) with the lines that follow it.
QJsonObject RecordsJson(const QString& which, const QStringList& lines);

// One entry of a capture file and what the decoder shows for it.
struct DecodedEntry {
  QString raw;
  QString text;
};
// capture and decode: the file's head lines, the decoder's lines and every
// entry shown.
QJsonObject CaptureJson(const QString& file, const QStringList& head, const QStringList& decoder,
                        const std::vector<DecodedEntry>& entries);

}  // namespace ulv
