#pragma once
// A Hayes modem with the controller's framed partner behind it, as pure logic
// without I/O or threads: the caller hands in the tool's bytes and the time,
// and sends back what comes out. Time is explicit (milliseconds on any fixed
// origin), so tests run it in virtual time and the pty simulator in real time.
//
// Command state: echo on at start (ATE0/ATE1), verbose answers ("\r\nOK\r\n")
// or numeric ones (ATV0: "0\r"), AT, ATE, ATV, ATQ/X/M/L/Z/H, AT&F/&C/&D/&K/&W,
// ATIn (0..10), ATSn? and ATSn=v, ATD[T|P]number. A dial ends after a delay
// with CONNECT 9600 (carrier on, data mode), BUSY, NO CARRIER, NO DIALTONE or
// nothing; any byte while dialling aborts it with NO CARRIER. DTR low for
// 1000 ms while dialling or connected hangs up (carrier off, NO CARRIER).
//
// Data mode: every byte goes to the framed partner. Wire: SOH 01, STX 02,
// ACK 06, NAK 15; a frame is STX LEN BODY CHK with LEN = len(BODY) + 1 and
// CHK = (sum of LEN and BODY - 1) mod 256. Bytes before SOH are ignored; SOH
// is answered ACK and an STX is awaited for 200 ms, after which NAK NAK
// follows (so the tool's lone sync byte 01 gets 06 15 15). A frame with an
// absurd LEN, a wrong CHK or not complete within 1000 ms gets NAK; an
// accepted one ACK, and then: 0C 05 (notify) nothing more, 28 FF 90 the name
// frame 28 FF 91 name 00, 28 FF FF + request the plant's reply as 28 FF FF +
// reply (nothing for a request the plant does not answer). The partner's own
// frames go out as SOH, the tool's ACK (1000 ms, five tries), the frame, the
// tool's ACK (NAK: again from SOH; 1000 ms: given up).
#include <QByteArray>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "link/serial_line.h"
#include "sim/plant_model.h"

namespace ulv {

enum class SimDialResult { Connect, Busy, NoCarrier, NoDialtone, Silence };

// The phase of a modem session in which a carrier-drop fault strikes: Dial
// right after CONNECT, Sync at the first SOH, Notify / Name / Request when
// that frame from the tool has come in (instead of its ACK).
enum class SimModemPhase { None, Dial, Sync, Notify, Name, Request };

// Faults of the framed partner; counts run per connection.
struct SimPartnerFaults {
  int nakFirst = 0;         // the first n frames from the tool get NAK
  bool nakAlways = false;   // every frame from the tool gets NAK
  bool noAck = false;       // after the first sync answer the tool's SOH gets no ACK
  bool wrongChk = false;    // the partner's frames carry a CHK one too high
  int frameLen = -1;        // 0..4: the partner's frames carry this LEN (body cut to fit)
  int splitChunk = 0;       // > 0: the partner's frames leave in chunks of this many bytes
  QByteArray garbage;       // sent before the STX of each partner frame
  bool silent = false;      // data mode answers nothing at all
  bool ignoreName = false;  // the name request is ACKed but never answered
  bool ackEveryByte = false;  // every byte in data mode gets ACK and nothing else
  SimModemPhase dropCarrierIn = SimModemPhase::None;
  int lateReplies = 0;      // the first n replies leave lateReplyMs after their request
};

struct SimModemOptions {
  SimDialResult dialResult = SimDialResult::Connect;
  int dialDelayMs = 300;
  bool numeric = false;       // start with numeric answers (ATV0)
  bool splitAnswers = false;  // every answer leaves in two chunks, splitGapMs apart
  int splitGapMs = 5;
  int rings = 0;              // RING lines in command state, ringIntervalMs apart from ringIntervalMs on
  int ringIntervalMs = 3000;
  QByteArray partnerName = "ULV4711";  // characters '0'..'z' only
  int replyDelayMs = 20;      // from the ACK of a frame to the SOH of the answer frame
  int lateReplyMs = 6000;     // past the tool's 5000 ms bound
  int frameGapMs = 5;         // between the chunks of a split frame
  int dropAfterConnectMs = 100;  // carrier-drop fault in the dial phase
  SimPartnerFaults faults;
};

class SimModem {
public:
  static constexpr uint8_t kSoh = 0x01;
  static constexpr uint8_t kStx = 0x02;
  static constexpr uint8_t kAck = 0x06;
  static constexpr uint8_t kNak = 0x15;
  static constexpr int kHangUpDtrMs = 1000;
  static constexpr int kStxWaitMs = 200;
  static constexpr int kFrameWaitMs = 1000;
  static constexpr int kAckWaitMs = 1000;
  static constexpr int kSohTries = 5;
  static constexpr int kMaxLen = 64;

