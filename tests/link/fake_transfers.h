#pragma once
// A scripted transfer queue: records every accepted request, answers the
// waiting ones in order from a responder, can refuse, and plays a time-out
// the way the real queue does (everything waiting behind the head is dropped
// without its handler, then the head gets zero bytes of the most recent
// AddTransfer's reply length).
#include <QByteArray>
#include <QString>
#include <deque>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <vector>

#include "link/transfers.h"

// Readable failure messages for Qt strings and byte strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& b, std::ostream* os) { *os << b.toHex(' ').toUpper().toStdString(); }

namespace ulv::test {

using Requests = std::vector<QByteArray>;

// Bytes written as hex digits, blanks between them: H("F1 01").
inline QByteArray H(const char* hex) { return QByteArray::fromHex(hex); }

inline QByteArray B(std::initializer_list<int> bytes) {
  QByteArray out;
  for (int b : bytes) out.append(static_cast<char>(b));
  return out;
}

class FakeTransfers : public Transfers {
public:
  struct Request {
    QByteArray command;
    int replyLength = 0;
    TransferReplyHandler handler;
  };

  bool AddTransfer(const QByteArray& command, int replyLength, TransferReplyHandler onReply) override {
    lastReplyLength = replyLength;
    attempted.push_back(command);
    if (!linked || refuseAll) return false;
    if (acceptLimit >= 0 && static_cast<int>(accepted.size()) >= acceptLimit) return false;
    accepted.push_back(command);
    if (replyLength > 0) waiting.push_back(Request{command, replyLength, std::move(onReply)});
    return true;
  }
  bool IsLinked() const override { return linked; }

  // Answers the head request with `reply`; false when nothing waits.
  bool Reply(const QByteArray& reply) {
    if (waiting.empty()) return false;
    Request head = std::move(waiting.front());
    waiting.pop_front();
    answered.push_back(head.command);
    if (head.handler) head.handler(reply);
    return true;
  }
  // What waits behind the head is dropped, then the head gets the
  // substitute; what its handler adds stays queued.
  bool TimeOut() {
    if (waiting.empty()) return false;
    Request head = std::move(waiting.front());
    waiting.clear();
    if (head.handler) head.handler(QByteArray(lastReplyLength, '\0'));
    return true;
  }
  // Answers from `responder` until nothing waits (at most `limit` replies).
  int RunAll(const std::function<QByteArray(const QByteArray& command)>& responder, int limit = 10000) {
    int n = 0;
    while (!waiting.empty() && n < limit) {
      Reply(responder(waiting.front().command));
      ++n;
    }
    return n;
  }
  QByteArray Head() const { return waiting.empty() ? QByteArray() : waiting.front().command; }
  int HeadLength() const { return waiting.empty() ? -1 : waiting.front().replyLength; }

  bool linked = true;
  bool refuseAll = false;
  // Accepts at most this many requests in all (-1: no limit), like a queue
  // that fills up.
  int acceptLimit = -1;
  std::vector<QByteArray> attempted;  // every AddTransfer call, refused ones included
  int lastReplyLength = 0;
  std::vector<QByteArray> accepted;
  std::vector<QByteArray> answered;
  std::deque<Request> waiting;
};

}  // namespace ulv::test
