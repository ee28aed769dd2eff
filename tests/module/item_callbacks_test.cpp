// The flags, use-items and change-ID callbacks, through the loaded module.
#include <gtest/gtest.h>

#include "tests/support/module_host.h"

namespace lensfall::testing {
namespace {

class ItemCallbacksTest : public ModuleHostTest {
 protected:
  void SetUp() override {
    ModuleHostTest::SetUp();
    floor = &scene().addObject("Floor");
    ball = &scene().addObject("Ball");
    lamp = &scene().addObject("Lamp");
    activate();
    instance = filter->create();
  }

  void focusOn(HostItemID item) { settingsOf(instance).focusItem = item; }

  HostItem *floor = nullptr;
  HostItem *ball = nullptr;
  HostItem *lamp = nullptr;
  HostInstance instance = nullptr;
};

TEST_F(ItemCallbacksTest, FlagsAskForDepthWhateverTheSettings) {
  EXPECT_EQ(filter->flags(instance), 0x1000u);
  settingsOf(instance).useDepth = 0;
  settingsOf(instance).apertureShape = 3;
  EXPECT_EQ(filter->flags(instance), 0x1000u);
}

TEST_F(ItemCallbacksTest, UseItemsListsTheFocusItemOnly) {
  EXPECT_TRUE(filter->usedItems(instance).empty());
  focusOn(ball);
  EXPECT_EQ(filter->usedItems(instance), std::vector<HostItemID>{ball});
}

TEST_F(ItemCallbacksTest, ChangeIdFollowsTheFirstMatchingPair) {
  HostItem moved, movedAgain;
  struct Case {
    const char *name;
    HostItemID focus;
    std::vector<std::pair<HostItemID, HostItemID>> pairs;
    HostItemID expectedFocus;
    int expectedIndex;
  };
  const Case cases[] = {
      {"no pair names the focus",
       ball,
       {{floor, lamp}, {lamp, floor}},
       ball,
       0},
      {"new ID 0 clears it",
       ball,
       {{floor, lamp}, {ball, nullptr}},
       nullptr,
       0},
      {"only the first pair applies",
       ball,
       {{ball, lamp}, {ball, floor}},
       lamp,
       3},
      {"an ID outside the objects", ball, {{ball, &moved}}, &moved, 0},
      {"no focus item matches nothing",
       nullptr,
       {{floor, &movedAgain}},
       nullptr,
       0},
  };
  for (const Case &c : cases) {
    focusOn(c.focus);
    settingsOf(instance).focusItemIndex = -7;
    filter->changeIds(instance, c.pairs);
    EXPECT_EQ(settingsOf(instance).focusItem, c.expectedFocus) << c.name;
    if (c.expectedFocus != c.focus) {
      EXPECT_EQ(settingsOf(instance).focusItemIndex, c.expectedIndex) << c.name;
    } else {
      EXPECT_EQ(settingsOf(instance).focusItemIndex, -7)
          << c.name << ": unchanged";
    }
  }
}

}  // namespace
}  // namespace lensfall::testing