  enum class State { Command, Dialling, Online };

  explicit SimModem(PlantModel& plant, SimModemOptions options = {});

  // The tool's bytes at nowMs; returns the bytes due to the tool by then.
  QByteArray Feed(const QByteArray& toolBytes, int64_t nowMs);
  // Runs what fell due up to nowMs; returns the bytes due by then.
  QByteArray Tick(int64_t nowMs);
  // When Tick has something to do next (bytes or a time-out); nothing when idle.
  std::optional<int64_t> NextDueMs() const;
  // The tool's DTR line (on until told otherwise). What a hang-up sends
  // comes with the next Tick.
  void SetDtr(bool on, int64_t nowMs);
  // The port was closed: DTR is gone for good, so a call ends at once.
  void PortClosed(int64_t nowMs);
  // DSR always on, DCD while connected, RI while a RING is on.
  ModemLines Lines() const;

  void SetFaults(const SimPartnerFaults& faults) { options_.faults = faults; }
  const SimModemOptions& Options() const { return options_; }
  State CurrentState() const { return state_; }
  QByteArray DialledNumber() const { return dialled_; }
  bool Echo() const { return echo_; }
  // Frames from the tool that passed LEN and CHK in this connection.
  int FramesAccepted() const { return framesAccepted_; }

  // Every request message that came in a frame, before the plant answers it.
  std::function<void(const QByteArray& request)> OnRequest;

  // STX LEN BODY CHK for a body.
  static QByteArray Frame(const QByteArray& body);
  static uint8_t Checksum(const QByteArray& lenAndBody);
  // Whether a partner name uses only the characters '0'..'z' (and is not empty).
  static bool ValidPartnerName(const QByteArray& name);

private:
  enum class Result { Ok, Connect, Ring, NoCarrier, Error, NoDialtone, Busy };
  enum class Partner { Idle, WaitStx, InFrame, SohSent, FrameSent };
  enum class Event { None, Dial, Drop, Dtr, Ring, RingOff, PartnerTimeout, SendNext };
  struct Out {
    int64_t dueMs;
    QByteArray bytes;
  };
  struct Outgoing {
    int64_t dueMs;
    QByteArray body;
  };

  std::pair<Event, int64_t> NextEvent() const;
  void RunDue(int64_t nowMs);
  void Fire(Event e, int64_t at);
  QByteArray TakeDue(int64_t nowMs);
  int64_t SendAt(int64_t at, const QByteArray& bytes);
  void SendAnswer(int64_t at, const QByteArray& text);
  void SendResult(int64_t at, Result r);

  void CommandByte(uint8_t b, int64_t at);
  void ExecuteLine(int64_t at);
  bool RunCommands(const QByteArray& cmds, std::vector<QByteArray>* info, std::optional<QByteArray>* dial);
  void DialDone(int64_t at);
  void HangUp(int64_t at);

  void PartnerByte(uint8_t b, int64_t at);
  void AckSoh(int64_t at);
  void FrameDone(int64_t at);
  void Queue(int64_t dueMs, const QByteArray& body);
  void SendSoh(int64_t at);
  QByteArray PartnerFrame(const QByteArray& body) const;
  void PartnerTimeout(int64_t at);
  void ResetPartner();

  PlantModel& plant_;
  SimModemOptions options_;
  std::deque<Out> out_;

  // Modem front.
  State state_ = State::Command;
  bool echo_ = true;
  bool numeric_ = false;
  std::array<uint8_t, 256> sregs_{};
  QByteArray line_;
  QByteArray dialled_;
  std::optional<int64_t> dialDue_;
  std::optional<int64_t> dropDue_;
  bool dtr_ = true;
  int64_t dtrLowSince_ = 0;
  int ringsDone_ = 0;
  std::optional<int64_t> ringOffDue_;

  // Framed partner.
  Partner partner_ = Partner::Idle;
  std::optional<int64_t> partnerDue_;
  QByteArray rxFrame_;  // LEN, BODY, CHK of the frame coming in
  std::deque<Outgoing> tx_;
  int sohTries_ = 0;
  bool syncAnswered_ = false;
  bool sohSeen_ = false;
  int framesAccepted_ = 0;
  int naksGiven_ = 0;
  int latesGiven_ = 0;
};

}  // namespace ulv
