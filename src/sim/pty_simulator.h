#pragma once
// Serves the simulated controller on a new pseudo-terminal (or on a given
// serial device) from its own thread, so its pacing does not depend on the
// tool's event loop. With line timing on, each answer leaves no sooner than
// two character times (10 bits each at the line's baud rate) after the tool's
// byte arrived: the time both bytes of a turn take on a real line. While the
// tool is silent the controller sends an idle byte every 2 s.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "sim/plant_model.h"
#include "sim/sim_controller.h"
#include "sim/sim_modem.h"

namespace ulv {

class PtyPair;

// Values the tool wrote into the controller (0 / empty until written).
struct SimWrites {
  uint16_t timeValue = 0;  // F5 34: seconds since midnight / 2
  uint16_t dayValue = 0;   // F5 36: days since 1 January 2000
  uint16_t word16 = 0;     // F5 04
  QByteArray hex32;        // F9 0C: the eight nibbles as sent
};

struct SimOptions {
  QString scenarioFile;  // empty: the built-in default plant
  bool lineTiming = true;
  int baud = 19200;
  int idleIntervalMs = 2000;
  SimFaults faults;
  int vanishAfterMs = -1;  // >= 0: the device vanishes this long after the start
  // Serve from a real-time thread (when the system allows it), so that the
  // pacing stays precise on a busy machine; for measurements.
  bool realtime = false;
  // For measurements, both 0 by default (the thread then only ever sleeps):
  // how long before each answer is due the thread stops sleeping and watches
  // the clock instead (a timer wake-up comes tens of microseconds late, far
  // more on a virtual machine), and how long after each answer it polls the
  // line for the tool's next byte instead of sleeping in poll(), so that its
  // own wake-up does not count as the tool's turnaround. Either spin costs
  // CPU only while the line is busy; an idle line never spins.
  int spinBeforeDueUs = 0;
  int spinAfterAnswerUs = 0;
  // At most this many turnaround and lateness samples are kept (the counts
  // go on): a long run must not grow. The programs that only serve keep none.
  size_t sampleLimit = size_t{1} << 20;
  // Called once from the serving thread when a served device goes away
  // (unplugged adapter); serving stops then.
  std::function<void()> onDeviceLost;
  // Serve a Hayes modem with the framed partner behind it (SimModem) instead
  // of the 401 exchange; line timing, idle bytes and `faults` do not apply.
  bool modem = false;
  SimModemOptions modemOptions;
  // The modem lines' control channel, as a pty has no pins: the simulator
  // keeps the file `lines` ("DCD=1 DSR=1 RI=0") up to date and reads the
  // tool's DTR from the file `dtr` ("0" / "1") every 50 ms. Empty: a new
  // directory in the temporary folder, removed at Stop.
  QString linesDir;
};

struct SimStats {
  int64_t turns = 0;     // tool bytes taken
  int64_t answers = 0;   // answer bytes written (idle bytes of its own included)
  int64_t requests = 0;  // complete requests assembled
  int64_t idleBytes = 0;
  // Tool turnaround per turn in ns: from an answer leaving to the tool's next
  // byte arriving.
  std::vector<int64_t> turnaroundNs;
  // Per paced answer in ns: how late it left against its due time (two
  // character times after the tool's byte arrived).
  std::vector<int64_t> pacingLateNs;
};

class PtySimulator {
public:
  explicit PtySimulator(SimOptions options = {});
  ~PtySimulator();
  PtySimulator(const PtySimulator&) = delete;
  PtySimulator& operator=(const PtySimulator&) = delete;

  // Loads the scenario, creates a pty pair and starts serving; slavePath is
  // the device the tool opens.
  bool Start(QString* slavePath, QString* error);
  // Serves a real serial device (raw, 19200 8N1, no flow control).
  bool StartOnDevice(const QString& device, QString* error);
  void Stop();
  bool IsRunning() const { return thread_.joinable(); }
  // The device disappears: the controller's end closes.
  void Vanish();
  bool Vanished() const { return vanished_; }
  // A served device went away by itself.
  bool DeviceLost() const { return deviceLost_; }
  // Whether the serving thread got its real-time priority.
  bool RealtimeGranted() const { return realtimeGranted_; }

  // Thread-safe; take effect with the next byte.
  void SetFaults(const SimFaults& faults);
  void SetModemFaults(const SimPartnerFaults& faults);
  // The modem lines' control directory while serving a modem.
  QString LinesDir() const { return linesDir_; }
  SimStats Stats() const;
  void ResetStats();
  // Plant state as the controller holds it now (a copy).
  Scenario PlantState() const;
  SimWrites Writes() const;

  static int64_t CharTimeNs(int baud) { return int64_t{10} * 1000000000 / baud; }

private:
  bool Prepare(QString* error);
  bool PrepareModem(QString* error);
  bool WriteLines(const ModemLines& lines, QString* error);
  bool Launch(QString* error);
  void Run();
  void RunModem();
  void ApplyModemFaults();
  bool WriteAll(const QByteArray& bytes);
  // Returns when the byte left (after the write), or -1 when it did not.
  int64_t WriteAnswer(uint8_t b, int64_t dueNs);
  void LoseDevice();

  SimOptions options_;
  std::unique_ptr<PlantModel> plant_;
  std::unique_ptr<SimController> controller_;
  std::unique_ptr<SimModem> modem_;
  std::unique_ptr<QTemporaryDir> ownLinesDir_;
  QString linesDir_;
  std::unique_ptr<PtyPair> pty_;
  int fd_ = -1;  // the controller's end (pty master or device)
  bool ownsFd_ = false;
  int wakePipe_[2] = {-1, -1};
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> vanishRequest_{false};
  std::atomic<bool> vanished_{false};
  std::atomic<bool> deviceLost_{false};
  std::atomic<bool> realtimeGranted_{false};

  mutable std::mutex mutex_;  // guards stats_, pendingFaults_, the plant copy
  SimStats stats_;
  SimFaults pendingFaults_;
  bool faultsChanged_ = false;
  SimPartnerFaults pendingModemFaults_;
  bool modemFaultsChanged_ = false;
  int64_t lastAnswerNs_ = -1;
  bool relaxed_ = false;   // serving thread: real-time priority dropped for now
  int64_t turnsBase_ = 0;  // controller counts at the last ResetStats
  int64_t requestsBase_ = 0;
};

}  // namespace ulv
