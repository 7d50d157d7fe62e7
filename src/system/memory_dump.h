#pragma once
// The memory dump: sets the controller's memory pointer (F5 04 + nibbles),
// reads 1408 bytes in 13-byte blocks (F1 54) and shows the first 128 as 8
// hex lines. One dump at a time; a reply that is missing, short or of the
// wrong kind ends the dump without showing anything. The window TForm5 and
// the headless `dump` command bind to it; the memory debugger starts it
// through its window and asks IsRunning() before polling.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

#include "link/transfers.h"

namespace ulv {

class MemoryDump {
public:
  static constexpr int kDumpBytes = 1408;
  static constexpr int kBlockBytes = 13;
  static constexpr int kBufferSize = 1417;  // 109 blocks
  static constexpr int kShownBytes = 128;

  explicit MemoryDump(Transfers& transfers);
  ~MemoryDump();

  // "Dump" with the text of Edit1. False (nothing sent, `nextText` unset)
  // while a dump runs or when the queue refuses; else `nextText` is the
  // address 128 bytes further as "$" + four hex digits.
  bool Start(const QString& addressText, QString* nextText);
  bool IsRunning() const { return running_; }
  // Decimal or "$" + hex; anything else is 0. The low 16 bits.
  static uint16_t ParseAddress(const QString& text);
  // The 8 lines of 16 bytes from `start` (labels wrap at 16 bits).
  static QStringList DumpLines(uint16_t start, const QByteArray& buffer);
  QByteArray Buffer() const { return buffer_.left(filled_); }

  std::function<void(int value, int maximum)> OnProgress;
  // The 13 bytes of each block as "XX " pairs (the debugger's Receiver).
  std::function<void(const QString& text)> OnBlock;
  // The dump's lines, once complete.
  std::function<void(const QStringList& lines)> OnShow;
  // The dump ended: shown, or given up after a failed reply.
  std::function<void(bool shown)> OnEnded;

private:
  struct Pending;
  bool Queue(const QByteArray& command, int replyLength);
  void OnReply(int generation, int replyLength, const QByteArray& reply);
  void End(bool shown);

  Transfers& transfers_;
  std::shared_ptr<MemoryDump*> self_;
  QByteArray buffer_;
  int filled_ = 0;
  int remaining_ = 0;
  uint16_t start_ = 0;
  int generation_ = 0;
  bool running_ = false;
};

}  // namespace ulv
