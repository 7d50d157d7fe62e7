#pragma once
// The font of every window that lists text in fixed columns (error and
// identity lists, hex listings, traces, the configuration text).
#include <QFont>

namespace ulv {

// A font whose glyphs really all have the same width: the platform's fixed
// font when the font matched for it is fixed-pitch, else the first
// installed monospace family. `pixelSize` 0 keeps the platform's size.
QFont FixedPitchFont(int pixelSize = 0);

}  // namespace ulv
