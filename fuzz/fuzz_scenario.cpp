// The scenario loader: arbitrary JSON over the built-in plant, then the
// simulated controller built from what was taken, fed the rest of the input
// as the tool's bytes. Input: the JSON up to a NUL, then the tool's bytes.
// Invariants: a taken scenario keeps the limits of its format (version 15
// bytes, name and telephone at most 15, trips below 655360000), and a failed
// parse says why.
#include "fuzz_support.h"
#include "sim/plant_model.h"
#include "sim/scenario.h"
#include "sim/sim_controller.h"

using namespace ulv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Scenario kBase = DefaultScenario();
  fuzz::Input in(data, size);
  Scenario s = kBase;
  QString error;
  if (!ParseScenario(in.Until('\0'), &s, &error)) {
    fuzz::Check(!error.isEmpty(), "a refused scenario without a reason");
    return 0;
  }
  fuzz::Check(s.version.size() == 15, "version is not 15 bytes", QString::fromLatin1(s.version));
  fuzz::Check(s.name.size() <= 15 && s.telephone.size() <= 15, "name or telephone longer than 15");
  fuzz::Check(s.trips >= 0 && s.trips < 655360000, "trips out of range", QString::number(s.trips));
  PlantModel plant(s);
  SimController ctl(plant);
  while (!in.Empty()) (void)ctl.Feed(in.Byte());
  return 0;
}
