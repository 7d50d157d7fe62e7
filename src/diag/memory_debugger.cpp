#include "diag/memory_debugger.h"

#include <algorithm>
#include <cctype>

#include "common/bytes.h"
#include "system/memory_dump.h"
#include "system/record_reader.h"

namespace ulv {

namespace {

constexpr int kAddressReplyLength = 5;  // F4 + four nibbles
constexpr int kReadReplyLength = 9;     // F8 + eight nibbles
constexpr int kTimerMs = 500;
constexpr int kWriteBackFrom = 12;      // FZ_tr .. wartung: bytes 12-27
constexpr int kWriteBackBytes = 16;

// The reply's length and header byte (0xF0 + the bytes that follow).
bool HeaderReply(const QByteArray& reply, int length) {
  return reply.size() == length && ReplyByte(reply, 0) == 0xF0 + length - 1;
}

// Length and header byte first; then every byte from the second on must be
// a nibble (a value is read from them).
bool NibbleReply(const QByteArray& reply, int length) {
  if (!HeaderReply(reply, length)) return false;
  for (int i = 1; i < length; ++i) {
    if (ReplyByte(reply, i) > 15) return false;
  }
  return true;
}

void PutWord(QByteArray& r, int offset, int64_t value) {
  r[offset] = static_cast<char>(value & 0xFF);
  r[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}

int Word(const QByteArray& r, int offset) { return ReplyByte(r, offset) + 256 * ReplyByte(r, offset + 1); }

// A whole number in decimal or "$" + hex; nothing for any other text.
std::optional<int64_t> StrictNumber(const QString& text) {
  bool ok = false;
  const qlonglong v = text.startsWith(QLatin1Char('$')) ? text.mid(1).toLongLong(&ok, 16) : text.toLongLong(&ok, 10);
  return ok ? std::optional<int64_t>(v) : std::nullopt;
}

}  // namespace

// Travels with each queued request: a request the queue drops without its
// handler ends the chain on the next event-loop pass.
struct MemoryDebugger::Guard {
  std::weak_ptr<MemoryDebugger*> debugger;
  int generation = 0;
  bool write = false;
  bool answered = false;
  ~Guard() {
    if (answered) return;
    AfterThisEvent([d = debugger, g = generation, w = write] {
      if (const auto p = d.lock()) (*p)->Dropped(g, w);
    });
  }
};

MemoryDebugger::MemoryDebugger(Transfers& transfers, QelUtils& utils, RecordReader& reader, MemoryDump& dump,
                               TimerFactory& timers)
    : transfers_(transfers),
      utils_(utils),
      reader_(reader),
      dump_(dump),
      timer_(timers.CreateTimer()),
      self_(std::make_shared<MemoryDebugger*>(this)),
      maintenance_(kSysPermBytes, '\0') {
  timer_->SetInterval(kTimerMs);
  timer_->OnTimeout = [this] {
    if (IsVisible && !IsVisible()) {
      StopPolling();
      return;
    }
    if (readBusy_ || !readAnswered_ || writing_ || dump_.IsRunning()) return;
    ++pollCount_;
    if (OnPollCount) OnPollCount(pollCount_);
    readBusy_ = true;
    readAnswered_ = false;
    StartRead(address_);
    readBusy_ = false;
  };
}

MemoryDebugger::~MemoryDebugger() { self_.reset(); }

int64_t MemoryDebugger::ParseNumber(const QString& text) { return StrictNumber(text).value_or(0); }

QString MemoryDebugger::AddressText(uint16_t address) {
  return QString::asprintf("$%4.4X", static_cast<unsigned>(address));
}

QStringList MemoryDebugger::ParseSymbols(const QByteArray& fileText) {
  QStringList entries;
  for (QByteArray line : fileText.split('\n')) {
    if (line.endsWith('\r')) line.chop(1);
    if (line.size() < 9) continue;
    bool ok = false;
    const QByteArray digits = line.mid(5, 4);
    const uint value = digits.toUInt(&ok, 16);
    const bool hex = std::all_of(digits.begin(), digits.end(), [](char c) { return std::isxdigit(static_cast<uchar>(c)); });
    if (!ok || !hex || value < 0xD000) continue;
    entries << QString::fromLatin1(line.mid(10, 255)) + QLatin1Char(',') + QString::fromLatin1(digits);
  }
  entries.sort();
  return entries;
}

std::optional<uint16_t> MemoryDebugger::SymbolAddress(const QString& entry) {
  const int comma = entry.indexOf(QLatin1Char(','));
  if (comma < 0) return std::nullopt;
  const QString digits = entry.mid(comma + 1, 4);
  if (digits.size() != 4) return std::nullopt;
  for (QChar c : digits) {
    if (HexDigitValue(c) > 15) return std::nullopt;
  }
  return static_cast<uint16_t>(digits.toUInt(nullptr, 16));
}

std::optional<QString> MemoryDebugger::EditedBytes(const QString& hexText) {
  QString digits;
  for (int pos : {0, 1, 3, 4, 6, 7, 9, 10}) {
    if (pos >= hexText.size() || HexDigitValue(hexText.at(pos)) > 15) return std::nullopt;
    digits += hexText.at(pos).toUpper();
  }
  return digits;
}

void MemoryDebugger::SetAddress(const QString& basis, const QString& offset) {
  // 64-bit sum, then the low 16 bits: no overflow for any typed number.
  address_ = static_cast<uint16_t>((ParseNumber(basis) + ParseNumber(offset)) & 0xFFFF);
  if (OnAddress) OnAddress(AddressText(address_));
  Read();
}

void MemoryDebugger::Read() { StartRead(address_); }

void MemoryDebugger::FollowPointer() {
  address_ = pointer_;
  if (OnAddress) OnAddress(AddressText(address_));
}

std::shared_ptr<MemoryDebugger::Guard> MemoryDebugger::NewGuard(int generation, bool write) {
  auto guard = std::make_shared<Guard>();
  guard->debugger = self_;
  guard->generation = generation;
  guard->write = write;
  return guard;
}

void MemoryDebugger::Dropped(int generation, bool write) {
  if (write && generation == writeGeneration_ && writing_) EndWrite(false);
  if (!write && generation == readGeneration_ && reading_) EndRead(false);
}

// ---- reads ----

void MemoryDebugger::StartRead(uint16_t address) {
  // A write owns the controller's pointer until it is done; a dump moves it.
  if (reading_ || writing_) {
    pendingRead_ = address;
    return;
  }
  if (dump_.IsRunning()) return;
  pendingRead_.reset();
  reading_ = true;
  ++readGeneration_;
  readAddress_ = address;
  chainEight_ = readEight_;
  QueueRead(0, Bytes({0xF5, 0x04}) + Nibbles16(address), kAddressReplyLength);
}

bool MemoryDebugger::QueueRead(int step, const QByteArray& command, int replyLength) {
  auto guard = NewGuard(readGeneration_, false);
  const bool queued = transfers_.AddTransfer(command, replyLength, [this, guard, step](const QByteArray& r) {
    guard->answered = true;
    if (guard->debugger.lock()) ReadStep(guard->generation, step, r);
  });
  if (!queued) {
    guard->answered = true;
    EndRead(false);
  }
  return queued;
}

// Steps: 0/2 set the address of the first/second half, 1/3 read it.
void MemoryDebugger::ReadStep(int generation, int step, const QByteArray& reply) {
  if (generation != readGeneration_ || !reading_) return;
  if (step % 2 == 0) {
    // The set-address answer carries nothing the read uses: F4 is enough.
    if (!HeaderReply(reply, kAddressReplyLength)) {
      EndRead(false);  // the poll waits until another read is answered
      return;
    }
    QueueRead(step + 1, Bytes({0xF1, 0x0B}), kReadReplyLength);
    return;
  }
  if (!NibbleReply(reply, kReadReplyLength)) {
    EndRead(true);  // answered, display unchanged
    return;
  }
  uint8_t b[4];
  for (int k = 0; k < 4; ++k) b[k] = static_cast<uint8_t>(ReplyByte(reply, 2 * k + 2) * 16 + ReplyByte(reply, 2 * k + 1));
  Texts t;
  for (uint8_t v : b) t.hex += HexByte(v) + QLatin1Char('.');
  t.word = QString::number(b[0] + 256 * b[1]) + QLatin1Char(' ') + QString::number(b[2]);
  t.bytes = QStringLiteral("%1 %2 %3 %4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
  t.chars = Latin1Text(QByteArray(reinterpret_cast<const char*>(b), 4));
  if (step == 1) {
    pointer_ = static_cast<uint16_t>(b[2] + 256 * b[3]);
    if (OnPointer) OnPointer(AddressText(pointer_));
    if (chainEight_) {
      first_ = t;
      QueueRead(2, Bytes({0xF5, 0x04}) + Nibbles16(static_cast<uint16_t>((readAddress_ + 4) & 0xFFFF)),
                kAddressReplyLength);
      return;
    }
  } else {
    t.hex = first_.hex + t.hex;
    t.word = first_.word + QLatin1Char(' ') + t.word;
    t.bytes = first_.bytes + QLatin1Char(' ') + t.bytes;
    t.chars = first_.chars + t.chars;
  }
  if (OnResult) OnResult(t.hex, t.word, t.bytes, t.chars);
  EndRead(true, true);
}

void MemoryDebugger::EndRead(bool answered, bool shown) {
  if (!reading_) return;
  reading_ = false;
  if (answered) readAnswered_ = true;
  if (OnReadEnded) OnReadEnded(shown);
  AfterChain();
}

// What waited for the pointer goes next: a write before a read.
void MemoryDebugger::AfterChain() {
  if (reading_) return;
  if (pendingWrite_) {
    std::vector<WriteStep> steps = std::move(*pendingWrite_);
    pendingWrite_.reset();
    StartWrite(std::move(steps));
    return;
  }
  if (pendingRead_ && !writing_) StartRead(*pendingRead_);
}

// ---- writes ----

bool MemoryDebugger::Send(const QString& hexText) {
  const std::optional<QString> digits = EditedBytes(hexText);
  if (!digits || writing_ || dump_.IsRunning()) return false;
  writing_ = true;
  writeBack_ = false;
  ++writeGeneration_;
  std::vector<WriteStep> steps{{address_, *digits}};
  if (reading_) {
    pendingWrite_ = std::move(steps);  // after the read's F1 0B, not between its requests
    return true;
  }
  return StartWrite(std::move(steps));
}

bool MemoryDebugger::StartWrite(std::vector<WriteStep> steps) {
  steps_ = std::move(steps);
  nextStep_ = 0;
  return WriteNext();
}

bool MemoryDebugger::WriteNext() {
  if (nextStep_ >= steps_.size()) {
    EndWrite(true);
    return true;
  }
  auto guard = NewGuard(writeGeneration_, true);
  const bool queued =
      utils_.WriteWord16(steps_[nextStep_].address, std::function<void(const QByteArray&)>(
                                                         [this, guard](const QByteArray& reply) {
                                                           guard->answered = true;
                                                           if (guard->debugger.lock()) AddressSet(guard->generation, reply);
                                                         }));
  if (!queued) {
    guard->answered = true;
    EndWrite(false);
  }
  return queued;
}

void MemoryDebugger::AddressSet(int generation, const QByteArray& reply) {
  if (generation != writeGeneration_ || !writing_) return;
  // A dump started meanwhile has moved the pointer (its requests stand
  // before anything queued now): the write would land elsewhere.
  if (!HeaderReply(reply, kAddressReplyLength) || dump_.IsRunning()) {
    EndWrite(false);
    return;
  }
  const QString hex = steps_[nextStep_].hex;
  ++nextStep_;
  if (!writeBack_) {
    // A manual Send chains nothing; once the write is queued, every later
    // request goes behind it, so the pointer is free again.
    utils_.HexWriteDone = nullptr;
    const bool sent = utils_.SendHex32(hex);
    EndWrite(sent);
    return;
  }
  auto guard = NewGuard(writeGeneration_, true);
  utils_.HexWriteDone = [this, guard](const QByteArray& r) {
    guard->answered = true;
    if (guard->debugger.lock()) Written(guard->generation, r);
  };
  if (!utils_.SendHex32(hex)) {
    guard->answered = true;
    EndWrite(false);
  }
}

void MemoryDebugger::Written(int generation, const QByteArray& reply) {
  if (generation != writeGeneration_ || !writing_) return;
  // A substitute or malformed answer means the write may not have happened:
  // nothing more is written. The data bytes of the answer carry nothing the
  // write-back needs, so they are not checked (the next step sets its own
  // address anyway).
  if (reply.size() != kReadReplyLength || ReplyByte(reply, 0) != 0xF0 + kReadReplyLength - 1) {
    EndWrite(false);
    return;
  }
  WriteNext();
}

void MemoryDebugger::EndWrite(bool ok) {
  if (!writing_) return;
  writing_ = false;
  pendingWrite_.reset();
  utils_.HexWriteDone = nullptr;
  if (writeBack_) {
    // Not while a new SysPerm read is still under way.
    if (OnSendEnabled) OnSendEnabled(maintenanceValid_);
    if (OnMemo) OnMemo(ok ? QStringLiteral("ready") : QStringLiteral("error"));
  }
  if (OnWriteEnded) OnWriteEnded(ok);
  AfterChain();
}

bool MemoryDebugger::PrepareDump() {
  if (writing_) return false;
  StopPolling();
  return true;
}

// ---- polling ----

void MemoryDebugger::TogglePolling() {
  if (timer_->IsActive()) {
    StopPolling();
    return;
  }
  timer_->Start();
  if (OnPolling) OnPolling(true);
}

void MemoryDebugger::StopPolling() {
  const bool was = timer_->IsActive();
  timer_->Stop();
  readBusy_ = false;
  if (was && OnPolling) OnPolling(false);
}

void MemoryDebugger::SetPollInterval(int ms) { timer_->SetInterval(std::clamp(ms, kPollMinMs, kPollMaxMs)); }

bool MemoryDebugger::IsPolling() const { return timer_->IsActive(); }

// ---- maintenance ----

void MemoryDebugger::FetchMaintenance() {
  const int read = ++maintenanceRead_;
  maintenanceValid_ = false;
  if (OnSendEnabled) OnSendEnabled(false);
  // Printed only after a selection reply F4 and block replies FF; a read
  // another window starts meanwhile never prints here.
  reader_.Read(2, 32, [this, read](const QByteArray& record) {
    if (read == maintenanceRead_) ShowMaintenance(record);
  });
}

void MemoryDebugger::ShowMaintenance(const QByteArray& record) {
  maintenance_ = record.left(kSysPermBytes).leftJustified(kSysPermBytes, '\0');
  maintenanceValid_ = true;
  MaintenanceFields f;
  f.trips = QString::number(static_cast<int64_t>(Word(maintenance_, 14)) * 10000 + Word(maintenance_, 16));
  f.hours = QString::number(Word(maintenance_, 20));
  f.minutes = QString::number(Word(maintenance_, 22) / 60);
  f.interval = QString::number(Word(maintenance_, 12));
  f.flags = QString::number(ReplyByte(maintenance_, 27));
  if (OnMaintenance) OnMaintenance(f);
  if (OnSendEnabled) OnSendEnabled(true);
}

bool MemoryDebugger::SendMaintenance(const MaintenanceFields& fields) {
  if (!maintenanceValid_ || writing_ || dump_.IsRunning()) return false;
  const struct {
    const QString& text;
    const char* name;
    int64_t max;
  } checks[] = {{fields.trips, "FZ", 655359999},      {fields.hours, "BS (Stunden)", 65535},
                {fields.minutes, "BS (Minuten)", 1092}, {fields.interval, "W.Interv.", 65535},
                {fields.flags, "W.Byte", 255}};
  int64_t v[5] = {};
  for (int i = 0; i < 5; ++i) {
    const std::optional<int64_t> n = StrictNumber(checks[i].text.trimmed());
    if (!n || *n < 0 || *n > checks[i].max) {
      if (OnMessage) {
        OnMessage(QStringLiteral("%1: kein gültiger Wert (0 bis %2)")
                      .arg(QLatin1String(checks[i].name), QString::number(checks[i].max)));
      }
      return false;
    }
    v[i] = *n;
  }
  PutWord(maintenance_, 16, v[0] % 10000);
  PutWord(maintenance_, 14, v[0] / 10000);
  PutWord(maintenance_, 20, v[1]);
  PutWord(maintenance_, 22, v[2] * 60);
  PutWord(maintenance_, 12, v[3]);
  maintenance_[27] = static_cast<char>(v[4]);
  const QByteArray snapshot = maintenance_;

  writing_ = true;
  writeBack_ = true;
  ++writeGeneration_;
  if (OnSendEnabled) OnSendEnabled(false);
  auto guard = NewGuard(writeGeneration_, true);
  const bool queued = transfers_.AddTransfer(Bytes({0xF1, 0x06}), kAddressReplyLength,
                                             [this, guard, snapshot](const QByteArray& r) {
                                               guard->answered = true;
                                               if (guard->debugger.lock()) SysPermAddress(guard->generation, r, snapshot);
                                             });
  if (!queued) {
    guard->answered = true;
    EndWrite(false);
  }
  return true;
}

void MemoryDebugger::SysPermAddress(int generation, const QByteArray& reply, const QByteArray& snapshot) {
  if (generation != writeGeneration_ || !writing_) return;
  if (!NibbleReply(reply, kAddressReplyLength)) {
    EndWrite(false);
    return;
  }
  const uint16_t base = static_cast<uint16_t>(NibbleWord(reply, 1) + kWriteBackFrom);
  std::vector<WriteStep> steps;
  for (int i = 0; i < kWriteBackBytes; i += 4) {
    steps.push_back({static_cast<uint16_t>(base + i), HexString(snapshot.mid(kWriteBackFrom + i, 4))});
  }
  if (reading_) {
    pendingWrite_ = std::move(steps);
    return;
  }
  StartWrite(std::move(steps));
}

}  // namespace ulv
