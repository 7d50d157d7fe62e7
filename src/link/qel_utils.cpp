#include "link/qel_utils.h"

#include <QDate>
#include <QTime>
#include <array>
#include <memory>

#include "common/bytes.h"

namespace ulv {

namespace {

constexpr int kVersionReplyLength = 16;
constexpr int kWordReplyLength = 5;
constexpr int kHexReplyLength = 9;
constexpr int kPlantTextReplyLength = 2;
constexpr int kPlantTextBytes = 13;

QByteArray Request(std::initializer_list<uint8_t> head, const QByteArray& tail = QByteArray()) {
  QByteArray out;
  for (uint8_t b : head) out.append(static_cast<char>(b));
  out.append(tail);
  return out;
}

}  // namespace

bool IsControllerReply(const QByteArray& reply) { return (ReplyByte(reply, 0) & 0xF0) == 0xF0; }

QelUtils::QelUtils(Transfers& transfers, const Clock& clock) : transfers_(transfers), clock_(clock) {}

void QelUtils::ReadVersionText(std::function<void(const QString&)> callback) {
  ReadVersion([callback = std::move(callback)](const QString& text, ReplyStatus) {
    if (callback) callback(text);
  });
}

void QelUtils::ReadVersion(std::function<void(const QString& text, ReplyStatus status)> callback) {
  VersionText = QStringLiteral("???");
  // The callback travels with its own request, so two readers at once each
  // get the reply to their own F1 01.
  auto shared = std::make_shared<std::function<void(const QString&, ReplyStatus)>>(std::move(callback));
  const bool queued = transfers_.AddTransfer(
      Request({0xF1, 0x01}), kVersionReplyLength, [this, shared](const QByteArray& reply) {
        QString text;
        if (ReplyByte(reply, 0) == 0xFF)
          text = Latin1Text(reply.mid(1, kVersionReplyLength - 1));
        else
          text = QStringLiteral("Transfer.Fehler");
        VersionText = text;
        if (*shared)
          (*shared)(text, IsControllerReply(reply) ? ReplyStatus::Replied : ReplyStatus::Substitute);
      });
  if (!queued) {
    VersionText = QStringLiteral("transf.error");
    if (*shared) (*shared)(VersionText, ReplyStatus::Refused);
  }
}

void QelUtils::SendDateTime(std::function<void(QelUtils*)> done) {
  if (!transfers_.IsLinked()) {
    if (done) done(nullptr);
    return;
  }
  // One reading of the clock for both values: a send across midnight must
  // not pair the old time with the new date.
  const QDateTime now = clock_.Now();
  DateText = Clock::DateTimeText(now);
  auto report = std::make_shared<std::function<void(const QString&)>>(std::move(OnReport));
  OnReport = nullptr;
  auto finish = std::make_shared<std::function<void(QelUtils*)>>(std::move(done));
  auto complete = [finish](QelUtils* result) {
    auto f = std::move(*finish);
    *finish = nullptr;
    if (f) f(result);
  };
  const QDate date = now.date();
  const bool queued = transfers_.AddTransfer(TimeOfDayRequest(now.time()), kWordReplyLength,
                                             [this, date, report, complete](const QByteArray& reply) {
                                               if (ReplyByte(reply, 0) != 0xF4) {
                                                 complete(this);
                                                 return;
                                               }
                                               const bool dayQueued = transfers_.AddTransfer(
                                                   DayNumberRequest(date), kWordReplyLength,
                                                   [this, report, complete](const QByteArray& dayReply) {
                                                     if (ReplyByte(dayReply, 0) != 0xF4) {
                                                       complete(this);
                                                       return;
                                                     }
                                                     auto r = std::move(*report);
                                                     *report = nullptr;
                                                     if (r) r(QStringLiteral("date.send"));
                                                     complete(this);
                                                   });
                                               if (!dayQueued) complete(nullptr);
                                             });
  if (!queued) complete(nullptr);
}

QByteArray PlantTextField(const QString& text) {
  QByteArray bytes;
  for (char32_t cp : text.toUcs4()) bytes.append(cp <= 0xFF ? static_cast<char>(cp) : '?');
  qsizetype begin = 0;
  qsizetype end = bytes.size();
  while (begin < end && static_cast<uint8_t>(bytes.at(begin)) <= 32) ++begin;
  while (end > begin && static_cast<uint8_t>(bytes.at(end - 1)) <= 32) --end;
  bytes = bytes.mid(begin, end - begin).left(kPlantTextBytes);
  bytes.append(kPlantTextBytes - bytes.size(), '\0');
  return bytes;
}

void QelUtils::WriteNameText(const QString& text) {
  OnReport = nullptr;
  if (!transfers_.IsLinked()) return;
  transfers_.AddTransfer(Request({0xFF, 0x55, 0x11}, PlantTextField(text)), kPlantTextReplyLength,
                         [](const QByteArray&) {});
}

void QelUtils::WriteTelephoneText(const QString& text) {
  OnReport = nullptr;
  if (!transfers_.IsLinked()) return;
  transfers_.AddTransfer(Request({0xFF, 0x55, 0x13}, PlantTextField(text)), kPlantTextReplyLength,
                         [](const QByteArray&) {});
}

void QelUtils::WriteWord16(uint16_t value, std::function<void()> done) {
  transfers_.AddTransfer(Request({0xF5, 0x04}, Nibbles16(value)), kWordReplyLength,
                         [done = std::move(done)](const QByteArray&) {
                           if (done) done();
                         });
}

bool QelUtils::WriteWord16(uint16_t value, std::function<void(const QByteArray& reply)> done) {
  return transfers_.AddTransfer(Request({0xF5, 0x04}, Nibbles16(value)), kWordReplyLength,
                                [done = std::move(done)](const QByteArray& reply) {
                                  if (done) done(reply);
                                });
}

bool QelUtils::SendHex32(const QString& text) {
  std::function<void(const QByteArray&)> done = std::move(HexWriteDone);
  HexWriteDone = nullptr;
  if (text.size() != 8) return false;
  std::array<uint8_t, 8> digits{};
  for (int i = 0; i < 8; ++i) {
    digits[static_cast<size_t>(i)] = HexDigitValue(text.at(i));
    if (digits[static_cast<size_t>(i)] > 15) return false;
  }
  // Each byte pair goes high digit last: 2nd, 1st, 4th, 3rd, ...
  QByteArray command = Request({0xF9, 0x0C});
  for (size_t i = 0; i < 8; i += 2) {
    command.append(static_cast<char>(digits[i + 1]));
    command.append(static_cast<char>(digits[i]));
  }
  return transfers_.AddTransfer(command, kHexReplyLength, [done = std::move(done)](const QByteArray& reply) {
    if (done) done(reply);
  });
}

uint8_t HexDigitValue(QChar c) {
  const char16_t u = c.unicode();
  if (u >= u'0' && u <= u'9') return static_cast<uint8_t>(u - u'0');
  if (u >= u'A' && u <= u'F') return static_cast<uint8_t>(u - u'A' + 10);
  if (u >= u'a' && u <= u'f') return static_cast<uint8_t>(u - u'a' + 10);
  return 0xFF;
}

QString FormatTwoSeconds(uint16_t value) {
  return QString::asprintf("%2.2d:%2.2d:%2.2d", value / 1800, (value % 1800) / 30, (value % 30) * 2);
}

QString FormatTwoSecondsSpaced(uint16_t value) {
  return QString::asprintf("%2d:%2d:%2d", value / 1800, (value % 1800) / 30, (value % 30) * 2);
}

QString FormatDayNumber(uint16_t dayNumber) {
  static constexpr std::array<int, 12> kCommon = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  static constexpr std::array<int, 12> kLeap = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int d = dayNumber;
  int year = 0;
  int yearLength = 365;
  while (d >= yearLength) {
    d -= yearLength;
    ++year;
    yearLength = (year % 4 == 0) ? 366 : 365;
  }
  int day = 0;
  int month = 0;
  if (d == 0) {
    // The last day of the year before (day 0 itself has no year before).
    --year;
    day = 31;
    month = 12;
  } else {
    const auto& table = (year % 4 == 0) ? kLeap : kCommon;
    size_t m = 0;
    while (m < table.size() && d >= table[m]) {
      d -= table[m];
      ++m;
    }
    if (d == 0) {
      // d counts from 1: a remainder of 0 is the last day of the month before.
      --m;
      d = table[m];
    }
    day = d;
    month = static_cast<int>(m) + 1;
  }
  if (year < 0 || year > 99) return QStringLiteral("?? ?? ??");
  return QString::asprintf("%2.2d.%2.2d.%2.2d", day, month, year);
}

QByteArray TimeOfDayRequest(const QTime& t) {
  const int value = t.second() / 2 + t.minute() * 30 + t.hour() * 1800;
  return Request({0xF5, 0x34}, Nibbles16(static_cast<uint16_t>(value)));
}

QByteArray DayNumberRequest(const QDate& d) {
  const qint64 days = QDate(2000, 1, 1).daysTo(d);
  return Request({0xF5, 0x36}, Nibbles16(static_cast<uint16_t>(days)));
}

}  // namespace ulv
