#include "sim/pty_simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <pthread.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "common/save_file.h"
#include "link/pty.h"
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace ulv {

namespace {

// Gone, or dead and not yet reaped (a zombie holds no port).
bool ProcessGone(qint64 pid) {
  if (::kill(static_cast<pid_t>(pid), 0) != 0) return errno == ESRCH;
  QByteArray stat;
  if (!ReadWholeFile(QStringLiteral("/proc/%1/stat").arg(pid), &stat, nullptr, 4096)) return false;
  const qsizetype end = stat.lastIndexOf(')');
  return end >= 0 && stat.mid(end + 2, 1) == "Z";
}

int64_t NowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

void SleepUntil(int64_t dueNs) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(dueNs / 1000000000);
  ts.tv_nsec = static_cast<long>(dueNs % 1000000000);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

bool SetRealtime(bool on) {
  sched_param sp{};
  sp.sched_priority = on ? 10 : 0;
  return pthread_setschedparam(pthread_self(), on ? SCHED_FIFO : SCHED_OTHER, &sp) == 0;
}

QString Errno(const char* what) {
  return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(errno)));
}

}  // namespace

PtySimulator::PtySimulator(SimOptions options) : options_(std::move(options)) {
  pendingFaults_ = options_.faults;
}

PtySimulator::~PtySimulator() { Stop(); }

bool PtySimulator::Prepare(QString* error) {
  if (IsRunning()) {
    if (error) *error = QStringLiteral("simulator already running");
    return false;
  }
  Scenario scenario;
  if (!LoadScenario(options_.scenarioFile, &scenario, error)) return false;
  plant_ = std::make_unique<PlantModel>(std::move(scenario));
  controller_ = std::make_unique<SimController>(*plant_);
  controller_->SetFaults(options_.faults);
  turnsBase_ = requestsBase_ = 0;
  return options_.modem ? PrepareModem(error) : true;
}

bool PtySimulator::PrepareModem(QString* error) {
  if (!SimModem::ValidPartnerName(options_.modemOptions.partnerName)) {
    if (error) *error = QStringLiteral("partner name: only the characters 0..z");
    return false;
  }
  modem_ = std::make_unique<SimModem>(*plant_, options_.modemOptions);
  // Counted under the lock the serving thread holds while it feeds the modem.
  modem_->OnRequest = [this](const QByteArray&) { ++stats_.requests; };
  ownLinesDir_.reset();
  linesDir_ = options_.linesDir;
  if (linesDir_.isEmpty()) {
    ownLinesDir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/ulv-sim-lines-XXXXXX"));
    if (!ownLinesDir_->isValid()) {
      if (error) *error = QStringLiteral("lines directory: %1").arg(ownLinesDir_->errorString());
      return false;
    }
    linesDir_ = ownLinesDir_->path();
  } else if (!QDir().mkpath(linesDir_)) {
    if (error) *error = QStringLiteral("%1: cannot create the lines directory").arg(linesDir_);
    return false;
  }
  // A DTR file left from an earlier tool says nothing about this one.
  QFile::remove(linesDir_ + QStringLiteral("/dtr"));
  QFile::remove(linesDir_ + QStringLiteral("/holder"));
  return WriteLines(modem_->Lines(), error);
}

bool PtySimulator::WriteLines(const ModemLines& l, QString* error) {
  const QByteArray text = QStringLiteral("DCD=%1 DSR=%2 RI=%3\n")
                              .arg(int{l.dcd})
                              .arg(int{l.dsr})
                              .arg(int{l.ring})
                              .toLatin1();
  return SaveWholeFile(linesDir_ + QStringLiteral("/lines"), text, error);
}

bool PtySimulator::Start(QString* slavePath, QString* error) {
  if (!Prepare(error)) return false;
  pty_ = std::make_unique<PtyPair>();
  if (!pty_->Open(error)) {
    pty_.reset();
    return false;
  }
  fd_ = pty_->MasterFd();
  ownsFd_ = false;
  if (slavePath) *slavePath = pty_->SlavePath();
  return Launch(error);
}

bool PtySimulator::StartOnDevice(const QString& device, QString* error) {
  if (!Prepare(error)) return false;
  fd_ = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) {
    if (error) *error = QStringLiteral("%1: %2").arg(device, QString::fromLocal8Bit(strerror(errno)));
    return false;
  }
  ownsFd_ = true;
  if (!MakeRawTerminal(fd_)) {
    if (error) *error = Errno("not a serial device");
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  int lines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(fd_, TIOCMBIS, &lines);  // a device without modem lines does not mind
  return Launch(error);
}

