#pragma once
// The application shell's logic: version texts, command-line options, the
// toolbar's [enable] rule, the status bar texts, the paths listing and help
// addresses. The windows TForm3, Tini_form and TFiles show what these give.
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace ulv {

class Configuration;
class ErrorCatalogue;

// The program's version tag and the status bar's version text.
QString ProgramVersionTag();  // "reader.040604"
QString VersionPanelText();   // "   Version 040604"
QString ApplicationTitle();   // "Ulv Error Reader"
QString MainWindowCaption();  // "Ulv/Ekv Reader"

// Options of the windowed program besides "/i=" and "/m=" (which the
// configuration reads itself).
struct StartOptions {
  bool simulate = false;
  // Once the link is first up: read the plant identity, then show the error
  // log window and read the error memory (the demo's first view).
  bool readErrors = false;
  bool help = false;
  bool version = false;
  // Options the program does not know ("--" or "-" followed by a name).
  QStringList unknown;
};
StartOptions ParseStartOptions(const QStringList& args);
QString UsageText(const QString& programName);
QString VersionText();

// Toolbar buttons under the [enable] rule, position 1..7 of the string.
enum class EnableButton { Qel = 1, Debug = 2, Record = 3, Error = 4, Hkfw = 5, Send = 6, Data = 7 };
// True exactly when the character at `position` (1-based) is '1'; a position
// beyond the end counts as '0'.
bool EnableButtonOn(const QString& buttons, EnableButton position);

// Status panel texts.
QString PartnerPanelText(const QString& partner);   // "   " + partner
QString DatePanelText(const QString& nowText);      // "   " + date and time
QString NotLinkedPanelText();                       // "  nicht verbunden"
QString LinkedPlantPanelText(const QString& name);  // "  verbunden mit " + Printable(name)
QString LinkedPlantCaption(const QString& name);    // "verbunden mit : " + Printable(name)

// The paths and files window's listing: version tags, the catalogue's
// identification (when a catalogue is given), and every resolved path.
QStringList FilesListing(const Configuration& config, const ErrorCatalogue* catalogue);

// The help file opened at a topic: an HTML file gets the topic as its
// fragment; an empty help file gives an invalid address.
QUrl HelpUrl(const QString& helpFile, const QString& topic);

}  // namespace ulv
