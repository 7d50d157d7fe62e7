#include "common/user_config.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "common/ini_store.h"

namespace ulv {

namespace {
const QLatin1String kFolder("ulvreader");
const QLatin1String kFile("ulvreader.INI");
}  // namespace

UserConfigPlaces InstalledConfigPlaces(const QString& programDir) {
  // The generic locations, not the per-application ones: the windowed and
  // the headless program share one configuration.
  UserConfigPlaces p;
  p.shipped = QDir::cleanPath(programDir + QStringLiteral("/../share/") + kFolder + u'/' + kFile);
  p.user = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + kFolder + u'/' + kFile;
  p.dataDir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' + kFolder;
  return p;
}

QString UserConfiguration(const UserConfigPlaces& places, QString* error) {
  if (!QFileInfo(places.shipped).isFile()) return QString();
  // The data folder is made at every start: the logs cannot be opened in a
  // folder the user removed.
  if (!QDir().mkpath(places.dataDir)) {
    if (error) *error = places.dataDir + QStringLiteral(": cannot be created");
    return QString();
  }
  if (QFileInfo::exists(places.user)) return places.user;
  IniStore ini;
  if (!ini.Load(places.shipped, error)) return QString();
  ini.SetValue(QStringLiteral("files"), QStringLiteral("base"), places.dataDir);
  if (!QDir().mkpath(QFileInfo(places.user).path()) || !ini.Save(places.user, error)) {
    if (error && error->isEmpty()) *error = places.user + QStringLiteral(": cannot be created");
    return QString();
  }
  return places.user;
}

QString FallbackConfiguration(const QString& localName, const QString& programDir, QString* error) {
  if (QFileInfo::exists(localName)) return QString();
  return UserConfiguration(InstalledConfigPlaces(programDir), error);
}

}  // namespace ulv
