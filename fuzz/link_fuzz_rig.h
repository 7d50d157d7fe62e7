#pragma once
// The tool's side of the link as the link tests wire it: the serial port on
// one end of an in-memory line, the line port, the transfer queue, and
// virtual time. The fuzz input plays the controller's end, the clock and the
// readers that queue requests. Invariants: the queue never holds more than
// its 50 entries, every request's handler runs at most once, and a handler
// gets either a whole controller message (F0 + length - 1 first) or the
// time-out's substitute (zero bytes, at most 32).
#include <QByteArray>
#include <vector>

#include "common/log_hooks.h"
#include "common/virtual_clock.h"
#include "fuzz_support.h"
#include "link/com_port.h"
#include "link/line_port.h"
#include "link/memory_line.h"
#include "link/transfer_queue.h"

namespace ulv::fuzz {

class LinkFuzzRig {
public:
  explicit LinkFuzzRig(bool trace) {
    MemoryLine::Connect(toolEnd, ctlEnd);
    ctlEnd.Open(QStringLiteral("controller"), nullptr);
    port.DeviceForCom = [](int n) { return QStringLiteral("mem:com%1").arg(n); };
    line.ComPortNumber = [] { return 1; };
    // The serial trace and the transfer log format every byte: worth running.
    if (trace) logs.SetReports(QStringLiteral("00010000011"));
    logs.WriteLogHook = [](const QString&) {};
    queue.SetTransport(false);
    line.Restart();
  }

  // Queues a request; its handler counts its calls, checks the reply and,
  // when `chain`, queues one more request as the system readers do.
  void Add(const QByteArray& command, int replyLength, int chain) {
    const size_t id = calls_.size();
    calls_.push_back(0);
    queue.AddTransfer(command, replyLength, [this, id, replyLength, chain, command](const QByteArray& reply) {
      Check(++calls_[id] == 1, "a handler ran twice");
      Check(replyLength > 0, "a handler of a request without reply ran");
      CheckReply(reply);
      if (chain > 0) Add(command, replyLength, chain - 1);
    });
    CheckQueue();
  }

  // Off when the input dispatches replies itself, whatever their bytes.
  bool strictReplies = true;

  void CheckQueue() const { Check(queue.Count() <= TransferQueue::kMaxEntries, "queue holds more than 50"); }

  // The controller sends `bytes` in one delivery; the tool's bytes so far are
  // dropped (nobody plays a real controller here).
  void ControllerSends(const QByteArray& bytes) {
    ctlEnd.Write(bytes);
    toolEnd.Pump();
    ctlEnd.Read(ctlEnd.BytesAvailable());
    CheckQueue();
  }

  void Advance(int ms) {
    clock.Advance(ms);
    ctlEnd.Read(ctlEnd.BytesAvailable());
    CheckQueue();
  }

  VirtualClock clock;
  LogHooks logs;
  MemoryLine toolEnd;
  MemoryLine ctlEnd;
  ComPort port{toolEnd, logs, clock, clock};
  LinePort line{port, clock};
  TransferQueue queue{port.Link(), line, logs, clock, clock};

private:
  void CheckReply(const QByteArray& reply) const {
    if (!strictReplies) return;
    if (reply.isEmpty() || reply.count('\0') == reply.size()) {
      Check(reply.size() <= 32, "substitute reply longer than 32");
      return;
    }
    const auto head = static_cast<uint8_t>(reply.at(0));
    Check(head >= 0xF0 && reply.size() == (head & 0x0F) + 1, "reply is no whole controller message",
          QString::fromLatin1(reply.toHex(' ')));
  }

  std::vector<int> calls_;
};

}  // namespace ulv::fuzz
