#include "link/port_doctor_window.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/fixed_font_widget.h"

namespace ulv {

TDoctorForm::TDoctorForm(LogHooks& logs, const Clock& clock, TimerFactory& timers,
                         std::function<DoctorTarget()> target, QWidget* parent)
    : QDialog(parent), logs_(logs), clock_(clock), timers_(timers), target_(std::move(target)) {
  setObjectName(QStringLiteral("DoctorForm"));
  setWindowTitle(QStringLiteral("Verbindung prüfen"));
  resize(760, 480);
  auto* top = new QVBoxLayout(this);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Memo1->setFont(FixedPitchFont(13));
  top->addWidget(Memo1, 1);
  auto* buttons = new QHBoxLayout;
  again_ = new QPushButton(QStringLiteral("Erneut prüfen"), this);
  again_->setObjectName(QStringLiteral("AgainButton"));
  auto* close = new QPushButton(QStringLiteral("Schliessen"), this);
  close->setObjectName(QStringLiteral("CloseButton"));
  buttons->addStretch(1);
  buttons->addWidget(again_);
  buttons->addWidget(close);
  top->addLayout(buttons);
  connect(again_, &QPushButton::clicked, this, [this] { Check(); });
  connect(close, &QPushButton::clicked, this, [this] { reject(); });
}

TDoctorForm::~TDoctorForm() = default;

void TDoctorForm::Check() {
  if (checking_) return;
  const DoctorTarget t = target_ ? target_() : DoctorTarget{};
  checking_ = true;
  again_->setEnabled(false);
  Memo1->setPlainText(QStringLiteral("%1 wird geprüft ...").arg(t.device));
  // A new run each time: the flow control may have changed since.
  run_ = std::make_unique<DoctorRun>(logs_, clock_, timers_, t.hardwareFlowControl);
  run_->Start(t.device, t.ownLink, [this](const QString& report, bool, bool) {
    checking_ = false;
    Memo1->setPlainText(report);
    again_->setEnabled(true);
  });
}

}  // namespace ulv
