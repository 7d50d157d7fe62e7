#include "link/tool_bar_widget.h"

#include <QLayout>
#include <QToolBar>
#include <QToolButton>

namespace ulv {

QToolButton* AddTextButton(QWidget* parent, const char* name, const QString& caption, const QString& hint) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QLatin1String(name));
  button->setText(caption);
  if (!hint.isEmpty()) button->setToolTip(hint);
  button->setToolButtonStyle(Qt::ToolButtonTextOnly);
  if (auto* bar = qobject_cast<QToolBar*>(parent)) {
    bar->addWidget(button);
  } else if (parent->layout() != nullptr) {
    parent->layout()->addWidget(button);
  }
  return button;
}

void SetToolButtonHeights(QWidget* bar, int height) {
  for (QToolButton* b : bar->findChildren<QToolButton*>()) b->setFixedHeight(height);
}

}  // namespace ulv
