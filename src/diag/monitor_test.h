#pragma once
// The monitor and test window's logic (window TForm10): the action test
// through a fixed table of 80 requests, the monitor block and LCD loop on
// Timer1, floor calls, call configuration, group link state and commands,
// line data outside replies (Timer2) and the shaft copying signals loop.
//
// A substitute reply (empty, or a first byte below 0xF0) never passes for a
// controller's answer: the labels stay as they are. Each chain has one
// request out at a time; a refusal or a request the queue drops ends it.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "common/timer.h"
#include "link/transfers.h"

namespace ulv {

enum class Richtung { rrNULL, rrAB, rrAUF };

// The monitor block as the labels show it; unset: the label stays.
struct MonitorLabels {
  QString floor, mode, weiz, target, doorA, doorB, fullLoad, fault;
  std::optional<QString> direction;
  std::optional<Richtung> arrow;
  std::optional<QString> safety;
  int trackBar = 0;
};

struct ActionRow {
  QByteArray command;
  int replyLength;
};

class MonitorTest {
public:
  static constexpr int kLcdLength = 100;
  static constexpr int kWaitTicks = 10;  // ticks without a reply before the loop goes on

  MonitorTest(Transfers& transfers, TimerFactory& timers);
  ~MonitorTest();

  static const std::vector<ActionRow>& ActionTable();
  // A reply the controller sent (kind 0xF) of the length asked for, not a
  // time-out's substitute.
  static bool Answered(const QByteArray& reply, int length);
  static MonitorLabels DecodeMonitor(const QByteArray& reply);
  // The "Config" lines after the logged reply.
  static QStringList DecodeConfig(const QByteArray& reply);
  // "Link.Info": 1 to 4 for "ULV-1".."ULV-4", 5 for "keine".
  static int LinkRadio(int value);
  static QString CopyFlags(QString flags, const QByteArray& reply);
  // "F1.55.1B." for a command.
  static QString CommandText(const QByteArray& command);

  // Action test.
  void ToggleActionStop();
  bool ActionStopped() const { return actionStopped_; }
  void Action();
  // "Start": Timer1 on or off.
  void ToggleMonitor();
  bool MonitorRunning() const;
  // "holen": the LCD text.
  void FetchLcd();
  void Floor(int n);
  void Config();
  void LinkInfo();
  // "Slave" 81 01, "Master" 81 02, "SMaster" 81 03, "ADR" 82 2A 00,
  // "LÖSCH" 92 02 01: sent without awaiting a reply.
  void Group(const QByteArray& command);
  void Send80();
  void ToggleGroupBuffer();
  // "F1 32": switches the copying signals loop on or off.
  void CopySignals();
  // Show, hide or close: every loop ends.
  void StopAll();

  // What the line received outside replies.
  std::function<QByteArray()> TakeLineData;
  // Asked once per session before the action row F1 25 deletes the error
  // memory; false skips the row.
  std::function<bool()> AskDeleteErrors;

  std::function<void(const QString& line)> OnLog;        // Memo1
  std::function<void(const QString& text)> OnCommand;    // Edit1
  std::function<void(const QString& text)> OnActionState;  // "Run" / "Stopped"
  std::function<void(const MonitorLabels& labels)> OnMonitor;
  std::function<void(const QString& text)> OnStep;       // Label22
  std::function<void(bool yellow)> OnPanel4;
  std::function<void(const QStringList& lines)> OnLcd;   // LCD_1..LCD_4
  std::function<void(int radio)> OnRadio;
  std::function<void(const QString& flags, const QString& hex)> OnCopy;  // Label20, Label23
  std::function<void(bool yellow)> OnPanel5;

private:
  struct Guard;
  enum class Chain { Action, Monitor, Lcd, Copy, Single };

  bool Queue(Chain chain, int generation, const QByteArray& command, int replyLength,
             std::function<void(const QByteArray&)> handler);
  void Dropped(Chain chain, int generation);
  void LogReply(const QString& label, const QByteArray& reply);
  void Tick();
  void LcdReply(int generation, const QByteArray& reply);
  void StartLcd();
  void EndLcd();
  void CopyStep();
  void StopActions();
  void EndCopy();

  Transfers& transfers_;
  std::unique_ptr<Timer> timer1_;
  std::unique_ptr<Timer> timer2_;
  std::shared_ptr<MonitorTest*> self_;

  int actionIndex_ = 1;
  bool actionStopped_ = true;
  bool actionOut_ = false;
  int actionGeneration_ = 0;
  std::optional<bool> deleteAgreed_;

  int monitorStep_ = 1;
  bool monitorReady_ = false;
  int waitTicks_ = 0;
  int monitorGeneration_ = 0;
  bool panel4Yellow_ = false;

  int lcdCounter_ = 0;
  int lcdGeneration_ = 0;
  bool lcdFromMonitor_ = false;
  QString lcdBuffer_;

  bool copyOn_ = false;
  bool copyOut_ = false;
  int copyGeneration_ = 0;
  QString copyFlags_ = QStringLiteral("--aBbFOU ");
  bool panel5Yellow_ = false;
};

}  // namespace ulv
