#pragma once
// The program's one link state and the lamps that show it. Colours are the
// classic 0x00BBGGRR values the lamps' OnLink test relies on.
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace ulv {

enum LampColor : uint32_t {
  clGreen = 0x008000,
  clRed = 0x0000FF,
  clYellow = 0x00FFFF,
  clLime = 0x00FF00,
  clMaroon = 0x000080,
};

// A link lamp as the logic sees it (the widget TLinkPanel implements it; the
// CLI and tests use LinkLampModel).
class LinkLamp {
public:
  virtual ~LinkLamp() = default;
  // Sets the colour and then fires OnLink(this, colour == clGreen).
  virtual void SetColor(uint32_t color) = 0;
  virtual uint32_t Color() const = 0;
  // Set by RegisterLinkLed: a click on the lamp.
  std::function<void()> OnClickHook;
};

// Lamp without a widget.
class LinkLampModel : public LinkLamp {
public:
  void SetColor(uint32_t color) override {
    color_ = color;
    if (OnLink) OnLink(this, color == clGreen);
  }
  uint32_t Color() const override { return color_; }
  void Click() {
    if (OnClickHook) OnClickHook();
  }
  std::function<void(LinkLamp* sender, bool linked)> OnLink;

private:
  uint32_t color_ = clRed;
};

class LinkState {
public:
  // Stores the state; repaints every registered lamp (last registered first)
  // only when the colour changes.
  void SetLinkState(bool linked);
  // False for a null or already registered lamp. A lamp registered while the
  // link is up is painted green at once.
  bool RegisterLinkLed(LinkLamp* lamp);
  bool IsLinked() const { return linked_; }
  uint32_t LinkColour() const { return colour_; }
  const std::vector<LinkLamp*>& Lamps() const { return lamps_; }
  // Every registered lamp's click ends here (the serial port installs it).
  std::function<void()> OnLampClick;

private:
  bool linked_ = false;
  uint32_t colour_ = clRed;
  std::vector<LinkLamp*> lamps_;
};

}  // namespace ulv
