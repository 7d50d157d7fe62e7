#include "sim/stream_model.h"

#include <algorithm>

namespace ulv {

namespace {

constexpr uint8_t kStream = 0x4B;
constexpr uint8_t kFiller = 0xEE;
constexpr int kVersionLength = 13;

bool Is(const QByteArray& req, std::initializer_list<int> bytes) {
  if (req.size() != static_cast<qsizetype>(bytes.size())) return false;
  int i = 0;
  for (int b : bytes) {
    if (static_cast<uint8_t>(req.at(i++)) != b) return false;
  }
  return true;
}

void AppendWord(QByteArray& b, int v) {
  b.append(static_cast<char>(v & 0xFF));
  b.append(static_cast<char>((v >> 8) & 0xFF));
}

// The channel bit that lets an event kind into the ring; -1: always in.
int ChannelBit(uint8_t kind) {
  switch (kind) {
    case 0x03:
      return 0;
    case 0x01:
      return 1;
    case 0x02:
      return 2;
    case 0x08:
      return 3;
    case 0x09:
      return 4;
    case 0xFE:
      return 5;
    default:
      return -1;
  }
}

}  // namespace

SimStream::SimStream(const SimStreamSetup& setup)
    : setup_(setup),
      ring_(static_cast<size_t>(std::max(0, setup.size))),
      magic_(setup.magic),
      open_(setup.open),
      stop_(setup.stop),
      mask_(setup.mask),
      day_(setup.day),
      twoSeconds_(setup.twoSeconds),
      count_(setup.count),
      wrap_(setup.wrap) {
  // What the car recorded before the tool came: the whole ring once it has
  // wrapped, else the entries up to the write index.
  const size_t filled = wrap_ > 0 ? ring_.size() : std::min(ring_.size(), static_cast<size_t>(std::max(0, count_)));
  for (size_t i = 0; i < filled; ++i) {
    const size_t at = wrap_ > 0 ? (static_cast<size_t>(count_) + i) % ring_.size() : i;
    ring_[at] = NextEvent();
  }
}

SimStream::Entry SimStream::NextEvent() {
  const int64_t s = step_++;
  const uint8_t floor = static_cast<uint8_t>(s / 10 % 8);
  const uint8_t arg3 = static_cast<uint8_t>(s & 0x7F);
  switch (s % 10) {
    case 0: {
      const int t = (twoSeconds_ + s) & 0xFFFF;
      return {0xFE, static_cast<uint8_t>(t & 0xFF), static_cast<uint8_t>(t >> 8), 0};
    }
    case 1:
      return {0x01, floor, 10, arg3};
    case 2:
      return {0x02, 5, floor, arg3};
    case 3:
      return {0x03, 1, floor, arg3};
    case 4:
      return {0x06, 0x1A, static_cast<uint8_t>(1 << floor), arg3};
    case 5:
      return {0x04, floor, 0x34, arg3};
    case 6:
      return {0x07, floor, 0x25, arg3};
    case 7:
      return {0x08, 0, static_cast<uint8_t>(0x80 | floor), arg3};
    case 8:
      return {0x05, floor, 0x12, arg3};
    default:
      if (s % 50 == 9) return {0x09, static_cast<uint8_t>(s / 50 % 8), floor, arg3};
      return {0x07, floor, 0x25, arg3};
  }
}

void SimStream::Record(const Entry& e) {
  if (ring_.empty()) return;
  ring_[static_cast<size_t>(count_) % ring_.size()] = e;
  if (++count_ >= Size()) {
    count_ = 0;
    wrap_ = std::min(wrap_ + 1, 255);
  }
}

void SimStream::Drive(int n) {
  for (int i = 0; i < n; ++i) {
    const Entry e = NextEvent();
    const int bit = ChannelBit(e[0]);
    if (bit < 0 || (mask_ >> bit) & 1) Record(e);
  }
}

std::vector<SimStream::Entry> SimStream::Recorded() const {
  std::vector<Entry> out;
  if (ring_.empty()) return out;
  const size_t n = wrap_ > 0 ? ring_.size() : std::min(ring_.size(), static_cast<size_t>(std::max(0, count_)));
  const size_t first = wrap_ > 0 ? static_cast<size_t>(count_) % ring_.size() : 0;
  for (size_t i = 0; i < n; ++i) out.push_back(ring_[(first + i) % ring_.size()]);
  return out;
}

QByteArray SimStream::Header() const {
  QByteArray h(1, static_cast<char>(0xFE));
  AppendWord(h, magic_);
  h.append(static_cast<char>(open_));
  h.append(static_cast<char>(stop_));
  h.append(static_cast<char>(mask_));
  AppendWord(h, day_);
  AppendWord(h, twoSeconds_);
  AppendWord(h, count_);
  h.append(static_cast<char>(wrap_));
  AppendWord(h, Size());
  return h;
}

QByteArray SimStream::NextFetch() {
  ++fetches_;
  const std::vector<Entry> recorded = Recorded();
  QByteArray r(1, static_cast<char>(0xFC));
  for (int i = 0; i < 3; ++i, ++cursor_) {
    if (cursor_ < static_cast<int>(recorded.size())) {
      for (uint8_t b : recorded[static_cast<size_t>(cursor_)]) r.append(static_cast<char>(b));
    } else {
      r.append(QByteArray(4, static_cast<char>(kFiller)));
    }
  }
  return r;
}

std::optional<QByteArray> SimStream::Answer(const QByteArray& req) {
  if (req.size() < 3 || static_cast<uint8_t>(req.at(1)) != kStream) return std::nullopt;
  std::optional<SimStreamRequest> kind;
  if (Is(req, {0xF2, kStream, 0x00})) kind = SimStreamRequest::Query;
  if (Is(req, {0xF3, kStream, 0x01, 0x00})) kind = SimStreamRequest::Test;
  if (Is(req, {0xF3, kStream, 0x01, 0x06})) kind = SimStreamRequest::Version;
  if (Is(req, {0xF2, kStream, 0x02})) kind = SimStreamRequest::Header;
  if (Is(req, {0xF3, kStream, 0x01, 0x03})) kind = SimStreamRequest::Run;
  if (Is(req, {0xF3, kStream, 0x01, 0x02})) kind = SimStreamRequest::Stop;
  if (req.size() == 8 && Is(req.left(4), {0xF7, kStream, 0x01, 0x05})) kind = SimStreamRequest::Rewrite;
  if (Is(req, {0xF2, kStream, 0x03})) kind = SimStreamRequest::Fetch;
  if (!kind || !setup_.present) return std::nullopt;

  const int nth = ++seen_[static_cast<size_t>(*kind)];
  bool wrong = false;
  bool late = false;
  for (const SimStreamFault& f : setup_.faults) {
    if (f.request != *kind || f.nth != nth) continue;
    if (f.late) {
      late = true;
    } else if (!f.wrongByte) {
      return std::nullopt;
    } else {
      wrong = true;
    }
  }

  QByteArray reply;
  switch (*kind) {
    case SimStreamRequest::Query:
      reply = QByteArray(1, static_cast<char>(0xF1)) + static_cast<char>(setup_.interfaceVersion);
      break;
    case SimStreamRequest::Test:
      reply = QByteArray(1, static_cast<char>(0xF1)) + static_cast<char>(setup_.interfaceValid ? 0x7F : 0x00);
      break;
    case SimStreamRequest::Version:
      reply = QByteArray(1, static_cast<char>(0xFE)) +
              setup_.versionText.left(kVersionLength).leftJustified(kVersionLength, ' ') + '\0';
      break;
    case SimStreamRequest::Header:
      // The car has run on since the last look; a fetch starts from the
      // oldest entry of what the header shows.
      if (stop_ == 0) Drive(setup_.entriesPerPoll);
      cursor_ = 0;
      reply = Header();
      break;
    case SimStreamRequest::Run:
    case SimStreamRequest::Stop:
      stop_ = *kind == SimStreamRequest::Run ? 0 : 1;
      reply = QByteArray(1, static_cast<char>(0xF1)) + '\x01';
      break;
    case SimStreamRequest::Rewrite: {
      std::fill(ring_.begin(), ring_.end(), Entry{});
      count_ = 0;
      wrap_ = 0;
      cursor_ = 0;
      mask_ = static_cast<uint8_t>(req.at(4));
      open_ = 1;
      const QDateTime now = Now();
      day_ = static_cast<uint16_t>(QDate(2000, 1, 1).daysTo(now.date()));
      twoSeconds_ = static_cast<uint16_t>(now.time().msecsSinceStartOfDay() / 2000);
      reply = QByteArray(1, static_cast<char>(0xF1)) + '\x01';
      break;
    }
    case SimStreamRequest::Fetch:
      reply = NextFetch();
      break;
  }
  if (wrong) reply[0] = static_cast<char>(static_cast<uint8_t>(reply.at(0)) ^ 0x0F);
  if (late) {
    late_ = reply;
    return QByteArray();  // answered, but nothing goes out now
  }
  return reply;
}

std::optional<QByteArray> SimStream::TakeLateReply() {
  std::optional<QByteArray> r = std::move(late_);
  late_.reset();
  return r;
}

}  // namespace ulv
