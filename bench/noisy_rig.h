#pragma once
// The tool's units against the simulated controller's byte logic on an
// in-memory line in virtual time, with a noise layer on the tool's end that
// corrupts and drops bytes in both directions. Each request family runs as the
// headless command runs it (the same readers and request builders); every
// request the readers queue is watched on its way through the queue: its
// handler is called at most once, within the reply time-out, with the
// controller's reply, a time-out substitute, or (noise that slipped through)
// other bytes. The noisy-line benchmark and its test use it.
#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "common/virtual_clock.h"
#include "context/app_context.h"
#include "context/app_units.h"
#include "diag/memory_debugger.h"
#include "diag/monitor_test.h"
#include "link/memory_line.h"
#include "sim/noisy_line.h"
#include "sim/plant_model.h"
#include "sim/scenario.h"
#include "sim/sim_controller.h"

namespace noisy {

// What the requests of one family came to.
struct Counts {
  int64_t operations = 0;     // commands run (a command may queue several requests)
  int64_t operationsOk = 0;   // ended as succeeded
  int64_t hung = 0;           // commands that never ended
  int64_t requests = 0;       // requests queued
  int64_t replied = 0;        // a reply that was not a time-out substitute
  int64_t timedOut = 0;       // the substitute (every byte zero)
  int64_t dropped = 0;        // discarded by the queue, handler never called
  int64_t refused = 0;        // not queued (link down)
  int64_t late = 0;           // handler called later than the time-out allows
  int64_t calledTwice = 0;    // handler called more than once
  int64_t wrongOutput = 0;    // succeeded, but its output differs from the controller's
  int64_t worstMs = 0;        // longest wait of a request at the head of the queue
};

// Counts every request a reader queues.
class WatchedTransfers : public ulv::Transfers {
public:
  WatchedTransfers(ulv::Transfers& inner, ulv::VirtualClock& clock, int64_t limitMs)
      : inner_(inner), clock_(clock), limitMs_(limitMs) {}
  Counts* counts = nullptr;

  bool AddTransfer(const QByteArray& command, int replyLength, ulv::TransferReplyHandler onReply) override {
    ++counts->requests;
    const uint64_t id = nextId_++;
    Counts* c = counts;
    auto called = std::make_shared<bool>(false);
    ulv::TransferReplyHandler wrapped = [this, id, c, called, onReply](const QByteArray& reply) {
      if (*called) {
        ++c->calledTwice;
        return;
      }
      *called = true;
      Done(id, c, reply);
      if (onReply) onReply(reply);
    };
    if (!inner_.AddTransfer(command, replyLength, replyLength > 0 ? wrapped : onReply)) {
      ++c->refused;
      return false;
    }
    if (replyLength > 0) {
      out_.push_back({id, clock_.ElapsedMs(), c});
    } else {
      --c->requests;  // a request without reply is not watched
    }
    return true;
  }
  bool IsLinked() const override { return inner_.IsLinked(); }

  // Requests still out when their command ended were discarded.
  void Settle() {
    for (const Out& o : out_) ++o.counts->dropped;
    out_.clear();
  }

private:
  struct Out {
    uint64_t id;
    int64_t addedMs;
    Counts* counts;
  };
  void Done(uint64_t id, Counts* c, const QByteArray& reply) {
    // Replies come in order: whatever was queued before this one is gone.
    while (!out_.empty() && out_.front().id != id) {
      ++out_.front().counts->dropped;
      out_.pop_front();
    }
    if (out_.empty()) return;
    const int64_t now = clock_.ElapsedMs();
    const int64_t waited = now - std::max(out_.front().addedMs, lastDoneMs_);
    out_.pop_front();
    lastDoneMs_ = now;
    c->worstMs = std::max(c->worstMs, waited);
    if (waited > limitMs_) ++c->late;
    if (reply.count('\0') == reply.size()) {
      ++c->timedOut;
    } else {
      ++c->replied;
    }
  }

