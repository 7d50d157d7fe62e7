#pragma once
// The line port: the half-duplex 401 nibble exchange with the controller
// (the tool is master: it sends one byte, the controller answers one byte),
// the outgoing message ring, the cutting of received bytes into controller
// messages, and the line watch that decides the link state. Pure logic: the
// window TQel_Form shows its counters and drives its buttons.
#include "common/timer.h"
#include "link/com_port.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace ulv {

struct Record401 {
  static constexpr int kRingSize = 1001;
  uint8_t txRing[kRingSize] = {};
  int writeIndex = 0;
  int readIndex = 0;
  int count = 0;
  uint8_t curByte = 0;
  uint8_t txByte = 0;
  uint8_t rxByte = 0;
  uint8_t rxAcc = 0;
  bool ownRepeat = false;
  bool ownLowNibble = true;
  bool ownIdle = false;
  bool ownError = false;
  bool peerRepeat = false;
  bool peerIdle = false;
  bool peerLowNibble = false;
  bool peerBit4 = false;
  int repeatCount = 0;
  int waitCount = 0;
  int phase = 0;
  bool lineOk = false;
  uint8_t lastRxByte = 0;
  bool byteReceived = false;
};

class LinePort {
public:
  // The receive hook, named so the line port can tell its own from another
  // layer's.
  struct LineHook {
    LinePort* self;
    void operator()(int count) const { self->LineReceive(count); }
  };

  LinePort(ComPort& port, TimerFactory& timers);
  ~LinePort();

  // The COM number LineStart opens (the main window's ComPortNumber).
  std::function<int()> ComPortNumber;

  // Clears the exchange and puts the reset request (0xF0) first: the line
  // always starts with the handshake, so a controller that still holds half
  // a request or a reply from an earlier session starts clean.
  void Init401();
  void Step401();
  void SendMessage(const QByteArray& msg, std::function<void(const QByteArray&)> onMessage);
  QByteArray TakeLineData();

  void LineStart();
  void LineReceive(int count);
  void LineTimerExpired();
  void LineToggle(bool portOpen);
  // "Restart": Init401, then Step401.
  void Restart();
  // Starts the exchange on the port already open (LineToggle without the
  // reopen): Init401, the first byte, the line watch.
  void StartExchange();
  // A request was given up (the queue's time-out): what is left of it in the
  // ring and a half-received reply are dropped, and nothing more is sent
  // before the controller has answered the reset request.
  void AbortExchange();
  // A modem action takes the line: the exchange stops as a lamp click stops
  // it and the receive hook is cleared, so no 401 byte goes into the modem
  // dialogue or a frame. Nothing happens when the line port does not hold
  // the line. It comes back through the lamp or the COM menu.
  void ReleaseLine();
  bool OwnsReceiveHook() const;
  // Mode 1 (framed transport) blocks the line port's writes.
  void SetWritesBlocked(bool blocked) { writesBlocked_ = blocked; }

  const Record401& State() const { return r_; }
  bool LineStopped() const { return lineStopped_; }
  int LineTimeout() const { return lineTimeout_; }
  void SetLineTimeout(int ms);  // 200..10000
  bool LineTimerActive() const;
  int SendCount() const { return sendCount_; }
  int ReadCount() const { return readCount_; }
  int TimeoutCount() const { return timeoutCount_; }
  int LineDataCount() const { return lineDataCount_; }
  // Bytes of the controller message being received (empty between messages).
  QByteArray PartialMessage() const { return msg_; }
  uint32_t LineLedColor() const { return lineLed_; }

  // For the window.
  std::function<void()> OnCountersChanged;
  std::function<void(uint32_t color)> OnLineLed;          // qel_line_led
  std::function<void(const QString& text)> OnPortLabel;   // ComPortLabel
  // Registered with the port's link state by LineStart (the window's link_led).
  LinkLamp* WindowLamp = nullptr;

private:
  void WriteTx();
  void DeliverByte(uint8_t b);
  void DiscardMessages();
  void Reopened();
  void CountersChanged();
  void SetLineLed(uint32_t color);

  ComPort& port_;
  Record401 r_;
  std::unique_ptr<Timer> lineTimer_;
  std::function<void(const QByteArray&)> onMessage_;
  QByteArray msg_;
  int msgRemaining_ = 0;
  QByteArray lineData_;
  int lineDataCount_ = 0;
  bool lineStopped_ = false;
  bool writesBlocked_ = false;
  int lineTimeout_ = 2000;
  int sendCount_ = 0;
  int readCount_ = 0;
  int timeoutCount_ = 0;
  uint32_t lineLed_ = clRed;
  bool hooksInstalled_ = false;
};

}  // namespace ulv
