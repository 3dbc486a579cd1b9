// Button control ids: one counter per window class, from 10000, continuing
// across windows and never reused; each click reaches the window whose
// button it was. A process of its own, so no other test took ids first.
#include <gtest/gtest.h>

#include "tests/unit/windows/WindowsFixture.h"

using namespace wtest;
namespace hl = ui::headless;

namespace {

class IdTest : public WindowsTest {};

std::vector<int> Ids(const skinwnd::ButtonList& buttons) {
  std::vector<int> ids;
  for (const auto& b : buttons) ids.push_back(b->GetDlgCtrlID());
  return ids;
}

std::vector<int> Range(int from, int n) {
  std::vector<int> v;
  for (int i = 0; i < n; ++i) v.push_back(from + i);
  return v;
}

TEST_F(IdTest, CountersStartAt10000PerClassAndContinue) {
  auto skin = DefaultSkin();
  auto first = std::make_unique<TestLayered>(skin.get(), "MAINWND");
  TestLayered second(skin.get(), "MAINWND");
  ASSERT_TRUE(first->Create());
  ASSERT_TRUE(second.Create());
  EXPECT_EQ(Ids(first->Buttons()), Range(10000, 6));
  EXPECT_EQ(Ids(second.Buttons()), Range(10006, 6));

  UseFramedSkin(DefaultSkin());
  auto game = std::make_unique<TestFramed>("GAMEWND");
  ASSERT_TRUE(game->Create());
  EXPECT_EQ(Ids(game->Buttons()), Range(10000, 11));  // a counter of its own

  // Deleted windows give nothing back.
  first.reset();
  game.reset();
  TestLayered third(skin.get(), "MAINWND");
  TestFramed game2("GAMEWND");
  ASSERT_TRUE(third.Create());
  ASSERT_TRUE(game2.Create());
  EXPECT_EQ(Ids(third.Buttons()), Range(10012, 6));
  EXPECT_EQ(Ids(game2.Buttons()), Range(10011, 11));

  // Clicks reach the window whose button was clicked.
  second.Show(TRUE);
  ui::PumpUntilIdle();
  RECT home = RectOf(*second.FindButton("home"));
  hl::Click(second.m_hWnd, home.left + 5, home.top + 5);
  EXPECT_EQ(second.rec.commands, std::vector<std::string>{"home"});
  EXPECT_TRUE(third.rec.commands.empty());
  // A command for another window's id does nothing here.
  third.SendMessage(WM_COMMAND, MAKEWPARAM(10006, BN_CLICKED), 0);
  EXPECT_TRUE(third.rec.commands.empty());
  // Only clicks are routed.
  third.SendMessage(WM_COMMAND, MAKEWPARAM(10012, 5), 0);
  EXPECT_TRUE(third.rec.commands.empty());
  third.SendMessage(WM_COMMAND, MAKEWPARAM(10012, BN_CLICKED), 0);
  EXPECT_EQ(third.rec.commands, std::vector<std::string>{"min"});
}

}  // namespace
