#pragma once
// The ulvreader-cli command (see CliUsage for its options and commands).
namespace ulv {

int CliMain(int argc, char** argv);

}  // namespace ulv