  ulv::Transfers& inner_;
  ulv::VirtualClock& clock_;
  int64_t limitMs_;
  uint64_t nextId_ = 0;
  int64_t lastDoneMs_ = 0;
  std::deque<Out> out_;
};

// A command of one family: started with the end callback it must call once.
struct Family {
  const char* name;
  std::function<bool(std::function<void(bool ok, const QStringList& output)> ended)> start;
};

class Rig {
  // First: the noise layer wraps the tool's end.
  ulv::MemoryLine toolEnd_;
  ulv::MemoryLine ctlEnd_;

public:
  // Rates in bytes per million in each direction.
  Rig(uint32_t seed, int corruptPpm, int dropPpm)
      : noisy(toolEnd_, seed, corruptPpm, dropPpm), plant_(Plant()), controller_(plant_) {
    ulv::MemoryLine::Connect(toolEnd_, ctlEnd_);
    ctlEnd_.Open(QStringLiteral("controller"), nullptr);
    ctx_ = std::make_unique<ulv::AppContext>(&clock, &clock);
    ctx_->config.OnInfoMessage = [](const QString&) {};
    ctx_->Start({dir_.filePath(QStringLiteral("ulvreader")), QStringLiteral("/i=") + dir_.filePath(QStringLiteral("u.INI"))},
                dir_.path());
    units_ = std::make_unique<ulv::AppUnits>(*ctx_, noisy);
    watched_ = std::make_unique<WatchedTransfers>(units_->queue, clock,
                                                  ulv::TransferQueue::kReplyTimeoutMs + kSlackMs);
    ulv::Transfers& t = *watched_;
    utils_ = std::make_unique<ulv::QelUtils>(t, clock);
    identity_ = std::make_unique<ulv::PlantIdentity>(t, *utils_, clock);
    errors_ = std::make_unique<ulv::ErrorLogReader>(t, *utils_, units_->catalogue, *identity_, clock);
    errors_->SetListDirectory(dir_.path());
    reader_ = std::make_unique<ulv::RecordReader>(t);
    report_ = std::make_unique<ulv::DataReport>(*reader_, *identity_, clock);
    dump_ = std::make_unique<ulv::MemoryDump>(t);
    debugger_ = std::make_unique<ulv::MemoryDebugger>(t, *utils_, *reader_, *dump_, clock);
    recorder_ = std::make_unique<ulv::StreamRecorder>(t, clock, clock, ctx_->config, *identity_, units_->decoder);
    units_->port.DeviceForCom = [](int) { return QStringLiteral("mem:noisy"); };
    units_->linePort.ComPortNumber = [] { return 1; };
    units_->queue.SetTransport(false);
    units_->linePort.StartExchange();
  }
  ~Rig() {
    recorder_.reset();
    debugger_.reset();
    units_->linePort.LineToggle(true);
    units_.reset();
    ctx_->Finish();
  }

  // The extra the line needs beyond the reply time-out: the queue counts in
  // steps of 100 ms, and a given-up request's reset handshake comes first.
  static constexpr int64_t kSlackMs = 1000;

  // One virtual millisecond: the controller answers what reached it (an idle
  // byte after 2 s of silence), the tool takes what reached it. When no byte
  // moves, time goes on in bigger steps.
  void Tick() {
    const QByteArray in = ctlEnd_.Read(ctlEnd_.BytesAvailable());
    bool moved = !in.isEmpty();
    if (moved) {
      silentMs_ = 0;
      for (char c : in)
        if (auto a = controller_.Feed(static_cast<uint8_t>(c))) ctlEnd_.Write(QByteArray(1, static_cast<char>(*a)));
    } else if (++silentMs_ >= 2000) {
      silentMs_ = 0;
      if (auto a = controller_.IdleTick()) ctlEnd_.Write(QByteArray(1, static_cast<char>(*a)));
    }
    moved = toolEnd_.Pump() || moved;
    // What the readers left for the next event-loop pass (a discarded
    // request ends its read there).
    QCoreApplication::sendPostedEvents();
    const int step = moved ? 1 : 10;
    if (!moved) silentMs_ += step - 1;
    clock.Advance(step);
  }

  bool RunUntil(const std::function<bool()>& done, int64_t limitMs) {
    const int64_t until = clock.ElapsedMs() + limitMs;
    while (!done() && clock.ElapsedMs() < until) Tick();
    return done();
  }
  bool Linked() const { return units_->port.Link().IsLinked(); }

