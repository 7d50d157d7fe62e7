#pragma once
// TMyComPort: the serial port window. Shows the port state, the status
// lights, the byte trace of ComPort and the modem state of ModemLink, and
// offers the port, modem and framed-transport buttons.
#include <QAbstractScrollArea>
#include <QPlainTextEdit>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "common/timer.h"
#include "link/com_port.h"
#include "link/link_panel_widget.h"
#include "link/modem_link.h"
#include "link/serial_line.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ulv {

// A read-only memo for trace lines: bounded, and filled in batches (on a
// short timer, or by whoever feeds it a batch) so that one line per byte
// never costs one repaint per byte.
class TraceMemo : public QPlainTextEdit {
  Q_OBJECT

public:
  static constexpr int kFlushMs = 50;
  TraceMemo(TimerFactory& timers, int maxLines, QWidget* parent = nullptr);
  void AppendLine(const QString& line);
  // Appends a batch now.
  void AppendLines(const QStringList& lines);
  // Appends what is pending now (the timer does it otherwise).
  void Flush();
  // Empties the memo and drops what is pending.
  void ClearAll();
  int PendingCount() const { return static_cast<int>(pending_.size()); }

private:
  void CapPending();

  std::unique_ptr<Timer> flushTimer_;
  int maxLines_;
  QStringList pending_;
};

// The serial window's trace: a read-only view of the latest lines that lays
// out and paints only the rows in sight, so that a shown trace costs per
// repaint, not per line (a text document would take each line in and lay
// it out). The copy key copies every line.
class TraceView : public QAbstractScrollArea {
  Q_OBJECT

public:
  explicit TraceView(int maxLines, QWidget* parent = nullptr);
  // Appends a batch; a view scrolled to the end stays there.
  void AppendLines(const QStringList& lines);
  void ClearAll();
  int LineCount() const { return static_cast<int>(lines_.size()); }
  QString Text() const { return lines_.join(QLatin1Char('\n')); }

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

private:
  void UpdateScrollBars();

  int maxLines_;
  qsizetype widestLine_ = 0;
  QStringList lines_;
};

// Answers an input box: false when the user cancelled.
using InputBoxHook = std::function<bool(const QString& caption, const QString& prompt, QString* text)>;

class TMyComPort : public QWidget {
  Q_OBJECT

public:
  static constexpr int kTraceLines = ComPort::kTraceKept;
  // The lights and, while the window shows, the trace memo are refreshed at
  // this pace.
  static constexpr int kLightsMs = 100;

  TMyComPort(ComPort& port, SerialLine& line, ModemLink& modem, TimerFactory& timers, QWidget* parent = nullptr);
  ~TMyComPort() override;

  // Registered with the link state at creation.
  TLinkPanel* link_led = nullptr;
  // The text asked for by "INP.BOX" and the dial test (a QInputDialog by
  // default).
  InputBoxHook InputBox;

  TraceView* Memo() const { return memo_; }
  // Re-reads the port state into the controls.
  void ShowPortState();
  // Reads the modem lines and the trace activity into the status lights.
  void UpdateLights();
  // Appends the port's trace lines since the last batch to the memo.
  void ShowTrace();
  bool LocalMode() const { return modem_.LocalMode(); }
  // Re-reads the modem state into the controls.
  void ShowModemState();

protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  void InputBoxClick();
  void DialClick();
  static void SetLight(TLinkPanel* light, bool lit);

  ComPort& port_;
  SerialLine& line_;
  ModemLink& modem_;
  std::unique_ptr<Timer> lightsTimer_;
  TraceView* memo_ = nullptr;
  QGroupBox* portGroup_ = nullptr;
  TLinkPanel* comOpenPanel_ = nullptr;
  QLabel* comName_ = nullptr;
  QLabel* comPortLabel_ = nullptr;
  TLinkPanel* txd_ = nullptr;
  TLinkPanel* rxd_ = nullptr;
  TLinkPanel* dcd_ = nullptr;
  TLinkPanel* dsr_ = nullptr;
  TLinkPanel* ring_ = nullptr;
  QLineEdit* nachricht_ = nullptr;
  QLabel* connectLabel_ = nullptr;
  TLinkPanel* modemOpen_ = nullptr;
  QLabel* modemId_ = nullptr;
  TLinkPanel* connectLed_ = nullptr;
  TLinkPanel* dataModLed_ = nullptr;
  QLabel* dialStatus_ = nullptr;
  QLabel* timerString_ = nullptr;
  QPushButton* atsButton_ = nullptr;
  QPushButton* identButton_ = nullptr;
  QPushButton* localButton_ = nullptr;
  // Trace lines (by the port's count) already in the memo and already shown
  // by the lights.
  uint64_t traceShown_ = 0;
  uint64_t lightsFrom_ = 0;
};

}  // namespace ulv
