#include "records/error_log_reader.h"

#include <QDir>
#include <QtEndian>
#include <algorithm>

#include "common/bytes.h"
#include "common/save_file.h"

namespace ulv {

namespace {

constexpr int kCountReplyLength = 8;
constexpr int kRecordReplyLength = 8;
constexpr int kDeleteReplyLength = 2;
constexpr int kTripReplyLength = 9;
constexpr int kPlantTextReplyLength = 16;
constexpr int kStackedBytes = 32;     // a stacked reply keeps at most this much
constexpr int kStoredBytes = 8;       // record bytes written per file record
constexpr int kMaxStoredLength = 11;  // room behind the length byte
constexpr int64_t kFailedCount = 999999;

}  // namespace

struct ErrorLogReader::Run {
  Output output;
  int64_t total = 0;
  int received = 0;
  int limit = 0;
  int64_t firstNumber = 1;
  bool recordsRequested = false;
  std::vector<QByteArray> stack;  // last requested on top
  bool ended = false;

  void Emit(const QString& line) const {
    if (output) output(line);
  }
};

ErrorLogReader::ErrorLogReader(Transfers& transfers, QelUtils& utils, ErrorCatalogue& catalogue,
                               const PlantIdentity& identity, const Clock& clock)
    : transfers_(transfers), utils_(utils), catalogue_(catalogue), identity_(identity), clock_(clock) {}

QString ErrorLogReader::ErrorListPath() const {
  const QString dir = listDirectory_.isEmpty() ? QDir::currentPath() : listDirectory_;
  return QDir(dir).filePath(QStringLiteral("fehler.bin"));
}

bool ErrorLogReader::IsReading() const {
  // A run is owned by the handlers of its waiting requests; when the queue
  // drops them (another request's time-out empties it), the run goes away.
  return std::any_of(runs_.begin(), runs_.end(), [](const std::weak_ptr<Run>& w) {
    const auto run = w.lock();
    return run && !run->ended;
  });
}

ErrorLogReader::RunPtr ErrorLogReader::NewRun(Output output) {
  runs_.erase(std::remove_if(runs_.begin(), runs_.end(), [](const auto& w) { return w.expired(); }),
              runs_.end());
  auto run = std::make_shared<Run>();
  run->output = std::move(output);
  runs_.push_back(run);
  return run;
}

void ErrorLogReader::End(const RunPtr& run, ReadOutcome outcome) {
  if (run->ended) return;
  run->ended = true;
  run->stack.clear();
  if (OnReadEnded) OnReadEnded(outcome);
}

void ErrorLogReader::SetProgress(int value, int maximum) {
  progressValue_ = value;
  progressMaximum_ = maximum;
  if (OnProgress) OnProgress(value, maximum);
}

void ErrorLogReader::SetStatus(int state) {
  status_ = state;
  if (OnCaptionChanged) OnCaptionChanged();
}

QString ErrorLogReader::CaptionText() const {
  return catalogue_.CatalogueText(status_ == 0 ? QStringLiteral("_FEHLER_READER_")
                                               : QStringLiteral("_HOLEN_"));
}

bool ErrorLogReader::StartRead(Output output) {
  if (IsReading()) return false;
  if (output) output(QStringLiteral("ulv_fehler.270702"));
  catalogue_.WriteCatalogueInfo(output);
  hexMode_ = false;
  SetStatus(1);
  SetProgress(0, progressMaximum_);
  return ReadErrorLog(std::move(output));
}

bool ErrorLogReader::ReadErrorLog(Output output) {
  if (IsReading()) return false;
  outputProc_ = output;
  identity_.WriteIdentityBlock(output);
  QueueCount(NewRun(std::move(output)));
  return true;
}

void ErrorLogReader::QueueCount(const RunPtr& run) {
  const bool queued =
      transfers_.AddTransfer(Bytes({0xF1, 0x31}), kCountReplyLength, [this, run](const QByteArray& reply) {
        if (run->ended) return;
        // The count travels as text, and "999999" is the text of a failed
        // count, whatever reply gave it.
        const bool ok = ReplyByte(reply, 0) == 0xF4 && NibbleWord(reply, 1) != kFailedCount;
        if (!ok && !IsControllerReply(reply)) {
          run->Emit(catalogue_.CatalogueText(QStringLiteral("_FEHLER_TEXT_")));
          End(run, ReadOutcome::TimedOut);
          return;
        }
        CountDone(run, ok, ok ? NibbleWord(reply, 1) : 0);
      });
  if (!queued) End(run, ReadOutcome::Refused);
}

void ErrorLogReader::CountDone(const RunPtr& run, bool ok, int64_t total) {
  if (!ok) {
    run->Emit(catalogue_.CatalogueText(QStringLiteral("_FEHLER_TEXT_")));
    End(run, ReadOutcome::CountFailed);
    return;
  }
  run->total = total;
  lastTotal_ = total;
  if (total == 0) {
    Finish(run);
    return;
  }
  run->received = 0;
  run->firstNumber = 1;
  run->limit = static_cast<int>(std::min<int64_t>(total, kMaxRecords));
  // With more than 100 stored errors the oldest are skipped; the list keeps
  // numbering from Total - 100.
  if (total > kMaxRecords) run->firstNumber = total - kMaxRecords;
  run->stack.clear();
  run->recordsRequested = true;
  SetProgress(0, run->limit);
  RequestRecord(run);
}

void ErrorLogReader::RequestRecord(const RunPtr& run) {
  const QByteArray command = Bytes({0xF3, 0x55, 0x07, static_cast<uint8_t>(run->received)});
  const bool queued = transfers_.AddTransfer(
      command, kRecordReplyLength, [this, run](const QByteArray& reply) { RecordReply(run, reply); });
  if (!queued) End(run, ReadOutcome::Refused);
}

void ErrorLogReader::RecordReply(const RunPtr& run, const QByteArray& reply) {
  if (run->ended) return;
  // Controller replies always have kind 0xF; anything else is the queue's
  // time-out substitute, and the queue has dropped the rest of the chain.
  if (!IsControllerReply(reply)) {
    End(run, ReadOutcome::TimedOut);
    return;
  }
  run->stack.push_back(reply.left(kStackedBytes));
  ++run->received;
  SetProgress(run->received, run->limit);
  if (run->received < run->limit)
    RequestRecord(run);
  else
    Finish(run);
}

void ErrorLogReader::Finish(const RunPtr& run) {
  run->Emit(catalogue_.CatalogueText(QStringLiteral("_unit45_1")) + QLatin1Char(' ') + clock_.NowText());
  run->Emit(QLatin1Char(' ') + QString::number(run->total) +
            catalogue_.CatalogueText(QStringLiteral("_unit45_2")));
  if (!run->recordsRequested) {
    run->Emit(catalogue_.CatalogueText(QStringLiteral("_unit45_1")));
  } else {
    QByteArray file;
    int64_t number = run->firstNumber;
    while (!run->stack.empty()) {
      const QByteArray reply = run->stack.back();
      run->stack.pop_back();
      run->Emit(catalogue_.FormatErrorLine(reply, static_cast<int>(number), hexMode_));
      QByteArray record(kFileRecordSize, '\0');
      qToLittleEndian<qint32>(static_cast<qint32>(number), record.data());
      const QByteArray stored = reply.left(kStoredBytes);
      record[4] = static_cast<char>(stored.size());
      std::copy(stored.begin(), stored.end(), record.begin() + 5);
      file.append(record);
      ++number;
    }
    // Until a later read writes it, the file holds another read's records:
    // "HEX" must not list them as this read's.
    listFileError_.clear();
    if (!SaveWholeFile(ErrorListPath(), file, &listFileError_) && OnFileError) OnFileError(listFileError_);
  }
  run->Emit(QStringLiteral(" OK"));
  End(run, ReadOutcome::Completed);
}

bool ErrorLogReader::HexListing(QString* error) {
  hexMode_ = true;
  QByteArray data;
  if (!listFileError_.isEmpty()) {
    if (error != nullptr) *error = listFileError_;
    return false;
  }
  if (!ReadWholeFile(ErrorListPath(), &data, error)) return false;
  // Only whole records, and never more record bytes than a record holds,
  // whatever the length byte claims.
  for (qsizetype at = 0; at + kFileRecordSize <= data.size(); at += kFileRecordSize) {
    const qint32 number = qFromLittleEndian<qint32>(data.constData() + at);
    const int length = std::min<int>(static_cast<uint8_t>(data.at(at + 4)), kMaxStoredLength);
    const QByteArray record = data.mid(at + 5, length);
    if (outputProc_) outputProc_(catalogue_.FormatErrorLine(record, number, true));
  }
  return true;
}

void ErrorLogReader::FullReport(Output output) {
  outputProc_ = output;
  const RunPtr run = NewRun(std::move(output));
  run->Emit(QStringLiteral(" "));
  run->Emit(QLatin1Char(' ') + clock_.NowText());
  run->Emit(QStringLiteral(" "));
  const bool queued =
      transfers_.AddTransfer(Bytes({0xF1, 0x40}), kTripReplyLength, [this, run](const QByteArray& reply) {
        if (run->ended) return;
        if (ReplyByte(reply, 0) == 0xF8) {
          run->Emit(catalogue_.CatalogueText(QStringLiteral("_FZ_TEXT_")) +
                    QString::number(NibbleWord(reply, 1) * 10000 + NibbleWord(reply, 5)));
        } else {
          run->Emit(QStringLiteral("fz/länge...???"));
        }
        if (!IsControllerReply(reply)) {
          End(run, ReadOutcome::TimedOut);
          return;
        }
        utils_.ReadVersion([this, run](const QString& text, ReplyStatus status) {
          if (run->ended) return;
          if (status == ReplyStatus::Refused) {
            End(run, ReadOutcome::Refused);
            return;
          }
          run->Emit(catalogue_.CatalogueText(QStringLiteral("_VERSIONS_TEXT_")) + text);
          if (status == ReplyStatus::Substitute) {
            End(run, ReadOutcome::TimedOut);
            return;
          }
          ReportPlantText(run);
        });
      });
  if (!queued) End(run, ReadOutcome::Refused);
}

void ErrorLogReader::ReportPlantText(const RunPtr& run) {
  const bool queued = transfers_.AddTransfer(
      Bytes({0xF2, 0x55, 0x12}), kPlantTextReplyLength, [this, run](const QByteArray& reply) {
        if (run->ended) return;
        // The whole reply: the header byte shows as ".".
        run->Emit(catalogue_.CatalogueText(QStringLiteral("_ANLAGEN_TEXT_")) + Printable(Latin1Text(reply)));
        run->Emit(QStringLiteral(" "));
        if (!IsControllerReply(reply)) {
          End(run, ReadOutcome::TimedOut);
          return;
        }
        QueueCount(run);
      });
  if (!queued) End(run, ReadOutcome::Refused);
}

void ErrorLogReader::DeleteErrorLog(std::function<void(bool answered)> done) {
  const bool queued =
      transfers_.AddTransfer(Bytes({0xF1, 0x25}), kDeleteReplyLength, [this, done](const QByteArray& reply) {
        const bool answered = IsControllerReply(reply);
        // After a time-out the queue drops whatever is added now.
        if (answered) FullReport(nullptr);
        if (done) done(answered);
      });
  FullReport(nullptr);
  if (!queued && done) done(false);
}

}  // namespace ulv
