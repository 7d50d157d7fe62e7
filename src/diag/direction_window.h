#pragma once
// TRichtungsAnzeige: the travel direction as an arrow picture, 24 x 30
// pixels, one of three frames: both triangles outlined (none), the upper
// one filled yellow (up), the lower one filled yellow (down).
#include <QImage>
#include <QLabel>

#include "diag/monitor_test.h"

namespace ulv {

class TRichtungsAnzeige : public QLabel {
  Q_OBJECT

public:
  static constexpr int kWidth = 24;
  static constexpr int kHeight = 30;

  explicit TRichtungsAnzeige(QWidget* parent = nullptr);

  void SetRichtung(Richtung r);
  Richtung GetRichtung() const { return richtung_; }
  // Frame 0 rrNULL, 1 rrAUF, 2 rrAB.
  static int FrameIndex(Richtung r);
  // The three frames side by side (72 x 30).
  static const QImage& Frames();

private:
  Richtung richtung_ = Richtung::rrNULL;
};

}  // namespace ulv
