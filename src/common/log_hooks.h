#pragma once
// The shared log procedures and report flags every unit writes its trace
// lines through. Empty hooks do nothing; all flags start clear.
#include <QString>
#include <bitset>
#include <functional>

namespace ulv {

struct LogHooks {
  // Writes a line to the main log (installed when the main log is open).
  std::function<void(const QString&)> WriteLogHook;
  // The report flag string as read, padded with '0' to 21 characters.
  QString Reports;
  // Flag i is set when character i+1 of Reports is '1'.
  std::bitset<21> ReportFlags;

  bool Flag(int i) const { return i >= 0 && i < 21 && ReportFlags.test(static_cast<size_t>(i)); }
  // Writes Line to the main log when one is open.
  void WriteLog(const QString& line) const {
    if (WriteLogHook) WriteLogHook(line);
  }
  // WriteLog only when report flag 3 is set.
  void WriteReport(const QString& line) const {
    if (Flag(3)) WriteLog(line);
  }
  // Sets Reports and ReportFlags from the raw [logfiles] reports value
  // ("?" counts as empty).
  void SetReports(const QString& raw);
};

}  // namespace ulv
