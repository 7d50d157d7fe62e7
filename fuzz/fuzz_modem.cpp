// The modem answer parser: arbitrary bytes from the modem through the serial
// port's answer-line assembly into the Hayes driver while it dials, hangs up
// and cancels, with virtual time advanced by the input. Invariants: an answer
// line is never longer than the assembly's bound (256 characters, the last
// byte possibly written as "$hh"); a speed is read only from a CONNECT; a
// dial ends at most once (connected or failed).
#include "common/log_hooks.h"
#include "common/virtual_clock.h"
#include "fuzz_support.h"
#include "link/com_port.h"
#include "link/hayes_modem.h"
#include "link/memory_line.h"

using namespace ulv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  VirtualClock clock;
  LogHooks logs;
  MemoryLine tool;
  MemoryLine modemEnd;
  MemoryLine::Connect(tool, modemEnd);
  tool.SetDelivery(MemoryLine::Delivery::Immediate);
  modemEnd.Open(QStringLiteral("modem"), nullptr);
  ComPort port{tool, logs, clock, clock};
  port.OpenDevice(QStringLiteral("mem:tool"), 1);
  HayesModem modem{port, tool, clock};
  int ends = 0;  // of the last dial
  modem.OnConnected = [&] { ++ends; };
  modem.OnConnectFailed = [&] { ++ends; };
  port.ModemOwnsInput = [&] { return modem.Dialling(); };
  port.OnModemLine = [&](const QString& line) {
    fuzz::Check(line.size() <= ComPort::kModemLineMax + 2, "modem answer line too long", line);
    for (bool numeric : {false, true}) {
      int speed = -1;
      const ModemAnswer answer = ClassifyModemAnswer(line, numeric, &speed);
      fuzz::Check(answer == ModemAnswer::Connect || speed == 0, "a speed from an answer that is no CONNECT", line);
    }
    modem.AnswerLine(line);
  };
  while (!in.Empty()) {
    const uint8_t op = in.Byte();
    switch (op & 7) {
      case 0:
      case 1:
      case 2:
        modemEnd.Write(in.Bytes(op >> 3));
        break;
      case 3:
        clock.Advance(in.Word() * 2);
        break;
      case 4:
        ends = 0;
        (void)modem.Dial(QString::fromLatin1(in.Bytes((op >> 3) % 12)));
        break;
      case 5:
        modem.CancelDial();
        break;
      case 6:
        modem.HangUp();
        break;
      default:
        modem.Initialize();
        break;
    }
    modemEnd.Read(modemEnd.BytesAvailable());
    fuzz::Check(ends <= 1, "a dial ended twice");
  }
  return 0;
}
