#include "link/link_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ulv {
namespace {

struct Lamps {
  LinkLampModel a, b, c;
  std::vector<std::string> fired;  // "a+" = lamp a told linked, "a-" = down
  Lamps() {
    for (auto [lamp, name] : {std::pair{&a, "a"}, std::pair{&b, "b"}, std::pair{&c, "c"}})
      lamp->OnLink = [this, n = std::string(name)](LinkLamp*, bool up) {
        fired.push_back(n + (up ? "+" : "-"));
      };
  }
};

TEST(LinkState, OnlyChangesRepaintLastRegisteredFirst) {
  LinkState link;
  Lamps l;
  for (LinkLamp* lamp : {&l.a, &l.b, &l.c}) ASSERT_TRUE(link.RegisterLinkLed(lamp));
  EXPECT_TRUE(l.fired.empty());  // registered while down: stays red, no event

  struct Step {
    bool linked;
    std::vector<std::string> fired;
  };
  const Step steps[] = {
      {false, {}}, {true, {"c+", "b+", "a+"}}, {true, {}}, {false, {"c-", "b-", "a-"}}, {false, {}},
  };
  for (const Step& s : steps) {
    l.fired.clear();
    link.SetLinkState(s.linked);
    EXPECT_EQ(l.fired, s.fired) << "linked " << s.linked;
    EXPECT_EQ(link.IsLinked(), s.linked);
    EXPECT_EQ(l.a.Color(), s.linked ? clGreen : clRed);
    EXPECT_EQ(link.LinkColour(), s.linked ? 0x008000u : 0x0000FFu);
  }
}

// A lamp is registered once; one registered while the link is up is green at
// once; the clicks of every registered lamp reach one handler.
TEST(LinkState, RegistrationAndClicks) {
  LinkState link;
  Lamps l;
  EXPECT_TRUE(link.RegisterLinkLed(&l.a));
  EXPECT_FALSE(link.RegisterLinkLed(&l.a));
  EXPECT_FALSE(link.RegisterLinkLed(nullptr));
  EXPECT_EQ(link.Lamps().size(), 1u);
  link.SetLinkState(true);
  l.fired.clear();
  EXPECT_TRUE(link.RegisterLinkLed(&l.b));
  EXPECT_EQ(l.b.Color(), clGreen);
  EXPECT_EQ(l.fired, std::vector<std::string>({"b+"}));
  int clicks = 0;
  link.OnLampClick = [&] { ++clicks; };
  l.a.Click();
  l.b.Click();
  l.c.Click();  // not registered
  EXPECT_EQ(clicks, 2);
}

}  // namespace
}  // namespace ulv
