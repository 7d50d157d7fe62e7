#pragma once
// Test rig of the link layer: a serial port on one end of an in-memory line,
// the line port on top, and a small scripted controller on the other end that
// plays the controller's side of the nibble exchange.
#include <QStringList>
#include <functional>
#include <vector>

#include "common/log_hooks.h"
#include "common/virtual_clock.h"
#include "link/com_port.h"
#include "link/fake_transfers.h"
#include "link/line_port.h"
#include "link/memory_line.h"

using namespace Qt::StringLiterals;

namespace ulv::test {

// The controller's side: answers every byte of the tool with exactly one
// byte. Tool bytes: 0xF0 is the reset (answered with 0xF0), 0x40 carries no
// data, a byte without 0x20 carries a high nibble, one with 0x20 completes a
// byte. Reply bytes go out as the high nibble (no flags), then the low nibble
// with 0x20; 0x40 when there is nothing to send.
class ScriptedController {
public:
  explicit ScriptedController(MemoryLine& end) : end_(end) {
    end_.OnDataAvailable = [this] {
      for (char c : end_.Read(end_.BytesAvailable())) Turn(static_cast<uint8_t>(c));
    };
  }
  ~ScriptedController() { end_.OnDataAvailable = nullptr; }

  // The plant: the reply to a complete request (empty: no reply).
  std::function<QByteArray(const QByteArray& request)> Plant;
  std::vector<QByteArray> Requests;  // complete requests, in order

private:
  void Turn(uint8_t b) {
    if (b == 0xF0) {
      request_.clear();
      high_ = -1;
      pendingLow_ = false;  // a half-sent reply byte goes out whole again
      return Send(0xF0);
    }
    if ((b & 0x60) == 0) {
      high_ = b & 0x0F;
    } else if ((b & 0x60) == 0x20 && high_ >= 0) {
      AddRequestByte(static_cast<uint8_t>(high_ << 4 | (b & 0x0F)));
      high_ = -1;
    }
    if (pendingLow_) {
      pendingLow_ = false;
      Send(0x20 | (out_[0] & 0x0F));
      out_.remove(0, 1);
    } else if (!out_.isEmpty()) {
      pendingLow_ = true;
      Send(static_cast<uint8_t>(out_[0]) >> 4);
    } else {
      Send(0x40);
    }
  }

  void AddRequestByte(uint8_t b) {
    if (request_.isEmpty()) expected_ = (b & 0x0F) + 1;
    request_.append(static_cast<char>(b));
    if (request_.size() < expected_) return;
    Requests.push_back(request_);
    if (Plant) out_.append(Plant(request_));
    request_.clear();
  }

  void Send(uint8_t b) { end_.Write(QByteArray(1, static_cast<char>(b))); }

  MemoryLine& end_;
  QByteArray request_;
  QByteArray out_;
  int expected_ = 0;
  int high_ = -1;
  bool pendingLow_ = false;
};

struct LinkRig {
  VirtualClock clock;
  LogHooks logs;
  MemoryLine toolEnd;
  MemoryLine ctlEnd;
  ComPort port{toolEnd, logs, clock, clock};
  LinePort line{port, clock};
  ScriptedController ctl{ctlEnd};
  QStringList logLines;

  LinkRig() {
    MemoryLine::Connect(toolEnd, ctlEnd);
    ctlEnd.Open(u"controller"_s, nullptr);
    port.DeviceForCom = [](int n) { return u"mem:com%1"_s.arg(n); };
    line.ComPortNumber = [] { return 1; };
    logs.WriteLogHook = [this](const QString& l) { logLines << l; };
  }

  // Bytes the tool has written since the last call (the scripted controller
  // sees them only when Run pumps its end).
  QByteArray Written() { return ctlEnd.Read(ctlEnd.BytesAvailable()); }

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
