#pragma once
// TNewCom: the framed transport. A frame goes out as SOH, the partner's ACK,
// then STX LEN BODY CHK and the partner's ACK; the partner sends its frames
// the same way. Used by the modem link (synchronisation, partner name) and by
// the transfer queue in mode 1. One exchange runs at a time.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "common/timer.h"
#include "link/com_port.h"

namespace ulv {

class TNewCom {
public:
  static constexpr uint8_t SOH = 0x01;
  static constexpr uint8_t STX = 0x02;
  static constexpr uint8_t ACK = 0x06;
  static constexpr uint8_t NAK = 0x15;
  // No exchange, and no request, waits longer than this for its end.
  static constexpr int kReplyBoundMs = 5000;
  // A partner frame that grows beyond this is refused.
  static constexpr int kMaxRxFrame = 300;

  enum State { Idle = 0, SohSent = 1, FrameSent = 2, Receiving = 3, NakBackoff = 5 };

  using FrameHandler = std::function<void(const QByteArray& payload)>;
  using TextHandler = std::function<void(const QByteArray& text)>;

  TNewCom(ComPort& port, TimerFactory& timers);
  ~TNewCom();
  TNewCom(const TNewCom&) = delete;
  TNewCom& operator=(const TNewCom&) = delete;

  static QByteArray RequestHeader() { return QByteArray("\x28\xFF\xFF", 3); }
  static QByteArray PartnerReplyHeader() { return QByteArray("\x28\xFF\x91", 3); }
  // LEN, BODY, CHK for a body (CHK = sum of LEN and BODY, minus 1).
  static QByteArray FrameOfBody(const QByteArray& body);
  // A controller message as a request frame (request header in front).
  static QByteArray BuildFrame(const QByteArray& message);
  // The partner notification (02 03 0C 05 13 on the wire) and the partner
  // name request (02 04 28 FF 90 BA), without their STX.
  static QByteArray NotifyFrame();
  static QByteArray NameRequestFrame();
  // The data of a reply payload: without the request header and the CHK.
  // `error` is set when the payload does not carry the request header. A
  // payload too short for any data gives empty data.
  static QByteArray ParseReply(const QByteArray& payload, bool* error);

  bool SendFrame(const QByteArray& frame, FrameHandler onFrame);
  bool SendFrameWithReturn(const QByteArray& frame, TextHandler onSent);
  // Mode 1 of the transfer queue: the reply's data (or an error text) goes to
  // onReply exactly once.
  bool SendRequest(const QByteArray& message, TextHandler onReply);
  void ResetProtocol();

  int State() const { return state_; }
  QByteArray MatchHeader() const { return matchHeader_; }
  void SetMatchHeader(const QByteArray& header) { matchHeader_ = header.left(3); }
  bool ReplyTimerActive() const;
  bool ProtocolTimerActive() const;
  QByteArray RxBuffer() const { return rxBuffer_; }
  QByteArray RxFrame() const { return rxFrame_; }
  // Whether the serial port's receive hook is this protocol's.
  bool OwnsReceiveHook() const;

  // Error procedure of the adaptor and the modem link.
  TextHandler OnError;
  // A frame exchange ran past kReplyBoundMs (after the reset, before OnError).
  std::function<void()> OnExchangeTimeout;
  // A reset dropped a request or an acknowledged-frame wait before its end.
  std::function<void()> OnAbandoned;
  // The protocol's own log lines.
  std::function<void(const QString& line)> OnLog;

private:
  struct Hook;
  bool LineTaken() const;
  void LogWrongCheck(const QByteArray& payload) const;
  void Receive(int count);
  void Feed(uint8_t b);
  void StartReceiving();
  // SendFrame's exchange, once the line is known to be free.
  void StartFrame(const QByteArray& frame, FrameHandler onFrame);
  bool FindFrame(QByteArray* payload) const;
  void ProtocolTimerExpired();
  void ReplyTimerExpired();
  void Adaptor(const QByteArray& payload);
  void Timer(int ms);
  void Send(uint8_t b) { port_.SendByte(b); }
  void Log(const QString& line) const;
  // Takes and removes the first byte of the receive buffer.
  uint8_t TakeFirst();

  ComPort& port_;
  std::unique_ptr<ulv::Timer> protocolTimer_;
  std::unique_ptr<ulv::Timer> replyTimer_;
  int state_ = Idle;
  QByteArray txFrame_;
  QByteArray rxBuffer_;
  QByteArray rxFrame_;
  QByteArray matchHeader_ = RequestHeader();
  FrameHandler onFrame_;
  TextHandler onSent_;
  TextHandler onReply_;
  // Bumped by every reset: a handler running late sees it changed.
  uint64_t generation_ = 0;
};

}  // namespace ulv