bool PtySimulator::Launch(QString* error) {
  if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    if (error) *error = Errno("pipe");
    return false;
  }
  stop_ = false;
  vanishRequest_ = false;
  vanished_ = false;
  deviceLost_ = false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void PtySimulator::Stop() {
  if (thread_.joinable()) {
    stop_ = true;
    const char c = 's';
    [[maybe_unused]] ssize_t n = ::write(wakePipe_[1], &c, 1);
    thread_.join();
  }
  for (int& fd : wakePipe_) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  ownLinesDir_.reset();
  if (ownsFd_ && fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ownsFd_ = false;
  pty_.reset();
}

void PtySimulator::Vanish() {
  vanishRequest_ = true;
  const char c = 'v';
  if (wakePipe_[1] >= 0) {
    [[maybe_unused]] ssize_t n = ::write(wakePipe_[1], &c, 1);
  }
}

void PtySimulator::SetFaults(const SimFaults& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  pendingFaults_ = faults;
  faultsChanged_ = true;
}

void PtySimulator::SetModemFaults(const SimPartnerFaults& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  pendingModemFaults_ = faults;
  modemFaultsChanged_ = true;
}

SimStats PtySimulator::Stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stats_;
}

void PtySimulator::ResetStats() {
  std::lock_guard<std::mutex> lock(mutex_);
  // Keeps the vectors' room: the serving thread appends under this lock.
  stats_.turns = stats_.answers = stats_.requests = stats_.idleBytes = 0;
  // The controller counts from its start; the figures count from here.
  turnsBase_ = controller_ ? controller_->Turns() : 0;
  requestsBase_ = controller_ ? controller_->Requests() : 0;
  stats_.turnaroundNs.clear();
  stats_.pacingLateNs.clear();
  lastAnswerNs_ = -1;
}

Scenario PtySimulator::PlantState() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return plant_ ? plant_->Plant() : Scenario{};
}

SimWrites PtySimulator::Writes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  SimWrites w;
  if (plant_) {
    w.timeValue = plant_->TimeValue();
    w.dayValue = plant_->DayValue();
    w.word16 = plant_->Word16();
    w.hex32 = plant_->Hex32Nibbles();
  }
  return w;
}

int64_t PtySimulator::WriteAnswer(uint8_t b, int64_t dueNs) {
  const bool paced = options_.lineTiming && dueNs > 0;
  if (paced) {
    if (relaxed_) relaxed_ = !SetRealtime(true);
    const int64_t spinNs = int64_t{options_.spinBeforeDueUs} * 1000;
    if (spinNs > 0 && dueNs - NowNs() > spinNs) SleepUntil(dueNs - spinNs);
    // Dropped before the write (and, when there is time, before the last
    // stretch, which hides the cost of the switch): the pty hands a real-time
    // writer's byte over measurably slower.
    if (realtimeGranted_ && options_.spinAfterAnswerUs > 0) relaxed_ = SetRealtime(false);
    if (spinNs > 0) {
      while (NowNs() < dueNs) CpuRelax();
    } else {
      SleepUntil(dueNs);
    }
  }
  const int64_t leavingNs = NowNs();
  if (::write(fd_, &b, 1) != 1) return -1;
  const int64_t now = NowNs();
  std::lock_guard<std::mutex> lock(mutex_);
  lastAnswerNs_ = now;
  ++stats_.answers;
  if (paced && stats_.pacingLateNs.size() < options_.sampleLimit) stats_.pacingLateNs.push_back(leavingNs - dueNs);
  return now;
}

// The device is gone (an unplugged adapter reads as end of file or a
// hang-up for ever): stop serving it instead of polling a dead descriptor.
void PtySimulator::LoseDevice() {
  ::close(fd_);
  fd_ = -1;
  vanished_ = true;
  deviceLost_ = true;
  if (options_.onDeviceLost) options_.onDeviceLost();
}