  // Runs one command of `f`; its counts go to `c`. With `expected` set, a
  // succeeded command's output is compared with it.
  bool RunOne(const Family& f, Counts& c, const QStringList* expected, QStringList* output = nullptr) {
    watched_->counts = &c;
    ++c.operations;
    bool ended = false, ok = false;
    QStringList out;
    const bool started = f.start([&](bool success, const QStringList& lines) {
      if (ended) ++c.calledTwice;
      ended = true;
      ok = success;
      // The tool's own reading time is no part of the controller's output.
      static const QRegularExpression kNow(QStringLiteral("\\d{1,2} \\S{3,4} \\d{4} \\d\\d:\\d\\d:\\d\\d"));
      out = lines;
      for (QString& l : out) l.replace(kNow, QStringLiteral("<now>"));
    });
    // A command that queued nothing ends at once (link down); every other one
    // within its requests' time-outs.
    if (started && !RunUntil([&] { return ended; }, kOperationLimitMs)) ++c.hung;
    watched_->Settle();
    // Settle the line before the next command (the reader's own guards end
    // a read on the next pass).
    RunUntil([&] { return units_->queue.Count() == 0; }, kOperationLimitMs);
    if (ok) {
      ++c.operationsOk;
      if (expected != nullptr && out != *expected) ++c.wrongOutput;
    }
    if (output != nullptr) *output = out;
    if (!ok && !Linked()) RunUntil([this] { return Linked(); }, 10000);
    if (trace) {
      std::fprintf(stderr, "%s: %s at %lld ms, linked %d, requests %lld, queue %d, open %d, sent %lld, got %lld\n",
                   f.name, ok ? "ok" : "failed", static_cast<long long>(clock.ElapsedMs()), Linked(),
                   static_cast<long long>(c.requests), units_->queue.Count(), units_->port.IsOpen(),
                   static_cast<long long>(noisy.Sent().passed), static_cast<long long>(noisy.Received().passed));
    }
    return ok;
  }
  static constexpr int64_t kOperationLimitMs = 600000;

  // The families of the headless commands.
  std::vector<Family> Families() {
    using Ended = std::function<void(bool, const QStringList&)>;
    auto lines = std::make_shared<QStringList>();
    auto collect = [lines](const QString& l) { lines->append(l); };
    std::vector<Family> f;
    f.push_back({"version", [this](Ended e) {
                   utils_->ReadVersion([e](const QString& text, ulv::ReplyStatus s) {
                     e(s == ulv::ReplyStatus::Replied && text != QLatin1String("Transfer.Fehler"), {text});
                   });
                   return true;
                 }});
    f.push_back({"identity", [this, lines, collect](Ended e) {
                   lines->clear();
                   identity_->OnReadEnded = [e, lines](bool ok) { e(ok, *lines); };
                   return identity_->Read(collect);
                 }});
    f.push_back({"error log", [this, lines, collect](Ended e) {
                   lines->clear();
                   errors_->OnReadEnded = [e, lines](ulv::ErrorLogReader::ReadOutcome o) {
                     e(o == ulv::ErrorLogReader::ReadOutcome::Completed, *lines);
                   };
                   return errors_->ReadErrorLog(collect);
                 }});
    f.push_back({"system records", [this, lines, collect](Ended e) {
                   lines->clear();
                   report_->Output = collect;
                   report_->OnEnded = [e, lines](ulv::DataReport::Ending end) {
                     e(end == ulv::DataReport::Ending::Done && !lines->contains(ulv::RecordReader::FailureText()),
                       *lines);
                   };
                   report_->Press(ulv::DataReport::Record::SysPerm);
                   return true;
                 }});
    f.push_back({"memory peek", [this, lines](Ended e) {
                   lines->clear();
                   debugger_->OnResult = [lines](const QString& hex, const QString&, const QString&, const QString&) {
                     lines->append(hex);
                   };
                   debugger_->OnReadEnded = [e, lines](bool shown) { e(shown, *lines); };
                   debugger_->SetAddress(QStringLiteral("8310"), QStringLiteral("0"));
                   return true;
                 }});
    f.push_back({"memory dump", [this, lines](Ended e) {
                   lines->clear();
                   dump_->OnShow = [lines](const QStringList& l) { *lines = l; };
                   dump_->OnEnded = [e, lines](bool shown) { e(shown, *lines); };
                   if (dump_->Start(QStringLiteral("8300"), nullptr)) return true;
                   return false;
                 }});
    f.push_back({"monitor", [this](Ended e) {
                   return watched_->AddTransfer(QByteArray::fromHex("F160"), 7, [e](const QByteArray& r) {
                     e(ulv::MonitorTest::Answered(r, 7), {QString::fromLatin1(r.toHex())});
                   });
                 }});
    f.push_back({"stream interface", [this](Ended e) {
                   recorder_->OnInterfaceChecked = [this, e](bool valid) {
                     e(valid, {recorder_->View().interfaceCaption});
                   };
                   recorder_->CheckInterface();
                   return true;
                 }});
    return f;
  }

