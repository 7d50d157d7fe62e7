// The transfer queue fed arbitrary replies: requests queued and replies
// dispatched in any order, with any bytes and any length, and time-outs in
// between. Invariants: see link_fuzz_rig.h (a reply dispatched here need not
// be a whole message, so the handler count and the fill are checked).
#include "link_fuzz_rig.h"

using namespace ulv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  fuzz::LinkFuzzRig rig(in.Byte() & 1);
  rig.strictReplies = false;
  rig.ControllerSends(QByteArray(1, '\xF0'));
  while (!in.Empty()) {
    const uint8_t op = in.Byte();
    switch (op & 3) {
      case 0: {
        const QByteArray command = in.Bytes((op >> 2) % 8 + 1);
        const uint8_t length = in.Byte();
        rig.Add(command, length % 20, length >> 6);
        break;
      }
      case 1:  // any bytes as a reply
        rig.queue.DispatchReply(in.Bytes(op >> 2));
        rig.CheckQueue();
        break;
      case 2:
        rig.Advance(in.Word() % 9000);
        break;
      default:
        switch ((op >> 2) % 4) {
          case 0: rig.queue.FlushQueue(); break;
          case 1: rig.ControllerSends(in.Bytes(op >> 4)); break;
          case 2: rig.queue.SetTimeout(200 + in.Word() % 9801); break;  // the window's range
          default: rig.line.Restart(); break;
        }
        rig.CheckQueue();
        break;
    }
  }
  return 0;
}