void PtySimulator::Run() {
#ifdef __linux__
  // Wake up on time: the default timer slack (50 us) would show up in every turn.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
  // The loop blocks in poll() or a sleep, so real-time priority cannot hog a
  // CPU: its only spin at that priority is the short one before an answer is
  // due, while the tool waits for it. With spinAfterAnswerUs the answer and
  // the wait for the tool's next byte run at normal priority and yield: the
  // kernel worker that carries bytes through the pty may be queued on this
  // very CPU, and a spinning real-time thread would keep it off until the
  // spin ends.
  if (options_.modem) {
    RunModem();
    return;
  }
  if (options_.realtime) realtimeGranted_ = SetRealtime(true);
  relaxed_ = false;
  const int64_t answerDelayNs = options_.lineTiming ? 2 * CharTimeNs(options_.baud) : 0;
  const int64_t idleNs = int64_t{options_.idleIntervalMs} * 1000000;
  const int64_t startNs = NowNs();
  const int64_t vanishAtNs =
      options_.vanishAfterMs >= 0 ? startNs + int64_t{options_.vanishAfterMs} * 1000000 : -1;
  int64_t lastActivityNs = startNs;
  int64_t spinUntilNs = -1;  // after an answer: poll without sleeping until then
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stats_.turnaroundNs.reserve(std::min(options_.sampleLimit, size_t{1} << 16));
    stats_.pacingLateNs.reserve(std::min(options_.sampleLimit, size_t{1} << 16));
  }

  while (!stop_) {
    int64_t now = NowNs();
    if (!vanished_ && (vanishRequest_ || (vanishAtNs >= 0 && now >= vanishAtNs))) {
      vanished_ = true;
      if (pty_) {
        pty_->CloseMaster();
      } else if (fd_ >= 0) {
        ::close(fd_);
      }
      fd_ = -1;
    }

    int64_t waitNs = -1;
    if (!vanished_) {
      waitNs = std::max<int64_t>(0, lastActivityNs + idleNs - now);
      if (vanishAtNs >= 0) waitNs = std::min(waitNs, std::max<int64_t>(0, vanishAtNs - now));
    }
    pollfd fds[2] = {{wakePipe_[0], POLLIN, 0}, {fd_, POLLIN, 0}};
    const int nfds = vanished_ ? 1 : 2;
    const bool spinning = !vanished_ && now < spinUntilNs;
    if (relaxed_ && !spinning) relaxed_ = !SetRealtime(true);
    const int timeoutMs = spinning ? 0 : waitNs < 0 ? -1 : static_cast<int>((waitNs + 999999) / 1000000);
    const int r = ::poll(fds, nfds, timeoutMs);
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents & POLLIN) {
      char drain[16];
      while (::read(wakePipe_[0], drain, sizeof drain) > 0) {
      }
      continue;
    }
    if (vanished_) continue;
    if (r == 0 && spinning) {
      sched_yield();
      continue;
    }

    if (fds[1].revents & POLLIN) {
      const int64_t arrivedNs = NowNs();
      uint8_t buf[256];
      const ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n <= 0) {
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (ownsFd_) {
          LoseDevice();
        } else {
          SleepUntil(NowNs() + 10000000);  // nobody on the other end yet
        }
        continue;
      }
      lastActivityNs = arrivedNs;
      for (ssize_t i = 0; i < n; ++i) {
        std::optional<uint8_t> answer;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (faultsChanged_) {
            controller_->SetFaults(pendingFaults_);
            faultsChanged_ = false;
          }
          if (i == 0 && lastAnswerNs_ >= 0 && stats_.turnaroundNs.size() < options_.sampleLimit)
            stats_.turnaroundNs.push_back(arrivedNs - lastAnswerNs_);
          lastAnswerNs_ = -1;
          answer = controller_->Feed(buf[i]);
          stats_.turns = controller_->Turns() - turnsBase_;
          stats_.requests = controller_->Requests() - requestsBase_;
        }
        if (!answer) continue;
        const int64_t leftNs = WriteAnswer(*answer, arrivedNs + answerDelayNs);
        if (leftNs >= 0 && options_.spinAfterAnswerUs > 0) {
          spinUntilNs = leftNs + int64_t{options_.spinAfterAnswerUs} * 1000;
        }
      }
      continue;
    }
    if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      if (ownsFd_) {
        LoseDevice();
      } else {
        SleepUntil(NowNs() + 10000000);
      }
      continue;
    }
    if (r == 0 && NowNs() - lastActivityNs >= idleNs) {
      std::optional<uint8_t> idle;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        idle = controller_->IdleTick();
        if (idle) ++stats_.idleBytes;
      }
      if (idle) WriteAnswer(*idle, 0);
      lastActivityNs = NowNs();
    }
  }
}

// Called with the lock held.
void PtySimulator::ApplyModemFaults() {
  if (!modemFaultsChanged_) return;
  modem_->SetFaults(pendingModemFaults_);
  modemFaultsChanged_ = false;
}

bool PtySimulator::WriteAll(const QByteArray& bytes) {
  qsizetype done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += n;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  stats_.answers += bytes.size();
  return true;
}

