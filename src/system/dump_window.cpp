#include "system/dump_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "link/fixed_font_widget.h"
#include "link/tool_bar_widget.h"

namespace ulv {

TForm5::TForm5(MemoryDump& dump, QWidget* parent) : QWidget(parent), dump_(dump) {
  setObjectName(QStringLiteral("Form5"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  toolBar_ = new QToolBar(this);
  toolBar_->setObjectName(QStringLiteral("ToolBar1"));
  auto* image = new QLabel(toolBar_);
  image->setObjectName(QStringLiteral("Image1"));
  toolBar_->addWidget(image);
  QToolButton* close =
      AddTextButton(toolBar_, "CloseButton", QStringLiteral("S&chließen"), QStringLiteral("Tarvo schliessen"));
  QToolButton* dumpButton = AddTextButton(toolBar_, "DumpButton", QStringLiteral("Dump"));
  gauge_ = new QProgressBar(toolBar_);
  gauge_->setObjectName(QStringLiteral("Gauge1"));
  gauge_->setFixedWidth(201);
  gauge_->setTextVisible(false);
  gauge_->setRange(0, MemoryDump::kDumpBytes);
  gauge_->setValue(0);
  gauge_->setStyleSheet(QStringLiteral("QProgressBar::chunk { background-color: navy; }"));
  toolBar_->addWidget(gauge_);
  auto* panel = new QWidget(toolBar_);
  panel->setObjectName(QStringLiteral("Panel1"));
  auto* panelLayout = new QVBoxLayout(panel);
  panelLayout->setContentsMargins(4, 0, 4, 0);
  edit_ = new QLineEdit(panel);
  edit_->setObjectName(QStringLiteral("Edit1"));
  panelLayout->addWidget(edit_);
  toolBar_->addWidget(panel);
  layout->addWidget(toolBar_);
  memo_ = new QPlainTextEdit(this);
  memo_->setObjectName(QStringLiteral("Memo1"));
  memo_->setFont(FixedPitchFont(13));
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo_->setUndoRedoEnabled(false);
  memo_->setMaximumBlockCount(10000);
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  layout->addWidget(memo_, 1);

  connect(close, &QToolButton::clicked, this, &TForm5::CloseButtonClick);
  connect(dumpButton, &QToolButton::clicked, this, &TForm5::DumpButtonClick);
  QPointer<TForm5> self(this);
  dump_.OnProgress = [self](int value, int maximum) {
    if (!self) return;
    self->gauge_->setRange(0, maximum);
    // 1417 bytes counted against 1408 show a full bar.
    self->gauge_->setValue(std::min(value, maximum));
  };
  dump_.OnBlock = [self](const QString& text) {
    if (self && self->OnReceiver) self->OnReceiver(text);
  };
  dump_.OnShow = [self](const QStringList& lines) {
    if (!self) return;
    for (const QString& l : lines) self->memo_->appendPlainText(l);
  };
}

TForm5::~TForm5() {
  dump_.OnProgress = nullptr;
  dump_.OnBlock = nullptr;
  dump_.OnShow = nullptr;
}

void TForm5::SetToolButtonHeight(int height) { SetToolButtonHeights(toolBar_, height); }

void TForm5::ShowDump() {
  memo_->clear();
  show();
  raise();
}

void TForm5::DumpButtonClick() {
  QString next;
  if (dump_.Start(edit_->text(), &next)) edit_->setText(next);
}

void TForm5::CloseButtonClick() {
  hide();
  memo_->clear();
}

}  // namespace ulv
