#pragma once
// The event stream recorder: checks that the controller offers the stream
// interface, starts, stops and restarts the recording with a set of
// channels, shows the stream's header, and fetches the recorded entries into
// a capture file (CR LF lines, Latin-1) while the decoder turns each into a
// memo line. Every chain of requests carries a generation number: replies
// of a chain that has ended change nothing, and a fetch ends on every
// failure (wrong or short reply, refused or dropped request, link lost,
// write error) with the file closed on whole lines. The window TForm14 and
// the headless capture bind to it.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

#include "common/clock.h"
#include "common/configuration.h"
#include "common/timer.h"
#include "link/transfers.h"
#include "records/plant_identity.h"
#include "stream/event_decoder.h"

namespace ulv {

enum class Led { Off, Yellow, Green, Red };

// What the window shows; changed only by the recorder.
struct RecorderView {
  QString interfaceCaption = QStringLiteral("Interface Invalid");
  Led hLed = Led::Off;
  Led openLed = Led::Off;
  Led stopLed = Led::Off;
  QString size, openDate, openTime, count, wrap;
  uint8_t mask = 0;  // channel buttons Bit0..Bit5
  QString fetch;
  QString fileCaption = QStringLiteral("FILE CLOSED");
  QString fileName;  // Edit3
  QString filePath;  // Edit3's hint
  bool fetching = false;
  bool linked = false;
};

class StreamRecorder {
public:
  static constexpr const char* kVersionLine = "reader.040604/ulv_tarvo.310702";
  static constexpr uint16_t kMagic = 1998;
  static constexpr int kPollMs = 1000;

  StreamRecorder(Transfers& transfers, const Clock& clock, TimerFactory& timers, Configuration& config,
                 const PlantIdentity& identity, EventDecoder& decoder);
  ~StreamRecorder();
  StreamRecorder(const StreamRecorder&) = delete;
  StreamRecorder& operator=(const StreamRecorder&) = delete;

  // StartRecorder: interface invalid, file closed, the decoder initialised
  // with kinds 1 to 10, polling in state 0 when the link stands.
  void Start();
  // The link indicator's report; a fetch running when the link goes ends.
  void SetLinked(bool up);

  // h_Button; false (h_LED red) when the queue refuses.
  bool Header();
  void Run();
  void Stop();
  // ReWriteButton; false when ignored or refused (nothing cleared then).
  bool ReWrite();
  void SetChannel(int bit, bool on);
  void ToggleAll();  // BitBtn1 "Alle"
  void ToggleInterval();
  // InterfaceButton before the click goes on to the link indicator.
  void InterfaceClick();
  void CheckInterface();
  // FetchButton: aborts a running fetch first. False when nothing was sent
  // (link down, capture file not created).
  bool Fetch();
  void StopFetch();  // SpeedButton3

  void NextFileNumber();  // "++"
  void ZeroFileNumber();  // "0"
  void SetFileName(const QString& name);
  QString CapturePath() const;

  const RecorderView& View() const { return view_; }
  bool InterfaceValid() const { return interfaceValid_; }
  QString InterfaceVersionText() const { return interfaceVersionText_; }
  QString ClientVersionText() const { return clientVersionText_; }
  int FetchRemaining() const { return fetchRemaining_; }
  int WriteCount() const { return writeCount_; }
  bool IsFetching() const { return fetching_; }
  int PollState() const { return pollState_; }
  bool Polling() const { return timer_->IsActive(); }
  void Tick();  // Timer1

  std::function<void()> OnViewChanged;
  std::function<void()> OnMemoClear;
  std::function<void(const QStringList& lines)> OnMemoLines;
  std::function<void(const QString& message)> OnFileError;
  // A fetch has ended (false: failed or aborted); the interface check has
  // ended with the interface valid or not.
  std::function<void(bool ok)> OnFetchEnded;
  std::function<void(bool valid)> OnInterfaceChecked;

private:
  struct Guard;
  TransferReplyHandler Guarded(std::function<void(const QByteArray&)> handler, std::function<void()> dropped);
  bool Queue(const QByteArray& command, int replyLength, std::function<void(const QByteArray&)> handler,
             std::function<void()> dropped = nullptr);
  bool QueueHeader(std::function<void(const QByteArray&)> after, std::function<void()> dropped);
  void ShowHeader(const QByteArray& reply);
  bool StopOperation();
  bool RunOperation();
  void SetInterfaceValid();
  void SetInterfaceInvalid();
  void CheckEnded(uint64_t gen);
  void CheckTest(uint64_t gen);
  void CheckVersion(uint64_t gen);
  void CheckClient(uint64_t gen);
  void Memo(const QStringList& lines);
  void Changed();

  bool OpenCapture(const QStringList& head);
  bool WriteLines(const QStringList& lines);
  bool CloseCapture();
  void FetchHeaderReply(uint64_t gen, const QByteArray& reply);
  void FetchReply(uint64_t gen, const QByteArray& reply);
  bool QueueFetch(uint64_t gen);
  void EndFetch(bool ok);
  void ShowFileName();

  Transfers& transfers_;
  const Clock& clock_;
  Configuration& config_;
  const PlantIdentity& identity_;
  EventDecoder& decoder_;
  std::unique_ptr<Timer> timer_;
  std::shared_ptr<int> life_ = std::make_shared<int>(0);
  RecorderView view_;

  bool interfaceValid_ = false;
  uint8_t interfaceVersion_ = 0;
  QString interfaceVersionText_;
  QString clientVersionText_;
  int pollState_ = 0;
  bool pollOutstanding_ = false;
  uint64_t checkGen_ = 0;

  QString prefix_;
  int fileNumber_ = 0;
  std::unique_ptr<QFile> capture_;
  QString captureName_;  // the capture's own name, not the name it was made under
  qint64 committed_ = 0;
  bool fetching_ = false;
  bool stopRequested_ = false;
  uint64_t fetchGen_ = 0;
  int fetchRemaining_ = 0;
  int writeCount_ = 0;
};

}  // namespace ulv
