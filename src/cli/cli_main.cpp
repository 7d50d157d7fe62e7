#include "cli/cli_main.h"

#include <cstdio>

namespace ulv {

int CliMain(int, char**) {
  std::fprintf(stderr, "ulvreader-cli: not ready yet\n");
  return 1;
}

}  // namespace ulv
