#pragma once
// TQel_Form: the line window. Shows the line port's counters, lamps and port
// text, sets its time-out, and offers the line's test requests.
#include <QWidget>
#include <memory>

#include "common/timer.h"
#include "link/line_port.h"
#include "link/link_panel_widget.h"
#include "link/qel_utils.h"
#include "link/transfers.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolBar;

namespace ulv {

class TQel_Form : public QWidget {
  Q_OBJECT

public:
  // The counters change with every byte; they are shown at most this often.
  static constexpr int kCountersMs = 100;

  TQel_Form(LinePort& line, Transfers& transfers, QelUtils& utils, TimerFactory& timers,
            QWidget* parent = nullptr);
  ~TQel_Form() override;

  // Given to the line port, which registers it when the line starts.
  TLinkPanel* link_led = nullptr;
  QToolBar* ToolBar1 = nullptr;

  void ShowCounters();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void SendTest(const QByteArray& request, int replyLength);
  void ShowReply(const QByteArray& reply);

  LinePort& line_;
  Transfers& transfers_;
  QelUtils& utils_;
  std::unique_ptr<Timer> countersTimer_;
  QLineEdit* send_ = nullptr;
  QLineEdit* read_ = nullptr;
  QLineEdit* edit2_ = nullptr;
  QSpinBox* timeout_ = nullptr;
  TLinkPanel* qelLineLed_ = nullptr;
  TLinkPanel* syncLed_ = nullptr;
  QLineEdit* inqueue_ = nullptr;
  QLineEdit* message_ = nullptr;
  QLabel* comPortLabel_ = nullptr;
};

}  // namespace ulv
