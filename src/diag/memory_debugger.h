#pragma once
// The memory debugger's logic (window TUlvDebug): reads four (or eight)
// bytes at Basis + Offset, polls, writes four edited bytes, follows the
// pointer found in them, and reads and writes back the maintenance counters
// of the persistent system data.
//
// The controller has one memory pointer that F5 04 sets and F1 0B / F9 0C /
// F1 54 use, so a write must never share it with anything: a write sets the
// address itself, goes on only after an F4 answer, and no read of this
// debugger and no dump starts in between. Every chain carries a generation
// number and ends on every failure path, a request the queue drops included.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "common/timer.h"
#include "link/qel_utils.h"
#include "link/transfers.h"

namespace ulv {

class MemoryDump;
class RecordReader;

// The maintenance fields as typed: FZ, BS hours, BS minutes, W.Interv., W.Byte.
struct MaintenanceFields {
  QString trips, hours, minutes, interval, flags;
};

class MemoryDebugger {
public:
  static constexpr int kSysPermBytes = 30;
  static constexpr int kPollMinMs = 100;
  static constexpr int kPollMaxMs = 1000;

  MemoryDebugger(Transfers& transfers, QelUtils& utils, RecordReader& reader, MemoryDump& dump,
                 TimerFactory& timers);
  ~MemoryDebugger();

  // Decimal, or hexadecimal after "$"; text that is no number counts as 0.
  static int64_t ParseNumber(const QString& text);
  // "$" + four upper-case hex digits.
  static QString AddressText(uint16_t address);
  // Usable symbol file lines (at least 9 characters, a trailing CR dropped,
  // characters 6-9 four hex digits >= D000) as "name,ADDR", sorted.
  static QStringList ParseSymbols(const QByteArray& fileText);
  // The four characters after the first comma as an address, if hex digits.
  static std::optional<uint16_t> SymbolAddress(const QString& entry);
  // The eight hex digits of "12.34.AB.00." (positions 1-2, 4-5, 7-8, 10-11),
  // upper case; nothing unless all eight are hex digits.
  static std::optional<QString> EditedBytes(const QString& hexText);

  // Basis/Offset changed: computes DebugAddress, reports it, starts a read.
  void SetAddress(const QString& basis, const QString& offset);
  // A read of DebugAddress (one at a time; one asked for meanwhile is
  // remembered, the latest address only).
  void Read();
  // "Send": four edited bytes to DebugAddress. False when refused (not eight
  // hex digits, a write or dump in flight, the queue refused).
  bool Send(const QString& hexText);
  // "deb.ptr": the address becomes DebugPointer; no read.
  void FollowPointer();
  // "dump": false while a write is in flight; else the poll stops and the
  // caller opens the dump window at Resultat.
  bool PrepareDump();
  // "Intervall".
  void TogglePolling();
  void SetPollInterval(int ms);
  bool IsPolling() const;
  // Closing or hiding the window.
  void StopPolling();
  // "holen": SysPerm through the record reader (kind 2).
  void FetchMaintenance();
  // "senden": range checks, then the write-back of bytes 12-27. False with
  // OnMessage naming the field when a field is out of range.
  bool SendMaintenance(const MaintenanceFields& fields);

  void SetReadEight(bool on) { readEight_ = on; }
  uint16_t DebugAddress() const { return address_; }
  uint16_t DebugPointer() const { return pointer_; }
  bool ReadAnswered() const { return readAnswered_; }
  bool IsReading() const { return reading_; }
  bool IsWriting() const { return writing_; }
  QByteArray MaintenanceCopy() const { return maintenance_; }

  // The window's side.
  std::function<bool()> IsVisible;
  std::function<void(const QString& resultat)> OnAddress;
  std::function<void(const QString& hex, const QString& word, const QString& bytes, const QString& chars)> OnResult;
  std::function<void(const QString& pointer)> OnPointer;
  std::function<void(int count)> OnPollCount;
  std::function<void(bool running)> OnPolling;
  std::function<void(const MaintenanceFields& fields)> OnMaintenance;
  std::function<void(bool enabled)> OnSendEnabled;  // "senden"
  std::function<void(const QString& line)> OnMemo;  // "ready" / "error"
  std::function<void(const QString& text)> OnMessage;
  // A read ended: shown (OnResult was called) or not.
  std::function<void(bool shown)> OnReadEnded;
  // A write (Send or write-back) ended: every write went out, or it stopped.
  std::function<void(bool ok)> OnWriteEnded;

private:
  struct Guard;
  struct WriteStep {
    uint16_t address;
    QString hex;
  };
  struct Texts {
    QString hex, word, bytes, chars;
  };

  void StartRead(uint16_t address);
  bool QueueRead(int step, const QByteArray& command, int replyLength);
  void ReadStep(int generation, int step, const QByteArray& reply);
  void EndRead(bool answered, bool shown = false);
  bool StartWrite(std::vector<WriteStep> steps);
  bool WriteNext();
  void AddressSet(int generation, const QByteArray& reply);
  void Written(int generation, const QByteArray& reply);
  void SysPermAddress(int generation, const QByteArray& reply, const QByteArray& snapshot);
  void EndWrite(bool ok);
  void AfterChain();
  std::shared_ptr<Guard> NewGuard(int generation, bool write);
  void Dropped(int generation, bool write);
  void ShowMaintenance(const QByteArray& record);

  Transfers& transfers_;
  QelUtils& utils_;
  RecordReader& reader_;
  MemoryDump& dump_;
  std::unique_ptr<Timer> timer_;
  std::shared_ptr<MemoryDebugger*> self_;

  uint16_t address_ = 0xD000;
  uint16_t pointer_ = 0;
  bool readEight_ = false;
  bool readAnswered_ = false;
  bool readBusy_ = false;
  int pollCount_ = 0;

  int readGeneration_ = 0;
  int writeGeneration_ = 0;
  bool reading_ = false;
  bool chainEight_ = false;
  uint16_t readAddress_ = 0;
  Texts first_;
  std::optional<uint16_t> pendingRead_;

  bool writing_ = false;
  bool writeBack_ = false;
  std::vector<WriteStep> steps_;
  size_t nextStep_ = 0;
  std::optional<std::vector<WriteStep>> pendingWrite_;

  int maintenanceRead_ = 0;
  bool maintenanceValid_ = false;
  QByteArray maintenance_;
};

}  // namespace ulv