  ulv::VirtualClock clock;
  ulv::NoisyLine noisy;
  bool trace = qEnvironmentVariableIsSet("ULV_NOISY_TRACE");

private:
  static ulv::Scenario Plant() { return ulv::DefaultScenario(); }

  QTemporaryDir dir_;
  ulv::PlantModel plant_;
  ulv::SimController controller_;
  int silentMs_ = 0;
  std::unique_ptr<ulv::AppContext> ctx_;
  std::unique_ptr<ulv::AppUnits> units_;
  std::unique_ptr<WatchedTransfers> watched_;
  std::unique_ptr<ulv::QelUtils> utils_;
  std::unique_ptr<ulv::PlantIdentity> identity_;
  std::unique_ptr<ulv::ErrorLogReader> errors_;
  std::unique_ptr<ulv::RecordReader> reader_;
  std::unique_ptr<ulv::DataReport> report_;
  std::unique_ptr<ulv::MemoryDump> dump_;
  std::unique_ptr<ulv::MemoryDebugger> debugger_;
  std::unique_ptr<ulv::StreamRecorder> recorder_;
};

// Clean references, then `requests` requests of each family with the noise
// on, then the noise off: each family's first command after the noise must
// succeed, with the output of the next clean one; the virtual time from the
// noise's end to the end of the first of them.
struct Result {
  std::vector<std::pair<const char*, Counts>> families;
  bool referencesOk = false;
  std::vector<const char*> uncompared;  // output changes by itself
  bool recovered = false;
  std::vector<const char*> notRecovered;  // failed, or changed output, after the noise
  int64_t recoveryMs = -1;
  int64_t worstRecoveryCommandMs = 0;
};

inline Result Run(Rig& rig, int64_t requests) {
  Result r;
  std::vector<Family> families = rig.Families();
  rig.noisy.SetNoise(false);
  // Two clean runs each: a family whose output changes by itself (the
  // monitor's moving car) is not compared.
  std::vector<QStringList> refs(families.size());
  std::vector<const QStringList*> expected(families.size());
  r.referencesOk = rig.RunUntil([&] { return rig.Linked(); }, 10000);
  for (size_t i = 0; i < families.size(); ++i) {
    Counts c;
    QStringList again;
    r.referencesOk = rig.RunOne(families[i], c, nullptr, &refs[i]) && rig.RunOne(families[i], c, nullptr, &again) &&
                     r.referencesOk;
    expected[i] = refs[i] == again ? &refs[i] : nullptr;
    if (expected[i] == nullptr) r.uncompared.push_back(families[i].name);
  }
  rig.noisy.SetNoise(true);
  for (size_t i = 0; i < families.size(); ++i) {
    Counts c;
    while (c.requests < requests && c.hung == 0) rig.RunOne(families[i], c, expected[i]);
    r.families.emplace_back(families[i].name, c);
  }
  rig.noisy.SetNoise(false);
  const int64_t stopped = rig.clock.ElapsedMs();
  // The noise may have turned a request into another one that changed the
  // plant (the line has no checksum): the first clean round is compared with
  // a second one, not with the references.
  std::vector<QStringList> first(families.size());
  for (int round = 0; round < 2; ++round) {
    for (size_t i = 0; i < families.size(); ++i) {
      Counts c;
      const int64_t start = rig.clock.ElapsedMs();
      QStringList out;
      if (!rig.RunOne(families[i], c, nullptr, &out)) r.notRecovered.push_back(families[i].name);
      if (round == 0) {
        first[i] = out;
        if (i == 0) r.recoveryMs = rig.clock.ElapsedMs() - stopped;
        r.worstRecoveryCommandMs = std::max(r.worstRecoveryCommandMs, rig.clock.ElapsedMs() - start);
      } else if (expected[i] != nullptr && out != first[i]) {
        r.notRecovered.push_back(families[i].name);
        if (rig.trace) std::fprintf(stderr, "%s\n%s\n", qPrintable(first[i].join('|')), qPrintable(out.join('|')));
      }
    }
  }
  r.recovered = r.notRecovered.empty();
  return r;
}

}  // namespace noisy
