#pragma once
// The ulv-sim command: options, start, wait for SIGINT/SIGTERM, stop.
//   --pty                 serve on a new pseudo-terminal; its path is the first output line
//   --device PATH         serve a serial device
//   --scenario FILE       plant data (JSON; "default" and "many-errors" name the shipped ones)
//   --no-line-timing      answer at once instead of after two character times
//   --silent, --corrupt-every N, --drop-every N, --repeat-every N, --vanish-after MS
//                         fault injection
//   --stats               turn statistics on stderr at the end
//   --modem               a Hayes modem with the framed partner instead of the 401 exchange;
//                         the modem lines' directory is the second output line ("lines: DIR")
//   --lines-dir DIR       that directory (default: a new one in the temporary folder)
//   --dial-result R       connect, busy, no-carrier, no-dialtone or silence
//   --partner-name NAME   characters 0..z
//   --partner-fault F     (repeatable) nak-first[=N], nak-always, no-ack, wrong-chk, len=N (0..4),
//                         split[=N], garbage, silent, ignore-name, ack-every-byte, late-reply[=N],
//                         drop-at-dial, drop-at-sync, drop-at-notify, drop-at-name, drop-at-request
namespace ulv {

int SimMain(int argc, char** argv);

}  // namespace ulv
