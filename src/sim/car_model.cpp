#include "sim/car_model.h"

#include <cstdlib>

namespace ulv {

namespace {
constexpr uint8_t kUp = 0x08;
constexpr uint8_t kDown = 0x10;
constexpr uint8_t kDoorAOpen = 0x03;
constexpr uint8_t kSafetyClosed = 0;
constexpr uint8_t kSafetyCarDoorOpen = 7;
}  // namespace

SimCar::SimCar() { calls_.set(5); }

bool SimCar::Call(int floor) {
  if (floor < 0 || floor >= kFloors) return false;
  calls_.set(static_cast<size_t>(floor));
  return true;
}

// The call the car serves next: the nearest ahead while it travels, else the
// nearest of all (the lower one on a tie); its own floor when there is none.
int SimCar::Target() const {
  int best = -1;
  for (int f = 0; f < kFloors; ++f) {
    if (!calls_.test(static_cast<size_t>(f))) continue;
    if (direction_ != 0 && (f - floor_) * direction_ < 0) continue;
    if (best < 0 || std::abs(f - floor_) < std::abs(best - floor_)) best = f;
  }
  return best < 0 ? floor_ : best;
}

QByteArray SimCar::Poll() {
  uint8_t d0 = mode_ & 0x07;
  if (direction_ > 0) d0 |= kUp;
  if (direction_ < 0) d0 |= kDown;
  QByteArray r(1, static_cast<char>(0xF6));
  r.append(static_cast<char>(d0));
  r.append(static_cast<char>(floor_));
  r.append(static_cast<char>(Target()));
  r.append(static_cast<char>(doorOpen_ ? kSafetyCarDoorOpen : kSafetyClosed));
  r.append(static_cast<char>(doorOpen_ ? kDoorAOpen : 0));
  r.append('\0');  // no fault
  Step();
  return r;
}

void SimCar::Step() {
  if (doorOpen_) {  // the door closes before the car moves on
    doorOpen_ = false;
    return;
  }
  if (direction_ == 0) {
    const int target = Target();
    direction_ = target > floor_ ? 1 : target < floor_ ? -1 : 0;
    if (direction_ == 0 && Called(floor_)) {  // a call at the car's own floor opens the door
      calls_.reset(static_cast<size_t>(floor_));
      doorOpen_ = true;
    }
    return;
  }
  floor_ += direction_;
  if (Called(floor_)) {
    calls_.reset(static_cast<size_t>(floor_));
    doorOpen_ = true;
    direction_ = 0;
  } else if (Target() == floor_) {  // nothing left ahead (cannot happen while a call waits ahead)
    direction_ = 0;
  }
}

}  // namespace ulv
