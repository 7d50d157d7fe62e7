#include "app/files_window.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/app_shell.h"
#include "link/fixed_font_widget.h"

namespace ulv {

TFiles::TFiles(const Configuration& config, const ErrorCatalogue* catalogue, QWidget* parent)
    : QWidget(parent), config_(config), catalogue_(catalogue) {
  setObjectName(QStringLiteral("Files"));
  setWindowTitle(QStringLiteral("Files"));
  auto* top = new QVBoxLayout(this);
  top->setContentsMargins(0, 0, 0, 0);
  top->setSpacing(0);
  ToolBar1 = new QToolBar(this);
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  auto* closeBtn = new QToolButton(ToolBar1);
  closeBtn->setObjectName(QStringLiteral("BitBtn2"));
  closeBtn->setText(QStringLiteral("S&chließen"));
  closeBtn->setToolTip(QStringLiteral("Tarvo schliessen"));
  ToolBar1->addWidget(closeBtn);
  top->addWidget(ToolBar1);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setFont(FixedPitchFont(13));
  top->addWidget(Memo1, 1);

  connect(closeBtn, &QToolButton::clicked, this, [this] { hide(); });
}

void TFiles::BuildListing() {
  Memo1->clear();
  Memo1->setPlainText(FilesListing(config_, catalogue_).join(QLatin1Char('\n')));
}

bool TFiles::event(QEvent* event) {
  if (event->type() == QEvent::ShowToParent) BuildListing();
  return QWidget::event(event);
}

void TFiles::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
}

}  // namespace ulv
