#pragma once
// INI-format files as the tool reads them: no trimming, first occurrence
// wins, case-insensitive names, a section is present only with an entry.
// Lines end with CR LF, LF or a lone CR. Decoded as UTF-8 when valid, else
// Latin-1; written back in the encoding read.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace ulv {

class IniStore {
public:
  struct Entry {
    QString key;
    QString value;
    // False for a line without "=": kept for writing back, never found by a
    // lookup.
    bool hasSeparator = true;
  };
  struct Section {
    QString name;
    std::vector<Entry> entries;
  };

  // Reads a file (a regular file of at most 16 MiB); false (and an empty
  // store) with `error` set when it is missing, unreadable or refused.
  bool Load(const QString& path, QString* error = nullptr);
  void LoadFromBytes(const QByteArray& data);
  void Clear();

  // Value of key in section, `def` when the section or key is missing.
  QString Value(const QString& section, const QString& key, const QString& def = QString()) const;
  // Integer value; `def` when missing or not a number.
  int IntValue(const QString& section, const QString& key, int def) const;
  bool HasSection(const QString& section) const;
  bool HasKey(const QString& section, const QString& key) const;

  // Replaces the value of an existing key, adds the key at the end of its
  // section, or adds a new section at the end. Marks the store modified when
  // the value changes.
  void SetValue(const QString& section, const QString& key, const QString& value);

  // A whole file's `text` with `key` of `section` set to `value` where
  // SetValue would set it (the first section of that name; a new section at
  // the end), every other line left as it was (the settings editor's text).
  static QString SetValueInText(const QString& text, const QString& section, const QString& key,
                                const QString& value);

  // "[name]", its entries, one empty line, per section; CR LF line ends; in
  // the encoding the store was read in.
  QByteArray Serialize() const;
  // Writes Serialize() with SaveWholeFile. On failure `error` says why and
  // the old file is unchanged.
  bool Save(const QString& path, QString* error = nullptr) const;

  bool IsModified() const { return modified_; }
  void SetModified(bool m) { modified_ = m; }
  bool IsUtf8() const { return utf8_; }
  const std::vector<Section>& Sections() const { return sections_; }

  // Decodes file bytes: UTF-8 when valid, otherwise Latin-1.
  static QString DecodeText(const QByteArray& data, bool* wasUtf8 = nullptr);

private:
  const Section* FindSection(const QString& name) const;
  std::vector<Section> sections_;
  const Entry* FindEntry(const QString& section, const QString& key) const;
  bool modified_ = false;
  bool utf8_ = true;
  bool bom_ = false;
};

}  // namespace ulv
