#pragma once
// The ulv-sim command: options, start, wait for SIGINT/SIGTERM, stop.
//   --pty                 serve on a new pseudo-terminal; its path is the first output line
//   --device PATH         serve a serial device
//   --scenario FILE       plant data (JSON; "default" and "many-errors" name the shipped ones)
//   --no-line-timing      answer at once instead of after two character times
//   --silent, --corrupt-every N, --drop-every N, --repeat-every N, --vanish-after MS
//                         fault injection
//   --stats               turn statistics on stderr at the end
namespace ulv {

int SimMain(int argc, char** argv);

}  // namespace ulv
