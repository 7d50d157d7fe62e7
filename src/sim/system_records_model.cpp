#include "sim/system_records_model.h"

#include <QJsonArray>
#include <QJsonValue>

namespace ulv {

namespace {

constexpr int kBlock = 15;
constexpr int kShiftBlocks = 9;
constexpr int kMemoryBlock = 13;

QByteArray Msg(std::initializer_list<int> values) {
  QByteArray b;
  for (int v : values) b.append(static_cast<char>(v));
  return b;
}

void PutWord(QByteArray& r, int offset, unsigned value) {
  r[offset] = static_cast<char>(value & 0xFF);
  r[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}

bool ReadInt(const QJsonObject& o, const char* key, int lo, int hi, int* out, QString* error) {
  const QJsonValue v = o.value(QLatin1String(key));
  if (v.isUndefined()) return true;
  const double d = v.toDouble(-1);
  if (!v.isDouble() || d < lo || d > hi || d != static_cast<int>(d)) {
    *error = QStringLiteral("system: \"%1\" must be a whole number from %2 to %3")
                 .arg(QLatin1String(key), QString::number(lo), QString::number(hi));
    return false;
  }
  *out = static_cast<int>(d);
  return true;
}

bool ReadBytes(const QJsonObject& o, const char* key, int maxCount, QByteArray* out, QString* error) {
  const QJsonValue v = o.value(QLatin1String(key));
  if (v.isUndefined()) return true;
  const QJsonArray a = v.toArray();
  QByteArray bytes;
  bool valid = v.isArray() && a.size() <= maxCount;
  for (const QJsonValue& e : a) {
    const double d = e.toDouble(-1);
    valid = valid && e.isDouble() && d >= 0 && d <= 255 && d == static_cast<int>(d);
    bytes.append(static_cast<char>(static_cast<int>(d)));
  }
  if (!valid) {
    *error = QStringLiteral("system: \"%1\" must be a list of at most %2 byte values")
                 .arg(QLatin1String(key), QString::number(maxCount));
    return false;
  }
  *out = bytes;
  return true;
}

// The controller's other service requests, as the monitor window's action
// test walks through them, and the length of their replies (header included).
// Their contents mean nothing to the tool beyond the log, so they are filler.
int ActionReplyLength(const QByteArray& req) {
  static const std::map<QByteArray, int> kLengths = [] {
    std::map<QByteArray, int> m;
    const struct {
      int code, length;
    } single[] = {{0x03, 5},  {0x05, 5},  {0x07, 5},  {0x08, 5},  {0x09, 3},  {0x0D, 2},  {0x0F, 2},
                  {0x14, 2},  {0x1E, 5},  {0x1F, 5},  {0x20, 5},  {0x21, 2},  {0x22, 2},  {0x24, 2},
                  {0x26, 2},  {0x27, 2},  {0x28, 2},  {0x29, 7},  {0x2A, 7},  {0x2B, 7},  {0x2C, 7},
                  {0x2D, 7},  {0x2E, 7},  {0x2F, 3},  {0x30, 3},  {0x33, 5},  {0x35, 5},  {0x3A, 2},
                  {0x3B, 2},  {0x3C, 2},  {0x3E, 15}, {0x41, 6},  {0x42, 9},  {0x44, 13}, {0x46, 2},
                  {0x47, 2}},
      service[] = {{0x01, 2}, {0x02, 13}, {0x03, 7},  {0x04, 7}, {0x05, 16}, {0x06, 2}, {0x09, 2},
                   {0x0A, 12}, {0x0C, 2}, {0x0D, 5},  {0x0E, 5}, {0x17, 2},  {0x19, 5}};
    for (const auto& r : single) m[Msg({0xF1, r.code})] = r.length;
    for (const auto& r : service) m[Msg({0xF2, 0x55, r.code})] = r.length;
    for (int n = 1; n <= 2; ++n) {
      m[Msg({0xF3, 0x55, 0x1A, n})] = 16;
      m[Msg({0xF3, 0x55, 0x1C, n})] = 10;
    }
    // Messages to the group partners, in the long form.
    m[Msg({0xF0, 0x20, 0x5A, 0xF1, 0x00})] = 2;
    m[Msg({0xF0, 0x10, 0x5B, 0x00})] = 2;
    m[Msg({0xF0, 0x20, 0x5B, 0x03, 0x05})] = 6;
    m[QByteArray::fromHex("f0d05f") + QByteArray(13, '\0')] = 13;
    return m;
  }();
  const auto it = kLengths.find(req);
  return it == kLengths.end() ? 0 : it->second;
}

QByteArray Filler(const QByteArray& req, int length) {
  QByteArray r(1, static_cast<char>(0xF0 + length - 1));
  for (int i = 1; i < length; ++i) r.append(static_cast<char>(static_cast<uint8_t>(req.back()) + i));
  return r;
}

}  // namespace

bool ParseSystemData(const QJsonObject& scenario, SimSystemData* data, QString* error) {
  const QJsonValue v = scenario.value(QLatin1String("system"));
  if (v.isUndefined()) return true;
  if (!v.isObject()) {
    *error = QStringLiteral("scenario: \"system\" must be an object");
    return false;
  }
  const QJsonObject o = v.toObject();
  SimSystemData d = *data;
  if (!ReadInt(o, "maxFunction", 0, 255, &d.maxFunction, error) ||
      !ReadInt(o, "sysdate", -1, 0xFFFF, &d.sysdate, error) ||
      !ReadInt(o, "shaftEntries", 0, 40, &d.shaftEntries, error) ||
      !ReadInt(o, "shiftRefuseBlock", 0, kShiftBlocks, &d.shiftRefuseBlock, error) ||
      !ReadInt(o, "blockFaultAt", 1, 1000000, &d.blockFaultAt, error) ||
      !ReadInt(o, "sysPermAddress", 0, 0xFFFF - 29, &d.sysPermAddress, error) ||
      !ReadBytes(o, "shiftBytes", kShiftBlocks * kBlock, &d.shiftBytes, error) ||
      !ReadBytes(o, "ports", 14, &d.ports, error)) {
    return false;
  }
  if (o.contains(QLatin1String("groupLineData"))) {
    if (!o.value(QLatin1String("groupLineData")).isBool()) {
      *error = QStringLiteral("system: \"groupLineData\" must be true or false");
      return false;
    }
    d.groupLineData = o.value(QLatin1String("groupLineData")).toBool();
  }
  if (o.contains(QLatin1String("blockFault"))) {
    d.blockFault = o.value(QLatin1String("blockFault")).toString();
    static const QStringList kFaults = {QStringLiteral("none"), QStringLiteral("silence"),
                                        QStringLiteral("refuse"), QStringLiteral("lone"),
                                        QStringLiteral("short")};
    if (!kFaults.contains(d.blockFault)) {
      *error = QStringLiteral("system: \"blockFault\" must be one of %1").arg(kFaults.join(QStringLiteral(", ")));
      return false;
    }
  }
  *data = d;
  return true;
}

uint8_t SimSystemRecords::MemoryByte(uint16_t address) {
  return static_cast<uint8_t>((address & 0xFF) ^ (address >> 8) ^ 0x5A);
}

uint8_t SimSystemRecords::Peek(uint16_t address) const {
  const auto it = written_.find(address);
  return it != written_.end() ? it->second : MemoryByte(address);
}

void SimSystemRecords::WriteFour(const QByteArray& nibbles) {
  for (int k = 0; k < 4 && 2 * k + 1 < nibbles.size(); ++k) {
    written_[static_cast<uint16_t>(pointer_ + k)] =
        static_cast<uint8_t>((nibbles[2 * k] & 0x0F) | ((nibbles[2 * k + 1] & 0x0F) << 4));
  }
}

QByteArray SimSystemRecords::Lcd() {
  return QByteArray("ULV SIMULATOR   ETAGE 3 AUF     TUER ZU         KEINE STOERUNG ").leftJustified(75, ' ');
}

QByteArray SimSystemRecords::SysVar() {
  QByteArray r(22, '\0');
  const int bytes[] = {1, 0, 0x08, 0x03, 0x22, 0x81, 0x84, 0x28};
  for (int i = 0; i < 8; ++i) r[i] = static_cast<char>(bytes[i]);
  PutWord(r, 8, 0x0100);
  PutWord(r, 10, 0x55AA);
  r[12] = 0x0F;
  r[13] = 2;
  PutWord(r, 14, 0x0003);
  r[16] = 0x01;
  r[17] = 0x00;
  r[18] = 0x40;
  r[19] = 0x10;
  r[20] = static_cast<char>(0x81);
  r[21] = 0x01;
  return r;
}

QByteArray SimSystemRecords::SysPerm(int64_t trips, uint16_t time, uint16_t day) {
  QByteArray r(30, '\0');
  r[0] = 3;
  r[1] = 2;
  PutWord(r, 2, 120);
  PutWord(r, 4, 45);
  PutWord(r, 6, 7);
  PutWord(r, 8, time);
  PutWord(r, 10, day);
  PutWord(r, 12, 50);
  PutWord(r, 14, static_cast<unsigned>(trips / 10000));
  PutWord(r, 16, static_cast<unsigned>(trips % 10000));
  PutWord(r, 18, 2000);
  PutWord(r, 20, 1234);
  PutWord(r, 22, 1800);
  r[24] = 0;
  r[25] = 1;
  r[26] = static_cast<char>(0x83);
  r[27] = 0x04;
  unsigned sum = 0;
  for (int i = 0; i < 28; ++i) sum += static_cast<uint8_t>(r[i]);
  PutWord(r, 28, sum);
  return r;
}

QByteArray SimSystemRecords::Shaft(int entries) {
  QByteArray r(166, '\0');
  r[0] = 1;
  r[2] = 3;
  for (int i = 0; i < entries && i < 40; ++i) {
    r[4 + 2 * i] = static_cast<char>(10 + i);
    r[5 + 2 * i] = static_cast<char>(11 + i);
    PutWord(r, 84 + 2 * i, static_cast<unsigned>(100 + 25 * i));
  }
  unsigned sum = 0;
  for (int i = 0; i < 164; ++i) sum += static_cast<uint8_t>(r[i]);
  PutWord(r, 164, sum);
  return r;
}

QByteArray SimSystemRecords::ShiftStatus(const QByteArray& first) {
  QByteArray r(kShiftBlocks * kBlock, '\0');
  for (int i = 0; i < r.size(); ++i) r[i] = static_cast<char>(i < first.size() ? first[i] : (i * 7) & 0x3F);
  return r;
}

QByteArray SimSystemRecords::Ports(const QByteArray& first) {
  QByteArray r = Msg({0x41, 0x21, 0x0C, 0xF0, 0x02, 0x2A, 0x10, 0x00, 0x81, 0x48, 0x05, 0x14, 0x03, 0x41});
  for (int i = 0; i < first.size() && i < r.size(); ++i) r[i] = first[i];
  return r;
}

std::optional<QByteArray> SimSystemRecords::Answer(const QByteArray& req, const SimSystemData& data,
                                                   int64_t trips, uint16_t time, uint16_t day) {
  const QByteArray ack = Msg({0xF1, 0x01});
  const auto select = [&](const QByteArray& record) {
    selected_ = record;
    position_ = 0;
  };
  if (req == Msg({0xF2, 0x55, 0x00})) return Msg({0xF1, data.maxFunction});
  if (req == Msg({0xF2, 0x55, 0x20})) return select(SysVar()), ack;
  if (req == Msg({0xF2, 0x55, 0x25})) return select(Shaft(data.shaftEntries)), ack;
  if (req == Msg({0xF2, 0x55, 0x15})) {
    QByteArray calls(256, '\0');
    for (int i = 0; i < calls.size(); ++i) calls[i] = static_cast<char>(i % 3 == 0 ? i : 0);
    return select(calls), ack;
  }
  if (req == Msg({0xF1, 0x06})) {
    QByteArray record = SysPerm(trips, time, data.sysdate >= 0 ? static_cast<uint16_t>(data.sysdate) : day);
    for (int i = 0; i < record.size(); ++i) {
      const auto it = written_.find(static_cast<uint16_t>(data.sysPermAddress + i));
      if (it != written_.end()) record[i] = static_cast<char>(it->second);
    }
    select(record);
    const int at = data.sysPermAddress;
    return Msg({0xF4, at & 0xF, (at >> 4) & 0xF, (at >> 8) & 0xF, at >> 12});
  }
  if (req.size() == 4 && req.startsWith(Msg({0xF3, 0x55, 0x27}))) {
    const int n = static_cast<uint8_t>(req[3]);
    if (n == 0) return Msg({0xF1, kShiftBlocks});
    if (n > kShiftBlocks || n == data.shiftRefuseBlock) return Msg({0xF1, 0x00});
    select(ShiftStatus(data.shiftBytes).mid((n - 1) * kBlock, kBlock));
    return ack;
  }
  if (req == Msg({0xF2, 0x55, 0x26})) {
    ++blockReads_;
    if (blockReads_ == data.blockFaultAt && data.blockFault != QLatin1String("none")) {
      if (data.blockFault == QLatin1String("silence")) return QByteArray();
      if (data.blockFault == QLatin1String("refuse")) return Msg({0xF1, 0x00});
      if (data.blockFault == QLatin1String("lone")) return Msg({0xF0});
      return QByteArray(1, static_cast<char>(0xF5)) + QByteArray(5, '\x11');
    }
    QByteArray r(1, static_cast<char>(0xFF));
    r.append(selected_.mid(position_, kBlock));
    r.append(QByteArray(1 + kBlock - r.size(), static_cast<char>(0xEE)));
    position_ += kBlock;
    return r;
  }
  // The monitor window's requests: the LCD's four lines through F2 55 26,
  // the quit, call configuration, group link and copying signals.
  if (req == Msg({0xF1, 0x52})) return select(Lcd()), ack;
  if (req == Msg({0xF3, 0x55, 0x1C, 0x00})) return QByteArray(1, static_cast<char>(0xF9)) + QByteArray(9, '\0');
  if (req == Msg({0xF3, 0x55, 0x1A, 0x00})) return Msg({0xFF, 2, 1, 2, 3, 4, 9, 8, 16, 24, 32, 0, 0, 0, 0, 0});
  if (const int length = ActionReplyLength(req); length > 0) return Filler(req, length);
  // Group commands: 80 asks for the role that 81 n set; the others are not
  // answered, but may show on the line as unsolicited bytes.
  if (req == Msg({0x80})) return Msg({0xF2, groupRole_, 0x00});
  const uint8_t group = req.isEmpty() ? 0 : static_cast<uint8_t>(req[0]) >> 4;
  if ((group == 0x8 || group == 0x9) && req.size() == (req[0] & 0x0F) + 1) {
    if (req.size() == 2 && static_cast<uint8_t>(req[0]) == 0x81) groupRole_ = static_cast<uint8_t>(req[1]);
    return data.groupLineData ? req : QByteArray();
  }
  if (req == Msg({0xF2, 0x55, 0x1B})) return Msg({0xF2, 0x06, 0x00});
  if (req == Msg({0xF1, 0x32})) return Msg({0xF2, 0x05, 0x02});
  if (req.size() == 6 && req.startsWith(Msg({0xF5, 0x55, 0x1E, 0x02})))
    return car_.Call(static_cast<uint8_t>(req[4])) ? ack : Msg({0xF1, 0x00});
  if (req == Msg({0xF2, 0x55, 0x1D})) return Msg({0xF3, 0x5A, 0x0F, 0x81});
  if (req == Msg({0xF1, 0x60})) return car_.Poll();
  if (req == Msg({0xF2, 0x55, 0x21})) return QByteArray(1, static_cast<char>(0xFE)) + Ports(data.ports);
  if (req == Msg({0xF1, 0x54})) {
    QByteArray r(1, static_cast<char>(0xFD));
    for (int i = 0; i < kMemoryBlock; ++i) r.append(static_cast<char>(Peek(pointer_++)));
    return r;
  }
  if (req == Msg({0xF1, 0x0B})) {  // four bytes at the pointer, low nibble first; the pointer stays
    QByteArray r(1, static_cast<char>(0xF8));
    for (int k = 0; k < 4; ++k) {
      const uint8_t b = Peek(static_cast<uint16_t>(pointer_ + k));
      r.append(static_cast<char>(b & 0x0F)).append(static_cast<char>(b >> 4));
    }
    return r;
  }
  return std::nullopt;
}

}  // namespace ulv
