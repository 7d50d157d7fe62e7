#include "common/save_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace ulv {

bool SaveWholeFile(const QString& path, const QByteArray& data, QString* error) {
  QSaveFile file(path);
  // Unbuffered: a buffered write that fails only when the buffer is flushed
  // at commit() goes unnoticed by QSaveFile (Qt 6.4), which then renames the
  // short file over the old one.
  bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
  // A write cut short by a full disk sets no error: writing the rest brings
  // the system's reason for the message.
  for (qint64 done = 0; written && done < data.size();) {
    const qint64 n = file.write(data.constData() + done, data.size() - done);
    written = n > 0 && file.error() == QFileDevice::NoError;
    done += n;
  }
  // Without commit() the destructor removes the temporary file.
  if (written && file.commit()) return true;
  if (error != nullptr) *error = path + QStringLiteral(": ") + file.errorString();
  return false;
}

bool ReadWholeFile(const QString& path, QByteArray* data, QString* error, qint64 limit) {
  data->clear();
  auto fail = [&](const QString& why) {
    if (error != nullptr) *error = path + QStringLiteral(": ") + why;
    return false;
  };
  const QFileInfo info(path);
  if (!info.exists()) return fail(QStringLiteral("file not found"));
  if (!info.isFile()) return fail(QStringLiteral("not a regular file, not read"));
  if (info.size() > limit)
    return fail(QStringLiteral("larger than %1 MiB, not read").arg(limit / (1024 * 1024)));
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return fail(file.errorString());
  // A file that grew since it was measured is still read no further.
  *data = file.read(limit + 1);
  if (file.error() != QFileDevice::NoError) return fail(file.errorString());
  if (data->size() > limit) {
    data->clear();
    return fail(QStringLiteral("larger than %1 MiB, not read").arg(limit / (1024 * 1024)));
  }
  return true;
}

}  // namespace ulv
