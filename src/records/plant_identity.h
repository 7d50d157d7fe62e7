#pragma once
// The plant identity: who the connected controller is (plant identifier,
// telephone number, software and EEPROM versions, trip counter), the values
// reports print at their head, and the writes of a new identifier or
// telephone number. The window TNamenForm binds to it; the main window runs
// its read after each port report.
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "common/clock.h"
#include "link/qel_utils.h"
#include "link/transfers.h"

namespace ulv {

class PlantIdentity {
public:
  using Output = std::function<void(const QString&)>;

  PlantIdentity(Transfers& transfers, QelUtils& utils, const Clock& clock);

  // "holen": "namen.270702" and the date line through `output`, then the
  // five requests (F2 55 12, F2 55 14, F1 01, F1 02, F1 40) in one go. While
  // the link is down nothing is sent, printed or changed: false.
  bool Read(Output output);

  // Six lines: blank, date, identifier, software and EEPROM version, blank.
  void WriteIdentityBlock(const Output& output) const;

  // "Set-Name" / "Set-Telefon" after the input dialog.
  void WriteName(const QString& text) { utils_.WriteNameText(text); }
  void WriteTelephone(const QString& text) { utils_.WriteTelephoneText(text); }

  // Identity values: empty until read, each replaced by the reply that
  // reaches its handler (a time-out's substitute included).
  QString PlantId() const { return plantId_; }
  QString SoftwareVersion() const { return softwareVersion_; }
  QString EepromVersion() const { return eepromVersion_; }
  // The telephone text as shown in Tel_Edit, and the last trip count
  // (-1 until a valid F8 reply).
  QString TelephoneText() const { return telephone_; }
  int64_t TripCount() const { return tripCount_; }
  bool IsReading() const;

  // The main window's status bar and the recorder's caption.
  std::function<void(const QString& plantName)> ShowLinkedPlant;
  // The window's edit fields Name_Edit and Tel_Edit.
  std::function<void(const QString&)> OnNameText;
  std::function<void(const QString&)> OnTelephoneText;
  // End of a read: true after the trip counter reply, false at the first
  // time-out substitute or refusal (the queue drops what waits behind it).
  std::function<void(bool ok)> OnReadEnded;

private:
  struct Run;
  void End(const std::shared_ptr<Run>& run, bool ok);
  void Emit(const std::shared_ptr<Run>& run, const QString& line) const;

  Transfers& transfers_;
  QelUtils& utils_;
  const Clock& clock_;
  QString plantId_;
  QString softwareVersion_;
  QString eepromVersion_;
  QString telephone_;
  int64_t tripCount_ = -1;
  std::vector<std::weak_ptr<Run>> runs_;
};

}  // namespace ulv
