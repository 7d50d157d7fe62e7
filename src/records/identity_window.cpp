#include "records/identity_window.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "link/fixed_font_widget.h"
#include "link/tool_bar_widget.h"

namespace ulv {

TNamenForm::TNamenForm(PlantIdentity& identity, QWidget* parent) : QWidget(parent), identity_(identity) {
  setObjectName(QStringLiteral("NamenForm"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  toolBar_ = new QToolBar(this);
  toolBar_->setObjectName(QStringLiteral("ToolBar1"));
  connect(AddButton(toolBar_, "CloseButton", QStringLiteral("Schliessen")), &QToolButton::clicked, this,
          &TNamenForm::CloseButtonClick);
  connect(AddButton(toolBar_, "HolenButton", QStringLiteral("holen")), &QToolButton::clicked, this,
          &TNamenForm::HolenButtonClick);

  auto* namePanel = new QWidget(toolBar_);
  namePanel->setObjectName(QStringLiteral("Panel1"));
  auto* nameLayout = new QHBoxLayout(namePanel);
  nameLayout->setContentsMargins(4, 0, 4, 0);
  connect(AddButton(namePanel, "SpeedButton1", QStringLiteral("Set-Name")), &QToolButton::clicked, this,
          &TNamenForm::SpeedButton1Click);
  nameEdit_ = new QLineEdit(namePanel);
  nameEdit_->setObjectName(QStringLiteral("Name_Edit"));
  nameLayout->addWidget(nameEdit_);
  toolBar_->addWidget(namePanel);

  auto* telPanel = new QWidget(toolBar_);
  telPanel->setObjectName(QStringLiteral("Panel2"));
  auto* telLayout = new QHBoxLayout(telPanel);
  telLayout->setContentsMargins(4, 0, 4, 0);
  connect(AddButton(telPanel, "SpeedButton2", QStringLiteral("Set-Telefon")), &QToolButton::clicked, this,
          &TNamenForm::SpeedButton2Click);
  telEdit_ = new QLineEdit(telPanel);
  telEdit_->setObjectName(QStringLiteral("Tel_Edit"));
  telLayout->addWidget(telEdit_);
  toolBar_->addWidget(telPanel);
  layout->addWidget(toolBar_);

  memo_ = new QPlainTextEdit(this);
  memo_->setObjectName(QStringLiteral("Memo1"));
  memo_->setFont(FixedPitchFont());
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  // The program appends to it with every read: no undo history for its lines,
  // and a bound on how many it keeps over a long run.
  memo_->setUndoRedoEnabled(false);
  memo_->setMaximumBlockCount(10000);
  layout->addWidget(memo_, 1);

  QPointer<TNamenForm> self(this);
  identity_.OnNameText = [self](const QString& text) {
    if (self) self->nameEdit_->setText(text);
  };
  identity_.OnTelephoneText = [self](const QString& text) {
    if (self) self->telEdit_->setText(text);
  };
}

TNamenForm::~TNamenForm() {
  identity_.OnNameText = nullptr;
  identity_.OnTelephoneText = nullptr;
}

QToolButton* TNamenForm::AddButton(QWidget* parent, const char* name, const QString& caption) {
  return AddTextButton(parent, name, caption);
}

void TNamenForm::SetToolButtonHeight(int height) { SetToolButtonHeights(toolBar_, height); }

void TNamenForm::AddLine(const QString& line) { memo_->appendPlainText(line); }

void TNamenForm::CloseButtonClick() { hide(); }

void TNamenForm::HolenButtonClick() {
  QPointer<TNamenForm> self(this);
  identity_.Read([self](const QString& line) {
    if (self) self->AddLine(line);
  });
}

void TNamenForm::SpeedButton1Click() {
  QString text = nameEdit_->text();
  if (Dialogs.InputText && Dialogs.InputText(this, QStringLiteral("Name"), QString(), &text))
    identity_.WriteName(text);
}

void TNamenForm::SpeedButton2Click() {
  QString text = telEdit_->text();
  if (Dialogs.InputText && Dialogs.InputText(this, QStringLiteral("Telefon"), QString(), &text))
    identity_.WriteTelephone(text);
}

}  // namespace ulv
