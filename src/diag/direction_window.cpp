#include "diag/direction_window.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygon>

namespace ulv {

TRichtungsAnzeige::TRichtungsAnzeige(QWidget* parent) : QLabel(parent) {
  setObjectName(QStringLiteral("RichtungsAnzeige1"));
  setFixedSize(kWidth, kHeight);
  setScaledContents(true);
  setAutoFillBackground(true);
  SetRichtung(Richtung::rrNULL);
}

int TRichtungsAnzeige::FrameIndex(Richtung r) {
  switch (r) {
    case Richtung::rrAUF:
      return 1;
    case Richtung::rrAB:
      return 2;
    case Richtung::rrNULL:
      break;
  }
  return 0;
}

const QImage& TRichtungsAnzeige::Frames() {
  static const QImage frames = [] {
    QImage image(3 * kWidth, kHeight, QImage::Format_RGB32);
    image.fill(QColor(128, 128, 128));
    QPainter p(&image);
    const QPolygon up({QPoint(3, 13), QPoint(12, 2), QPoint(21, 13)});
    const QPolygon down({QPoint(3, 16), QPoint(12, 27), QPoint(21, 16)});
    for (int f = 0; f < 3; ++f) {
      p.save();
      p.translate(f * kWidth, 0);
      p.setPen(Qt::black);
      p.setBrush(f == 1 ? QBrush(Qt::yellow) : QBrush(Qt::NoBrush));
      p.drawPolygon(up);
      p.setBrush(f == 2 ? QBrush(Qt::yellow) : QBrush(Qt::NoBrush));
      p.drawPolygon(down);
      p.restore();
    }
    return image;
  }();
  return frames;
}

void TRichtungsAnzeige::SetRichtung(Richtung r) {
  richtung_ = r;
  setPixmap(QPixmap::fromImage(Frames().copy(FrameIndex(r) * kWidth, 0, kWidth, kHeight)));
}

}  // namespace ulv
