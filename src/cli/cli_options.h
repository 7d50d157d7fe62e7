#pragma once
// The command line of ulvreader-cli.
#include <QString>
#include <QStringList>

namespace ulv {

struct CliOptions {
  // version, send-time, identity, errors, delete-errors, report, records,
  // dump, capture, decode, peek, poke, monitor, doctor
  QString command;
  QString argument;  // records: which record (default "all"); dump, peek, poke: the address; decode: the file
  QString value;     // poke: the four bytes as 8 hex digits
  int count = 4;     // peek --count: bytes to read
  int seconds = 10;  // monitor --seconds: how long to follow the monitor block
  QString port;     // device path, COMn, "sim"; empty: the configured port
  QString ini;      // configuration file; empty: ulvreader.INI in the working directory,
                    // else an installed program's user configuration
  QString out;      // --out FILE: written whole on success (CR LF lines); capture: the capture file
  bool json = false;  // --format json: identity, errors, records, capture, decode
  bool hex = false;
  bool yes = false;
  QString dial;  // --dial NUMBER: run the command over a modem session
  QString scenario;        // for --port sim
  bool lineTiming = true;  // for --port sim
};

enum class CliParse { Run, Exit };

// Parses `args` (program name first). On Exit, `exitCode` and `message` say
// what to print (help or version on stdout with 0, a usage error on stderr
// with 2).
CliParse ParseCliArguments(const QStringList& args, CliOptions* options, int* exitCode, QString* message);

QString CliUsage();
// The records the `records` command takes, "all" first.
const QStringList& RecordNames();
// The commands that take --format json.
const QStringList& JsonCommands();
// A dump address: decimal or "$" + hex, 0 to 65535.
bool DumpAddressValid(const QString& text);

}  // namespace ulv
