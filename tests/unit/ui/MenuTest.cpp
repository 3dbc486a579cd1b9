// Menu resources and popup menus on the headless display.
#include "UiFixture.h"
#include "platform/base/Resources.h"
#include "platform/ui/Menu.h"

namespace {

using namespace std::string_literals;

class MenuTest : public UiTest {
 protected:
  void TearDown() override {
    res::testing::Reset();
    UiTest::TearDown();
  }
};

MenuPopup TrayPopup() {
  return MenuPopup{"tray", {{201, "显示主界面", false}, {0, "", true}, {57665, "退出", false}}};
}

TEST_F(MenuTest, TheTrayMenuResourceHoldsOnePopupWithTwoEntriesAndASeparator) {
  CMenu menu;
  ASSERT_TRUE(menu.LoadMenu(200));
  ASSERT_EQ(menu.GetMenuItemCount(), 1);
  const MenuPopup* popup = menu.GetSubMenu(0);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(*popup, TrayPopup());
  EXPECT_EQ(menu.GetSubMenu(1), nullptr);
  EXPECT_EQ(menu.GetSubMenu(-1), nullptr);
}

TEST_F(MenuTest, AcceptsCommentsBlankLinesCrLfAndSeveralPopups) {
  res::testing::Override("MENU", 300,
                         "# two popups\r\n\r\nPOPUP\tfirst\r\nITEM\t1\ta_b & c\r\n  \t\r\nPOPUP\tsecond\r\n"
                         "SEPARATOR\r\nITEM\t65535\tlast");
  CMenu menu;
  ASSERT_TRUE(menu.LoadMenu(300));
  ASSERT_EQ(menu.GetMenuItemCount(), 2);
  EXPECT_EQ(*menu.GetSubMenu(0), (MenuPopup{"first", {{1, "a_b & c", false}}}));
  EXPECT_EQ(*menu.GetSubMenu(1), (MenuPopup{"second", {{0, "", true}, {65535, "last", false}}}));
}

TEST_F(MenuTest, AMissingOrMalformedResourceFailsAndLeavesTheMenuEmpty) {
  struct Case {
    const char* what;
    std::string text;
  };
  const Case cases[] = {
      {"empty", ""},
      {"only comments", "# nothing\n"},
      {"entry before popup", "ITEM\t1\tx\nPOPUP\tp\n"},
      {"separator before popup", "SEPARATOR\nPOPUP\tp\n"},
      {"unknown keyword", "POPUP\tp\nMENUITEM\t1\tx\n"},
      {"lower-case keyword", "popup\tp\n"},
      {"popup without name", "POPUP\n"},
      {"id zero", "POPUP\tp\nITEM\t0\tx\n"},
      {"id too large", "POPUP\tp\nITEM\t65536\tx\n"},
      {"id not a number", "POPUP\tp\nITEM\t2a\tx\n"},
      {"negative id", "POPUP\tp\nITEM\t-1\tx\n"},
      {"entry without text", "POPUP\tp\nITEM\t5\t\n"},
      {"entry without tab", "POPUP\tp\nITEM\t5\n"},
      {"entry with spaces", "POPUP\tp\nITEM 5 x\n"},
      {"extra field", "POPUP\tp\nITEM\t5\tx\ty\n"},
      {"separator with text", "POPUP\tp\nSEPARATOR\tx\n"},
      {"not UTF-8", "POPUP\tp\nITEM\t5\t\xC0\xAF\n"},
      {"NUL in text", "POPUP\tp\nITEM\t5\tx\0y\n"s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    res::testing::Override("MENU", 300, c.text);
    CMenu menu;
    ASSERT_TRUE(menu.LoadMenu(200));
    EXPECT_FALSE(menu.LoadMenu(300));
    EXPECT_EQ(menu.GetMenuItemCount(), 0);
    EXPECT_EQ(menu.GetSubMenu(0), nullptr);
  }
  res::testing::Remove("MENU", 200);
  CMenu missing;
  EXPECT_FALSE(missing.LoadMenu(200));
  EXPECT_EQ(missing.GetMenuItemCount(), 0);
}

TEST_F(MenuTest, TrackPopupMenuAnswersFromTheQueueAndRecordsWhatWasShown) {
  RecordingWnd owner;
  ASSERT_TRUE(owner.CreateTop(0, 0, 10, 10));
  const UINT flags = TPM_RETURNCMD | TPM_RIGHTBUTTON;
  ui::headless::QueueMenuAnswer(201);
  ui::headless::QueueMenuAnswer(57665);
  EXPECT_EQ(TrackPopupMenu(TrayPopup(), flags, 30, 40, owner.m_hWnd), 201u);
  EXPECT_EQ(TrackPopupMenu(TrayPopup(), flags, 31, 41, owner.m_hWnd), 57665u);
  EXPECT_EQ(TrackPopupMenu(TrayPopup(), flags, 32, 42, owner.m_hWnd), 0u);  // dismissed

  const auto& shown = ui::headless::MenusShown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].popup, TrayPopup());
  EXPECT_EQ(shown[0].flags, flags);
  EXPECT_EQ(shown[0].at.x, 30);
  EXPECT_EQ(shown[0].at.y, 40);
  EXPECT_EQ(shown[0].owner, owner.m_hWnd);
  EXPECT_EQ(shown[2].at.x, 32);
  ui::PumpUntilIdle();
  EXPECT_EQ(owner.Count(WM_COMMAND), 0);  // with TPM_RETURNCMD the caller acts
}

