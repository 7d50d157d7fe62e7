#include "common/ini_store.h"

#include <QStringDecoder>
#include <limits>

#include "common/save_file.h"

namespace ulv {

namespace {

const char kUtf8Bom[] = "\xEF\xBB\xBF";

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// Lines of a text: CR LF, LF and a lone CR each end a line and belong to no
// line.
QStringList SplitLines(const QString& text) {
  QStringList lines;
  qsizetype start = 0;
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = text.at(i);
    if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) continue;
    lines.append(text.mid(start, i - start));
    if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n')) ++i;
    start = i + 1;
  }
  if (start < n) lines.append(text.mid(start));
  return lines;
}

// An integer as the tool's configuration writes it: leading blanks, an
// optional sign, decimal digits or hex after "$" or "0x"; nothing may follow.
bool ParseInt(const QString& text, int* out) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n && text.at(i) == QLatin1Char(' ')) ++i;
  bool negative = false;
  if (i < n && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
    negative = text.at(i) == QLatin1Char('-');
    ++i;
  }
  int base = 10;
  if (i < n && text.at(i) == QLatin1Char('$')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && text.at(i) == QLatin1Char('0') &&
             (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
    base = 16;
    i += 2;
  }
  if (i >= n) return false;
  int64_t value = 0;
  for (; i < n; ++i) {
    int d = -1;
    const char16_t u = text.at(i).unicode();
    if (u >= u'0' && u <= u'9')
      d = u - u'0';
    else if (base == 16 && u >= u'a' && u <= u'f')
      d = u - u'a' + 10;
    else if (base == 16 && u >= u'A' && u <= u'F')
      d = u - u'A' + 10;
    if (d < 0) return false;
    value = value * base + d;
    if (value > int64_t{std::numeric_limits<int>::max()} + 1) return false;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min()) return false;
  *out = static_cast<int>(value);
  return true;
}

}  // namespace

QString IniStore::DecodeText(const QByteArray& data, bool* wasUtf8) {
  QStringDecoder decoder(QStringConverter::Utf8);
  QString text = decoder(data);
  const bool utf8 = !decoder.hasError();
  if (wasUtf8 != nullptr) *wasUtf8 = utf8;
  return utf8 ? text : QString::fromLatin1(data);
}

bool IniStore::Load(const QString& path, QString* error) {
  Clear();
  QByteArray data;
  if (path.isEmpty() || !ReadWholeFile(path, &data, error)) return false;
  LoadFromBytes(data);
  return true;
}

void IniStore::LoadFromBytes(const QByteArray& data) {
  Clear();
  bool utf8 = true;
  const QString text = DecodeText(data, &utf8);
  utf8_ = utf8;
  bom_ = utf8 && data.startsWith(kUtf8Bom);
  Section* current = nullptr;
  for (const QString& line : SplitLines(text)) {
    if (line.isEmpty() || line.at(0) == QLatin1Char(';')) continue;
    if (line.size() >= 2 && line.front() == QLatin1Char('[') && line.back() == QLatin1Char(']')) {
      sections_.push_back(Section{line.mid(1, line.size() - 2), {}});
      current = &sections_.back();
      continue;
    }
    if (current == nullptr) continue;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
      current->entries.push_back(Entry{line, QString(), false});
    else
      current->entries.push_back(Entry{line.left(eq), line.mid(eq + 1), true});
  }
}

void IniStore::Clear() {
  sections_.clear();
  modified_ = false;
  utf8_ = true;
  bom_ = false;
}

const IniStore::Section* IniStore::FindSection(const QString& name) const {
  for (const Section& s : sections_) {
    if (SameName(s.name, name)) return &s;
  }
  return nullptr;
}

const IniStore::Entry* IniStore::FindEntry(const QString& section, const QString& key) const {
  const Section* s = FindSection(section);
  if (s == nullptr) return nullptr;
  for (const Entry& e : s->entries) {
    if (e.hasSeparator && SameName(e.key, key)) return &e;
  }
  return nullptr;
}

QString IniStore::Value(const QString& section, const QString& key, const QString& def) const {
  const Entry* e = FindEntry(section, key);
  return e != nullptr ? e->value : def;
}

int IniStore::IntValue(const QString& section, const QString& key, int def) const {
  const Entry* e = FindEntry(section, key);
  int v = 0;
  if (e == nullptr || !ParseInt(e->value, &v)) return def;
  return v;
}

bool IniStore::HasSection(const QString& section) const {
  const Section* s = FindSection(section);
  return s != nullptr && !s->entries.empty();
}

bool IniStore::HasKey(const QString& section, const QString& key) const {
  return FindEntry(section, key) != nullptr;
}

void IniStore::SetValue(const QString& section, const QString& key, const QString& value) {
  if (auto* e = const_cast<Entry*>(FindEntry(section, key))) {
    if (e->value != value) {
      e->value = value;
      modified_ = true;
    }
    return;
  }
  auto* s = const_cast<Section*>(FindSection(section));
  if (s == nullptr) {
    sections_.push_back(Section{section, {}});
    s = &sections_.back();
  }
  s->entries.push_back(Entry{key, value, true});
  modified_ = true;
}

QString IniStore::SetValueInText(const QString& text, const QString& section, const QString& key,
                                 const QString& value) {
  QStringList lines = text.split(QLatin1Char('\n'));
  const auto isHeader = [](const QString& l) {
    return l.size() >= 2 && l.front() == QLatin1Char('[') && l.back() == QLatin1Char(']');
  };
  const QString entry = key + QLatin1Char('=') + value;
  qsizetype at = 0;
  while (at < lines.size() && !(isHeader(lines[at]) && SameName(lines[at].mid(1, lines[at].size() - 2), section))) ++at;
  if (at == lines.size()) {
    // A new section at the end, after one empty line.
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    if (!lines.isEmpty()) lines << QString();
    lines << QLatin1Char('[') + section + QLatin1Char(']') << entry << QString();
    return lines.join(QLatin1Char('\n'));
  }
  qsizetype last = at;  // the section's last line with content
  for (qsizetype i = at + 1; i < lines.size() && !isHeader(lines[i]); ++i) {
    const QString& l = lines[i];
    if (l.isEmpty()) continue;
    last = i;
    const qsizetype eq = l.indexOf(QLatin1Char('='));
    if (l.at(0) != QLatin1Char(';') && eq >= 0 && SameName(l.left(eq), key)) {
      lines[i] = entry;
      return lines.join(QLatin1Char('\n'));
    }
  }
  lines.insert(last + 1, entry);
  return lines.join(QLatin1Char('\n'));
}

QByteArray IniStore::Serialize() const {
  QString text;
  const QLatin1String crlf("\r\n");
  for (const Section& s : sections_) {
    text += QLatin1Char('[') + s.name + QLatin1Char(']') + crlf;
    for (const Entry& e : s.entries) {
      text += e.key;
      if (e.hasSeparator) text += QLatin1Char('=') + e.value;
      text += crlf;
    }
    text += crlf;
  }
  if (!utf8_) return text.toLatin1();
  QByteArray out = bom_ ? QByteArray(kUtf8Bom) : QByteArray();
  out += text.toUtf8();
  return out;
}

bool IniStore::Save(const QString& path, QString* error) const { return SaveWholeFile(path, Serialize(), error); }

}  // namespace ulv
