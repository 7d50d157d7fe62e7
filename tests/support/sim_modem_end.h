#pragma once
// Test rig part: the simulated modem with its framed partner on the
// controller's end of an in-memory line, in virtual time. The tool's bytes
// reach the modem at the next clock advance (Advance(0) is enough); the
// modem's bytes are written when they fall due, as the clock's timers fire.
// After every step the tool's end gets the modem's lines (DCD, DSR, RI), and
// the tool end's DTR goes to the modem.
#include <QByteArray>
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "common/virtual_clock.h"
#include "link/memory_line.h"
#include "sim/plant_model.h"
#include "sim/sim_modem.h"

namespace ulv::test {

class SimModemEnd {
public:
  SimModemEnd(MemoryLine& ctlEnd, MemoryLine& toolEnd, VirtualClock& clock, Scenario scenario = DefaultScenario(),
              SimModemOptions options = {})
      : ctl_(ctlEnd), tool_(toolEnd), clock_(clock), plant_(std::move(scenario)), modem_(plant_, std::move(options)),
        feed_(clock.CreateTimer()), due_(clock.CreateTimer()) {
    MemoryLine::Connect(ctl_, tool_);
    if (!ctl_.IsOpen()) ctl_.Open(QStringLiteral("modem"), nullptr);
    ctl_.SetDelivery(MemoryLine::Delivery::Immediate);
    modem_.OnRequest = [this](const QByteArray& request) { Requests.push_back(request); };
    feed_->SetSingleShot(true);
    feed_->OnTimeout = [this] {
      const QByteArray in = ctl_.Read(ctl_.BytesAvailable());
      Received += in;
      Send(modem_.Feed(in, clock_.ElapsedMs()));
    };
    // Taken on the next advance, never inside the tool's own write.
    ctl_.OnDataAvailable = [this] {
      if (!feed_->IsActive()) feed_->Start(0);
    };
    due_->SetSingleShot(true);
    due_->OnTimeout = [this] { Send(modem_.Tick(clock_.ElapsedMs())); };
    tool_.OnDtrChanged = [this](bool on) {
      modem_.SetDtr(on, clock_.ElapsedMs());
      Send({});
    };
    Send({});
  }
  ~SimModemEnd() {
    ctl_.OnDataAvailable = nullptr;
    tool_.OnDtrChanged = nullptr;
  }
  SimModemEnd(const SimModemEnd&) = delete;
  SimModemEnd& operator=(const SimModemEnd&) = delete;

  SimModem& Modem() { return modem_; }
  PlantModel& Plant() { return plant_; }
  std::vector<QByteArray> Requests;  // request messages that came in frames, in order
  QByteArray Received;               // every byte the tool sent
  QByteArray Sent;                   // every byte the modem sent

private:
  void Send(const QByteArray& bytes) {
    if (!bytes.isEmpty()) {
      Sent += bytes;
      ctl_.Write(bytes);
    }
    tool_.SetLines(modem_.Lines());
    if (const std::optional<int64_t> due = modem_.NextDueMs()) {
      due_->Start(static_cast<int>(std::max<int64_t>(0, *due - clock_.ElapsedMs())));
    } else {
      due_->Stop();
    }
  }

  MemoryLine& ctl_;
  MemoryLine& tool_;
  VirtualClock& clock_;
  PlantModel plant_;
  SimModem modem_;
  std::unique_ptr<Timer> feed_;
  std::unique_ptr<Timer> due_;
};

}  // namespace ulv::test
