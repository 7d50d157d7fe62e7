#pragma once
// TLinkPanel: the small sunken lamp every window shows the link state with.
// Green means the controller answers; any other colour means it does not.
#include <QColor>
#include <QFrame>
#include <cstdint>
#include <functional>

#include "link/link_state.h"

namespace ulv {

// Converts a 0x00BBGGRR lamp colour into a QColor.
QColor LampQColor(uint32_t color);

class TLinkPanel : public QFrame, public LinkLamp {
  Q_OBJECT
  Q_PROPERTY(uint Color READ Color WRITE SetColor)

public:
  explicit TLinkPanel(QWidget* parent = nullptr);

  // Repaints and then fires OnLink(this, color == clGreen).
  void SetColor(uint32_t color) override;
  uint32_t Color() const override { return color_; }
  QSize sizeHint() const override { return QSize(17, 17); }

  // TLinkNotifyEvent: the lamp and whether it now shows the link as up.
  std::function<void(LinkLamp* sender, bool linked)> OnLink;

protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  uint32_t color_ = clRed;
};

}  // namespace ulv
