#pragma once
// The error log reader: asks the controller for the number of stored errors,
// fetches up to 100 error records one request at a time, decodes them with
// the text catalogue, keeps them in "fehler.bin" for a hexadecimal
// re-listing, and deletes the controller's error memory on request. Every
// read is a chain of requests driven by the replies. The window TForm4 and
// the headless command bind to it.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "common/clock.h"
#include "link/qel_utils.h"
#include "link/transfers.h"
#include "records/error_catalogue.h"
#include "records/plant_identity.h"

namespace ulv {

class ErrorLogReader {
public:
  using Output = std::function<void(const QString&)>;
  enum class ReadOutcome {
    Completed,    // " OK" printed (fehler.bin rewritten when records came)
    CountFailed,  // the count reply did not start with F4: "_FEHLER_TEXT_"
    TimedOut,     // a time-out substitute ended the chain; fehler.bin untouched
    Refused,      // the queue refused a request (link down, queue full)
  };

  static constexpr int kMaxRecords = 100;
  static constexpr int kFileRecordSize = 16;

  ErrorLogReader(Transfers& transfers, QelUtils& utils, ErrorCatalogue& catalogue,
                 const PlantIdentity& identity, const Clock& clock);

  // Folder of "fehler.bin"; empty (the default) means the current working
  // directory at the time of use.
  void SetListDirectory(const QString& dir) { listDirectory_ = dir; }
  QString ErrorListPath() const;

  // The read flow of "holen": "ulv_fehler.270702", the catalogue info,
  // HexMode off, caption state 1, progress 0, then ReadErrorLog. Ignored
  // (false) while a read runs.
  bool StartRead(Output output);
  // Identity block, then count, records and Finish through `output`. Each
  // read has its own record stack and numbers. Ignored (false) while a read
  // runs.
  bool ReadErrorLog(Output output);
  // Trip counter, software version and plant text, then count, records and
  // Finish (no identity block). `output` may be empty (lines are dropped).
  void FullReport(Output output);
  // F1 25, whose reply starts a silent FullReport, and a silent FullReport at
  // once. `done` (optional) learns whether F1 25 was answered.
  void DeleteErrorLog(std::function<void(bool answered)> done = nullptr);
  // "HEX": HexMode on, every record of fehler.bin listed through the output
  // of the last read. False with `error` set when the file cannot be read or
  // the last read could not write it.
  bool HexListing(QString* error = nullptr);

  // Caption state: 0 "_FEHLER_READER_" (start-up), 1 "_HOLEN_" (a read has
  // been started). Setting it reads the catalogue.
  void SetStatus(int state);
  int Status() const { return status_; }
  QString CaptionText() const;

  bool HexMode() const { return hexMode_; }
  void SetHexMode(bool on) { hexMode_ = on; }
  // True while a read or report chain waits for a reply.
  bool IsReading() const;
  // Gauge1: maximum is the number of records to fetch, value those fetched.
  int ProgressValue() const { return progressValue_; }
  int ProgressMaximum() const { return progressMaximum_; }
  // Values of the most recent count reply (for the headless command).
  int64_t LastTotal() const { return lastTotal_; }

  ErrorCatalogue& Catalogue() { return catalogue_; }

  std::function<void(int value, int maximum)> OnProgress;
  std::function<void()> OnCaptionChanged;
  // A read or report chain has ended (not called for a chain whose waiting
  // request the queue dropped after another user's time-out: IsReading()
  // simply turns false then).
  std::function<void(ReadOutcome)> OnReadEnded;
  // fehler.bin could not be written.
  std::function<void(const QString& message)> OnFileError;

private:
  struct Run;
  using RunPtr = std::shared_ptr<Run>;

  RunPtr NewRun(Output output);
  void End(const RunPtr& run, ReadOutcome outcome);
  void QueueCount(const RunPtr& run);
  void CountDone(const RunPtr& run, bool ok, int64_t total);
  void RequestRecord(const RunPtr& run);
  void RecordReply(const RunPtr& run, const QByteArray& reply);
  void Finish(const RunPtr& run);
  void ReportPlantText(const RunPtr& run);
  void SetProgress(int value, int maximum);

  Transfers& transfers_;
  QelUtils& utils_;
  ErrorCatalogue& catalogue_;
  const PlantIdentity& identity_;
  const Clock& clock_;
  QString listDirectory_;
  // Why the last read could not write fehler.bin; empty when it could.
  QString listFileError_;
  Output outputProc_;
  bool hexMode_ = false;
  int status_ = 0;
  int progressValue_ = 0;
  int progressMaximum_ = 0;
  int64_t lastTotal_ = -1;
  std::vector<std::weak_ptr<Run>> runs_;
};

}  // namespace ulv
