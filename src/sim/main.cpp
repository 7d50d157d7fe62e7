// ulv-sim: the simulated lift controller on a new pseudo-terminal or a serial device.
#include "sim/sim_main.h"

int main(int argc, char** argv) { return ulv::SimMain(argc, argv); }
