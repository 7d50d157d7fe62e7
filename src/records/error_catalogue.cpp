#include "records/error_catalogue.h"

#include <QFileInfo>
#include <utility>
#include <vector>

#include "common/bytes.h"
#include "link/qel_utils.h"

namespace ulv {

namespace {

const QString kTexte = QStringLiteral("texte");
const QString kUnknown = QStringLiteral("?");

// A template under expansion: text that later steps may still scan, and
// numbers already inserted, which no later step looks at again (so "%%m"
// with group 5 gives "%5", never the fifth record byte).
class Expansion {
public:
  explicit Expansion(const QString& text) { parts_.push_back(Part{text, false}); }

  // First occurrence of `pattern` inside scannable text.
  bool Find(const QString& pattern, size_t* part, qsizetype* pos) const {
    for (size_t i = 0; i < parts_.size(); ++i) {
      if (parts_[i].fixed) continue;
      const qsizetype at = parts_[i].text.indexOf(pattern);
      if (at >= 0) {
        *part = i;
        *pos = at;
        return true;
      }
    }
    return false;
  }

  QChar At(size_t part, qsizetype pos) const {
    const QString& t = parts_[part].text;
    return pos < t.size() ? t.at(pos) : QChar();
  }

  void Replace(size_t part, qsizetype pos, qsizetype length, const QString& value) {
    const QString text = parts_[part].text;
    std::vector<Part> pieces;
    if (pos > 0) pieces.push_back(Part{text.left(pos), false});
    pieces.push_back(Part{value, true});
    if (pos + length < text.size()) pieces.push_back(Part{text.mid(pos + length), false});
    parts_.erase(parts_.begin() + static_cast<std::ptrdiff_t>(part));
    parts_.insert(parts_.begin() + static_cast<std::ptrdiff_t>(part), pieces.begin(), pieces.end());
  }

