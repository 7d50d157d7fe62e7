#include "common/configuration.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

namespace ulv {

namespace {
const QLatin1String kFiles("files");
}

Configuration::Configuration(const Clock& clock, LogHooks& logs, TimerFactory* timers)
    : clock_(clock), logs_(logs), timers_(timers) {}

Configuration::~Configuration() { Finish(); }

void Configuration::Start(const QStringList& args, const QString& workingDir) {
  if (started_) Finish();
  started_ = true;
  args_ = args;
  workingDir_ = workingDir.isEmpty() ? QDir::currentPath() : QDir(workingDir).absolutePath();

  // 1. The configuration file: "/i=" or the program's name with ".INI", in
  // the working directory (not the program's directory).
  QString name = CommandLineValue(QStringLiteral("/i="));
  if (name.isEmpty() && !args.isEmpty() && !args.first().isEmpty())
    name = QFileInfo(args.first()).completeBaseName() + QStringLiteral(".INI");
  iniFileName_ = MakeAbsolute(name);

  // 2. Open only when the file exists; otherwise everything yields defaults.
  QString refused;
  if (iniFileName_.isEmpty() || !QFileInfo::exists(iniFileName_) || !store_.Load(iniFileName_, &refused)) {
    // A named file that is there but cannot be taken is worth a word; a
    // missing one is the normal case of running without a configuration.
    if (!refused.isEmpty()) InfoMessage(refused);
    iniFileName_.clear();
    baseDir_.clear();
    store_.Clear();
    open_ = false;
    return;
  }
  open_ = true;

  // 3, 4. Base, directories, machine type.
  DeriveFromStore();
  // 5. Logs.
  OpenMainLog();
  OpenLogonLog();
  // 6. Language file.
  LoadNamedStore(language_, LanguageFileName());
  // 7. Path trace.
  if (Trace()) WritePathTrace();
  // 8. Sysmod file and the default edit file.
  LoadNamedStore(sysModStore_, SysModFile());
  LoadDefaultEditFile();
}

void Configuration::DeriveFromStore() {
  baseDir_ = store_.Value(kFiles, QStringLiteral("base"));
  auto dir = [this](const char* key) {
    return MakeAbsolute(ExpandBase(store_.Value(kFiles, QLatin1String(key))));
  };
  datadir_ = dir("DataDir");
  systemdir_ = dir("SystemDir");
  helpdir_ = dir("helpdir");
  dokudir_ = dir("DokuDir");
  debugdir_ = dir("DebugDir");
  filesdir_ = dir("FilesDir");
  expfilesdir_ = dir("ExpFilesDir");
  bilderdir_ = dir("BilderDir");
  iniMachine_ = CommandLineValue(QStringLiteral("/m=")).toUpper();
  if (iniMachine_.isEmpty()) iniMachine_ = MachineType().toUpper();
}

void Configuration::OpenMainLog() {
  mainLogName_ =
      MakeAbsolute(ExpandBase(store_.Value(QStringLiteral("logfiles"), QStringLiteral("mainlogfile"))));
  if (mainLogName_.isEmpty()) return;
  if (!mainLog_.Open(mainLogName_)) {
    std::fprintf(stderr, "main log %s: cannot be created\n", qPrintable(mainLogName_));
    return;
  }
  if (timers_ != nullptr) mainLog_.SetFlushTimer(timers_->CreateTimer());
  logs_.WriteLogHook = [this](const QString& line) { mainLog_.WriteLine(line); };
  logs_.SetReports(store_.Value(QStringLiteral("logfiles"), QStringLiteral("reports"), QStringLiteral("?")));

  const QString now = clock_.NowText();
  if (!Trace()) {
    mainLog_.WriteLine(QStringLiteral("- auf ** ") + now + QStringLiteral(" [no report]"));
    return;
  }
  mainLog_.WriteLine(QStringLiteral("- auf ** ") + now);
  QString parameters = QStringLiteral("parameter= ");
  for (qsizetype i = 1; i < args_.size(); ++i) parameters += args_.at(i) + QLatin1Char(' ');
  mainLog_.WriteLine(parameters);
  mainLog_.WriteLine(QStringLiteral("inifile=") + iniFileName_);
  mainLog_.WriteLine(QStringLiteral("reports=") + ReportsValue());
  mainLog_.WriteLine(QString());
}

void Configuration::OpenLogonLog() {
  // Relative names stay relative to the working directory.
  logonLogName_ = ExpandBase(store_.Value(QStringLiteral("Logfiles"), QStringLiteral("logonfile")));
  if (logonLogName_.isEmpty()) return;
  const QString path = QDir::toNativeSeparators(QDir(workingDir_).filePath(logonLogName_));
  if (!logonLog_.Open(path, clock_.NowText() + QStringLiteral("- logfile kreiiert")))
    std::fprintf(stderr, "logon log %s: cannot be opened\n", qPrintable(path));
}

void Configuration::WritePathTrace() {
  const std::pair<const char*, QString> lines[] = {
      {"   IniFileName=", iniFileName_}, {"   ini_machine=", iniMachine_}, {"       Helpdir=", helpdir_},
      {"       Dokudir=", dokudir_},     {"      Debugdir=", debugdir_},   {"      Filesdir=", filesdir_},
      {"   Expfilesdir=", expfilesdir_}, {"     Bilderdir=", bilderdir_},  {"       Datadir=", datadir_},
      {"     Systemdir=", systemdir_},
  };
  for (const auto& [label, value] : lines) logs_.WriteLog(QLatin1String(label) + value);
}

void Configuration::LoadDefaultEditFile() {
  const QString path = DefaultFile();
  if (sysMod_.Load(path)) return;
  const QString key = QStringLiteral("25");
  QString text = Translate(QStringLiteral("main"), key);
  // Without the language file's text the box would show the bare key.
  if (text == key || text.isEmpty()) text = QStringLiteral(" : Vorgabedatei fehlt oder ist nicht lesbar");
  const QString name = path.isEmpty() ? QStringLiteral("[files] DefaultFile ist leer") : path;
  InfoMessage(QLatin1Char('"') + name + QLatin1Char('"') + text);
}

void Configuration::LoadNamedStore(IniStore& store, const QString& path) {
  QString error;
  if (!store.Load(path, &error) && QFileInfo::exists(path)) InfoMessage(error);
}

void Configuration::InfoMessage(const QString& text) {
  if (OnInfoMessage) {
    OnInfoMessage(text);
    return;
  }
  std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

void Configuration::Finish() {
  if (!started_) return;
  started_ = false;
  if (open_) {
    QString error;
    // Windows may be gone by now: problems go to stderr, not to a hook.
    if (!SaveIfChanged(&error)) std::fprintf(stderr, "%s\n", qPrintable(error));
    const QString now = clock_.NowText();
    if (mainLog_.IsOpen()) {
      mainLog_.WriteLine(QStringLiteral("- zu  ** ") + now);
      mainLog_.Close();
      logs_.WriteLogHook = nullptr;
    }
    if (logonLog_.IsOpen()) {
      logonLog_.WriteLine(now + QStringLiteral(" - zu  ** "));
      logonLog_.Close();
    }
  }
  open_ = false;
  store_.Clear();
  language_.Clear();
  sysModStore_.Clear();
  iniFileName_.clear();
  baseDir_.clear();
  iniMachine_.clear();
  mainLogName_.clear();
  logonLogName_.clear();
  for (QString* d :
       {&datadir_, &systemdir_, &helpdir_, &dokudir_, &debugdir_, &filesdir_, &expfilesdir_, &bilderdir_})
    d->clear();
}

bool Configuration::Reload() {
  if (!open_ || iniFileName_.isEmpty()) return false;
  IniStore fresh;
  if (!fresh.Load(iniFileName_)) return false;
  store_ = std::move(fresh);
  DeriveFromStore();
  return true;
}

bool Configuration::SaveIfChanged(QString* error) {
  if (!open_ || !store_.IsModified()) return true;
  if (!store_.Save(iniFileName_, error)) return false;
  store_.SetModified(false);
  return true;
}

QString Configuration::CommandLineValue(const QString& prefix) const {
  for (const QString& arg : args_) {
    if (arg.contains(prefix)) return arg.mid(prefix.size(), 255);
  }
  return QString();
}

QString Configuration::ExpandBase(const QString& path) const {
  static const QLatin1String kBase("$(BASE)");
  const qsizetype at = path.indexOf(kBase, 0, Qt::CaseInsensitive);
  if (at < 0) return path;
  QString out = path;
  out.replace(at, kBase.size(), baseDir_);
  return out;
}

QString Configuration::MakeAbsolute(const QString& path) const {
  if (path.isEmpty()) return QString();
  const QDir base(workingDir_.isEmpty() ? QDir::currentPath() : workingDir_);
  return QDir::toNativeSeparators(QDir::cleanPath(base.absoluteFilePath(path)));
}

QString Configuration::ResolveInDir(const QString& dir, const QString& name) const {
  const QString d = ExpandBase(dir);
  const QString n = ExpandBase(name);
  QString result;
  if (n.isEmpty())
    result = QString();
  else if (QDir::isAbsolutePath(n))
    result = n;
  else if (d.isEmpty())
    result = MakeAbsolute(n);
  else
    result = QDir::toNativeSeparators(QDir(d).filePath(n));
  if (Trace()) logs_.WriteLog(QStringLiteral("*** TestAbsolute: ") + result);
  return result;
}

QString Configuration::Translate(const QString& section, const QString& key) const {
  if (!open_) return QString();
  const QString result = language_.Value(section, key, key);
  if (Trace())
    logs_.WriteLog(QStringLiteral("*** language>[") + section + QLatin1Char(',') + key +
                   QStringLiteral("]=") + result);
  return result;
}

QString Configuration::HelpFile() const {
  return ResolveInDir(helpdir_, store_.Value(kFiles, QStringLiteral("helpfile")));
}

QString Configuration::DecodeFile() const {
  return MakeAbsolute(ExpandBase(store_.Value(kFiles, QStringLiteral("decodefile"))));
}

QString Configuration::Kennung() const { return store_.Value(kFiles, QStringLiteral("kennung")).toLower(); }

QString Configuration::DefaultFile() const {
  return ResolveInDir(filesdir_, store_.Value(kFiles, QStringLiteral("DefaultFile")));
}

QString Configuration::SymFile() const { return store_.Value(kFiles, QStringLiteral("symfile")); }

QString Configuration::DebugFile() const {
  return ResolveInDir(datadir_, store_.Value(kFiles, QStringLiteral("debugfile")));
}

QString Configuration::ErrorCatalogueFile() const {
  return ResolveInDir(datadir_, store_.Value(QStringLiteral("Files"), QStringLiteral("Fehler")));
}

QString Configuration::SysModFile() const {
  return ResolveInDir(systemdir_,
                      store_.Value(kFiles, QStringLiteral("sysmod"), QStringLiteral("sysmod.sys")));
}

QString Configuration::LanguageFileName() const {
  return ResolveInDir(systemdir_, store_.Value(kFiles, QStringLiteral("language")));
}

QString Configuration::MachineType() const {
  return store_.Value(QStringLiteral("machine"), QStringLiteral("type"), QStringLiteral("ULV"));
}

int Configuration::ComPort() const {
  return store_.IntValue(QStringLiteral("comport"), QStringLiteral("port"), 1);
}

QString Configuration::ComDevice(int comNumber) const {
#ifdef Q_OS_WIN
  const QString def = QStringLiteral("COM") + QString::number(comNumber);
#else
  // 64-bit: a configured port of INT_MIN must not overflow.
  const QString def = QStringLiteral("/dev/ttyS") + QString::number(qint64{comNumber} - 1);
#endif
  return store_.Value(QStringLiteral("comport"), QStringLiteral("com") + QString::number(comNumber), def);
}

QString Configuration::FlowControl() const {
  return store_.Value(QStringLiteral("comport"), QStringLiteral("flowcontrol"), QStringLiteral("rtscts"));
}

QString Configuration::User() const {
  return store_.Value(QStringLiteral("id"), QStringLiteral("user"),
                      QStringLiteral("keine [id] angegeben !!"));
}

QString Configuration::TarvoName() const {
  return store_.Value(QStringLiteral("Tarvo"), QStringLiteral("name"), QStringLiteral("Tarvo-"));
}

int Configuration::TarvoNummer() const {
  return store_.IntValue(QStringLiteral("Tarvo"), QStringLiteral("nummer"), 0);
}

void Configuration::SetTarvoNummer(int nummer) {
  store_.SetValue(QStringLiteral("Tarvo"), QStringLiteral("nummer"), QString::number(nummer));
}

QString Configuration::EnableButtons() const {
  return store_.Value(QStringLiteral("enable"), QStringLiteral("buttons"), QStringLiteral("0000000"));
}

QString Configuration::MainLogFileName() const { return mainLogName_; }

QString Configuration::LogonLogFileName() const { return logonLogName_; }

QString Configuration::ReportsValue() const {
  return store_.Value(QStringLiteral("logfiles"), QStringLiteral("reports"));
}

QString Configuration::ModemValue(const QString& key) const {
  const bool command = key.compare(QLatin1String("askmodem"), Qt::CaseInsensitive) == 0 ||
                       key.compare(QLatin1String("echooff"), Qt::CaseInsensitive) == 0;
  return store_.Value(QStringLiteral("Modem"), key, command ? QStringLiteral("AT") : QString());
}

}  // namespace ulv
