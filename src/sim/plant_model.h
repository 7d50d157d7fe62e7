#pragma once
// The controller's side of the request families: takes one complete request
// message and gives the reply message (header 0xF0 + number of bytes that
// follow), or no reply. Requests it does not know get no reply, as a real
// controller ignores them; the tool's queue then ends them with its time-out.
#include <QByteArray>
#include <cstdint>
#include <functional>
#include <optional>

#include "sim/firmware_model.h"
#include "sim/scenario.h"
#include "sim/system_records_model.h"
#include "sim/stream_model.h"

namespace ulv {

class PlantModel {
public:
  explicit PlantModel(Scenario scenario = DefaultScenario());

  std::optional<QByteArray> Answer(const QByteArray& request);

  const Scenario& Plant() const { return plant_; }
  // What the tool wrote last (0 / empty until written).
  uint16_t TimeValue() const { return timeValue_; }
  uint16_t DayValue() const { return dayValue_; }
  uint16_t Word16() const { return word16_; }
  QByteArray Hex32Nibbles() const { return hex32_; }
  int RequestCount() const { return requests_; }
  int UnknownCount() const { return unknown_; }
  QByteArray LastRequest() const { return lastRequest_; }
  // The system records family (set up from the scenario's "system").
  SimSystemRecords& System() { return system_; }
  // The event stream family (set up from the scenario's "stream").
  SimStream& Stream() { return stream_; }

  // A reply held back by a late fault: it goes out when the next request
  // comes, unless a reset drops it like every reply not yet sent.
  std::optional<QByteArray> TakeHeldReply();
  void DropHeldReply() { held_.reset(); }

  // Families added later answer here before a request counts as unknown.
  std::function<std::optional<QByteArray>(const QByteArray& request)> OnOtherRequest;

private:
  std::optional<QByteArray> Reply(const QByteArray& request);
  // The scenario's fault on this request, counted per request kind.
  std::optional<SimReplyFault> FaultFor(const QByteArray& request);
  QByteArray ErrorRecordReply(int k) const;
  QByteArray TextReply(const QByteArray& text) const;

  Scenario plant_;
  SimSystemRecords system_;
  SimStream stream_;
  SimFirmware firmware_;
  uint16_t timeValue_ = 0;
  uint16_t dayValue_ = 0;
  uint16_t word16_ = 0;
  QByteArray hex32_;
  int requests_ = 0;
  int unknown_ = 0;
  QByteArray lastRequest_;
  std::optional<QByteArray> held_;
  int seen_[6] = {};  // requests of each SimRequestKind so far
};

}  // namespace ulv
