// The notification-area icon on the headless display: the record kept, the
// tip cut by characters, the notifications posted to the owner, and the
// tray host coming and going.
#include "UiFixture.h"
#include "platform/base/Text.h"
#include "platform/ui/TrayIcon.h"

namespace {

constexpr UINT kNotify = WM_USER + 0x64;
constexpr UINT kIconId = 200;

class TrayTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    ASSERT_TRUE(owner.CreateTop(0, 0, 10, 10));
  }
  void TearDown() override {
    Shell_NotifyIcon(NIM_DELETE, &nid);
    UiTest::TearDown();
  }

  NOTIFYICONDATA Record(const std::string& tip = "琥珀航线 Ver 1.0.0.1") {
    NOTIFYICONDATA d;
    d.hWnd = owner.m_hWnd;
    d.uID = kIconId;
    d.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    d.uCallbackMessage = kNotify;
    d.hIcon = "\x89PNG icon bytes";
    d.szTip = tip;
    d.menu = MenuPopup{"tray", {{201, "显示主界面", false}, {0, "", true}, {57665, "退出", false}}};
    return d;
  }
  BOOL Add() {
    nid = Record();
    return Shell_NotifyIcon(NIM_ADD, &nid);
  }

  // The notifications the owner received, as (message, wParam, lParam).
  std::vector<std::tuple<UINT, WPARAM, LPARAM>> Received() {
    std::vector<std::tuple<UINT, WPARAM, LPARAM>> out;
    for (const auto& e : owner.log)
      if (e.message == kNotify || e.message == WM_COMMAND) out.emplace_back(e.message, e.wParam, e.lParam);
    return out;
  }
  std::vector<std::tuple<UINT, WPARAM, LPARAM>> Delivered() {
    owner.log.clear();
    ui::PumpUntilIdle();
    return Received();
  }

  RecordingWnd owner;
  NOTIFYICONDATA nid;
};

using Note = std::tuple<UINT, WPARAM, LPARAM>;

TEST_F(TrayTest, AddShowsTheRecordAndDeleteTakesItDown) {
  EXPECT_EQ(CurrentTrayKind(), TrayKind::None);
  EXPECT_FALSE(ui::headless::TrayIconShown());
  ASSERT_TRUE(Add());
  EXPECT_TRUE(ui::headless::TrayIconShown());
  EXPECT_EQ(CurrentTrayKind(), TrayKind::StatusNotifier);
  EXPECT_EQ(ui::headless::TrayTip(), "琥珀航线 Ver 1.0.0.1");
  EXPECT_EQ(ui::headless::TrayIconBytes(), "\x89PNG icon bytes");
  EXPECT_EQ(ui::headless::TrayMenu(), Record().menu);
  EXPECT_TRUE(Delivered().empty());  // adding tells the owner nothing

  EXPECT_TRUE(Shell_NotifyIcon(NIM_DELETE, &nid));
  EXPECT_FALSE(ui::headless::TrayIconShown());
  EXPECT_EQ(CurrentTrayKind(), TrayKind::None);
  EXPECT_EQ(ui::headless::TrayTip(), "");
  EXPECT_FALSE(ui::headless::TrayLeftClick());
  EXPECT_FALSE(Shell_NotifyIcon(NIM_DELETE, &nid));  // not up: nothing to do
}

TEST_F(TrayTest, RefusesWhatCannotBeAnIcon) {
  NOTIFYICONDATA stray = Record();
  EXPECT_FALSE(Shell_NotifyIcon(NIM_DELETE, &stray));  // never added
  EXPECT_FALSE(Shell_NotifyIcon(NIM_MODIFY, &stray));
  EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, nullptr));
  EXPECT_FALSE(Shell_NotifyIcon(NIM_DELETE, nullptr));
  EXPECT_FALSE(Shell_NotifyIcon(7, &stray));
  stray.hWnd = nullptr;
  EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, &stray));
  {
    RecordingWnd gone;
    ASSERT_TRUE(gone.CreateTop(0, 0, 1, 1));
    stray.hWnd = gone.m_hWnd;
  }
  EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, &stray));
  EXPECT_FALSE(ui::headless::TrayIconShown());

  ASSERT_TRUE(Add());
  EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, &nid));  // already up
  NOTIFYICONDATA second = Record("second");
  second.uID = kIconId + 1;
  EXPECT_TRUE(Shell_NotifyIcon(NIM_ADD, &second));  // another id of the same owner is another icon
  EXPECT_EQ(ui::headless::TrayTip(), "琥珀航线 Ver 1.0.0.1");
  EXPECT_TRUE(Shell_NotifyIcon(NIM_DELETE, &second));
}

