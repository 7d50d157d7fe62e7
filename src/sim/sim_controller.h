#pragma once
// The controller's side of the 401 nibble exchange, byte by byte and without
// any I/O: feed the tool's byte, get the controller's answer byte.
//
// The tool's bytes: 0xF0 is the reset request (answered with 0xF0; it drops a
// half-assembled request and every reply byte not yet sent). Otherwise the
// low four bits are data and the high four are flags: 0x40 idle (no data),
// 0x20 the nibble completes a byte (without it the nibble is a high nibble),
// 0x10 a repetition that replaces the previous nibble instead of adding one.
// Whole bytes make request messages: the header's low nibble is the number of
// bytes that follow; a header 0xF0 is followed by a byte whose high nibble
// plus one counts the bytes after that (messages of up to 18 bytes).
//
// The controller's bytes: each reply byte goes out as its high nibble (flags
// 0) and then its low nibble with 0x20; 0x40 when it has nothing to send. A
// reply can start in the answer to the byte that completed its request.
//
// A repetition the controller did not ask for means the tool missed the
// controller's last answer (its line time-out cleared what it had half
// received), so the byte that answer belonged to is sent again whole.
#include <QByteArray>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include "sim/plant_model.h"

namespace ulv {

struct SimFaults {
  bool silent = false;   // answers nothing and sends no idle byte
  int corruptEvery = 0;  // every Nth answer has its data bits inverted (0: never)
  int dropEvery = 0;     // every Nth answer is lost on the way to the tool
  int repeatEvery = 0;   // every Nth answer asks the tool to repeat (flag 0x80)
};

class SimController {
public:
  static constexpr uint8_t kReset = 0xF0;
  static constexpr uint8_t kIdle = 0x40;
  static constexpr uint8_t kLowNibble = 0x20;
  static constexpr uint8_t kRepeat = 0x10;
  static constexpr uint8_t kRepeatRequest = 0x80;
  static constexpr uint8_t kLongHeader = 0xF0;

  explicit SimController(PlantModel& plant) : plant_(plant) {}

  // One byte from the tool; the answer, or nothing (silence, a lost answer).
  std::optional<uint8_t> Feed(uint8_t toolByte);
  // Feeds every byte; the answers that were sent, in order.
  QByteArray FeedAll(const QByteArray& toolBytes);
  // The byte a controller sends on its own after the tool has been silent
  // (how a real controller starts the exchange); nothing while silent.
  std::optional<uint8_t> IdleTick();

  void SetFaults(const SimFaults& f) { faults_ = f; }
  const SimFaults& Faults() const { return faults_; }
  // One-shot faults on the next answer.
  void CorruptNext() { corruptNext_ = true; }
  void DropNext() { dropNext_ = true; }
  void RepeatNext() { repeatNext_ = true; }

  // Every complete request, before the plant answers it (for a request log).
  std::function<void(const QByteArray& request)> OnRequest;

  PlantModel& Plant() { return plant_; }
  int64_t Turns() const { return turns_; }
  int64_t Requests() const { return requests_; }
  int64_t Resets() const { return resets_; }
  // Reply bytes still to send (a half-sent byte counts).
  int PendingReplyBytes() const { return static_cast<int>(out_.size()); }
  bool AssemblingRequest() const { return !req_.isEmpty() || high_.has_value(); }

private:
  enum class Sent { Nothing, Idle, High, Low, Reset };

  void TakeNibble(uint8_t toolByte);
  void AddRequestByte(uint8_t b);
  void UndoLastAnswer();
  uint8_t NextOutput();
  std::optional<uint8_t> ApplyFaults(uint8_t answer);

  PlantModel& plant_;
  SimFaults faults_;
  bool corruptNext_ = false;
  bool dropNext_ = false;
  bool repeatNext_ = false;

  // Request assembly.
  std::optional<uint8_t> high_;
  bool lastWasLow_ = false;
  QByteArray req_;
  int reqLength_ = 0;

  // Reply output.
  std::deque<uint8_t> out_;
  bool lowPending_ = false;
  Sent lastSent_ = Sent::Nothing;
  uint8_t lastLowByte_ = 0;
  int repeatWindow_ = 0;  // tool bytes within which a repetition was asked for

  int64_t turns_ = 0;
  int64_t answers_ = 0;
  int64_t requests_ = 0;
  int64_t resets_ = 0;
};

}  // namespace ulv
