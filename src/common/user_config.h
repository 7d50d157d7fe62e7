#pragma once
// The configuration of an installed program started without one: when no
// file is named and none lies in the working directory, each user gets a copy
// of the configuration installed with the program, under the XDG
// configuration folder, made on first start. Its [files] base becomes the
// user's data folder, where the logs and the saved files go; the catalogue
// and the help stay where the package put them.
#include <QString>

namespace ulv {

struct UserConfigPlaces {
  QString shipped;  // <prefix>/share/ulvreader/ulvreader.INI
  QString user;     // $XDG_CONFIG_HOME/ulvreader/ulvreader.INI
  QString dataDir;  // $XDG_DATA_HOME/ulvreader
};

// The places for a program whose executable lies in `programDir`
// (<prefix>/bin), so that any installation prefix works.
UserConfigPlaces InstalledConfigPlaces(const QString& programDir);

// The user's configuration file, created from the shipped one (base set to
// dataDir) when it is missing; dataDir is created too. Empty without a
// shipped configuration, so a program run from its build tree goes on
// without one as before; empty with `error` set when the copy fails.
QString UserConfiguration(const UserConfigPlaces& places, QString* error = nullptr);

// For a program started without a configuration name: the user's
// configuration of the installation in `programDir`, unless `localName` (the
// default name) lies in the working directory, which keeps its precedence.
QString FallbackConfiguration(const QString& localName, const QString& programDir, QString* error = nullptr);

}  // namespace ulv
