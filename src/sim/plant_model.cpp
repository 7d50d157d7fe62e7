#include "sim/plant_model.h"

#include <utility>

namespace ulv {

namespace {

constexpr int kTextLength = 15;

QByteArray Bytes(std::initializer_list<int> values) {
  QByteArray b;
  for (int v : values) b.append(static_cast<char>(v));
  return b;
}

// Four nibbles, lowest first, one per byte.
QByteArray NibblesOf(uint32_t value) {
  QByteArray b;
  for (int i = 0; i < 4; ++i) b.append(static_cast<char>((value >> (4 * i)) & 0x0F));
  return b;
}

uint16_t ValueOfNibbles(const QByteArray& msg, int offset) {
  uint16_t v = 0;
  for (int i = 0; i < 4; ++i)
    v |= static_cast<uint16_t>((static_cast<uint8_t>(msg.at(offset + i)) & 0x0F) << (4 * i));
  return v;
}

bool StartsWith(const QByteArray& msg, std::initializer_list<int> prefix) {
  if (msg.size() < static_cast<qsizetype>(prefix.size())) return false;
  int i = 0;
  for (int p : prefix) {
    if (static_cast<uint8_t>(msg.at(i++)) != p) return false;
  }
  return true;
}

// A written name or telephone number: the controller keeps the text up to
// its first zero byte (the tool pads with zeros).
QByteArray StoredText(const QByteArray& written) {
  const qsizetype zero = written.indexOf('\0');
  return (zero < 0 ? written : written.left(zero)).left(kTextLength);
}

}  // namespace

PlantModel::PlantModel(Scenario scenario) : plant_(std::move(scenario)), stream_(plant_.stream) {}

QByteArray PlantModel::TextReply(const QByteArray& text) const {
  QByteArray r(1, static_cast<char>(0xFF));
  r.append(text.left(kTextLength));
  while (r.size() < 1 + kTextLength) r.append(' ');
  return r;
}

QByteArray PlantModel::ErrorRecordReply(int k) const {
  QByteArray r(1, static_cast<char>(0xF7));
  const int n = static_cast<int>(plant_.errors.size());
  if (k < 0 || k >= n) return r.append(QByteArray(7, '\0'));                // an empty slot
  const SimErrorRecord& e = plant_.errors[static_cast<size_t>(n - 1 - k)];  // k = 0: most recent
  r.append(static_cast<char>(e.group));
  r.append(static_cast<char>(e.code));
  r.append(static_cast<char>(e.detail));
  r.append(static_cast<char>(e.day & 0xFF));
  r.append(static_cast<char>(e.day >> 8));
  r.append(static_cast<char>(e.twoSeconds & 0xFF));
  r.append(static_cast<char>(e.twoSeconds >> 8));
  return r;
}

namespace {

std::optional<SimRequestKind> KindOf(const QByteArray& req) {
  if (req.size() == 6 && StartsWith(req, {0xF5, 0x04})) return SimRequestKind::MemoryAddress;
  if (req == Bytes({0xF1, 0x0B})) return SimRequestKind::MemoryRead;
  if (req.size() == 10 && StartsWith(req, {0xF9, 0x0C})) return SimRequestKind::MemoryWrite;
  if (req == Bytes({0xF1, 0x54})) return SimRequestKind::MemoryDump;
  if (req.size() == 4 && StartsWith(req, {0xF3, 0x4B, 0x04})) return SimRequestKind::Firmware;
  if (req == Bytes({0xF1, 0x60}) || req == Bytes({0xF1, 0x52}) || req == Bytes({0xF1, 0x32}) ||
      req == Bytes({0xF2, 0x55, 0x1B}) || req == Bytes({0xF2, 0x55, 0x1D}) || req == Bytes({0x80}) ||
      (req.size() == 4 && (StartsWith(req, {0xF3, 0x55, 0x1A}) || StartsWith(req, {0xF3, 0x55, 0x1C}))) ||
      (req.size() == 6 && StartsWith(req, {0xF5, 0x55, 0x1E, 0x02}))) {
    return SimRequestKind::Monitor;
  }
  return std::nullopt;
}

}  // namespace

std::optional<SimReplyFault> PlantModel::FaultFor(const QByteArray& req) {
  const std::optional<SimRequestKind> kind = KindOf(req);
  if (!kind) return std::nullopt;
  const int nth = ++seen_[static_cast<int>(*kind)];
  for (const SimRequestFault& f : plant_.faults) {
    if (f.request == *kind && f.nth == nth) return f.fault;
  }
  return std::nullopt;
}

std::optional<QByteArray> PlantModel::Answer(const QByteArray& req) {
  const std::optional<SimReplyFault> fault = FaultFor(req);
  std::optional<QByteArray> r = Reply(req);
  if (!fault || !r || r->isEmpty()) return r;
  switch (*fault) {
    case SimReplyFault::Drop:
      return std::nullopt;
    case SimReplyFault::Wrong:  // the header's count no longer fits the bytes that follow
      (*r)[0] = static_cast<char>(static_cast<uint8_t>(r->at(0)) ^ 0x0F);
      return r;
    case SimReplyFault::Short: {
      const qsizetype keep = r->size() / 2;  // a two-byte reply shrinks to a lone header
      QByteArray cut = r->left(keep);
      cut[0] = static_cast<char>(0xF0 + keep - 1);
      return cut;
    }
    case SimReplyFault::Delay:
      held_ = std::move(r);
      return std::nullopt;
  }
  return r;
}

std::optional<QByteArray> PlantModel::Reply(const QByteArray& req) {
  ++requests_;
  lastRequest_ = req;
  const QByteArray ack = Bytes({0xF1, 0x01});

  if (req == Bytes({0xF1, 0x00}) || req == Bytes({0xC1, 0x00})) return ack;
  if (req == Bytes({0xF1, 0x01})) return TextReply(plant_.version);
  if (req == Bytes({0xF1, 0x02})) {
    return Bytes(
        {0xF4, plant_.eepromA & 0xFF, plant_.eepromA >> 8, plant_.eepromB & 0xFF, plant_.eepromB >> 8});
  }
  if (req == Bytes({0xF1, 0x10})) return std::nullopt;  // controller reset: no reply
  if (req == Bytes({0xF1, 0x25})) {
    plant_.errors.clear();
    return ack;
  }
  if (req == Bytes({0xF1, 0x31})) {
    const size_t n = plant_.errors.size();
    return QByteArray(1, static_cast<char>(0xF4)) + NibblesOf(static_cast<uint32_t>(n > 0xFFFF ? 0xFFFF : n));
  }
  if (req == Bytes({0xF1, 0x40})) {
    const int64_t hi = plant_.trips / 10000;
    const int64_t lo = plant_.trips % 10000;
    return QByteArray(1, static_cast<char>(0xF8)) + NibblesOf(static_cast<uint32_t>(hi)) +
           NibblesOf(static_cast<uint32_t>(lo));
  }
  if (req == Bytes({0xF2, 0x55, 0x12})) return TextReply(plant_.name);
  if (req == Bytes({0xF2, 0x55, 0x14})) return TextReply(plant_.telephone);
  if (req.size() == 4 && StartsWith(req, {0xF3, 0x55, 0x07}))
    return ErrorRecordReply(static_cast<uint8_t>(req.at(3)));
  if (req.size() == 6 &&
      (StartsWith(req, {0xF5, 0x34}) || StartsWith(req, {0xF5, 0x36}) || StartsWith(req, {0xF5, 0x04}))) {
    const uint16_t v = ValueOfNibbles(req, 2);
    switch (static_cast<uint8_t>(req.at(1))) {
      case 0x34:
        timeValue_ = v;
        break;
      case 0x36:
        dayValue_ = v;
        break;
      default:
        word16_ = v;
        system_.SetMemoryPointer(v);
        break;
    }
    return QByteArray(1, static_cast<char>(0xF4)) + req.mid(2, 4);
  }
  if (req.size() == 10 && StartsWith(req, {0xF9, 0x0C})) {
    hex32_ = req.mid(2, 8);
    system_.WriteFour(hex32_);
    return QByteArray(1, static_cast<char>(0xF8)) + hex32_;
  }
  if (req.size() == 16 && (StartsWith(req, {0xFF, 0x55, 0x11}) || StartsWith(req, {0xFF, 0x55, 0x13}))) {
    const QByteArray text = StoredText(req.mid(3, 13));
    if (static_cast<uint8_t>(req.at(2)) == 0x11) {
      plant_.name = text;
    } else {
      plant_.telephone = text;
    }
    return ack;
  }
  if (std::optional<QByteArray> r = stream_.Answer(req)) {
    if (std::optional<QByteArray> late = stream_.TakeLateReply()) {
      held_ = std::move(late);
      return std::nullopt;
    }
    return r;
  }
  if (std::optional<QByteArray> r = firmware_.Answer(req)) return r;
  if (std::optional<QByteArray> r = system_.Answer(req, plant_.system, plant_.trips, timeValue_, dayValue_)) {
    if (r->isEmpty()) return std::nullopt;  // a silenced block read
    return r;
  }
  if (OnOtherRequest) {
    if (std::optional<QByteArray> r = OnOtherRequest(req)) return r;
  }
  ++unknown_;
  return std::nullopt;
}

std::optional<QByteArray> PlantModel::TakeHeldReply() {
  std::optional<QByteArray> r = std::move(held_);
  held_.reset();
  return r;
}

}  // namespace ulv
