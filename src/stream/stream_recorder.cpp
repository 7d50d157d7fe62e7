#include "stream/stream_recorder.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/bytes.h"
#include "link/qel_utils.h"

namespace ulv {

namespace {

constexpr int kShortReplyLength = 2;
constexpr int kHeaderLength = 15;
constexpr int kVersionReplyLength = 15;
constexpr int kClientReplyLength = 16;
constexpr int kFetchReplyLength = 13;
constexpr int kHeadLines = 5;
constexpr int kChannels = 6;
constexpr uint8_t kAllChannels = 0x3F;

const QByteArray kQueryInterface = Bytes({0xF2, 0x4B, 0x00});
const QByteArray kTestInterface = Bytes({0xF3, 0x4B, 0x01, 0x00});
const QByteArray kQueryVersion = Bytes({0xF3, 0x4B, 0x01, 0x06});
const QByteArray kClientVersion = Bytes({0xF1, 0x01});
const QByteArray kQueryHeader = Bytes({0xF2, 0x4B, 0x02});
const QByteArray kRun = Bytes({0xF3, 0x4B, 0x01, 0x03});
const QByteArray kStop = Bytes({0xF3, 0x4B, 0x01, 0x02});
const QByteArray kFetch = Bytes({0xF2, 0x4B, 0x03});

// A reply counts only when it is whole and starts with the expected byte;
// the time-out substitute (zero bytes, possibly none) never does.
bool Good(const QByteArray& reply, int length, uint8_t first) {
  return reply.size() >= length && static_cast<uint8_t>(reply.at(0)) == first;
}

int Word(const QByteArray& r, int at) { return ReplyByte(r, at) | (ReplyByte(r, at + 1) << 8); }

// Controller or identity text on a file line: control characters as ".".
QString HeadText(QString line) {
  for (QChar& c : line) {
    if (c.unicode() < 32) c = QLatin1Char('.');
  }
  return line;
}

}  // namespace

// Lives in the handler of one queued request: when the queue drops the
// request without calling it (a flush after another request's time-out),
// `dropped` runs, unless the recorder is gone.
struct StreamRecorder::Guard {
  std::weak_ptr<int> life;
  std::function<void()> dropped;
  bool called = false;
  ~Guard() {
    if (!called && dropped && !life.expired()) dropped();
  }
};

StreamRecorder::StreamRecorder(Transfers& transfers, const Clock& clock, TimerFactory& timers,
                               Configuration& config, const PlantIdentity& identity, EventDecoder& decoder)
    : transfers_(transfers),
      clock_(clock),
      config_(config),
      identity_(identity),
      decoder_(decoder),
      timer_(timers.CreateTimer()) {
  timer_->SetInterval(kPollMs);
  timer_->OnTimeout = [this] { Tick(); };
  prefix_ = config_.TarvoName();
  fileNumber_ = config_.TarvoNummer();
  ShowFileName();
}

StreamRecorder::~StreamRecorder() {
  life_.reset();
  if (capture_) capture_->close();
}

void StreamRecorder::Changed() {
  if (OnViewChanged) OnViewChanged();
}

void StreamRecorder::Memo(const QStringList& lines) {
  if (OnMemoLines && !lines.isEmpty()) OnMemoLines(lines);
}

TransferReplyHandler StreamRecorder::Guarded(std::function<void(const QByteArray&)> handler,
                                             std::function<void()> dropped) {
  auto guard = std::make_shared<Guard>();
  guard->life = life_;
  guard->dropped = std::move(dropped);
  return [guard, handler = std::move(handler)](const QByteArray& reply) {
    guard->called = true;
    if (handler) handler(reply);
  };
}

bool StreamRecorder::Queue(const QByteArray& command, int replyLength,
                           std::function<void(const QByteArray&)> handler, std::function<void()> dropped) {
  return transfers_.AddTransfer(command, replyLength, Guarded(std::move(handler), std::move(dropped)));
}

void StreamRecorder::Start() {
  // Only the flag: the caption keeps its initial text until a check.
  interfaceValid_ = false;
  CloseCapture();
  QString problem;
  decoder_.Init(config_.DecodeFile(), config_.ErrorCatalogueFile(), &problem);
  if (!problem.isEmpty() && OnFileError) OnFileError(problem);
  decoder_.EventTypeFilter = EventDecoder::kDefaultFilter;
  view_.linked = transfers_.IsLinked();
  if (view_.linked) {
    pollState_ = 0;
    timer_->Start(kPollMs);
  }
  ShowFileName();
}

void StreamRecorder::SetLinked(bool up) {
  view_.linked = up;
  if (!up && fetching_) EndFetch(false);
  Changed();
}

// --- header, run, stop, rewrite --------------------------------------------

bool StreamRecorder::QueueHeader(std::function<void(const QByteArray&)> after, std::function<void()> dropped) {
  if (!transfers_.IsLinked()) return false;
  view_.hLed = Led::Yellow;
  const bool queued = Queue(
      kQueryHeader, kHeaderLength,
      [this, after = std::move(after)](const QByteArray& reply) {
        ShowHeader(reply);
        if (after) after(reply);
      },
      std::move(dropped));
  if (!queued) view_.hLed = Led::Red;
  Changed();
  return queued;
}

bool StreamRecorder::Header() { return QueueHeader(nullptr, nullptr); }

void StreamRecorder::ShowHeader(const QByteArray& r) {
  if (!Good(r, kHeaderLength, 0xFE)) {
    view_.hLed = Led::Red;
    Changed();
    return;
  }
  view_.hLed = Led::Green;
  if (Word(r, 1) != kMagic) {
    view_.size = QStringLiteral("MAGIC?");
    Changed();
    return;
  }
  SetInterfaceValid();
  view_.size = QString::number(Word(r, 13));
  view_.openDate = FormatDayNumber(static_cast<uint16_t>(Word(r, 6)));
  view_.openTime = FormatTwoSecondsSpaced(static_cast<uint16_t>(Word(r, 8)));
  view_.count = QString::number(Word(r, 10));
  view_.wrap = QString::number(ReplyByte(r, 12));
  view_.mask = ReplyByte(r, 5) & kAllChannels;
  view_.openLed = ReplyByte(r, 3) == 1 ? Led::Green : Led::Red;
  view_.stopLed = ReplyByte(r, 4) == 0 ? Led::Green : Led::Red;
  if (ReplyByte(r, 4) != 0) view_.hLed = Led::Red;
  Changed();
}

bool StreamRecorder::RunOperation() {
  if (!transfers_.IsLinked()) return false;
  const bool run = Queue(kRun, kShortReplyLength, nullptr);
  return Header() && run;
}

bool StreamRecorder::StopOperation() {
  if (!transfers_.IsLinked()) return false;
  const bool stop = Queue(kStop, kShortReplyLength, nullptr);
  const bool header = Header();
  timer_->Stop();
  return stop && header;
}

void StreamRecorder::Run() {
  if (!fetching_) RunOperation();
}

void StreamRecorder::Stop() { StopOperation(); }

bool StreamRecorder::ReWrite() {
  if (fetching_ || !transfers_.IsLinked()) return false;
  bool queued = StopOperation();
  QByteArray rewrite = Bytes({0xF7, 0x4B, 0x01, 0x05, 0x00, 0x00, 0x00, 0x00});
  rewrite[4] = static_cast<char>(view_.mask);
  queued = Queue(rewrite, kShortReplyLength, nullptr) && queued;
  queued = RunOperation() && queued;
  if (!queued) {
    view_.hLed = Led::Red;
    Changed();
    return false;
  }
  if (OnMemoClear) OnMemoClear();
  Memo({QStringLiteral("RUN ") + clock_.NowText()});
  return true;
}

void StreamRecorder::SetChannel(int bit, bool on) {
  if (bit < 0 || bit >= kChannels) return;
  const auto b = static_cast<uint8_t>(1u << bit);
  view_.mask = on ? (view_.mask | b) : (view_.mask & ~b);
  Changed();
}

void StreamRecorder::ToggleAll() {
  view_.mask = (view_.mask & 1) ? 0 : kAllChannels;
  Changed();
}

// --- polling and the interface check ---------------------------------------

void StreamRecorder::ToggleInterval() {
  pollState_ = 0;
  if (timer_->IsActive())
    timer_->Stop();
  else
    timer_->Start(kPollMs);
}

void StreamRecorder::InterfaceClick() {
  if (!transfers_.IsLinked()) {
    pollState_ = 1;
    timer_->Start(kPollMs);
  }
}

void StreamRecorder::Tick() {
  const auto poll = [this] {
    // One header poll at a time: a slow line must not fill the queue.
    if (pollOutstanding_) return;
    pollOutstanding_ = QueueHeader([this](const QByteArray&) { pollOutstanding_ = false; },
                                   [this] { pollOutstanding_ = false; });
  };
  switch (pollState_) {
    case 0:
      poll();
      break;
    case 1:
      CheckInterface();
      pollState_ = 2;
      break;
    default:
      if (interfaceValid_) {
        poll();
        pollState_ = 0;
      }
      break;
  }
}

void StreamRecorder::SetInterfaceValid() {
  interfaceValid_ = true;
  view_.interfaceCaption =
      QStringLiteral("INTERFACE VERSION ") +
      (interfaceVersionText_.isEmpty()
           ? QString::number(interfaceVersion_ / 10) + QLatin1Char('.') + QString::number(interfaceVersion_ % 10)
           : interfaceVersionText_);
  Changed();
}

void StreamRecorder::SetInterfaceInvalid() {
  interfaceValid_ = false;
  view_.interfaceCaption = QStringLiteral("INTERACE INVALID");
  Changed();
}

void StreamRecorder::CheckEnded(uint64_t gen) {
  if (gen != checkGen_) return;
  ++checkGen_;
  if (OnInterfaceChecked) OnInterfaceChecked(interfaceValid_);
}

void StreamRecorder::CheckInterface() {
  const uint64_t gen = ++checkGen_;
  SetInterfaceInvalid();
  if (!transfers_.IsLinked()) {
    CheckEnded(gen);
    return;
  }
  const auto failed = [this, gen] {
    if (gen != checkGen_) return;
    view_.interfaceCaption = QStringLiteral("INTERFACE INVALID");
    Changed();
    CheckEnded(gen);
  };
  const bool queued = Queue(
      kQueryInterface, kShortReplyLength,
      [this, gen, failed](const QByteArray& r) {
        if (gen != checkGen_) return;
        if (!Good(r, kShortReplyLength, 0xF1)) {
          failed();
          return;
        }
        interfaceVersion_ = ReplyByte(r, 1);
        CheckTest(gen);
      },
      [this, gen] { CheckEnded(gen); });
  if (!queued) failed();
}

void StreamRecorder::CheckTest(uint64_t gen) {
  const bool queued = Queue(
      kTestInterface, kShortReplyLength,
      [this, gen](const QByteArray& r) {
        if (gen != checkGen_) return;
        if (Good(r, kShortReplyLength, 0xF1) && ReplyByte(r, 1) == 0x7F)
          SetInterfaceValid();
        else
          SetInterfaceInvalid();
        // Valid or not (a lost reply too), the chain goes on: a header with
        // the right magic may still validate the interface.
        CheckVersion(gen);
      },
      [this, gen] { CheckEnded(gen); });
  if (!queued) CheckEnded(gen);
}

void StreamRecorder::CheckVersion(uint64_t gen) {
  const bool queued = Queue(
      kQueryVersion, kVersionReplyLength,
      [this, gen](const QByteArray& r) {
        if (gen != checkGen_) return;
        if (!Good(r, kVersionReplyLength, 0xFE)) {
          CheckEnded(gen);
          return;
        }
        interfaceVersionText_ = Latin1Text(r.mid(1, 13));
        CheckClient(gen);
      },
      [this, gen] { CheckEnded(gen); });
  if (!queued) CheckEnded(gen);
}

void StreamRecorder::CheckClient(uint64_t gen) {
  const auto done = [this, gen](const QByteArray& r) {
    if (gen != checkGen_) return;
    if (Good(r, kClientReplyLength, 0xFF)) {
      clientVersionText_ = Latin1Text(r.mid(1, 15));
      if (ReplyByte(r, 1) != '.') clientVersionText_.insert(1, QLatin1Char('.'));
      Header();
    } else {
      clientVersionText_ = QStringLiteral("Transf.Fehler");
    }
    Memo({QStringLiteral("Client.Version=") + clientVersionText_});
    // The version text is news for the caption; validity comes only from
    // the interface test or a header with the right magic.
    if (interfaceValid_) SetInterfaceValid();
    CheckEnded(gen);
  };
  if (!Queue(kClientVersion, kClientReplyLength, done, [this, gen] { CheckEnded(gen); }))
    done(QByteArray());
}

// --- capture file and fetch --------------------------------------------------

void StreamRecorder::ShowFileName() {
  view_.fileName = prefix_ + QString::number(fileNumber_) + QStringLiteral(".cap");
  view_.filePath = CapturePath();
  Changed();
}

void StreamRecorder::NextFileNumber() {
  ++fileNumber_;
  config_.SetTarvoNummer(fileNumber_);
  ShowFileName();
}

void StreamRecorder::ZeroFileNumber() {
  fileNumber_ = 0;
  config_.SetTarvoNummer(fileNumber_);
  ShowFileName();
}

void StreamRecorder::SetFileName(const QString& name) {
  view_.fileName = name;
  view_.filePath = CapturePath();
  Changed();
}

QString StreamRecorder::CapturePath() const {
  const QString dir = config_.Dokudir().isEmpty() ? QDir::currentPath() : config_.Dokudir();
  if (view_.fileName.trimmed().isEmpty()) return QString();
  return QDir(dir).filePath(view_.fileName);
}

bool StreamRecorder::OpenCapture(const QStringList& head) {
  CloseCapture();
  const QString path = CapturePath();
  view_.filePath = path;
  const QString dir = config_.Dokudir().isEmpty() ? QDir::currentPath() : config_.Dokudir();
  const QString shown = path.isEmpty() ? QDir(dir).filePath(view_.fileName) : path;
  if (path.isEmpty() || QFileInfo(path).fileName().isEmpty()) {
    if (OnFileError) OnFileError(QStringLiteral("%1: kein gültiger Dateiname").arg(shown));
    Changed();
    return false;
  }
  // The new capture is made beside the old one and takes its place once its
  // head is whole: a failure or a kill before then leaves the old capture.
  // Unbuffered: every write reaches the file or fails at once, so a write
  // error leaves whole lines behind.
  const QString part = path + QStringLiteral(".part");
  constexpr QIODevice::OpenMode kMode = QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered;
  auto file = std::make_unique<QFile>(part);
  // A folder that takes no new file may still let the capture be written
  // over in place.
  const bool inPlace = !file->open(kMode);
  if (inPlace) {
    file = std::make_unique<QFile>(path);
    if (!file->open(kMode)) {
      if (OnFileError) OnFileError(QStringLiteral("%1: %2").arg(path, file->errorString()));
      Changed();
      return false;
    }
  }
  capture_ = std::move(file);
  captureName_ = path;
  committed_ = 0;
  writeCount_ = 0;
  bool placed = WriteLines(head);
  if (placed && !inPlace &&
      std::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) != 0) {
    if (OnFileError) OnFileError(QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    placed = false;
  }
  if (!placed) {
    capture_->close();
    capture_.reset();
    if (!inPlace) QFile::remove(part);
    Changed();
    return false;
  }
  view_.fileCaption = QStringLiteral("FILE OPEN");
  Changed();
  return true;
}

bool StreamRecorder::WriteLines(const QStringList& lines) {
  if (!capture_) return false;
  QByteArray data;
  for (const QString& line : lines) data += line.toLatin1() + "\r\n";
  qint64 written = capture_->write(data);
  // A write cut short by a full disk sets no error: writing the rest brings
  // the system's reason for the message.
  if (written > 0 && written < data.size()) {
    const qint64 more = capture_->write(data.constData() + written, data.size() - written);
    if (more > 0) written += more;
  }
  if (written == data.size()) {
    committed_ += written;
    return true;
  }
  // A partial line is taken back, so the file ends on a whole line.
  const QString reason = capture_->errorString();
  capture_->resize(committed_);
  if (OnFileError) OnFileError(QStringLiteral("%1: %2").arg(captureName_, reason));
  return false;
}

bool StreamRecorder::CloseCapture() {
  if (!capture_) return true;
  const bool ok = capture_->flush() && capture_->error() == QFileDevice::NoError;
  capture_->close();
  const QString name = captureName_;
  const QString reason = capture_->errorString();
  capture_.reset();
  if (!ok) {
    if (OnFileError) OnFileError(QStringLiteral("%1: %2").arg(name, reason));
    return false;
  }
  view_.fileCaption = QStringLiteral("FILE CLOSED");
  Changed();
  return true;
}

bool StreamRecorder::Fetch() {
  if (!transfers_.IsLinked()) return false;
  if (fetching_) EndFetch(false);
  QStringList memo;
  identity_.WriteIdentityBlock([&memo](const QString& line) { memo << line; });
  memo << QString::fromLatin1(kVersionLine) << QStringLiteral("dekodiert mit ") + QLatin1String(EventDecoder::kVersion)
       << QStringLiteral(" ");
  QStringList head;
  for (int i = 0; i < kHeadLines; ++i) head << HeadText(i < memo.size() ? memo.at(i) : QStringLiteral(" "));
  if (!OpenCapture(head)) return false;
  if (OnMemoClear) OnMemoClear();
  Memo(memo);

  fetching_ = true;
  stopRequested_ = false;
  fetchRemaining_ = 0;
  view_.fetching = true;
  view_.fetch = QString::number(fetchRemaining_);
  const uint64_t gen = ++fetchGen_;
  StopOperation();
  const bool queued = Queue(
      kQueryHeader, kHeaderLength, [this, gen](const QByteArray& r) { FetchHeaderReply(gen, r); },
      [this, gen] {
        if (gen == fetchGen_) EndFetch(false);
      });
  if (!queued) {
    view_.hLed = Led::Red;
    EndFetch(false);
  }
  Changed();
  return true;
}

void StreamRecorder::StopFetch() {
  fetchRemaining_ = 1;
  stopRequested_ = true;
}

void StreamRecorder::FetchHeaderReply(uint64_t gen, const QByteArray& r) {
  if (gen != fetchGen_ || !fetching_) return;
  if (!Good(r, kHeaderLength, 0xFE)) {
    view_.hLed = Led::Red;
    EndFetch(false);
    return;
  }
  if (Word(r, 1) != kMagic) {
    view_.size = QStringLiteral("MAGIC?");
    EndFetch(false);
    return;
  }
  const int count = Word(r, 10);
  const int wrap = ReplyByte(r, 12);
  const int size = Word(r, 13);
  int remaining = wrap != 0 ? size : count;
  if (size > 0) remaining = std::min(remaining, size);
  if (size == 0) remaining = 0;
  if (stopRequested_) remaining = std::min(remaining, 1);
  fetchRemaining_ = remaining;
  view_.fetch = QString::number(fetchRemaining_);
  if (fetchRemaining_ <= 0) {
    // An empty stream: the file keeps its head, recording goes on.
    EndFetch(true);
    RunOperation();
    return;
  }
  if (!QueueFetch(gen)) EndFetch(false);
  Changed();
}

bool StreamRecorder::QueueFetch(uint64_t gen) {
  return Queue(
      kFetch, kFetchReplyLength, [this, gen](const QByteArray& r) { FetchReply(gen, r); },
      [this, gen] {
        if (gen == fetchGen_) EndFetch(false);
      });
}

void StreamRecorder::FetchReply(uint64_t gen, const QByteArray& r) {
  if (gen != fetchGen_ || !fetching_) return;
  if (!Good(r, kFetchReplyLength, 0xFC)) {
    view_.fetch = QStringLiteral("???");
    EndFetch(false);
    return;
  }
  QStringList lines;
  for (int i = 0; i < 3 && (i == 0 || fetchRemaining_ > 0); ++i) {
    const int at = 1 + 4 * i;
    const uint8_t kind = ReplyByte(r, at);
    if (kind == 0x0A) {
      lines << FormatTwoSecondsSpaced(static_cast<uint16_t>(ReplyByte(r, at + 1) + 256 * ReplyByte(r, at + 2)));
    } else {
      lines << QString::asprintf("%02X,%02X,%02X,%02X", kind, ReplyByte(r, at + 1), ReplyByte(r, at + 2),
                                 ReplyByte(r, at + 3));
    }
    --fetchRemaining_;
  }
  if (!WriteLines(lines)) {
    EndFetch(false);
    return;
  }
  writeCount_ += static_cast<int>(lines.size());
  view_.fileCaption = QStringLiteral("FILE WRITE ") + QString::number(writeCount_);
  QStringList shown;
  for (const QString& line : lines) {
    const QString decoded = decoder_.DecodeCaptureLine(line);
    if (!decoded.isEmpty()) shown << decoded;
  }
  Memo(shown);
  view_.fetch = QString::number(fetchRemaining_);
  if (fetchRemaining_ < 1) {
    EndFetch(true);
    RunOperation();
    return;
  }
  if (!QueueFetch(gen)) EndFetch(false);
  Changed();
}

void StreamRecorder::EndFetch(bool ok) {
  if (!fetching_) return;
  fetching_ = false;
  ++fetchGen_;
  view_.fetching = false;
  CloseCapture();
  Changed();
  if (OnFetchEnded) OnFetchEnded(ok);
}

}  // namespace ulv
