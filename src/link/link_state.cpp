#include "link/link_state.h"

#include <algorithm>

namespace ulv {

void LinkState::SetLinkState(bool linked) {
  linked_ = linked;
  const uint32_t colour = linked ? clGreen : clRed;
  if (colour == colour_) return;
  colour_ = colour;
  // A lamp's OnLink handler may register further lamps; paint the lamps that
  // were registered when the change happened.
  const std::vector<LinkLamp*> lamps = lamps_;
  for (auto it = lamps.rbegin(); it != lamps.rend(); ++it) (*it)->SetColor(colour);
}

bool LinkState::RegisterLinkLed(LinkLamp* lamp) {
  if (lamp == nullptr || std::find(lamps_.begin(), lamps_.end(), lamp) != lamps_.end()) return false;
  lamp->OnClickHook = [this] {
    if (OnLampClick) {
      auto click = OnLampClick;
      click();
    }
  };
  if (linked_) lamp->SetColor(clGreen);
  lamps_.push_back(lamp);
  return true;
}

}  // namespace ulv
