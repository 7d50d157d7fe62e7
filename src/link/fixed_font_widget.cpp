#include "link/fixed_font_widget.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

namespace ulv {

namespace {

QFont Sized(QFont f, int pixelSize) {
  if (pixelSize > 0) f.setPixelSize(pixelSize);
  return f;
}

}  // namespace

QFont FixedPitchFont(int pixelSize) {
  const QFont system = Sized(QFontDatabase::systemFont(QFontDatabase::FixedFont), pixelSize);
  if (QFontInfo(system).fixedPitch()) return system;
  // Some platforms name a fixed font that resolves to a proportional one
  // (the offscreen platform, a desktop without its monospace default).
  QFont hinted = system;
  hinted.setFamilies({QStringLiteral("monospace")});
  hinted.setStyleHint(QFont::Monospace);
  hinted.setFixedPitch(true);
  if (QFontInfo(hinted).fixedPitch()) return hinted;
  for (const QString& family : QFontDatabase::families()) {
    if (!QFontDatabase::isFixedPitch(family)) continue;
    QFont f = system;
    f.setFamilies({family});
    if (QFontInfo(f).fixedPitch()) return f;
  }
  // No fixed-pitch font installed: the columns may drift, nothing worse.
  return system;
}

}  // namespace ulv
