#pragma once
// Whole-file reads and writes. A write never replaces a good file with a
// short one: the data goes to a temporary file beside it, which replaces the
// old file only when every byte reached it. A read takes regular files of a
// bounded size only, so a device or FIFO named in the configuration can
// neither hang the program nor fill its memory.
#include <QByteArray>
#include <QString>

namespace ulv {

inline constexpr qint64 kMaxReadFileSize = 16 * 1024 * 1024;

// False with `error` ("path: reason") set when the file could not be
// written; the old file, if any, is then unchanged.
bool SaveWholeFile(const QString& path, const QByteArray& data, QString* error = nullptr);

// False with `error` ("path: reason") set for a missing or unreadable file,
// anything that is not a regular file, and a file over `limit` bytes.
bool ReadWholeFile(const QString& path, QByteArray* data, QString* error = nullptr,
                   qint64 limit = kMaxReadFileSize);

}  // namespace ulv
