#pragma once
// TForm10: the monitor and test window. Binds its labels and buttons to
// MonitorTest; hiding or closing it ends every loop.
#include <QWidget>
#include <functional>

#include "diag/monitor_test.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace ulv {

class TRichtungsAnzeige;

class TForm10 : public QWidget {
  Q_OBJECT

public:
  explicit TForm10(MonitorTest& test, QWidget* parent = nullptr);
  ~TForm10() override;

  // The question before the action test deletes the error memory (replaced
  // in tests).
  std::function<bool()> AskDeleteErrors;

protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  MonitorTest& test_;
  QPlainTextEdit* memo1_ = nullptr;
  QLineEdit* edit1_ = nullptr;
  QPushButton* stopAction_ = nullptr;
  QLabel* labels_[10] = {};  // Label1, 2, 5, 8, 11, 13, 16, 17, 19, 21
  QLabel* label20_ = nullptr;
  QLabel* label22_ = nullptr;
  QLabel* label23_ = nullptr;
  QLabel* lcd_[4] = {};
  QWidget* panel4_ = nullptr;
  QWidget* panel5_ = nullptr;
  QSlider* trackBar1_ = nullptr;
  TRichtungsAnzeige* richtung_ = nullptr;
  QRadioButton* radio_[5] = {};
};

}  // namespace ulv