TEST_F(MenuTest, AnAnswerThatIsNotOneOfThePopupsCommandsCountsAsNone) {
  for (UINT answer : {999u, 0u, 202u}) {
    ui::headless::QueueMenuAnswer(answer);
    EXPECT_EQ(TrackPopupMenu(TrayPopup(), TPM_RETURNCMD, 0, 0, nullptr), 0u) << answer;
  }
}

TEST_F(MenuTest, WithoutReturnCmdTheChoiceIsPostedToTheOwner) {
  RecordingWnd owner;
  ASSERT_TRUE(owner.CreateTop(0, 0, 10, 10));
  ui::headless::QueueMenuAnswer(57665);
  EXPECT_EQ(TrackPopupMenu(TrayPopup(), TPM_RIGHTBUTTON, 0, 0, owner.m_hWnd), static_cast<UINT>(TRUE));
  EXPECT_EQ(owner.Count(WM_COMMAND), 0);  // posted, not sent
  ui::PumpUntilIdle();
  ASSERT_EQ(owner.Count(WM_COMMAND), 1);
  EXPECT_EQ(owner.Last(WM_COMMAND)->wParam, 57665u);
  EXPECT_EQ(owner.Last(WM_COMMAND)->lParam, 0);

  EXPECT_EQ(TrackPopupMenu(TrayPopup(), 0, 0, 0, owner.m_hWnd), static_cast<UINT>(FALSE));  // dismissed
  ui::PumpUntilIdle();
  EXPECT_EQ(owner.Count(WM_COMMAND), 1);
}

TEST_F(MenuTest, EndMenuWithoutAnOpenMenuDoesNothing) {
  EXPECT_FALSE(EndMenu());
  ui::headless::QueueMenuAnswer(201);
  EXPECT_EQ(TrackPopupMenu(TrayPopup(), TPM_RETURNCMD, 0, 0, nullptr), 201u);
  EXPECT_FALSE(EndMenu());
}

TEST_F(MenuTest, APopupWithoutEntriesIsNotShown) {
  ui::headless::QueueMenuAnswer(1);
  EXPECT_EQ(TrackPopupMenu(MenuPopup{"empty", {}}, TPM_RETURNCMD, 0, 0, nullptr), 0u);
  EXPECT_EQ(TrackPopupMenu(MenuPopup{"lines", {{0, "", true}, {0, "", true}}}, TPM_RETURNCMD, 0, 0, nullptr), 0u);
  EXPECT_TRUE(ui::headless::MenusShown().empty());
}

TEST(MenuWithoutDisplay, TrackPopupMenuReturnsNone) {
  ASSERT_FALSE(ui::IsInitialized());
  EXPECT_EQ(TrackPopupMenu(TrayPopup(), TPM_RETURNCMD, 0, 0, nullptr), 0u);
}

}  // namespace
