#pragma once
// One run of ulvreader-cli: resolves the port (a device, COMn through the
// configuration, or the built-in simulated controller), opens it, starts the
// line exchange itself, waits a bounded time for the link and runs one
// command with the same logic objects the windows use.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "cli/cli_json.h"
#include "cli/cli_options.h"
#include "context/app_context.h"
#include "system/data_report.h"

namespace ulv {

class CliSession {
public:
  static constexpr int kExitOk = 0;
  static constexpr int kExitFailed = 1;
  static constexpr int kExitUsage = 2;
  static constexpr int kExitPort = 3;
  static constexpr int kExitOutput = 4;
  // --dial: the phase that failed.
  static constexpr int kExitNoModem = 5;
  static constexpr int kExitBusy = 6;
  static constexpr int kExitNoCarrier = 7;
  static constexpr int kExitSyncFailed = 8;

  // How long the line may take to come up, and the limit of a whole command.
  static constexpr int kLinkLimitMs = 10000;
  // --dial: the modem's dial time-out, the synchronisation and the name.
  static constexpr int kDialLinkLimitMs = 75000;
  static constexpr int kCommandLimitMs = 180000;
  static constexpr int kCaptureLimitMs = 3 * 3600 * 1000;

  CliSession(AppContext& ctx, CliOptions options);
  ~CliSession();
  CliSession(const CliSession&) = delete;
  CliSession& operator=(const CliSession&) = delete;

  // Runs the command to its end; the exit status.
  int Run();

  // A result line (stdout unless --out), an error message, a progress text
  // ("" clears it). Unset: stdout / stderr / nothing.
  std::function<void(const QString&)> OnLine;
  std::function<void(const QString&)> OnError;
  std::function<void(const QString&)> OnProgress;

  // Result lines of the run (what --out writes).
  const QStringList& Lines() const { return lines_; }

private:
  struct Units;

  QString ResolveDevice(int* comNumber, QString* error);
  void StartCommand();
  // --dial: initialises the modem, dials, and lets the session bring the
  // link up; every failed phase ends the run with its own exit status.
  void StartDialSession();
  void RunErrors(bool withIdentityListing);
  void RunRecords();
  void RecordsEnded(DataReport::Ending ending);
  void RunDump();
  void RunPeekPoke(bool poke);
  void RunMonitor();
  // capture: interface check, then the recorder's fetch; decode: offline.
  void RunCapture();
  int RunDecode();
  // The head lines of a capture file and every entry the decoder shows.
  bool DecodeCapture(const QString& path, QStringList* head, std::vector<DecodedEntry>* entries,
                     QString* error) const;
  // doctor: the report on stdout (or --out); no line is started.
  int RunDoctor();
  // --format json of a command that ended well: the document on stdout or
  // into --out; the exit status.
  int OutputJson();
  void Emit(const QString& line);
  void Progress(const QString& text);
  void Finish(int code, const QString& message = QString());
  void Tick();
  bool WriteOut(QString* error) const;

  AppContext& ctx_;
  CliOptions options_;
  std::unique_ptr<Units> u_;
  QString device_;
  QString lastTrace_;
  QStringList lines_;
  bool started_ = false;
  bool finished_ = false;
  int exitCode_ = kExitFailed;
  bool progressShown_ = false;
  // Waiting for a chain that may end without telling (dropped by the queue).
  enum class Waiting { Nothing, Identity, Errors, Delete } waiting_ = Waiting::Nothing;
  int deleteAnswered_ = -1;
  // The read's fehler.bin could not be written (reported, exit status 4).
  bool listFileFailed_ = false;
  bool captureFileFailed_ = false;
};

}  // namespace ulv
