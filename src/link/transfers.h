#pragma once
// What a reader needs of the transfer queue: queue a request with the reply
// length it expects and a handler. Handlers read replies with ReplyByte()
// (common/bytes.h): a time-out's substitute reply may be short.
#include <QByteArray>
#include <functional>

namespace ulv {

using TransferReplyHandler = std::function<void(const QByteArray& reply)>;

class Transfers {
public:
  virtual ~Transfers() = default;
  // True when queued. ReplyLength 0: no reply is expected and the handler is
  // never called.
  virtual bool AddTransfer(const QByteArray& command, int replyLength, TransferReplyHandler onReply) = 0;
  virtual bool IsLinked() const = 0;
};

}  // namespace ulv
