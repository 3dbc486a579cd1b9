// The navigation policy as a table: address and circumstances in, action out.
#include <gtest/gtest.h>

#include "browser/NavigationPolicy.h"

namespace {

constexpr char kGame[] = "game.example/play";
constexpr char kLogin[] = "/login.do";

struct Case {
  const char* name;
  std::string url;
  NavContext context;
  NavDecision expected;
};

NavContext Top(std::string game = kGame, std::string login = kLogin) {
  NavContext c;
  c.gameCheck = std::move(game);
  c.loginCheck = std::move(login);
  return c;
}
NavContext With(NavContext c, void (*change)(NavContext&)) {
  change(c);
  return c;
}
NavDecision Proceed() { return {}; }
NavDecision Cancel(NavAction a) { return {a, true, ""}; }
NavDecision Open(std::string url) { return {NavAction::OpenGameWindow, true, std::move(url)}; }

class NavigationPolicyTable : public ::testing::TestWithParam<Case> {};

TEST_P(NavigationPolicyTable, Decides) {
  const Case& c = GetParam();
  NavDecision d = DecideNavigation(c.url, c.context);
  EXPECT_EQ(static_cast<int>(d.action), static_cast<int>(c.expected.action)) << c.url;
  EXPECT_EQ(d.cancel, c.expected.cancel) << c.url;
  EXPECT_EQ(d.gameUrl, c.expected.gameUrl) << c.url;
}

INSTANTIATE_TEST_SUITE_P(
    Policy, NavigationPolicyTable,
    ::testing::Values(
        Case{"MinimizeCommand", "app://minimize|", Top(), Cancel(NavAction::MinimizeLauncher)},
        Case{"MinimizeInCapitals", "APP://MINIMIZE|", Top(), Cancel(NavAction::MinimizeLauncher)},
        Case{"MinimizeWithoutBar", "app://minimize", Top(), Proceed()},
        Case{"ExitInsideQuery", "http://operator.example/page?next=app://exitgame|", Top(),
             Cancel(NavAction::ConfirmQuit)},
        Case{"CommandInFrameIgnored", "app://minimize|", With(Top(), [](NavContext& c) { c.topLevel = false; }),
             Proceed()},
        Case{"GameAddressInFrameIgnored", "http://game.example/play?x",
             With(Top(), [](NavContext& c) { c.topLevel = false; }), Proceed()},
        Case{"MinimizeBeforeExit", "app://minimize|app://exitgame|", Top(), Cancel(NavAction::MinimizeLauncher)},
        Case{"ExitBeforeLoadgame", "app://exitgame|app://loadgame|http://game.example/play", Top(),
             Cancel(NavAction::ConfirmQuit)},
        Case{"NoLauncherFallsThroughToGame", "app://minimize|http://game.example/play",
             With(Top(), [](NavContext& c) { c.launcherExists = false; }),
             Open("app://minimize|http://game.example/play")},
        Case{"NoLauncherPlainCommandProceeds", "app://exitgame|",
             With(Top(), [](NavContext& c) { c.launcherExists = false; }), Proceed()},
        Case{"LoadgameCutsAtFirstBarKeepingCapitals", "app://loadgame|http://Game.Example/Play?ID=Ab|c", Top(),
             Open("http://Game.Example/Play?ID=Ab|c")},
        Case{"LoadgameWithoutBarOpensWholeAddress", "app://loadgamehttp://game.example/play", Top(),
             Open("app://loadgamehttp://game.example/play")},
        Case{"LoadgameWithoutGameCheckProceeds", "app://loadgame|http://other.example/", Top(), Proceed()},
        Case{"GameAddressOpensGameWindow", "http://www.GAME.example/PLAY/index?u=1", Top(),
             Open("http://www.GAME.example/PLAY/index?u=1")},
        Case{"GameCheckWithCapitalsNeverMatches", "http://game.example/play", Top("Game.Example/play"), Proceed()},
        Case{"EmptyGameCheckMatchesEverything", "http://anything.example/", Top(""),
             Open("http://anything.example/")},
        Case{"GameAddressInsideGameWindowProceeds", "http://game.example/play",
             With(Top(), [](NavContext& c) { c.inGameWindow = true; }), Proceed()},
        Case{"GameAddressWithoutMainFrameProceeds", "http://game.example/play",
             With(Top(), [](NavContext& c) { c.mainFrameExists = false; }), Proceed()},
        Case{"LoginAddressShowsChooseImages", "http://operator.example/login.do?u=1", Top(),
             NavDecision{NavAction::ShowChooseImages, false, ""}},
        Case{"LoginMatchAtStartDoesNotCount", "/login.do", Top(), Proceed()},
        Case{"EmptyLoginCheckNeverMatches", "http://operator.example/", Top(kGame, ""), Proceed()},
        Case{"LoginWithoutLauncherProceeds", "http://operator.example/login.do",
             With(Top(), [](NavContext& c) { c.launcherExists = false; }), Proceed()},
        Case{"GameCheckBeatsLoginCheck", "http://game.example/play/login.do", Top(), Open("http://game.example/play/login.do")},
        Case{"CloseAddressInLauncherChangesNothing", "about:blank3", Top(), Proceed()},
        Case{"OtherAppAddressProceeds", "app://somethingelse|", Top(), Proceed()},
        Case{"EmptyAddress", "", Top(), Proceed()}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(NavigationPolicy, AddressesOfAnyLengthAndByteAreDecided) {
  std::string huge(1 << 20, 'a');
  huge += "app://minimize|";
  EXPECT_EQ(DecideNavigation(huge, Top()).action, NavAction::MinimizeLauncher);
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  EXPECT_FALSE(DecideNavigation(bytes, Top()).cancel);
  // Capital letters outside ASCII are not folded: "É" stays, so only the ASCII
  // command is recognised.
  EXPECT_EQ(DecideNavigation("APP://MINIMIZE|\xC3\x89", Top()).action, NavAction::MinimizeLauncher);
}

struct WindowCase {
  const char* name;
  std::string url;
  NavContext context;
  NavDecision expected;
};
class NewWindowTable : public ::testing::TestWithParam<WindowCase> {};

TEST_P(NewWindowTable, Decides) {
  const WindowCase& c = GetParam();
  EXPECT_EQ(DecideNewWindow(c.url, c.context), c.expected) << c.url;
}

INSTANTIATE_TEST_SUITE_P(
    Policy, NewWindowTable,
    ::testing::Values(
        WindowCase{"GameAddressFromLauncherOpensGame", "http://Game.Example/Play?x=Y", Top(),
                   Open("http://Game.Example/Play?x=Y")},
        WindowCase{"OtherAddressLeftToEngine", "http://operator.example/news", Top(), Proceed()},
        WindowCase{"GameAddressFromGameWindowLeftToEngine", "http://game.example/play",
                   With(Top(), [](NavContext& c) { c.inGameWindow = true; }), Proceed()},
        WindowCase{"NoMainFrameLeftToEngine", "http://game.example/play",
                   With(Top(), [](NavContext& c) { c.mainFrameExists = false; }), Proceed()},
        WindowCase{"CommandsAreNotExaminedForNewWindows", "app://minimize|", Top(), Proceed()}),
    [](const ::testing::TestParamInfo<WindowCase>& info) { return info.param.name; });

}  // namespace
