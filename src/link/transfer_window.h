#pragma once
// TSend ("TransferListe"): the transfer queue's window. Shows fill level,
// state, countdown and transfer time, the local log of sent and received
// requests, and the queue's settings.
#include <QWidget>

#include "common/timer.h"
#include "link/com_port_window.h"
#include "link/transfer_queue.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace ulv {

class TSend : public QWidget {
  Q_OBJECT

public:
  static constexpr int kHeightReport = 587;
  static constexpr int kHeightReportAtStart = 544;
  static constexpr int kHeightSmall = 150;
  static constexpr int kWidth = 420;

  TSend(TransferQueue& queue, TimerFactory& timers, QWidget* parent = nullptr);
  ~TSend() override;

  void ShowState();
  TraceMemo* Memo() const { return memo_; }

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void LogLine(bool sent, const QString& line);
  void ShowReportArea(bool on, int height);
  void PlaceAtTopRight();

  TransferQueue& queue_;
  QSpinBox* timeout_ = nullptr;
  QLabel* interval_ = nullptr;
  QSpinBox* delay_ = nullptr;
  QLabel* label9_ = nullptr;
  QLabel* countLabel_ = nullptr;
  QProgressBar* gauge1_ = nullptr;
  QLabel* stoppedLabel_ = nullptr;
  QLabel* qelTimeout_ = nullptr;
  QLabel* lDifferenz_ = nullptr;
  QLabel* label3_ = nullptr;
  QLineEdit* reportOut_ = nullptr;
  QLineEdit* reportIn_ = nullptr;
  TraceMemo* memo_ = nullptr;
  QPushButton* soTimeOut_ = nullptr;
  QCheckBox* reportLocal_ = nullptr;
};

}  // namespace ulv
