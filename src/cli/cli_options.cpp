#include "cli/cli_options.h"

#include <QRegularExpression>

namespace ulv {

namespace {

const QStringList& Commands() {
  static const QStringList commands = {QStringLiteral("version"),       QStringLiteral("send-time"),
                                       QStringLiteral("identity"),      QStringLiteral("errors"),
                                       QStringLiteral("delete-errors"), QStringLiteral("report"),
                                       QStringLiteral("records"),       QStringLiteral("dump"),
                                       QStringLiteral("capture"),       QStringLiteral("decode"),
                                       QStringLiteral("peek"),          QStringLiteral("poke"),
                                       QStringLiteral("monitor"),       QStringLiteral("doctor")};
  return commands;
}

}  // namespace

const QStringList& JsonCommands() {
  static const QStringList commands = {QStringLiteral("identity"), QStringLiteral("errors"),
                                       QStringLiteral("records"), QStringLiteral("capture"),
                                       QStringLiteral("decode")};
  return commands;
}

const QStringList& RecordNames() {
  static const QStringList names = {QStringLiteral("all"),      QStringLiteral("version"), QStringLiteral("shaft"),
                                    QStringLiteral("monblock"), QStringLiteral("sysperm"), QStringLiteral("sysvar"),
                                    QStringLiteral("shift"),    QStringLiteral("ioports"), QStringLiteral("ports"),
                                    QStringLiteral("calls")};
  return names;
}

bool DumpAddressValid(const QString& text) {
  bool ok = false;
  const uint v = text.startsWith(QLatin1Char('$')) ? text.mid(1).toUInt(&ok, 16) : text.toUInt(&ok, 10);
  return ok && v <= 0xFFFF && !text.contains(QLatin1Char('+')) && !text.contains(QLatin1Char('-'));
}

QString CliUsage() {
  return QStringLiteral(
      "Usage: ulvreader-cli [options] COMMAND\n"
      "\n"
      "Talks to a lift controller over the serial line without windows.\n"
      "\n"
      "Commands:\n"
      "  version         print the controller's software version text\n"
      "  send-time       send the PC's date and time (prints \"date.send\")\n"
      "  identity        read the plant identity\n"
      "  errors [--hex]  read and list the error memory (also writes fehler.bin)\n"
      "  delete-errors --yes\n"
      "                  delete the controller's error memory\n"
      "  report          plant identity and error list\n"
      "  records [WHICH] the data window's lines: all (the Alles chain, default),\n"
      "                  version, shaft, monblock, sysperm, sysvar, shift,\n"
      "                  ioports, ports or calls; --out writes them as Info.txt\n"
      "  dump ADDR       the memory dump from ADDR (decimal or $hex)\n"
      "  peek ADDR [--count N]\n"
      "                  N bytes (default 4) from ADDR as the debugger reads them\n"
      "  poke ADDR HEX8 --yes\n"
      "                  write four bytes at ADDR (the address is set and\n"
      "                  confirmed first), then read them back\n"
      "  monitor [--seconds N]\n"
      "                  the decoded monitor block once a second for N seconds\n"
      "                  (default 10, at most 120)\n"
      "  capture         check the event stream interface and fetch the whole\n"
      "                  stream into a capture file (--out, default the\n"
      "                  recorder's next name in DokuDir); decoded lines on stdout\n"
      "  decode FILE     decode a capture file with the configured decode file\n"
      "                  and error catalogue (no port needed)\n"
      "  doctor          why the port cannot be used and what to do: the serial\n"
      "                  devices present, then for the port: missing, permission,\n"
      "                  busy, programs that grab adapters, USB latency, and a\n"
      "                  live check with the reset handshake (exit status 0 a\n"
      "                  controller answered, 1 it did not, 3 the port is unusable)\n"
      "\n"
      "Options:\n"
      "  --port DEVICE   serial device path, COMn, or \"sim\" for the built-in\n"
      "                  simulated controller (default: the configured port)\n"
      "  --dial NUMBER   reach the controller through the Hayes modem on the port:\n"
      "                  dial, synchronise, partner name, the command, hang-up\n"
      "                  (the [Modem] strings of the configuration apply)\n"
      "  --ini FILE      configuration file (default: ulvreader.INI in the\n"
      "                  working directory, else for an installed program the\n"
      "                  user's ~/.config/ulvreader/ulvreader.INI, made on first\n"
      "                  start; a missing file means defaults)\n"
      "  --out FILE      write the lines to FILE instead of stdout\n"
      "  --format FORMAT text (default) or json: identity, errors, records,\n"
      "                  capture and decode as one JSON document\n"
      "  --hex           errors: list the record bytes too\n"
      "  --yes           delete-errors, poke: really do it\n"
      "  --count N       peek: bytes to read (1 to 256)\n"
      "  --scenario FILE with --port sim: the simulated plant (JSON)\n"
      "  --no-line-timing\n"
      "                  with --port sim: answer without line delays\n"
      "  -h, --help      this text\n"
      "  -v, --version   the program's version\n"
      "\n"
      "Exit status: 0 done, 1 the controller did not answer or a read failed,\n"
      "2 wrong usage, 3 the port cannot be opened, 4 the output file (--out or\n"
      "fehler.bin) cannot be written; with --dial 5 no modem answers, 6 the line is\n"
      "busy, 7 no connection (no carrier, no dial tone, no answer), 8 the partner did\n"
      "not synchronise.\n");
}

CliParse ParseCliArguments(const QStringList& args, CliOptions* o, int* exitCode, QString* message) {
  auto usageError = [&](const QString& text) {
    *exitCode = 2;
    *message = QStringLiteral("ulvreader-cli: ") + text + QStringLiteral("\n(see --help)\n");
    return CliParse::Exit;
  };
  *o = CliOptions{};
  for (int i = 1; i < args.size(); ++i) {
    const QString& a = args[i];
    auto value = [&](QString* target) {
      if (i + 1 >= args.size()) return false;
      *target = args[++i];
      return true;
    };
    if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
      *exitCode = 0;
      *message = CliUsage();
      return CliParse::Exit;
    }
    if (a == QLatin1String("-v") || a == QLatin1String("--version")) {
      *exitCode = 0;
      *message = QStringLiteral("ulvreader-cli 1.0.0\n");
      return CliParse::Exit;
    }
    if (a == QLatin1String("--port")) {
      if (!value(&o->port) || o->port.isEmpty()) return usageError(QStringLiteral("--port needs a device"));
    } else if (a == QLatin1String("--dial")) {
      if (!value(&o->dial) || o->dial.isEmpty()) return usageError(QStringLiteral("--dial needs a telephone number"));
    } else if (a == QLatin1String("--ini")) {
      if (!value(&o->ini) || o->ini.isEmpty()) return usageError(QStringLiteral("--ini needs a file name"));
    } else if (a == QLatin1String("--out")) {
      if (!value(&o->out) || o->out.isEmpty()) return usageError(QStringLiteral("--out needs a file name"));
    } else if (a == QLatin1String("--scenario")) {
      if (!value(&o->scenario) || o->scenario.isEmpty()) {
        return usageError(QStringLiteral("--scenario needs a file name"));
      }
    } else if (a == QLatin1String("--count")) {
      QString n;
      bool ok = false;
      if (value(&n)) o->count = n.toInt(&ok);
      if (!ok || o->count < 1 || o->count > 256) return usageError(QStringLiteral("--count needs a number from 1 to 256"));
    } else if (a == QLatin1String("--seconds")) {
      QString n;
      bool ok = false;
      if (value(&n)) o->seconds = n.toInt(&ok);
      if (!ok || o->seconds < 1 || o->seconds > 120)
        return usageError(QStringLiteral("--seconds needs a number from 1 to 120"));
    } else if (a == QLatin1String("--format")) {
      QString f;
      if (!value(&f) || (f != QLatin1String("text") && f != QLatin1String("json")))
        return usageError(QStringLiteral("--format takes text or json"));
      o->json = f == QLatin1String("json");
    } else if (a == QLatin1String("--hex")) {
      o->hex = true;
    } else if (a == QLatin1String("--yes")) {
      o->yes = true;
    } else if (a == QLatin1String("--no-line-timing")) {
      o->lineTiming = false;
    } else if (a.startsWith(QLatin1Char('-'))) {
      return usageError(QStringLiteral("unknown option %1").arg(a));
    } else if (o->command.isEmpty()) {
      if (!Commands().contains(a)) return usageError(QStringLiteral("unknown command %1").arg(a));
      o->command = a;
    } else if (o->argument.isEmpty() &&
               (o->command == QLatin1String("records") || o->command == QLatin1String("dump") ||
                o->command == QLatin1String("decode") || o->command == QLatin1String("peek") ||
                o->command == QLatin1String("poke"))) {
      o->argument = a;
    } else if (o->value.isEmpty() && o->command == QLatin1String("poke")) {
      o->value = a;
    } else {
      return usageError(QStringLiteral("unexpected argument %1").arg(a));
    }
  }
  if (o->command.isEmpty()) return usageError(QStringLiteral("no command given"));
  if (o->command == QLatin1String("records")) {
    if (o->argument.isEmpty()) o->argument = QStringLiteral("all");
    if (!RecordNames().contains(o->argument))
      return usageError(QStringLiteral("records takes one of: %1").arg(RecordNames().join(QLatin1Char(' '))));
  }
  if (o->command == QLatin1String("dump") && !DumpAddressValid(o->argument))
    return usageError(QStringLiteral("dump needs an address from 0 to 65535 (decimal or $hex)"));
  const bool peekPoke = o->command == QLatin1String("peek") || o->command == QLatin1String("poke");
  if (peekPoke && !DumpAddressValid(o->argument))
    return usageError(QStringLiteral("%1 needs an address from 0 to 65535 (decimal or $hex)").arg(o->command));
  static const QRegularExpression hex8(QStringLiteral("^[0-9A-Fa-f]{8}$"));
  if (o->command == QLatin1String("poke") && !hex8.match(o->value).hasMatch())
    return usageError(QStringLiteral("poke needs four bytes as 8 hex digits"));
  if (o->command == QLatin1String("poke") && !o->yes)
    return usageError(QStringLiteral("poke writes into the controller's memory; confirm with --yes"));
  if (o->seconds != 10 && o->command != QLatin1String("monitor"))
    return usageError(QStringLiteral("--seconds belongs to monitor"));
  if (o->count != 4 && o->command != QLatin1String("peek"))
    return usageError(QStringLiteral("--count belongs to peek"));
  if (o->command == QLatin1String("decode") && o->argument.isEmpty())
    return usageError(QStringLiteral("decode needs a capture file"));
  if (o->json && !JsonCommands().contains(o->command))
    return usageError(QStringLiteral("--format json belongs to %1").arg(JsonCommands().join(QStringLiteral(", "))));
  if (o->hex && o->json) return usageError(QStringLiteral("--hex belongs to the text list (the JSON has the bytes)"));
  if (o->hex && o->command != QLatin1String("errors"))
    return usageError(QStringLiteral("--hex belongs to errors"));
  if (o->yes && o->command != QLatin1String("delete-errors") && o->command != QLatin1String("poke")) {
    return usageError(QStringLiteral("--yes belongs to delete-errors and poke"));
  }
  if (o->command == QLatin1String("delete-errors") && !o->yes) {
    return usageError(
        QStringLiteral("delete-errors deletes the controller's error memory; confirm with --yes"));
  }
  const bool sim = o->port.compare(QLatin1String("sim"), Qt::CaseInsensitive) == 0;
  if (sim && o->command == QLatin1String("doctor"))
    return usageError(QStringLiteral("doctor examines a serial device; the built-in simulated controller needs none"));
  if (!o->dial.isEmpty() && (sim || o->command == QLatin1String("doctor") || o->command == QLatin1String("decode")))
    return usageError(QStringLiteral("--dial needs a serial port with a modem and a command for the controller"));
  if (!sim && (!o->scenario.isEmpty() || !o->lineTiming)) {
    return usageError(QStringLiteral("--scenario and --no-line-timing belong to --port sim"));
  }
  *exitCode = 0;
  return CliParse::Run;
}

}  // namespace ulv
