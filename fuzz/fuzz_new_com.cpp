// The framed transport TNewCom: the frame finder and ParseReply fed whatever
// the partner sends, with virtual time advanced by the input and requests,
// frames and resets from it. Invariants: a request's handler runs at most
// once, and once the reply bound has passed with the line quiet every request
// has had its answer or was dropped by a reset; the frame being received
// never grows past its bound; ParseReply's data is the payload without header
// and CHK, or the whole payload marked as an error.
#include <vector>

#include "common/log_hooks.h"
#include "common/virtual_clock.h"
#include "fuzz_support.h"
#include "link/com_port.h"
#include "link/memory_line.h"
#include "link/new_com.h"

using namespace ulv;

namespace {

void CheckParseReply(const QByteArray& payload) {
  bool error = false;
  const QByteArray data = TNewCom::ParseReply(payload, &error);
  const QByteArray header = TNewCom::RequestHeader();
  fuzz::Check(error != payload.startsWith(header), "ParseReply error flag wrong");
  if (!error)
    fuzz::Check(data == payload.mid(3, payload.size() - 4), "ParseReply data is not the payload's inside");
  else
    fuzz::Check(data.isEmpty() || data == payload, "ParseReply changed a foreign payload");
}

struct Rig {
  VirtualClock clock;
  LogHooks logs;
  MemoryLine tool;
  MemoryLine partner;
  ComPort port{tool, logs, clock, clock};
  TNewCom com{port, clock};
  std::vector<int> calls;
  std::vector<bool> dropped;
  int outstanding = -1;

  Rig() {
    MemoryLine::Connect(tool, partner);
    tool.SetDelivery(MemoryLine::Delivery::Immediate);
    partner.Open(QStringLiteral("partner"), nullptr);
    port.OpenDevice(QStringLiteral("mem:tool"), 1);
    com.OnAbandoned = [this] {
      if (outstanding >= 0) dropped[static_cast<size_t>(outstanding)] = true;
      outstanding = -1;
    };
  }

  void Request(const QByteArray& message, int chain) {
    const int id = static_cast<int>(calls.size());
    calls.push_back(0);
    dropped.push_back(false);
    const bool accepted = com.SendRequest(message, [this, id, message, chain](const QByteArray& reply) {
      fuzz::Check(++calls[static_cast<size_t>(id)] == 1, "a request's handler ran twice");
      if (outstanding == id) outstanding = -1;
      CheckParseReply(reply);
      if (chain > 0) Request(message, chain - 1);
    });
    if (accepted && calls[static_cast<size_t>(id)] == 0) outstanding = id;
  }

  void Check() const {
    fuzz::Check(com.RxFrame().size() <= TNewCom::kMaxRxFrame + 1, "received frame past its bound");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  Rig rig;
  while (!in.Empty()) {
    const uint8_t op = in.Byte();
    switch (op & 7) {
      case 0:
      case 1:
      case 2:  // the partner's bytes
        rig.partner.Write(in.Bytes(op >> 3));
        break;
      case 3:
        rig.clock.Advance(in.Word() % 6000);
        break;
      case 4:
        rig.Request(in.Bytes((op >> 3) % 8 + 1), op >> 6);
        break;
      case 5:
        rig.com.SendFrame(in.Bytes((op >> 3) % 8 + 1), [](const QByteArray& payload) { CheckParseReply(payload); });
        break;
      case 6:
        rig.com.SendFrameWithReturn(in.Bytes((op >> 3) % 8 + 1), [](const QByteArray&) {});
        break;
      default:
        if (op & 8)
          rig.com.ResetProtocol();
        else
          CheckParseReply(in.Bytes(op >> 4));
        break;
    }
    rig.partner.Read(rig.partner.BytesAvailable());
    rig.Check();
  }
  // The line falls quiet: every exchange ends within the reply bound.
  for (int i = 0; i < 4; ++i) rig.clock.Advance(TNewCom::kReplyBoundMs);
  for (size_t id = 0; id < rig.calls.size(); ++id)
    fuzz::Check(rig.calls[id] == 1 || rig.dropped[id], "a request never got its answer",
                QString::number(static_cast<qulonglong>(id)));
  return 0;
}
