#pragma once
// The error text catalogue: an INI-format file that turns the controller's
// 8-byte error records into German text and supplies the error window's
// texts. Read once, on first use, and held read-only afterwards.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

#include "common/ini_store.h"

namespace ulv {

// One error record taken apart: the bytes after F7, the date and time as the
// list shows them, the group's name and the catalogue's text.
struct ErrorRecordFields {
  uint8_t group = 0;
  uint8_t code = 0;
  uint8_t detail = 0;
  QString date;  // dd.mm.yy
  QString time;  // hh:mm:ss
  QString name;
  QString text;
};

class ErrorCatalogue {
public:
  // `path` is the catalogue file (already resolved against the data
  // directory); nothing is read until the first lookup. A missing file gives
  // an empty catalogue in which every lookup returns its default.
  explicit ErrorCatalogue(QString path = QString());

  QString Path() const { return path_; }
  // A catalogue file that is there but cannot be taken (unreadable, not a
  // regular file, too large): the reason, once, when it is first read.
  std::function<void(const QString& message)> OnLoadError;
  // Reads the file now unless already read; true when a file was read.
  bool EnsureLoaded() const;
  bool IsLoaded() const { return loaded_; }
  // Takes the catalogue from bytes instead of the file (counts as loaded).
  void LoadFromBytes(const QByteArray& data);

  // Value of `key` in [texte]; the key itself when missing.
  QString CatalogueText(const QString& key) const;
  // " dd.mm.yy  hh:mm:ss [name:code,detail] text" of one record.
  QString DecodeErrorRecord(const QByteArray& record) const;
  // The same record's parts (the line is " date  time [name:code,detail] text").
  ErrorRecordFields DecodeErrorFields(const QByteArray& record) const;
  // One line of the error list; "error" when the record is not an F7 reply.
  QString FormatErrorLine(const QByteArray& record, int number, bool hexMode) const;
  // "decode-file-info" and five lines "  " + [id] file, create, update,
  // user, version.
  void WriteCatalogueInfo(const std::function<void(const QString&)>& output) const;

  // Name of `group` as seen from `section`: its "id", else [_id] group,
  // else the decimal number.
  QString ErrorGroupName(const QString& section, uint8_t group) const;
  // Expands the placeholders of `tmpl` for the decode of `record` in
  // `section` ("%t" from the section, "%m"/"%n"/"%o" with or without "$",
  // "%1".."%8" with or without a following "d"), each only at its first
  // occurrence. Numbers inserted are never scanned again; what matches no
  // placeholder stays as it is.
  QString ExpandTemplate(const QString& tmpl, const QString& section, const QByteArray& record) const;

  // The store itself, read on first use (for the paths window and tests).
  const IniStore& Store() const;

private:
  QString path_;
  mutable IniStore store_;
  mutable bool loaded_ = false;
};

}  // namespace ulv
