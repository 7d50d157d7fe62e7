#include "common/log_hooks.h"

namespace ulv {

void LogHooks::SetReports(const QString& raw) {
  constexpr int kFlagCount = 21;
  QString r = raw == QLatin1String("?") ? QString() : raw;
  if (r.size() < kFlagCount) r += QString(kFlagCount - r.size(), QLatin1Char('0'));
  Reports = r;
  ReportFlags.reset();
  for (int i = 0; i < kFlagCount; ++i) {
    if (r.at(i) == QLatin1Char('1')) ReportFlags.set(static_cast<size_t>(i));
  }
}

}  // namespace ulv
