#include "sim/firmware_model.h"

#include "sim/system_records_model.h"

namespace ulv {

namespace {
constexpr int kBlock = 12;
}  // namespace

QByteArray SimFirmware::Sonder() { return QByteArray::fromHex("0108880301000" "5"); }

QByteArray SimFirmware::XramArea() {
  QByteArray area = QByteArray::fromHex("ffff0100" "03" "41" "02" "80" "3412");
  area += SimSystemRecords::SysVar();
  area += Sonder();
  area += QByteArray::fromHex("0102030405");
  return area;
}

std::optional<QByteArray> SimFirmware::Answer(const QByteArray& req) {
  if (req.size() != 4 || !req.startsWith(QByteArray::fromHex("f34b"))) return std::nullopt;
  const QByteArray ack = QByteArray::fromHex("f101");
  const auto select = [&](const QByteArray& data) {
    selected_ = data;
    position_ = 0;
    return ack;
  };
  const int a = static_cast<uint8_t>(req[2]);
  const int b = static_cast<uint8_t>(req[3]);
  if (a != 0x04) return std::nullopt;
  switch (b) {
    case 0x00:
      return ack;
    case 0x01:
      return QByteArray::fromHex("f1") + QByteArray(1, static_cast<char>(kMaxFunction));
    case 0x02:
      return select(XramArea());
    case 0x03: {
      QByteArray r = QByteArray::fromHex("fc") + selected_.mid(position_, kBlock);
      r.append(QByteArray(1 + kBlock - r.size(), '\0'));
      position_ += kBlock;
      return r;
    }
    case 0x04:
      return select(Sonder());
    case 0x05:
      return select(SimSystemRecords::SysVar());
    default:
      return std::nullopt;
  }
}

}  // namespace ulv
