#pragma once
// Test rig of the link layer: a serial port on one end of an in-memory line,
// the line port on top, and the simulated controller on the other end.
#include <QStringList>
#include <functional>
#include <vector>

#include "common/log_hooks.h"
#include "common/virtual_clock.h"
#include "link/com_port.h"
#include "link/fake_transfers.h"
#include "link/line_port.h"
#include "link/memory_line.h"
#include "sim/plant_model.h"
#include "sim/sim_controller.h"

using namespace Qt::StringLiterals;

namespace ulv::test {

// The controller on the other end: the simulated controller, fed byte by
// byte as its end of the in-memory line delivers them.
class SimEnd {
public:
  SimEnd(MemoryLine& end, Scenario scenario) : end_(end), plant_(std::move(scenario)), ctl_(plant_) {
    ctl_.OnRequest = [this](const QByteArray& request) { Requests.push_back(request); };
    end_.OnDataAvailable = [this] {
      for (char c : end_.Read(end_.BytesAvailable())) {
        if (std::optional<uint8_t> a = ctl_.Feed(static_cast<uint8_t>(c)))
          end_.Write(QByteArray(1, static_cast<char>(*a)));
      }
    };
  }
  ~SimEnd() { end_.OnDataAvailable = nullptr; }

  SimController& Controller() { return ctl_; }
  std::vector<QByteArray> Requests;  // complete requests, in order

private:
  MemoryLine& end_;
  PlantModel plant_;
  SimController ctl_;
};

struct LinkRig {
  VirtualClock clock;
  LogHooks logs;
  MemoryLine toolEnd;
  MemoryLine ctlEnd;
  ComPort port{toolEnd, logs, clock, clock};
  LinePort line{port, clock};
  SimEnd ctl;
  QStringList logLines;

  explicit LinkRig(Scenario scenario = DefaultScenario()) : ctl(ctlEnd, std::move(scenario)) {
    MemoryLine::Connect(toolEnd, ctlEnd);
    ctlEnd.Open(u"controller"_s, nullptr);
    port.DeviceForCom = [](int n) { return u"mem:com%1"_s.arg(n); };
    line.ComPortNumber = [] { return 1; };
    logs.WriteLogHook = [this](const QString& l) { logLines << l; };
  }

  // Bytes the tool has written since the last call (the scripted controller
  // sees them only when Run pumps its end).
  QByteArray Written() { return ctlEnd.Read(ctlEnd.BytesAvailable()); }

  // Starts the line as a lamp click does and answers its reset request; the
  // tool's bytes so far (the reset request and its first byte after it).
  QByteArray Start() {
    line.LineToggle(false);
    const QByteArray reset = Written();
    return reset + Answer(0xF0);
  }

  // One turn driven by hand: the controller's byte arrives, the tool answers.
  QByteArray Answer(uint8_t b) {
    ctlEnd.Write(QByteArray(1, static_cast<char>(b)));
    toolEnd.Pump();
    return Written();
  }
  // A whole byte from the controller: high nibble, then low nibble with 0x20.
  void AnswerByte(uint8_t b) {
    Answer(b >> 4);
    Answer(0x20 | (b & 0x0F));
  }

  // Lets the scripted controller and the tool exchange up to `turns` bytes
  // each; returns the number of turns that happened.
  int Run(int turns) {
    int n = 0;
    for (; n < turns; ++n) {
      if (!ctlEnd.Pump()) break;
      toolEnd.Pump();
    }
    return n;
  }
};

}  // namespace ulv::test
