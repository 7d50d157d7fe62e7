#include "system/record_reader.h"

#include <algorithm>
#include <utility>

#include <QCoreApplication>

#include "common/bytes.h"

namespace ulv {

namespace {

struct KindInfo {
  int kind;
  const char* caption;
  QByteArray select;
  int selectReplyLength;
  int minimumFunction;  // 0: any controller
  bool direct;          // the selection's reply holds the record
  int fixedLength;      // 0: the requester's RecordLength
  int usedBytes;        // bytes the print procedure reads
};

const KindInfo* Kind(int kind) {
  static const KindInfo kKinds[] = {
      {2, "SYSPERM-Struktur", Bytes({0xF1, 0x06}), 5, 0, false, 32, 30},
      {3, "SYSVAR", Bytes({0xF2, 0x55, 0x20}), 2, 0x20, false, 0, 22},
      {4, "SHAFT", Bytes({0xF2, 0x55, 0x25}), 2, 0x25, false, 0, 166},
      {5, "IO-PORT", Bytes({0xF2, 0x55, 0x1D}), 4, 0, true, 0, 3},
      {6, "MONBLK", Bytes({0xF1, 0x60}), 7, 0, true, 0, 6},
      {7, "PORTS", Bytes({0xF2, 0x55, 0x21}), 15, 0, true, 0, 14},
      {10, "CALLS-MAP", Bytes({0xF2, 0x55, 0x15}), 2, 0, false, 256, 256},
  };
  for (const KindInfo& k : kKinds) {
    if (k.kind == kind) return &k;
  }
  return nullptr;
}

constexpr int kShiftKind = 8;
constexpr int kShiftBlocks = 9;
constexpr int kBlockReplyLength = 16;

const QByteArray& BlockRequest() {
  static const QByteArray r = Bytes({0xF2, 0x55, 0x26});
  return r;
}

// A reply is used only when it has the length asked for and the header a
// reply of that length carries (0xF0 + number of bytes that follow).
bool Valid(const QByteArray& reply, int length) {
  return reply.size() == length && length > 0 && ReplyByte(reply, 0) == 0xF0 + length - 1;
}

}  // namespace

void AfterThisEvent(std::function<void()> fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

// Travels with a queued request: when the queue drops the request without
// calling its handler (a flush after another request's time-out), the read
// learns it here and ends.
struct RecordReader::Pending {
  std::weak_ptr<RecordReader*> reader;
  int generation = 0;
  bool answered = false;
  ~Pending() {
    if (answered) return;
    // The queue is discarding its entries right now: the read ends on the
    // next pass of the event loop, so that nothing its ending queues reaches
    // the queue in the middle of that.
    AfterThisEvent([r = reader, g = generation] {
      if (const auto p = r.lock()) (*p)->OnDropped(g);
    });
  }
};

RecordReader::RecordReader(Transfers& transfers)
    : transfers_(transfers), self_(std::make_shared<RecordReader*>(this)), buffer_(kBufferSize, '\0') {}

RecordReader::~RecordReader() { self_.reset(); }

void RecordReader::Read(int recordKind, int recordLength, PrintProc print, Ended ended) {
  ++generation_;  // replies of a running read change nothing from now on
  reading_ = true;
  recordKind_ = recordKind;
  recordLength_ = std::clamp(recordLength, 0, kBufferSize);
  print_ = std::move(print);
  ended_ = std::move(ended);
  const KindInfo* k = Kind(recordKind);
  usedBytes_ = k ? k->usedBytes : 0;
  if (OnShow) OnShow();
  Progress(0);
  Queue(Bytes({0xF2, 0x55, 0x00}), 2, Step::Kind);
}

bool RecordReader::Queue(const QByteArray& command, int replyLength, Step step) {
  auto pending = std::make_shared<Pending>();
  pending->reader = self_;
  pending->generation = generation_;
  const bool queued = transfers_.AddTransfer(command, replyLength, [pending, step, replyLength](const QByteArray& r) {
    pending->answered = true;
    if (const auto reader = pending->reader.lock()) (*reader)->OnReply(pending->generation, step, replyLength, r);
  });
  if (!queued) {
    pending->answered = true;
    Finish(Outcome::Refused);
  }
  return queued;
}

void RecordReader::OnDropped(int generation) {
  if (generation == generation_ && reading_) Finish(Outcome::Failed);
}

void RecordReader::OnReply(int generation, Step step, int replyLength, const QByteArray& reply) {
  if (generation != generation_ || !reading_) return;
  if (step == Step::Shift) {
    ShiftReply(reply);
    return;
  }
  if (!Valid(reply, replyLength)) {
    // A block beyond the bytes the print uses is not needed for the record.
    const bool complete = step == Step::Block && readOffset_ >= usedBytes_ && readOffset_ > 0;
    Finish(complete ? Outcome::Printed : Outcome::Failed);
    return;
  }
  switch (step) {
    case Step::Kind:
      KindReply(reply);
      break;
    case Step::Select:
      StartBlocks();
      break;
    case Step::Block:
      BlockReply(reply, replyLength - 1);
      break;
    case Step::Shift:
      break;
  }
}

void RecordReader::KindReply(const QByteArray& reply) {
  const int maxFunction = ReplyByte(reply, 1);
  if (recordKind_ == kShiftKind) {
    shiftState_ = 0;
    Queue(Bytes({0xF3, 0x55, 0x27, 0x00}), 2, Step::Shift);
    return;
  }
  const KindInfo* k = Kind(recordKind_);
  if (!k || maxFunction < k->minimumFunction) {
    Finish(Outcome::Unsupported);  // silent close: nothing printed, no message
    return;
  }
  readOffset_ = 0;
  if (k->fixedLength) recordLength_ = k->fixedLength;
  if (OnCaption) OnCaption(QString::fromLatin1(k->caption));
  Queue(k->select, k->selectReplyLength, k->direct ? Step::Block : Step::Select);
}

void RecordReader::StartBlocks() {
  readOffset_ = 0;
  Queue(BlockRequest(), kBlockReplyLength, Step::Block);
}

void RecordReader::Store(const QByteArray& reply, int dataBytes) {
  const int n = std::min({dataBytes, kBlockSize, kBufferSize - readOffset_});
  for (int i = 0; i < n; ++i) buffer_[readOffset_ + i] = reply[1 + i];
  readOffset_ = std::min(readOffset_ + kBlockSize, kBufferSize);
  Progress(readOffset_);
}

void RecordReader::BlockReply(const QByteArray& reply, int dataBytes) {
  Store(reply, dataBytes);
  if (readOffset_ >= recordLength_ || readOffset_ >= kBufferSize) {
    Finish(Outcome::Printed);
    return;
  }
  Queue(BlockRequest(), kBlockReplyLength, Step::Block);
}

void RecordReader::ShiftReply(const QByteArray& reply) {
  switch (shiftState_) {
    case 0:
      if (!Valid(reply, 2) || ReplyByte(reply, 1) < 4) break;
      if (OnCaption) OnCaption(QStringLiteral("SHIFT-STATUS"));
      readOffset_ = 0;
      shiftCounter_ = 1;
      shiftState_ = 1;
      Queue(Bytes({0xF3, 0x55, 0x27, static_cast<uint8_t>(shiftCounter_)}), 2, Step::Shift);
      return;
    case 1:
      if (reply != Bytes({0xF1, 0x01})) break;
      shiftState_ = 2;
      Queue(BlockRequest(), kBlockReplyLength, Step::Shift);
      return;
    case 2:
      if (!Valid(reply, kBlockReplyLength)) break;
      Store(reply, kBlockSize);
      ++shiftCounter_;
      shiftState_ = 1;
      if (shiftCounter_ > kShiftBlocks) {
        Finish(Outcome::Printed);
      } else {
        Queue(Bytes({0xF3, 0x55, 0x27, static_cast<uint8_t>(shiftCounter_)}), 2, Step::Shift);
      }
      return;
    default:
      break;
  }
  Finish(Outcome::Failed);
}

void RecordReader::Progress(int position) {
  if (OnProgress) OnProgress(position);
}

void RecordReader::Finish(Outcome outcome) {
  if (!reading_) return;
  reading_ = false;
  // Taken out first: the print or the requester may start the next read.
  PrintProc print = std::move(print_);
  Ended ended = std::move(ended_);
  print_ = nullptr;
  ended_ = nullptr;
  if (OnClose) OnClose();
  if (outcome == Outcome::Printed && print) print(buffer_);
  if (ended) ended(outcome);
}

}  // namespace ulv
