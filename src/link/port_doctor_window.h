#pragma once
// TDoctorForm ("Verbindung prüfen", COM menu): the connection doctor's report
// for the port the program uses, checked again on request.
#include <QDialog>
#include <functional>
#include <memory>
#include <optional>

#include "link/port_doctor.h"

class QPlainTextEdit;
class QPushButton;

namespace ulv {

// What the doctor looks at: the device, the flow control it is opened with,
// and, when this program has it open, whether its line is up.
struct DoctorTarget {
  QString device;
  bool hardwareFlowControl = true;
  std::optional<bool> ownLink;
};

class TDoctorForm : public QDialog {
  Q_OBJECT

public:
  TDoctorForm(LogHooks& logs, const Clock& clock, TimerFactory& timers, std::function<DoctorTarget()> target,
              QWidget* parent = nullptr);
  ~TDoctorForm() override;

  QPlainTextEdit* Memo1 = nullptr;
  // Runs the doctor (the report replaces the text when it is done).
  void Check();
  bool IsChecking() const { return checking_; }

private:
  LogHooks& logs_;
  const Clock& clock_;
  TimerFactory& timers_;
  std::function<DoctorTarget()> target_;
  std::unique_ptr<DoctorRun> run_;
  QPushButton* again_ = nullptr;
  bool checking_ = false;
};

}  // namespace ulv
