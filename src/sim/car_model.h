#pragma once
// The simulated car behind the monitor block (F1 60): it travels one floor
// per poll towards the nearest remembered floor call (F5 55 1E 02 n 00),
// stops there with its door open for one poll and clears the call.
#include <QByteArray>
#include <bitset>
#include <cstdint>

namespace ulv {

class SimCar {
public:
  static constexpr int kFloors = 8;

  // Starts at floor 3 on its way up to a call at floor 5, in mode 2.
  SimCar();

  // The monitor block reply F6 D-0 .. D-5 as the car stands now; the car
  // then moves on by one step.
  QByteArray Poll();
  // A floor call; false for a floor the car does not serve.
  bool Call(int floor);

  int Floor() const { return floor_; }
  bool Called(int floor) const { return floor >= 0 && floor < kFloors && calls_.test(static_cast<size_t>(floor)); }

private:
  void Step();
  int Target() const;

  int floor_ = 3;
  int direction_ = 1;  // +1 up, -1 down, 0 standing
  bool doorOpen_ = false;
  uint8_t mode_ = 2;
  std::bitset<kFloors> calls_;
};

}  // namespace ulv
