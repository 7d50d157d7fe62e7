#pragma once
// The record reader: asks the controller for its highest function number,
// runs the request sequence of a record kind through the transfer queue,
// collects the record into ReadBuffer in blocks of 15 bytes and hands it to
// the requester's print procedure. The window TForm7 shows its caption and
// progress; the data window, the SysVar window and the memory debugger use
// it. One read at a time: every read has a generation number, and replies
// of an older read change nothing.
#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

#include "link/transfers.h"

namespace ulv {

// Runs `fn` on the next pass of the event loop (at once without one).
void AfterThisEvent(std::function<void()> fn);

class RecordReader {
public:
  static constexpr int kBufferSize = 270;
  static constexpr int kBlockSize = 15;

  enum class Outcome {
    Printed,      // the record was complete and printed
    Unsupported,  // MaxFunction too low for kinds 3 and 4: silent close
    Failed,       // a reply was missing, short or of the wrong kind, the controller
                  // refused, or the queue dropped the waiting request
    Refused,      // the queue refused a request (link down, queue full)
  };

  using PrintProc = std::function<void(const QByteArray& record)>;
  using Ended = std::function<void(Outcome)>;

  explicit RecordReader(Transfers& transfers);
  ~RecordReader();

  // The requesting window's three values, then ShowReader and ReadButtonClick
  // in one: starts a new read (a running one is given up). `ended` learns how
  // it went, after `print` when it was printed.
  void Read(int recordKind, int recordLength, PrintProc print, Ended ended = nullptr);
  bool IsReading() const { return reading_; }

  QByteArray ReadBuffer() const { return buffer_; }
  int ReadOffset() const { return readOffset_; }
  int RecordLength() const { return recordLength_; }
  int RecordKind() const { return recordKind_; }

  // The reader window: shown when a read starts, closed when it ends.
  std::function<void()> OnShow;
  std::function<void()> OnClose;
  std::function<void(const QString& caption)> OnCaption;
  // Gauge position against a maximum of 100 (positions above show full).
  std::function<void(int position)> OnProgress;

  // The text a requester prints for a failed read.
  static QString FailureText() { return QStringLiteral("Transfer.Fehler"); }

private:
  struct Pending;
  enum class Step { Kind, Select, Block, Shift };

  bool Queue(const QByteArray& command, int replyLength, Step step);
  void OnReply(int generation, Step step, int replyLength, const QByteArray& reply);
  void OnDropped(int generation);
  void KindReply(const QByteArray& reply);
  void StartBlocks();
  void BlockReply(const QByteArray& reply, int dataBytes);
  void ShiftReply(const QByteArray& reply);
  void Store(const QByteArray& reply, int dataBytes);
  void Finish(Outcome outcome);
  void Progress(int position);

  Transfers& transfers_;
  std::shared_ptr<RecordReader*> self_;  // lets a dropped request find a living reader
  QByteArray buffer_;
  int generation_ = 0;
  bool reading_ = false;
  int recordKind_ = 0;
  int recordLength_ = 0;
  int usedBytes_ = 0;  // bytes the print uses; a later block is not needed
  int readOffset_ = 0;
  int shiftCounter_ = 0;
  int shiftState_ = 0;
  PrintProc print_;
  Ended ended_;
};

}  // namespace ulv
