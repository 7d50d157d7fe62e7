// ulvreader-cli: the service tool's reads without windows.
#include "cli/cli_main.h"

int main(int argc, char** argv) { return ulv::CliMain(argc, argv); }
