#include "stream/event_decoder.h"
#include <QFileInfo>

#include <array>
#include <vector>

namespace ulv {

namespace {

const QString kNotFound = QStringLiteral("ää");
const QString kMissing = QStringLiteral("?");
constexpr int kLineLength = 11;

bool IsUpperHexDigit(QChar c) {
  return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

int HexValue(QChar c) { return c <= QLatin1Char('9') ? c.unicode() - '0' : c.unicode() - 'A' + 10; }

// A value of the decode file; "ää" (also a stored "ää") stands for missing.
QString DecodeValue(const IniStore& store, const QString& section, const QString& key) {
  return store.HasKey(section, key) ? store.Value(section, key) : kNotFound;
}

// A value of the catalogue; "?" for a missing key.
QString CatalogueValue(const IniStore& store, const QString& section, const QString& key) {
  return store.HasKey(section, key) ? store.Value(section, key) : kMissing;
}

// Width of a "[d"/"[h" placeholder at p: 1, 2 with the letter after it, 3
// with the letter two after it; a position beyond the end never counts.
int PlaceholderWidth(const QString& t, qsizetype p, QChar letter) {
  int width = 1;
  if (p + 2 < t.size() && t.at(p + 2) == letter) width = 2;
  if (p + 3 < t.size() && t.at(p + 3) == letter) width = 3;
  return width;
}

// Writes `text` over `t` from `from` on, never past the end of `t`.
void Overwrite(QString& t, qsizetype from, const QString& text) {
  for (qsizetype i = 0; i < text.size() && from + i < t.size(); ++i) t[from + i] = text.at(i);
}

// Text whose inserted parts are never read as placeholders again.
class Expansion {
public:
  explicit Expansion(const QString& text) : text_(text), inserted_(static_cast<size_t>(text.size()), false) {}

  // The first occurrence of `placeholder` made of original characters.
  qsizetype Find(const QString& placeholder) const {
    for (qsizetype at = text_.indexOf(placeholder); at >= 0; at = text_.indexOf(placeholder, at + 1)) {
      bool original = true;
      for (qsizetype i = 0; i < placeholder.size(); ++i) original = original && !inserted_[at + i];
      if (original) return at;
    }
    return -1;
  }
  bool OriginalAt(qsizetype i, QChar c) const {
    return i < text_.size() && !inserted_[static_cast<size_t>(i)] && text_.at(i) == c;
  }
  // `rescan`: the new text may hold placeholders of later steps.
  void Replace(qsizetype at, qsizetype length, const QString& with, bool rescan) {
    text_.replace(at, length, with);
    inserted_.erase(inserted_.begin() + at, inserted_.begin() + at + length);
    inserted_.insert(inserted_.begin() + at, static_cast<size_t>(with.size()), !rescan);
  }
  const QString& Text() const { return text_; }

private:
  QString text_;
  std::vector<bool> inserted_;
};

}  // namespace

void EventDecoder::Init(const QString& decodeFilePath, const QString& cataloguePath, QString* problem) {
  lastStateLine_.clear();
  decodeFile_.Clear();
  catalogue_.Clear();
  QString error;
  if (!decodeFilePath.isEmpty() && !decodeFile_.Load(decodeFilePath, &error) && problem != nullptr &&
      QFileInfo(decodeFilePath).exists()) {
    *problem = error + QStringLiteral("; the entries are shown undecoded");
  }
  if (!cataloguePath.isEmpty()) catalogue_.Load(cataloguePath);
  TakeDecodeFile();
}

void EventDecoder::InitFromBytes(const QByteArray& decodeFile, const QByteArray& catalogue) {
  lastStateLine_.clear();
  decodeFile_.LoadFromBytes(decodeFile);
  catalogue_.LoadFromBytes(catalogue);
  TakeDecodeFile();
}

void EventDecoder::TakeDecodeFile() {
  decodeFileValid_ = decodeFile_.Value(QStringLiteral("test"), QStringLiteral("kennung")) ==
                     QLatin1String("version-3");
}

QString EventDecoder::TimeMark(uint16_t v) {
  return QString::asprintf("--%02d:%02d:%02d", v / 1800, (v % 1800) / 30, (v % 30) * 2);
}

QString EventDecoder::BracketedBits(uint8_t v) {
  QString s = QStringLiteral("[");
  for (int bit = 7; bit >= 0; --bit) s += QLatin1Char((v >> bit) & 1 ? '1' : '0');
  return s + QLatin1Char(']');
}

QString EventDecoder::EventText(int kind, int selector, int value) const {
  const QString section = QString::number(kind) + QLatin1Char(':') + QString::number(selector);
  const QString key = QString::number(value);
  const auto read = [&](const QString& k) {
    return decodeFileValid_ ? DecodeValue(decodeFile_, section, k) : kNotFound;
  };
  const QString text = read(key);
  if (text != kNotFound) return text;
  QString t = read(QStringLiteral("<>"));
  if (t == kNotFound) return QString::asprintf("%d:%d,%d", kind, selector, value);

  if (const qsizetype p = t.indexOf(QLatin1String("[d")); p >= 0) {
    const int width = PlaceholderWidth(t, p, QLatin1Char('d'));
    QString digits = key;
    if (width == 3 && value < 100) digits.prepend(QLatin1Char('0'));
    if (width >= 2 && value < 10) digits.prepend(QLatin1Char('0'));
    Overwrite(t, p + 1, digits.left(width));
    return t;
  }
  if (const qsizetype p = t.indexOf(QLatin1String("[h")); p >= 0) {
    const int width = PlaceholderWidth(t, p, QLatin1Char('h'));
    Overwrite(t, p + 1, QString::asprintf("%02X", value & 0xFF).left(width));
    return t;
  }
  if (const qsizetype p = t.indexOf(QLatin1String("[b")); p >= 0) {
    Overwrite(t, p + 1, BracketedBits(static_cast<uint8_t>(value)).mid(1));
    return t;
  }
  return t + QStringLiteral("??");
}

QString EventDecoder::PanicText(uint8_t arg1, uint8_t arg2, uint8_t arg3) const {
  // The pseudo error record r[1]..r[8]; r[0] is unused.
  const std::array<uint8_t, 9> r{0, 0xF7, arg1, arg2, arg3, 0, 0, 0, 0};
  QString section = QString::number(r[2]) + QLatin1Char(':') + QString::number(r[3]);
  uint8_t key = r[4];
  if (!catalogue_.HasSection(section)) {
    section = QString::number(r[2]);
    key = r[3];
    if (!catalogue_.HasSection(section)) return QString();
  }
  QString text = CatalogueValue(catalogue_, section, QString::number(key));
  if (text == kMissing) text = CatalogueValue(catalogue_, section, QStringLiteral("<>"));
  if (text == kMissing) return QString();

  Expansion e(text);
  if (const qsizetype at = e.Find(QStringLiteral("%t")); at >= 0) {
    const QString common = CatalogueValue(catalogue_, section, QStringLiteral("%t"));
    if (common != kMissing) e.Replace(at, 2, common, true);
  }
  const char* letters = "mno";
  for (int i = 0; i < 3; ++i) {
    const qsizetype at = e.Find(QStringLiteral("%") + QLatin1Char(letters[i]));
    if (at >= 0) e.Replace(at, 2, QString::number(r[2 + i]), false);
  }
  for (int k = 1; k <= 8; ++k) {
    const qsizetype at = e.Find(QStringLiteral("%") + QString::number(k));
    if (at < 0) continue;
    if (e.OriginalAt(at + 2, QLatin1Char('d')))
      e.Replace(at, 3, QString::number(r[k]), false);
    else
      e.Replace(at, 2, QString::asprintf("%02X", r[k]), false);
  }
  return e.Text();
}

QString EventDecoder::Description(uint8_t kind, uint8_t arg1, uint8_t arg2, uint8_t arg3) {
  switch (kind) {
    case 0x01:
      return QStringLiteral("  RD ") + EventText(1, arg2, arg1);
    case 0x02:
      return QStringLiteral("  KB ") + EventText(2, arg1, arg2);
    case 0x03:
      return QStringLiteral("  TA ") + EventText(3, arg1, arg2);
    case 0x04:
    case 0x05:
      return (kind == 4 ? QStringLiteral("  T-1") : QStringLiteral("  T-2")) +
             QString::asprintf("%d:%d,%d", kind, arg1, arg2);
    case 0x06:
      return QString::asprintf("  PORT[%02X]   ", arg1) + BracketedBits(arg2);
    case 0x07: {
      const char* letters = "aBbFOU";
      QString flags;
      for (int i = 0; i < 6; ++i) flags += QLatin1Char((arg2 >> (5 - i)) & 1 ? letters[i] : '-');
      const QString line = QString::asprintf("            >[%02d]< ", arg1) + flags;
      if (line == lastStateLine_) return QString();
      lastStateLine_ = line;
      return line;
    }
    case 0x08:
      return QString::asprintf("  EINFAHRT  >[%02d]< ", arg2 & 63) +
             ((arg2 & 0x80) ? QStringLiteral("<AB>") : QString()) +
             ((arg2 & 0x40) ? QStringLiteral("<AUF>") : QString());
    case 0x09: {
      QString text = PanicText(arg1, arg2, arg3);
      if (text.isEmpty()) text = QString::asprintf("       [%d:%d:%d]", arg1, arg2, arg3);
      if (arg1 < 7) text = QString::asprintf(" PANIC  [%3d:%3d]     ", arg2, arg3) + text;
      static const char* const kPrefixes[] = {"  MN ", "  ED ", "  RD ", "  IP ", "  KB ", "  TA ", "  BG "};
      return QLatin1String(arg1 < 7 ? kPrefixes[arg1] : "  REC ") + text;
    }
    default:
      return QString::asprintf("%d:%d,%d", kind, arg1, arg2);
  }
}

QString EventDecoder::DecodeCaptureLine(const QString& input) {
  QString line = input;
  // One line end of a file line goes before the padding, so a short time
  // text with its line end decodes like the text alone.
  if (line.endsWith(QLatin1Char('\n'))) {
    line.chop(1);
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
  }
  if (line.size() < kLineLength) line = line.leftJustified(kLineLength, QLatin1Char(' '));
  if (line.endsWith(QLatin1Char('\n'))) line.chop(1);

  const auto comma = [&](qsizetype i) { return i < line.size() && line.at(i) == QLatin1Char(','); };
  if (!comma(2) && !comma(5) && !comma(8)) return QStringLiteral("--") + line;
  for (qsizetype i : {0, 1, 3, 4, 6, 7, 9, 10}) {
    if (i >= line.size() || !IsUpperHexDigit(line.at(i))) return QStringLiteral("??") + line;
  }
  const auto byteAt = [&](qsizetype i) {
    return static_cast<uint8_t>(HexValue(line.at(i)) * 16 + HexValue(line.at(i + 1)));
  };
  const uint8_t kind = byteAt(0), arg1 = byteAt(3), arg2 = byteAt(6), arg3 = byteAt(9);

  QString result;
  if (kind == 0xFE) result = TimeMark(static_cast<uint16_t>(arg1 + 256 * arg2));
  // Kinds from 16 up are out before the filter's bit test.
  if (kind > 15 || !(EventTypeFilter & (1u << kind))) return result;
  const QString description = Description(kind, arg1, arg2, arg3);
  if (description.isEmpty()) return QString();
  return QString::asprintf(" %4d ", arg3 * 8) + description;
}

}  // namespace ulv
