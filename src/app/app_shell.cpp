#include "app/app_shell.h"

#include <QDir>
#include <QFileInfo>

#include "common/bytes.h"
#include "common/configuration.h"
#include "records/error_catalogue.h"

namespace ulv {

QString ProgramVersionTag() { return QStringLiteral("reader.040604"); }
QString VersionPanelText() { return QStringLiteral("   Version 040604"); }
QString ApplicationTitle() { return QStringLiteral("Ulv Error Reader"); }
QString MainWindowCaption() { return QStringLiteral("Ulv/Ekv Reader"); }

StartOptions ParseStartOptions(const QStringList& args) {
  StartOptions o;
  for (int i = 1; i < args.size(); ++i) {
    const QString& a = args.at(i);
    if (a == QLatin1String("--simulate")) {
      o.simulate = true;
    } else if (a == QLatin1String("--read-errors")) {
      o.readErrors = true;
    } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
      o.help = true;
    } else if (a == QLatin1String("--version")) {
      o.version = true;
    } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
      o.unknown.append(a);
    }
  }
  return o;
}

QString UsageText(const QString& programName) {
  return QStringLiteral(
             "Usage: %1 [/i=FILE] [/m=TYPE] [--simulate] [--read-errors] [--help] [--version]\n"
             "Service tool for Ulv lift controllers on a serial line (19200 baud 8N1).\n"
             "\n"
             "  /i=FILE      configuration file (default: the program's name with .INI\n"
             "               in the working directory, else for an installed program\n"
             "               the user's ~/.config/ulvreader/ulvreader.INI, made on\n"
             "               first start from the one installed with the program)\n"
             "  /m=TYPE      machine type (default: [machine] type of the configuration)\n"
             "  --simulate   talk to the built-in simulated controller instead of a COM port\n"
             "  --read-errors\n"
             "               once the controller answers, read the plant identity and\n"
             "               the error memory and show the error list\n"
             "  --help       print this text and exit\n"
             "  --version    print the version and exit\n")
      .arg(programName);
}

QString VersionText() {
  return ApplicationTitle() + QStringLiteral(" ") + ProgramVersionTag() + QLatin1Char('\n');
}

bool EnableButtonOn(const QString& buttons, EnableButton position) {
  const int i = static_cast<int>(position) - 1;
  return i >= 0 && i < buttons.size() && buttons.at(i) == QLatin1Char('1');
}

QString PartnerPanelText(const QString& partner) { return QStringLiteral("   ") + partner; }
QString DatePanelText(const QString& nowText) { return QStringLiteral("   ") + nowText; }
QString NotLinkedPanelText() { return QStringLiteral("  nicht verbunden"); }
QString LinkedPlantPanelText(const QString& name) {
  return QStringLiteral("  verbunden mit ") + Printable(name);
}
QString LinkedPlantCaption(const QString& name) {
  return QStringLiteral("verbunden mit : ") + Printable(name);
}

QStringList FilesListing(const Configuration& config, const ErrorCatalogue* catalogue) {
  QStringList lines = {ProgramVersionTag(), QStringLiteral("ulv_tarvo.310702"),
                       QStringLiteral("ulv_fehler.270702"), QStringLiteral("unit26.040402"),
                       QStringLiteral("qel_transfer.280702")};
  if (catalogue) catalogue->WriteCatalogueInfo([&lines](const QString& line) { lines.append(line); });
  lines << QStringLiteral(" ") << QStringLiteral("  Zugriffs-Pfade und Dateien") << QStringLiteral(" ");
  // The default edit file is listed under its fixed name, not the configured one.
  const QString defaultFile = QDir::toNativeSeparators(config.Filesdir() + QStringLiteral("/default.smb"));
  const std::pair<const char*, QString> rows[] = {
      {"        User : ", config.User()},
      {"     Version : ", config.Kennung()},
      {"     LogFile : ", config.MainLogFileName()},
      {"  FehlerFile : ", config.ErrorCatalogueFile()},
      {"  Decodefile : ", config.DecodeFile()},
      {" Defaultfile : ", defaultFile},
      {"     HelpDir : ", config.Helpdir()},
      {"     DokuDir : ", config.Dokudir()},
      {"    FilesDir : ", config.Filesdir()},
      {"     DataDir : ", config.Datadir()},
      {"   DebugFile : ", config.DebugFile()},
  };
  for (const auto& [label, value] : rows) lines.append(QLatin1String(label) + value);
  return lines;
}

QUrl HelpUrl(const QString& helpFile, const QString& topic) {
  if (helpFile.isEmpty()) return QUrl();
  QUrl url = QUrl::fromLocalFile(QFileInfo(helpFile).absoluteFilePath());
  if (!topic.isEmpty()) url.setFragment(topic);
  return url;
}

}  // namespace ulv
