// The 401 receive path: arbitrary controller bytes through the in-memory
// line into the line port and the transfer queue, with virtual time advanced
// by the input and requests queued by it. Invariants: see link_fuzz_rig.h.
#include "link_fuzz_rig.h"

using namespace ulv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  fuzz::LinkFuzzRig rig(in.Byte() & 1);
  rig.ControllerSends(QByteArray(1, '\xF0'));  // the answer to the reset request
  while (!in.Empty()) {
    const uint8_t op = in.Byte();
    switch (op & 7) {
      case 0:
      case 1:
      case 2:
      case 3:  // one controller byte per turn, as a real controller sends
        rig.ControllerSends(in.Bytes(1));
        break;
      case 4:  // several bytes in one delivery
        rig.ControllerSends(in.Bytes(op >> 3));
        break;
      case 5:  // time passes: line watch, reply time-out, overflow wait
        rig.Advance(in.Word() % 6000);
        break;
      case 6: {  // a reader queues a request
        const QByteArray command = in.Bytes((op >> 3) % 6 + 1);
        const uint8_t length = in.Byte();
        rig.Add(command, length % 20, length >> 6);
        break;
      }
      default:  // the user or the port
        switch ((op >> 3) % 8) {
          case 0: rig.line.Restart(); break;
          case 1: rig.line.AbortExchange(); break;
          case 2: rig.queue.FlushQueue(); break;
          case 3: rig.toolEnd.Vanish(); break;
          case 4: rig.toolEnd.Reappear(); break;
          case 5: rig.line.LineToggle(rig.port.IsOpen()); break;
          case 6: rig.line.SetLineTimeout(200 + in.Word() % 10000); break;
          default: (void)rig.line.TakeLineData(); break;
        }
        rig.CheckQueue();
        break;
    }
  }
  return 0;
}