TEST_F(TrayTest, ModifyChangesOnlyWhatItsFlagsName) {
  ASSERT_TRUE(Add());
  NOTIFYICONDATA change;
  change.hWnd = owner.m_hWnd;
  change.uID = kIconId;
  change.szTip = "not taken";
  change.hIcon = "not taken either";
  EXPECT_TRUE(Shell_NotifyIcon(NIM_MODIFY, &change));
  EXPECT_EQ(ui::headless::TrayTip(), "琥珀航线 Ver 1.0.0.1");
  EXPECT_EQ(ui::headless::TrayIconBytes(), "\x89PNG icon bytes");
  EXPECT_EQ(ui::headless::TrayMenu(), Record().menu);  // an empty menu keeps the menu

  change.uFlags = NIF_TIP;
  change.szTip = "new tip";
  EXPECT_TRUE(Shell_NotifyIcon(NIM_MODIFY, &change));
  EXPECT_EQ(ui::headless::TrayTip(), "new tip");
  EXPECT_EQ(ui::headless::TrayIconBytes(), "\x89PNG icon bytes");

  change.uFlags = NIF_ICON;
  change.hIcon = "other icon";
  change.menu = MenuPopup{"tray", {{201, "only", false}}};
  EXPECT_TRUE(Shell_NotifyIcon(NIM_MODIFY, &change));
  EXPECT_EQ(ui::headless::TrayIconBytes(), "other icon");
  EXPECT_EQ(ui::headless::TrayTip(), "new tip");
  EXPECT_EQ(ui::headless::TrayMenu(), change.menu);
  EXPECT_FALSE(ui::headless::TrayChooseMenuItem(57665));  // no longer in the menu
}

