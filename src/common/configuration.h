#pragma once
// The configuration file and everything derived from it: the directories,
// the getters of every key the program reads, the language file, the two logs
// and the default edit file. Start() runs before any window exists, Finish()
// after the last one.
#include <QString>
#include <QStringList>
#include <functional>

#include "common/clock.h"
#include "common/ini_store.h"
#include "common/log_files.h"
#include "common/log_hooks.h"
#include "common/sysmod_image.h"
#include "common/timer.h"

namespace ulv {

class Configuration {
public:
  // With `timers`, the main log reaches the disk at least once a second.
  Configuration(const Clock& clock, LogHooks& logs, TimerFactory* timers = nullptr);
  ~Configuration();
  Configuration(const Configuration&) = delete;
  Configuration& operator=(const Configuration&) = delete;

  // Shows a message that needs the user's attention (the main window shows
  // an information box with OK). Unset: the text goes to stderr.
  std::function<void(const QString&)> OnInfoMessage;
  // Shows `text` through OnInfoMessage (stderr when unset).
  void InfoMessage(const QString& text);

  // The start-up steps: configuration file, directories, machine type, main
  // and logon log, language file, path trace, default edit file. `args` is
  // the command line with the program path first; relative names resolve
  // against `workingDir` (the current directory when empty).
  void Start(const QStringList& args, const QString& workingDir = QString());
  // Program end: writes the configuration back when a value changed, closes
  // both logs with their closing lines and clears the names. Runs once.
  void Finish();

  // Re-reads the store from IniFileName (after the settings editor saved the
  // file) and derives the base, the directories and the machine type again.
  bool Reload();
  // Writes the store to IniFileName when the configuration is open and a
  // value changed since it was read. True when there was nothing to do.
  bool SaveIfChanged(QString* error = nullptr);

  // Value of the first argument (program path included) that contains
  // `prefix`: the argument without its first prefix.size() characters, at
  // most 255 characters. Empty when none does.
  QString CommandLineValue(const QString& prefix) const;
  // Replaces the first "$(BASE)" (any case) by BaseDir.
  QString ExpandBase(const QString& path) const;
  // Name as it is when it is absolute, else joined to Dir; an empty Dir
  // resolves against the working directory, an empty Name gives "".
  QString ResolveInDir(const QString& dir, const QString& name) const;
  // Absolute against the working directory, cleaned, platform separators;
  // empty stays empty.
  QString MakeAbsolute(const QString& path) const;
  // Text of the language file; the key itself when missing, "" while the
  // configuration is closed.
  QString Translate(const QString& section, const QString& key) const;

  bool IsOpen() const { return open_; }
  QString IniFileName() const { return iniFileName_; }
  QString BaseDir() const { return baseDir_; }
  QString IniMachine() const { return iniMachine_; }
  QString WorkingDir() const { return workingDir_; }
  const QStringList& Arguments() const { return args_; }

  QString Datadir() const { return datadir_; }
  QString Systemdir() const { return systemdir_; }
  QString Helpdir() const { return helpdir_; }
  QString Dokudir() const { return dokudir_; }
  QString Debugdir() const { return debugdir_; }
  QString Filesdir() const { return filesdir_; }
  QString Expfilesdir() const { return expfilesdir_; }
  QString Bilderdir() const { return bilderdir_; }

  // [files]
  QString HelpFile() const;
  QString DecodeFile() const;
  QString Kennung() const;
  QString DefaultFile() const;
  QString SymFile() const;
  QString DebugFile() const;
  QString ErrorCatalogueFile() const;
  QString SysModFile() const;
  QString LanguageFileName() const;
  // [machine] type as read (default "ULV"); IniMachine() is what is in use.
  QString MachineType() const;
  // [comport]
  int ComPort() const;
  QString ComDevice(int comNumber) const;
  QString FlowControl() const;
  // [id], [Tarvo], [enable]
  QString User() const;
  QString TarvoName() const;
  int TarvoNummer() const;
  void SetTarvoNummer(int nummer);
  QString EnableButtons() const;
  // [logfiles]: the main log's full file name (empty without a main log),
  // the logon log's name, the raw report flag string (default empty).
  QString MainLogFileName() const;
  QString LogonLogFileName() const;
  QString ReportsValue() const;
  // [Modem]/[modem]: i1, i2, i3 (default empty), askmodem, echooff
  // (default "AT").
  QString ModemValue(const QString& key) const;

  IniStore& Ini() { return store_; }
  const IniStore& Ini() const { return store_; }
  const IniStore& LanguageFile() const { return language_; }
  const IniStore& SysModStore() const { return sysModStore_; }
  const TSysMod& SysMod() const { return sysMod_; }
  const TLogFile& MainLog() const { return mainLog_; }
  const TLogOnFile& LogonLog() const { return logonLog_; }

private:
  void DeriveFromStore();
  void OpenMainLog();
  void OpenLogonLog();
  void WritePathTrace();
  void LoadDefaultEditFile();
  // Loads an INI-format file; one that is there but unreadable or refused
  // (not a regular file, too large) is reported with InfoMessage.
  void LoadNamedStore(IniStore& store, const QString& path);
  bool Trace() const { return logs_.Flag(0); }

  const Clock& clock_;
  LogHooks& logs_;
  TimerFactory* timers_;
  IniStore store_;
  IniStore language_;
  IniStore sysModStore_;
  TSysMod sysMod_;
  TLogFile mainLog_;
  TLogOnFile logonLog_;

  QStringList args_;
  QString workingDir_;
  bool started_ = false;
  bool open_ = false;
  QString iniFileName_;
  QString baseDir_;
  QString iniMachine_;
  QString mainLogName_;
  QString logonLogName_;
  QString datadir_, systemdir_, helpdir_, dokudir_, debugdir_, filesdir_, expfilesdir_, bilderdir_;
};

}  // namespace ulv
