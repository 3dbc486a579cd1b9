// torvane-skin render builds the real windows: its picture of the game
// window with a button hovered or pressed is what the window shows with the
// mouse there; names it cannot reach are errors (exit 2).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/gfx/Png.h"
#include "tests/unit/windows/WindowsFixture.h"

using namespace wtest;
namespace hl = ui::headless;

namespace {

class RenderToolTest : public WindowsTest {
 protected:
  // Runs torvane-skin render with the arguments; the exit code.
  int Render(const std::string& args, std::string* err = nullptr) {
    std::string bin = std::string(std::getenv("TORVANE_TEST_BIN")) + "/torvane-skin";
    std::string cmd = "'" + bin + "' render " + args + " 2>'" + m_dir + "/err'";
    int status = std::system(cmd.c_str());
    if (err) {
      std::ifstream in(m_dir + "/err");
      err->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  gfx::Surface ReadPng(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return gfx::DecodePng(bytes);
  }
};

TEST_F(RenderToolTest, HoverAndPressAsTheWindowShowsThem) {
  UseFramedSkin(DefaultSkin());
  TestFramed w("GAMEWND");
  ASSERT_TRUE(w.Create());
  w.Show(TRUE);
  ui::PumpUntilIdle();
  struct Case {
    const char* flag;
    const char* button;
  };
  for (Case c : {Case{"--hover", "refresh"}, Case{"--press", "close"}, Case{"--hover", "PAY"}}) {
    const std::string out = m_dir + "/" + c.button + ".png";
    ASSERT_EQ(Render(std::string("- --window GAMEWND --kind framed --size 1250x690 ") + c.flag + " " + c.button +
                     " --out '" + out + "'"),
              0);
    CSkinButton* b = w.FindButton(c.button);
    RECT r = RectOf(*b);
    hl::AdvanceClock(1000);
    hl::MouseMove(w.m_hWnd, r.left + r.Width() / 2, r.top + r.Height() / 2);
    hl::AdvanceClock(1);
    if (std::string(c.flag) == "--press") hl::MouseDown(w.m_hWnd, r.left + r.Width() / 2, r.top + r.Height() / 2);
    EXPECT_EQ(b->CurrentImageIndex(), std::string(c.flag) == "--press" ? 2 : 1);
    gfx::Surface png = ReadPng(out);
    ASSERT_EQ(png.width(), 1250);
    ASSERT_EQ(png.height(), 690);
    int differ = 0;
    for (int y = 0; y < 690; ++y)
      for (int x = 0; x < 1250; ++x) differ += png.Pixel(x, y) != hl::Pixel(w.m_hWnd, x, y);
    EXPECT_EQ(differ, 0) << c.flag << " " << c.button;
    if (std::string(c.flag) == "--press") hl::MouseUp(w.m_hWnd, 5, 400);
    hl::MouseMove(w.m_hWnd, 5, 400);
  }
}

TEST_F(RenderToolTest, ButtonsItCannotReach) {
  const std::string base = "- --window GAMEWND --kind framed --size 1250x690 --out '" + m_dir + "/x.png' ";
  std::string err;
  EXPECT_EQ(Render(base + "--hover nosuch", &err), 2);
  EXPECT_NE(err.find("no button nosuch"), std::string::npos) << err;
  // "max" lies under "restore" in the plain framed window
  EXPECT_EQ(Render(base + "--hover max", &err), 2);
  EXPECT_NE(err.find("covered"), std::string::npos) << err;
  EXPECT_EQ(Render(base + "--hover close --press close", &err), 2);
  EXPECT_EQ(Render("- --window MAINWND --kind layered --size 1222x780 --press close --out '" + m_dir + "/l.png'"), 0);
}

}  // namespace