// The modem in real time: its clock is milliseconds since the start, the
// tool's bytes are fed as they come, and the thread wakes for whatever the
// modem has due and every 50 ms for the tool's DTR.
void PtySimulator::RunModem() {
  constexpr int64_t kDtrPollMs = 50;
  const int64_t startNs = NowNs();
  auto nowMs = [startNs] { return (NowNs() - startNs) / 1000000; };
  const QString dtrPath = linesDir_ + QStringLiteral("/dtr");
  ModemLines shown = modem_->Lines();
  int64_t nextDtrPoll = 0;
  QByteArray lastDtr;
  const QString holderPath = linesDir_ + QStringLiteral("/holder");
  QByteArray lastHolder;
  qint64 holder = 0;  // the process that raised DTR, when it said so
  // The holder file is replaced whole on every write: its inode tells a new
  // one, so the input path costs one stat, not a read.
  ino_t holderInode = 0;
  // A port closed unseen (its holder died, or another program holds it now)
  // ends a call at once: a closed port's DTR is low. A new holder is looked
  // for before the next program's bytes are taken, so they meet a modem in
  // command state; a dead one on the 50 ms poll.
  auto checkHolder = [&](int64_t now, bool lookForDeath) {
    struct stat st {};
    const bool changed = ::stat(QFile::encodeName(holderPath).constData(), &st) == 0 && st.st_ino != holderInode;
    QByteArray text;
    if (changed) holderInode = st.st_ino;
    if (changed && ReadWholeFile(holderPath, &text, nullptr, 32) && text.trimmed() != lastHolder) {
      lastHolder = text.trimmed();
      const qint64 newHolder = lastHolder.toLongLong();
      const bool replaced = holder > 0 && newHolder > 0 && newHolder != holder;
      holder = newHolder;
      std::lock_guard<std::mutex> lock(mutex_);
      if (replaced) modem_->PortClosed(now);
      // The new holder opened the port with DTR up.
      QByteArray dtrText;
      if (newHolder > 0 && ReadWholeFile(dtrPath, &dtrText, nullptr, 16) && dtrText.trimmed() == "1") {
        lastDtr = "1";
        modem_->SetDtr(true, now);
      }
    }
    if (lookForDeath && holder > 0 && ProcessGone(holder)) {
      holder = 0;
      std::lock_guard<std::mutex> lock(mutex_);
      modem_->PortClosed(now);
    }
  };
  const int64_t vanishAtMs = options_.vanishAfterMs;

  while (!stop_) {
    if (!vanished_ && (vanishRequest_ || (vanishAtMs >= 0 && nowMs() >= vanishAtMs))) {
      vanished_ = true;
      if (pty_) {
        pty_->CloseMaster();
      } else if (fd_ >= 0) {
        ::close(fd_);
      }
      fd_ = -1;
    }
    int64_t now = nowMs();
    int64_t waitMs = std::max<int64_t>(0, nextDtrPoll - now);
    if (vanishAtMs >= 0 && !vanished_) waitMs = std::min(waitMs, std::max<int64_t>(0, vanishAtMs - now));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (const std::optional<int64_t> due = modem_->NextDueMs()) {
        waitMs = std::min(waitMs, std::max<int64_t>(0, *due - now));
      }
    }
    pollfd fds[2] = {{wakePipe_[0], POLLIN, 0}, {fd_, POLLIN, 0}};
    const int r = ::poll(fds, vanished_ ? 1 : 2, vanished_ ? -1 : static_cast<int>(waitMs));
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents & POLLIN) {
      char drain[16];
      while (::read(wakePipe_[0], drain, sizeof drain) > 0) {
      }
      continue;
    }
    if (vanished_) continue;

    QByteArray out;
    if (fds[1].revents & POLLIN) {
      char buf[256];
      const ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n <= 0) {
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (ownsFd_) {
          LoseDevice();
        } else {
          SleepUntil(NowNs() + 10000000);  // nobody on the other end yet
        }
        continue;
      }
      checkHolder(nowMs(), false);
      std::lock_guard<std::mutex> lock(mutex_);
      ApplyModemFaults();
      stats_.turns += n;
      out = modem_->Feed(QByteArray(buf, static_cast<qsizetype>(n)), nowMs());
    } else if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      if (ownsFd_) {
        LoseDevice();
      } else {
        SleepUntil(NowNs() + 10000000);
      }
      continue;
    }

    now = nowMs();
    std::optional<bool> dtr;
    if (now >= nextDtrPoll) {
      nextDtrPoll = now + kDtrPollMs;
      QByteArray text;
      // No file: the tool has not said anything about DTR; it stays as it was.
      if (ReadWholeFile(dtrPath, &text, nullptr, 16) && text.trimmed() != lastDtr) {
        lastDtr = text.trimmed();
        if (lastDtr == "0" || lastDtr == "1") dtr = lastDtr == "1";
      }
      checkHolder(now, true);
    }
    ModemLines lines;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ApplyModemFaults();
      if (dtr) modem_->SetDtr(*dtr, now);
      out += modem_->Tick(now);
      lines = modem_->Lines();
    }
    if (!out.isEmpty() && !WriteAll(out)) {
      if (ownsFd_) LoseDevice();
      continue;
    }
    if (lines.dcd != shown.dcd || lines.dsr != shown.dsr || lines.ring != shown.ring) {
      shown = lines;
      WriteLines(lines, nullptr);
    }
  }
}

}  // namespace ulv
