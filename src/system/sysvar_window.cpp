#include "system/sysvar_window.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "link/fixed_font_widget.h"
#include "link/link_panel_widget.h"
#include "system/system_records.h"
#include "link/tool_bar_widget.h"

namespace ulv {

TForm8::TForm8(RecordReader& reader, QWidget* parent) : QWidget(parent, Qt::Window), reader_(reader) {
  setObjectName(QStringLiteral("Form8"));
  setWindowTitle(QStringLiteral("SysVar"));
  resize(346, 340);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  toolBar_ = new QToolBar(this);
  toolBar_->setObjectName(QStringLiteral("ToolBar1"));
  readButton_ = AddTextButton(toolBar_, "ReadButton", QStringLiteral("Read"));
  readButton_->setEnabled(false);
  linkLed_ = new TLinkPanel(toolBar_);
  linkLed_->setObjectName(QStringLiteral("LinkLed"));
  toolBar_->addWidget(linkLed_);
  QToolButton* help = AddTextButton(toolBar_, "HelpButton", QStringLiteral("."));
  layout->addWidget(toolBar_);
  memo_ = new QPlainTextEdit(this);
  memo_->setObjectName(QStringLiteral("Memo1"));
  memo_->setFont(FixedPitchFont());
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo_->setUndoRedoEnabled(false);
  memo_->setMaximumBlockCount(10000);
  memo_->setPlainText(QStringLiteral("Memo1"));
  layout->addWidget(memo_, 1);

  connect(readButton_, &QToolButton::clicked, this, &TForm8::ReadButtonClick);
  connect(help, &QToolButton::clicked, this, [this] {
    if (OnHelp) OnHelp(QStringLiteral("SysVar"));
  });
  linkLed_->OnLink = [this](LinkLamp*, bool linked) { readButton_->setEnabled(linked); };
}

void TForm8::ReadButtonClick() {
  QPointer<TForm8> self(this);
  const auto append = [self](const QStringList& lines) {
    if (!self) return;
    for (const QString& l : lines) self->memo_->appendPlainText(l);
  };
  reader_.Read(
      3, kSysVarSize,
      [append](const QByteArray& record) {
        QStringList lines;
        PrintSysVarShort(record, lines);
        append(lines);
      },
      [append](RecordReader::Outcome outcome) {
        if (outcome == RecordReader::Outcome::Failed) append({RecordReader::FailureText()});
      });
}

void TForm8::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
  if (OnClosed) OnClosed();
}

}  // namespace ulv
