#pragma once
// Test rig of the link layer: a serial port on one end of an in-memory line,
// the line port on top, and a small scripted controller on the other end that
// plays the controller's side of the nibble exchange.
#include <QByteArray>
#include <QStringList>
#include <deque>
#include <functional>
#include <initializer_list>
#include <vector>

#include "common/log_hooks.h"
#include "common/virtual_clock.h"
#include "link/com_port.h"
#include "link/line_port.h"
#include "link/memory_line.h"

namespace ulv::test {

inline QByteArray Bytes(std::initializer_list<int> values) {
  QByteArray out;
  for (int v : values) out.append(static_cast<char>(v));
  return out;
}

// The controller's side: answers every byte of the tool with exactly one
// byte. Tool bytes: 0xF0 is the reset (answered with 0xF0), 0x40 carries no
// data, a byte without 0x20 carries a high nibble, one with 0x20 completes a
// byte. Reply bytes go out as the high nibble (no flags), then the low nibble
// with 0x20; 0x40 when there is nothing to send.
class ScriptedController {
public:
  explicit ScriptedController(MemoryLine& end) : end_(end) {
    end_.OnDataAvailable = [this] { OnData(); };
  }
  ~ScriptedController() { end_.OnDataAvailable = nullptr; }

  // The plant: the reply to a complete request (empty: no reply).
  std::function<QByteArray(const QByteArray& request)> Plant;
  // Answers that replace the protocol's for the next turns (-1: no answer).
  std::deque<int> Forced;
  bool Silent = false;

  QByteArray Heard;                  // every byte the tool sent
  std::vector<QByteArray> Requests;  // complete requests, in order

private:
  void OnData() {
    const QByteArray in = end_.Read(end_.BytesAvailable());
    for (char c : in) Turn(static_cast<uint8_t>(c));
  }

  void Turn(uint8_t b) {
    Heard.append(static_cast<char>(b));
    if (b == 0xF0) {
      request_.clear();
      haveHigh_ = false;
      if (pendingLow_) {
        out_.prepend(static_cast<char>(current_));
        pendingLow_ = false;
      }
    } else if ((b & 0x40) == 0) {
      if ((b & 0x20) == 0) {
        high_ = b & 0x0F;
        haveHigh_ = true;
      } else if (haveHigh_) {
        haveHigh_ = false;
        AddRequestByte(static_cast<uint8_t>(high_ << 4 | (b & 0x0F)));
      }
    }
    if (!Forced.empty()) {
      const int f = Forced.front();
      Forced.pop_front();
      if (f >= 0) Send(static_cast<uint8_t>(f));
      return;
    }
    if (Silent) return;
    if (b == 0xF0) {
      Send(0xF0);
    } else if (pendingLow_) {
      pendingLow_ = false;
      Send(0x20 | (current_ & 0x0F));
    } else if (!out_.isEmpty()) {
      current_ = static_cast<uint8_t>(out_[0]);
      out_.remove(0, 1);
      pendingLow_ = true;
      Send(current_ >> 4);
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
  int expected_ = 0;
  int high_ = 0;
  bool haveHigh_ = false;
  QByteArray out_;
  uint8_t current_ = 0;
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
    ctlEnd.Open(QStringLiteral("controller"), nullptr);
    port.DeviceForCom = [](int n) { return QStringLiteral("mem:com%1").arg(n); };
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