TEST_F(TrayTest, TheTipIsCutAt127CharactersNeverInsideOne) {
  const std::string han = "航";  // 3 bytes
  const std::string emoji = "\xF0\x9F\x8E\xAE";  // 4 bytes
  auto repeat = [](const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };
  struct Case {
    const char* what;
    std::string tip;
    std::string shown;
  };
  const Case cases[] = {
      {"short", "abc", "abc"},
      {"exactly 127", repeat("a", 127), repeat("a", 127)},
      {"128 ASCII", repeat("a", 128), repeat("a", 127)},
      {"Chinese, 200 characters", repeat(han, 200), repeat(han, 127)},
      {"Chinese, exactly 127", repeat(han, 127), repeat(han, 127)},
      {"mixed, the cut falls after a character", "x" + repeat(han, 126) + "yz", "x" + repeat(han, 126)},
      {"four-byte characters", repeat(emoji, 130), repeat(emoji, 127)},
      {"stops at a NUL", std::string("before\0after", 12), "before"},
      {"bytes that are no UTF-8", "a\xFF" "b", "a\xEF\xBF\xBD" "b"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    nid = Record(c.tip);
    ASSERT_TRUE(Shell_NotifyIcon(NIM_ADD, &nid));
    std::string shown = ui::headless::TrayTip();
    EXPECT_EQ(shown, c.shown);
    EXPECT_TRUE(text::IsValidUtf8(shown));
    // The same for a changed tip.
    nid.uFlags = NIF_TIP;
    nid.szTip = "-" + c.tip;
    ASSERT_TRUE(Shell_NotifyIcon(NIM_MODIFY, &nid));
    EXPECT_TRUE(text::IsValidUtf8(ui::headless::TrayTip()));
    EXPECT_LE(ui::headless::TrayTip().size(), 127u * 4);
    ASSERT_TRUE(Shell_NotifyIcon(NIM_DELETE, &nid));
  }
  // The Chinese tip keeps 127 characters: 381 bytes.
  nid = Record(repeat(han, 200));
  ASSERT_TRUE(Shell_NotifyIcon(NIM_ADD, &nid));
  EXPECT_EQ(ui::headless::TrayTip().size(), 381u);
}

TEST_F(TrayTest, ClicksAndMenuChoicesArePostedToTheOwner) {
  ASSERT_TRUE(Add());
  struct Case {
    const char* what;
    std::function<bool()> act;
    Note expected;
  };
  const Case cases[] = {
      {"left click", [] { return ui::headless::TrayLeftClick(); }, Note{kNotify, kIconId, WM_LBUTTONDOWN}},
      {"right click", [] { return ui::headless::TrayRightClick(); }, Note{kNotify, kIconId, WM_RBUTTONDOWN}},
      {"first entry", [] { return ui::headless::TrayChooseMenuItem(201); }, Note{WM_COMMAND, 201, 0}},
      {"exit entry", [] { return ui::headless::TrayChooseMenuItem(ID_APP_EXIT); }, Note{WM_COMMAND, 57665, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    owner.log.clear();
    ASSERT_TRUE(c.act());
    EXPECT_TRUE(Received().empty());  // posted, not sent
    EXPECT_EQ(Delivered(), std::vector<Note>{c.expected});
  }
  // Only the menu's own entries reach the owner.
  for (UINT id : {0u, 202u, 999u}) EXPECT_FALSE(ui::headless::TrayChooseMenuItem(id)) << id;
  EXPECT_TRUE(Delivered().empty());
}

TEST_F(TrayTest, WithoutACallbackMessageClicksTellTheOwnerNothing) {
  nid = Record();
  nid.uFlags = NIF_ICON | NIF_TIP;
  ASSERT_TRUE(Shell_NotifyIcon(NIM_ADD, &nid));
  EXPECT_TRUE(ui::headless::TrayLeftClick());
  ui::headless::TrayHostGone();
  EXPECT_TRUE(Delivered().empty());
  ui::headless::TrayHostBack();
  // A callback message given later counts from then on.
  nid.uFlags = NIF_MESSAGE;
  ASSERT_TRUE(Shell_NotifyIcon(NIM_MODIFY, &nid));
  ASSERT_TRUE(ui::headless::TrayLeftClick());
  EXPECT_EQ(Delivered(), (std::vector<Note>{{kNotify, kIconId, WM_LBUTTONDOWN}}));
}

TEST_F(TrayTest, TheHostGoingAndComingBackIsPostedAsTrayChanged) {
  ASSERT_TRUE(Add());
  ui::headless::TrayHostGone();
  EXPECT_EQ(CurrentTrayKind(), TrayKind::None);
  EXPECT_FALSE(ui::headless::TrayIconShown());
  EXPECT_EQ(Delivered(), (std::vector<Note>{{kNotify, kIconId, NIN_TRAYCHANGED}}));
  // Nothing shows the icon: nothing can be clicked.
  EXPECT_FALSE(ui::headless::TrayLeftClick());
  EXPECT_FALSE(ui::headless::TrayRightClick());
  EXPECT_FALSE(ui::headless::TrayChooseMenuItem(201));
  ui::headless::TrayHostGone();  // still gone: no change
  EXPECT_TRUE(Delivered().empty());

  ui::headless::TrayHostBack();
  EXPECT_EQ(CurrentTrayKind(), TrayKind::StatusNotifier);
  EXPECT_EQ(Delivered(), (std::vector<Note>{{kNotify, kIconId, NIN_TRAYCHANGED}}));
  EXPECT_EQ(ui::headless::TrayTip(), "琥珀航线 Ver 1.0.0.1");  // the same icon, not a new one
}

TEST_F(TrayTest, AnXEmbedTrayHasNoHostDrawnMenu) {
  ASSERT_TRUE(Add());
  ui::headless::SetTrayKind(TrayKind::XEmbed);
  EXPECT_EQ(CurrentTrayKind(), TrayKind::XEmbed);
  EXPECT_EQ(Delivered(), (std::vector<Note>{{kNotify, kIconId, NIN_TRAYCHANGED}}));
  EXPECT_FALSE(ui::headless::TrayChooseMenuItem(201));
  ASSERT_TRUE(ui::headless::TrayRightClick());
  EXPECT_EQ(Delivered(), (std::vector<Note>{{kNotify, kIconId, WM_RBUTTONDOWN}}));
  ui::headless::SetTrayKind(TrayKind::XEmbed);  // no change
  EXPECT_TRUE(Delivered().empty());
}

TEST_F(TrayTest, AnIconAddedWhereNoTrayRunsAppearsWhenOneDoes) {
  ui::headless::SetTrayKind(TrayKind::None);
  ASSERT_TRUE(Add());
  EXPECT_EQ(CurrentTrayKind(), TrayKind::None);
  EXPECT_FALSE(ui::headless::TrayIconShown());
  EXPECT_TRUE(Delivered().empty());
  ui::headless::SetTrayKind(TrayKind::XEmbed);
  EXPECT_TRUE(ui::headless::TrayIconShown());
  EXPECT_EQ(Delivered(), (std::vector<Note>{{kNotify, kIconId, NIN_TRAYCHANGED}}));
}

TEST_F(TrayTest, ADeletedIconOrAGoneOwnerHearsNothingMore) {
  ASSERT_TRUE(Add());
  ASSERT_TRUE(Shell_NotifyIcon(NIM_DELETE, &nid));
  ui::headless::TrayHostGone();
  EXPECT_TRUE(Delivered().empty());
  ui::headless::TrayHostBack();

  auto gone = std::make_unique<RecordingWnd>();
  ASSERT_TRUE(gone->CreateTop(0, 0, 1, 1));
  NOTIFYICONDATA orphan = Record();
  orphan.hWnd = gone->m_hWnd;
  ASSERT_TRUE(Shell_NotifyIcon(NIM_ADD, &orphan));
  gone.reset();
  EXPECT_TRUE(ui::headless::TrayLeftClick());  // the icon is still up; its post is dropped
  ui::headless::TrayHostGone();
  ui::PumpUntilIdle();
  EXPECT_TRUE(Shell_NotifyIcon(NIM_DELETE, &orphan));
}

TEST(TrayWithoutDisplay, NothingIsAdded) {
  ASSERT_FALSE(ui::IsInitialized());
  NOTIFYICONDATA d;
  EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, &d));
  EXPECT_EQ(CurrentTrayKind(), TrayKind::None);
}

TEST(TrayKindNames, AreStable) {
  EXPECT_STREQ(TrayKindName(TrayKind::None), "none");
  EXPECT_STREQ(TrayKindName(TrayKind::StatusNotifier), "status-notifier");
  EXPECT_STREQ(TrayKindName(TrayKind::XEmbed), "xembed");
  static_assert(NIN_TRAYCHANGED < WM_MOUSEMOVE || NIN_TRAYCHANGED > 0x020E, "no mouse message");
}

}  // namespace
