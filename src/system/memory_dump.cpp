#include "system/memory_dump.h"

#include "common/bytes.h"
#include "system/record_reader.h"

namespace ulv {

namespace {
constexpr int kAddressReplyLength = 5;
constexpr int kBlockReplyLength = 14;
}  // namespace

// Travels with a queued request: a request the queue drops without calling
// its handler ends the dump.
struct MemoryDump::Pending {
  std::weak_ptr<MemoryDump*> dump;
  int generation = 0;
  bool answered = false;
  ~Pending() {
    if (answered) return;
    // Not while the queue discards its entries (see AfterThisEvent).
    AfterThisEvent([d = dump, g = generation] {
      const auto p = d.lock();
      if (p && (*p)->generation_ == g) (*p)->End(false);
    });
  }
};

MemoryDump::MemoryDump(Transfers& transfers)
    : transfers_(transfers), self_(std::make_shared<MemoryDump*>(this)), buffer_(kBufferSize, '\0') {}

MemoryDump::~MemoryDump() { self_.reset(); }

uint16_t MemoryDump::ParseAddress(const QString& text) {
  bool ok = false;
  const qlonglong v = text.startsWith(QLatin1Char('$')) ? text.mid(1).toLongLong(&ok, 16) : text.toLongLong(&ok, 10);
  return ok ? static_cast<uint16_t>(v & 0xFFFF) : 0;
}

QStringList MemoryDump::DumpLines(uint16_t start, const QByteArray& buffer) {
  QStringList lines;
  for (int i = 0; i < kShownBytes / 16; ++i) {
    QString line = QString::asprintf("%4.4X  ", static_cast<unsigned>((start + 16 * i) & 0xFFFF));
    for (int j = 0; j < 16; ++j) line += HexByte(ReplyByte(buffer, 16 * i + j)) + QLatin1Char(' ');
    lines << line;
  }
  return lines;
}

bool MemoryDump::Start(const QString& addressText, QString* nextText) {
  if (running_) return false;
  const uint16_t address = ParseAddress(addressText);
  ++generation_;
  running_ = true;
  start_ = address;
  remaining_ = kDumpBytes;
  filled_ = 0;
  if (!Queue(QByteArray(1, static_cast<char>(0xF5)) + QByteArray(1, 0x04) + Nibbles16(address),
             kAddressReplyLength)) {
    running_ = false;  // a refused dump leaves Edit1 as it was
    return false;
  }
  if (OnProgress) OnProgress(0, kDumpBytes);
  if (nextText) *nextText = QString::asprintf("$%4.4X", static_cast<unsigned>((address + kShownBytes) & 0xFFFF));
  return true;
}

bool MemoryDump::Queue(const QByteArray& command, int replyLength) {
  auto pending = std::make_shared<Pending>();
  pending->dump = self_;
  pending->generation = generation_;
  const bool queued = transfers_.AddTransfer(command, replyLength, [pending, replyLength](const QByteArray& r) {
    pending->answered = true;
    if (const auto d = pending->dump.lock()) (*d)->OnReply(pending->generation, replyLength, r);
  });
  pending->answered = pending->answered || !queued;
  return queued;
}

void MemoryDump::OnReply(int generation, int replyLength, const QByteArray& reply) {
  if (generation != generation_ || !running_) return;
  // The reply's size and kind are checked before any byte of it is used.
  if (reply.size() != replyLength || ReplyByte(reply, 0) != 0xF0 + replyLength - 1) {
    End(false);
    return;
  }
  if (replyLength == kBlockReplyLength) {
    QString text;
    for (int i = 1; i <= kBlockBytes && filled_ < kBufferSize; ++i) {
      buffer_[filled_++] = reply[i];
      --remaining_;
      text += HexByte(static_cast<uint8_t>(reply[i])) + QLatin1Char(' ');
    }
    if (OnProgress) OnProgress(filled_, kDumpBytes);
    if (OnBlock) OnBlock(text);
    if (remaining_ < 1) {
      if (OnShow) OnShow(DumpLines(start_, buffer_));
      End(true);
      return;
    }
  }
  if (!Queue(Bytes({0xF1, 0x54}), kBlockReplyLength)) End(false);
}

void MemoryDump::End(bool shown) {
  if (!running_) return;
  running_ = false;
  if (OnEnded) OnEnded(shown);
}

}  // namespace ulv
