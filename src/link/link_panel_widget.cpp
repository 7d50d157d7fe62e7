#include "link/link_panel_widget.h"

#include <QMouseEvent>
#include <QPainter>

namespace ulv {

QColor LampQColor(uint32_t color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

TLinkPanel::TLinkPanel(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  resize(17, 17);
  setMinimumSize(8, 8);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setCursor(Qt::PointingHandCursor);
}

void TLinkPanel::SetColor(uint32_t color) {
  color_ = color;
  update();
  if (OnLink) OnLink(this, color == clGreen);
}

void TLinkPanel::paintEvent(QPaintEvent* event) {
  {
    QPainter p(this);
    p.fillRect(contentsRect(), LampQColor(color_));
  }
  QFrame::paintEvent(event);
}

void TLinkPanel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClickHook)
    OnClickHook();
  QFrame::mouseReleaseEvent(event);
}

}  // namespace ulv
