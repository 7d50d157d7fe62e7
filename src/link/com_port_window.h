#pragma once
// TMyComPort: the serial port window. Shows the port state, the status
// lights and the byte trace of ComPort, and offers the port and test buttons
// that need neither the modem nor the framed transport.
#include <QPlainTextEdit>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "common/timer.h"
#include "link/com_port.h"
#include "link/link_panel_widget.h"
#include "link/serial_line.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ulv {

// A read-only memo for trace lines: bounded, and filled in batches on a short
// timer so that one line per byte never costs one repaint per byte.
class TraceMemo : public QPlainTextEdit {
  Q_OBJECT

public:
  static constexpr int kFlushMs = 50;
  TraceMemo(TimerFactory& timers, int maxLines, QWidget* parent = nullptr);
  void AppendLine(const QString& line);
  // Appends what is pending now (the timer does it otherwise).
  void Flush();
  // Empties the memo and drops what is pending.
  void ClearAll();
  int PendingCount() const { return static_cast<int>(pending_.size()); }

private:
  std::unique_ptr<Timer> flushTimer_;
  QStringList pending_;
};

// Answers an input box: false when the user cancelled.
using InputBoxHook = std::function<bool(const QString& caption, const QString& prompt, QString* text)>;

class TMyComPort : public QWidget {
  Q_OBJECT

public:
  static constexpr int kTraceLines = 2000;
  static constexpr int kLightsMs = 100;

  TMyComPort(ComPort& port, SerialLine& line, TimerFactory& timers, QWidget* parent = nullptr);
  ~TMyComPort() override;

  // Registered with the link state at creation.
  TLinkPanel* link_led = nullptr;
  // The text asked for by "INP.BOX" (a QInputDialog by default).
  InputBoxHook InputBox;

  QString EchoOffCmd = QStringLiteral("ATE0");
  TraceMemo* Memo() const { return memo_; }
  // Re-reads the port state into the controls.
  void ShowPortState();
  // Reads the modem lines and the trace activity into the status lights.
  void UpdateLights();
  bool LocalMode() const { return localMode_; }

protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  void OnTrace(const QString& line);
  void SendText(const QByteArray& text);
  void AtsClick();
  void IdentClick();
  void InputBoxClick();
  void LocalClick();
  static void SetLight(TLinkPanel* light, bool lit);

  ComPort& port_;
  SerialLine& line_;
  std::unique_ptr<Timer> lightsTimer_;
  TraceMemo* memo_ = nullptr;
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
  QPushButton* atsButton_ = nullptr;
  QPushButton* identButton_ = nullptr;
  QPushButton* localButton_ = nullptr;
  int atsCounter_ = 0;
  int identCounter_ = 0;
  bool sentSinceTick_ = false;
  bool receivedSinceTick_ = false;
  bool localMode_ = false;
  std::function<void(int)> savedReceiveHook_;
};

}  // namespace ulv
