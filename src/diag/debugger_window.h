#pragma once
// TUlvDebug: the memory debugger window. Binds its fields and buttons to
// MemoryDebugger; "dump" hands Resultat to the memory dump window and
// "holen" reads the maintenance counters through the record reader.
#include <QWidget>
#include <functional>

#include "diag/memory_debugger.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QSlider;

namespace ulv {

class Configuration;
class TLinkPanel;

class TUlvDebug : public QWidget {
  Q_OBJECT

public:
  TUlvDebug(MemoryDebugger& debugger, const Configuration& config, QWidget* parent = nullptr);
  ~TUlvDebug() override;

  TLinkPanel* LinkLed() const { return linkLed_; }
  QLineEdit* Receiver() const { return receiver_; }
  // Symbol selection ("Read", OK, a change or Enter in ComboBox1).
  void SelectSymbol();

  // "dump" with the text of Resultat.
  std::function<void(const QString& address)> OnDump;
  std::function<void(const QString& topic)> OnHelp;
  // Message boxes (replaced in tests).
  std::function<void(const QString& text)> ShowMessage;

protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  void AddressChanged();
  void LoadSymbols();

  MemoryDebugger& debugger_;
  QString symFile_;
  TLinkPanel* linkLed_ = nullptr;
  QLabel* panel1_ = nullptr;
  QLineEdit* basis_ = nullptr;
  QLineEdit* offset_ = nullptr;
  QLineEdit* resultat_ = nullptr;
  QLineEdit* edit4_ = nullptr;
  QScrollBar* upDown1_ = nullptr;
  QScrollBar* upDown2_ = nullptr;
  QComboBox* comboBox1_ = nullptr;
  QGroupBox* groupBox1_ = nullptr;
  QLineEdit* result_[4] = {};  // Edit1, Edit2, Edit3, Edit6
  QCheckBox* read8_ = nullptr;
  QPushButton* intervall_ = nullptr;
  QLineEdit* edit5_ = nullptr;
  QSlider* trackBar1_ = nullptr;
  QComboBox* sender_ = nullptr;
  QLineEdit* receiver_ = nullptr;
  QPushButton* senden_ = nullptr;
  QLineEdit* maint_[5] = {};  // Edit7, Edit9, Edit10, Edit8, Edit11
  QPlainTextEdit* memo1_ = nullptr;
  std::vector<QWidget*> linkControls_;
};

}  // namespace ulv