  QString Text() const {
    QString out;
    for (const Part& p : parts_) out += p.text;
    return out;
  }

private:
  struct Part {
    QString text;
    bool fixed;
  };
  std::vector<Part> parts_;
};

// "%m$" -> hex, else "%m" -> decimal, first occurrence only.
void ExpandLetter(Expansion& e, QChar letter, uint8_t value) {
  const QString plain = QLatin1Char('%') + letter;
  size_t part = 0;
  qsizetype pos = 0;
  if (e.Find(plain + QLatin1Char('$'), &part, &pos))
    e.Replace(part, pos, 3, HexByte(value));
  else if (e.Find(plain, &part, &pos))
    e.Replace(part, pos, 2, QString::number(value));
}

QString Bracketed(const QString& name, uint8_t code, uint8_t detail) {
  return QLatin1Char('[') + name + QLatin1Char(':') + QString::number(code) + QLatin1Char(',') +
         QString::number(detail) + QLatin1Char(']');
}

}  // namespace

ErrorCatalogue::ErrorCatalogue(QString path) : path_(std::move(path)) {}

bool ErrorCatalogue::EnsureLoaded() const {
  if (loaded_) return !store_.Sections().empty();
  loaded_ = true;
  // IniStore decodes the file as UTF-8 when it is valid UTF-8 and as
  // Latin-1 otherwise, so catalogues from either world keep their umlauts.
  QString error;
  if (!path_.isEmpty() && store_.Load(path_, &error)) return true;
  if (!error.isEmpty() && QFileInfo::exists(path_) && OnLoadError) OnLoadError(error);
  return false;
}

void ErrorCatalogue::LoadFromBytes(const QByteArray& data) {
  store_.LoadFromBytes(data);
  loaded_ = true;
}

const IniStore& ErrorCatalogue::Store() const {
  EnsureLoaded();
  return store_;
}

QString ErrorCatalogue::CatalogueText(const QString& key) const { return Store().Value(kTexte, key, key); }

QString ErrorCatalogue::ErrorGroupName(const QString& section, uint8_t group) const {
  const IniStore& s = Store();
  QString name = s.Value(section, QStringLiteral("id"), kUnknown);
  if (name == kUnknown) name = s.Value(QStringLiteral("_id"), QString::number(group), kUnknown);
  if (name == kUnknown) name = QString::number(group);
  return name;
}

QString ErrorCatalogue::ExpandTemplate(const QString& tmpl, const QString& section,
                                       const QByteArray& record) const {
  const IniStore& s = Store();
  QString text = tmpl;
  // The common text is inserted as text: its own placeholders are expanded
  // by the steps below.
  const QString common = QStringLiteral("%t");
  const qsizetype t = text.indexOf(common);
  if (t >= 0 && s.HasKey(section, common)) text.replace(t, common.size(), s.Value(section, common));

  Expansion e(text);
  ExpandLetter(e, QLatin1Char('m'), ReplyByte(record, 1));
  ExpandLetter(e, QLatin1Char('n'), ReplyByte(record, 2));
  ExpandLetter(e, QLatin1Char('o'), ReplyByte(record, 3));
  for (int k = 1; k <= 8; ++k) {
    size_t part = 0;
    qsizetype pos = 0;
    if (!e.Find(QLatin1Char('%') + QString::number(k), &part, &pos)) continue;
    const uint8_t value = ReplyByte(record, k - 1);
    if (e.At(part, pos + 2) == QLatin1Char('d'))
      e.Replace(part, pos, 3, QString::number(value));
    else
      e.Replace(part, pos, 2, HexByte(value));
  }
  return e.Text();
}

ErrorRecordFields ErrorCatalogue::DecodeErrorFields(const QByteArray& record) const {
  const IniStore& s = Store();
  ErrorRecordFields f;
  f.group = ReplyByte(record, 1);
  f.code = ReplyByte(record, 2);
  f.detail = ReplyByte(record, 3);
  f.date = FormatDayNumber(static_cast<uint16_t>(ReplyByte(record, 4) | (ReplyByte(record, 5) << 8)));
  f.time = FormatTwoSeconds(static_cast<uint16_t>(ReplyByte(record, 6) | (ReplyByte(record, 7) << 8)));

  // The sub-section "group:code" takes the detail as key; the group section
  // takes the code.
  QString section = QString::number(f.group) + QLatin1Char(':') + QString::number(f.code);
  QString key = QString::number(f.detail);
  if (!s.HasSection(section)) {
    section = QString::number(f.group);
    key = QString::number(f.code);
  }
  f.name = ErrorGroupName(section, f.group);
  QString tmpl = kUnknown;
  if (s.HasSection(section)) {
    tmpl = s.Value(section, key, kUnknown);
    if (tmpl == kUnknown) tmpl = s.Value(section, QStringLiteral("<>"), kUnknown);
  }
  if (tmpl == kUnknown) tmpl = Bracketed(f.name, f.code, f.detail);
  f.text = ExpandTemplate(tmpl, section, record);
  return f;
}

QString ErrorCatalogue::DecodeErrorRecord(const QByteArray& record) const {
  const ErrorRecordFields f = DecodeErrorFields(record);
  return QLatin1Char(' ') + f.date + QStringLiteral("  ") + f.time + QLatin1Char(' ') +
         Bracketed(f.name, f.code, f.detail) + QLatin1Char(' ') + f.text;
}

QString ErrorCatalogue::FormatErrorLine(const QByteArray& record, int number, bool hexMode) const {
  if (ReplyByte(record, 0) != 0xF7) return QStringLiteral("error");
  if (!hexMode) return QString::asprintf(" %3.3d : ", number) + DecodeErrorRecord(record);
  return QString::asprintf(" %3.3d : %2.2X %2.2X %2.2X %2.2X %2.2X %2.2X %2.2X    ", number,
                           ReplyByte(record, 1), ReplyByte(record, 2), ReplyByte(record, 3),
                           ReplyByte(record, 4), ReplyByte(record, 5), ReplyByte(record, 6),
                           ReplyByte(record, 7)) +
         DecodeErrorRecord(record);
}

void ErrorCatalogue::WriteCatalogueInfo(const std::function<void(const QString&)>& output) const {
  if (!output) return;
  output(QStringLiteral("decode-file-info"));
  for (const char* key : {"file", "create", "update", "user", "version"})
    output(QStringLiteral("  ") + Store().Value(QStringLiteral("id"), QLatin1String(key)));
}

}  // namespace ulv
