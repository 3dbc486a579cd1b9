// The default skin's worked examples, checked on composed pixels; and the
// skin tool's command line.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "platform/gfx/Png.h"
#include "skin/Anchor.h"
#include "tools/skin/SkinCompose.h"

namespace {

SkinDocument& Doc() {
  static SkinDocument* doc = [] {
    SkinDocument::Environment env;
    env.loadImage = &SkinDocument::LoadEmbeddedImage;
    env.reportImageFailure = [](const std::string& text) { ADD_FAILURE() << text; };
    auto* d = new SkinDocument(env);
    d->LoadFromResource();
    return d;
  }();
  return *doc;
}

std::unique_ptr<CImageEx> Png(int id) {
  auto image = std::make_unique<CImageEx>();
  image->LoadFromResource(id);
  return image;
}

// Every opaque pixel of image `id` is what the composition shows at (x, y)
// plus its offset; and the image does not also fit one pixel to the left.
void ExpectImageAt(const gfx::Surface& s, int id, int x, int y) {
  std::unique_ptr<CImageEx> loaded = Png(id);
  const CImageEx& image = *loaded;
  ASSERT_FALSE(image.IsNull()) << id;
  int opaque = 0, matchShifted = 0;
  for (int iy = 0; iy < image.GetHeight(); ++iy)
    for (int ix = 0; ix < image.GetWidth(); ++ix) {
      std::uint32_t p = image.surface().Pixel(ix, iy);
      if ((p >> 24) != 0xFF) continue;
      ++opaque;
      ASSERT_EQ(s.Pixel(x + ix, y + iy), p) << "image " << id << " pixel " << ix << "," << iy;
      matchShifted += s.Pixel(x + ix - 1, y + iy) == p;
    }
  EXPECT_GT(opaque, 20) << id;
  EXPECT_LT(matchShifted, opaque) << id;
}

// Button `name` is drawn at (x, y): the composition equals, over the button's
// rectangle, the composition without that button with its normal image drawn
// there. (For buttons that overlap no other button.)
void ExpectButtonAt(const gfx::Surface& s, const SkinScene& scene, WindowKind kind, const std::string& name, int x,
                    int y) {
  SkinScene without = scene;
  std::size_t i = 0;
  while (i < without.buttons.size() && without.buttons[i].name != name) ++i;
  ASSERT_LT(i, without.buttons.size()) << name;
  std::shared_ptr<CImageEx> image = without.buttonImages[i];
  without.buttons.erase(without.buttons.begin() + static_cast<long>(i));
  without.buttonImages.erase(without.buttonImages.begin() + static_cast<long>(i));
  gfx::Surface expected = ComposeScene(Doc(), without, kind, s.width(), s.height());
  {
    gfx::Canvas c(expected);
    image->DrawWhole(c.dc(), RECT{x, y, x + image->GetWidth(), y + image->GetHeight()});
  }
  int differs = 0;
  for (int iy = -2; iy < image->GetHeight() + 2; ++iy)
    for (int ix = -2; ix < image->GetWidth() + 2; ++ix) {
      ASSERT_EQ(s.Pixel(x + ix, y + iy), expected.Pixel(x + ix, y + iy)) << name << " at " << ix << "," << iy;
    }
  // And the button is visible there at all.
  gfx::Surface bare = ComposeScene(Doc(), without, kind, s.width(), s.height());
  for (int iy = 0; iy < image->GetHeight(); ++iy)
    for (int ix = 0; ix < image->GetWidth(); ++ix) differs += s.Pixel(x + ix, y + iy) != bare.Pixel(x + ix, y + iy);
  EXPECT_GT(differs, 20) << name;
}

TEST(WorkedExamples, GameWindowAtItsDesignSize) {
  SkinScene scene = LoadScene(Doc(), "GAMEWND");
  gfx::Surface s = ComposeScene(Doc(), scene, WindowKind::Framed, 1250, 690);
  ASSERT_FALSE(s.empty());
  ExpectButtonAt(s, scene, WindowKind::Framed, "close", 1223, 1);  // 1250 − 24 − 3
  ExpectButtonAt(s, scene, WindowKind::Framed, "min", 1169, 2);
  ExpectButtonAt(s, scene, WindowKind::Framed, "pay", 516, 2);  // 1250 − 84 − 650
  ExpectImageAt(s, 343, 516, 2);
  // The title bar drawn whole: left of the buttons it is the image itself.
  std::unique_ptr<CImageEx> top = Png(347);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 500; ++x) ASSERT_EQ(s.Pixel(x, y), top->surface().Pixel(x, y)) << x << "," << y;
  // Below it the background colour, black, opaque.
  EXPECT_EQ(s.Pixel(600, 400), 0xFF000000u);
  EXPECT_EQ(s.Pixel(1249, 689), 0xFF000000u);
}

TEST(WorkedExamples, GameWindowMaximised) {
  SkinScene scene = LoadScene(Doc(), "GAMEWND");
  gfx::Surface s = ComposeScene(Doc(), scene, WindowKind::Framed, 1920, 1050);
  ASSERT_FALSE(s.empty());
  ExpectButtonAt(s, scene, WindowKind::Framed, "close", 1893, 1);
  ExpectButtonAt(s, scene, WindowKind::Framed, "pay", 1186, 2);  // 1920 − 84 − 650
  // "top" fills (0, 0, 1920, 32) in nine parts: the left 120 and the right 10
  // columns unscaled, the stretched middle taken from the middle columns.
  std::unique_ptr<CImageEx> top = Png(347);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 120; ++x) ASSERT_EQ(s.Pixel(x, y), top->surface().Pixel(x, y)) << x << "," << y;
    ASSERT_EQ(s.Pixel(700, y), top->surface().Pixel(600, y)) << y;
  }
  for (int y : {0, 22, 25, 31})  // below the close button
    for (int x = 0; x < 10; ++x) ASSERT_EQ(s.Pixel(1910 + x, y), top->surface().Pixel(1240 + x, y)) << x << "," << y;
  EXPECT_EQ(s.Pixel(1919, 1049), 0xFF000000u);
  EXPECT_EQ(s.Pixel(100, 32), 0xFF000000u);
  // "ie" grows with the window.
  RECT ie = PlaceBrowserRect(scene.rects.at(0), SIZE{1250, 690}, SIZE{1920, 1050});
  EXPECT_EQ(ie, (RECT{2, 32, 1918, 1048}));
}

TEST(WorkedExamples, Launcher) {
  SkinScene scene = LoadScene(Doc(), "MAINWND");
  for (bool decode : {false, true}) {
    ComposeOptions options;
    options.decodeEachRender = decode;
    gfx::Surface s = ComposeScene(Doc(), scene, WindowKind::Layered, 1222, 780, options);
    ASSERT_FALSE(s.empty());
    ExpectImageAt(s, 337, 528, 220);  // home: 1222 − 84 − 610
    ExpectImageAt(s, 334, 978, 220);  // bbs: 1222 − 84 − 160
    ExpectImageAt(s, 314, 1049, 195); // min, TopLeft
    ExpectImageAt(s, 311, 1077, 185); // close, TopLeft
    // The background at (0, 0) at its own size, cut off at the right edge:
    // outside the buttons the composition is the image, transparent where it is.
    std::unique_ptr<CImageEx> bg = Png(348);
    for (int y : {0, 100, 400, 700, 779})
      for (int x = 0; x < 1222; ++x) {
        if (y >= 185 && y < 250 && x >= 520) continue;  // the buttons' row
        ASSERT_EQ(s.Pixel(x, y), bg->surface().Pixel(x, y)) << x << "," << y;
      }
    EXPECT_EQ(s.Pixel(800, 400), 0u) << "clear where the browser goes";
    EXPECT_EQ(s.Pixel(5, 5), 0u);
  }
  // At another size "min" stays and right-aligned buttons follow the edge.
  gfx::Surface wide = ComposeScene(Doc(), scene, WindowKind::Layered, 1400, 780);
  ExpectImageAt(wide, 314, 1049, 195);
  ExpectImageAt(wide, 337, 1400 - 84 - 610, 220);
}

TEST(Compose, TextsAndSizes) {
  SkinDocument::Environment env;
  env.loadImage = &SkinDocument::LoadEmbeddedImage;
  env.reportImageFailure = [](const std::string&) {};
  SkinDocument doc(env);
  ASSERT_TRUE(doc.Load("<S><FONT name=\"f\" size=\"14\"/><W bgcolor=\"0,0,255\">"
                       "<TEXT title=\"Harbour\" font=\"F\" left=\"10\" top=\"10\" width=\"120\" height=\"30\" "
                       "color=\"255,255,0\" align=\"BottomRight\"/>"
                       "<TEXT title=\"unseen\" font=\"nofont\" left=\"0\" top=\"0\" width=\"100\" height=\"30\"/>"
                       "<BTN stand=\"0\"/></W></S>"));
  SkinScene scene = LoadScene(doc, "W");
  gfx::Surface s = ComposeScene(doc, scene, WindowKind::Framed, 300, 200);
  ASSERT_FALSE(s.empty());
  // The text box is (170, 160)..(290, 190): yellow ink inside, blue elsewhere.
  int yellow = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) {
      std::uint32_t p = s.Pixel(x, y);
      bool inBox = x >= 170 && x < 290 && y >= 160 && y < 190;
      if (!inBox) {
        ASSERT_EQ(p, 0xFF0000FFu) << x << "," << y;  // blue background
      }
      if (inBox && ((p >> 8) & 0xFF) > 0x80) ++yellow;
    }
  EXPECT_GT(yellow, 30);
  EXPECT_TRUE(ComposeScene(doc, scene, WindowKind::Framed, 0, 10).empty());
  EXPECT_TRUE(ComposeScene(doc, scene, WindowKind::Layered, 10, 100000).empty());
  EXPECT_EQ(ButtonSize(doc, scene.buttons.at(0), nullptr).cx, 0) << "stand 0: no images, size 0";
  SkinButtonInfo missing;
  missing.stand = 4000;  // neither 4000 nor 4001 exists
  EXPECT_EQ(ButtonSize(doc, missing, nullptr).cx, 50);
  EXPECT_EQ(ButtonSize(doc, missing, nullptr).cy, 20);
  SkinButtonInfo refresh;
  refresh.stand = 350;
  CImageEx empty;
  EXPECT_EQ(ButtonSize(doc, refresh, &empty).cx, 55) << "an empty normal image takes the hover image's size";
}

// ---- the tool ----

struct ToolRun {
  int code;
  std::string out, err;
};

ToolRun Tool(const std::string& args) {
  std::string dir = ::testing::TempDir();
  std::string bin = std::string(std::getenv("TORVANE_TEST_BIN")) + "/torvane-skin";
  std::string cmd = "'" + bin + "' " + args + " >'" + dir + "/skin_out' 2>'" + dir + "/skin_err'";
  int status = std::system(cmd.c_str());
  auto slurp = [](const std::string& p) {
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(dir + "/skin_out"), slurp(dir + "/skin_err")};
}

std::string WriteTemp(const std::string& name, const std::string& content) {
  std::string path = ::testing::TempDir() + "/" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

TEST(SkinTool, DumpsRecordsAsJson) {
  ToolRun r = Tool("dump - --window GAMEWND");
  ASSERT_EQ(r.code, 0) << r.err;
  auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["window"]["color"], 0xEBEBEB);
  EXPECT_EQ(j["window"]["titleHeight"], 50);
  EXPECT_EQ(j["images"][0]["image"]["width"], 1250);
  EXPECT_EQ(j["images"][0]["image"]["margins"]["left"], 120);
  EXPECT_EQ(j["rects"][0]["rect"]["right"], 1248);
  EXPECT_EQ(j["buttons"].size(), 11u);
  EXPECT_EQ(j["buttons"][10]["name"], "close");
  EXPECT_EQ(j["buttons"][0]["tip"], "\xE5\x85\x85\xE5\x80\xBC");
  EXPECT_TRUE(j["texts"].empty());
}

TEST(SkinTool, RendersWithAlphaFromAnImageFolder) {
  std::string source = std::string(std::getenv("TORVANE_SOURCE_DIR"));
  std::string out = ::testing::TempDir() + "/main.png";
  ToolRun r = Tool("render " + source + "/res/skin.xml --images " + source +
               "/res/png --window MAINWND --kind layered --size 1222x780 --out " + out);
  ASSERT_EQ(r.code, 0) << r.err;
  std::ifstream in(out, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  gfx::Surface png = gfx::DecodePng(bytes);
  ASSERT_FALSE(png.empty());
  EXPECT_EQ(png.width(), 1222);
  EXPECT_TRUE(png.hasAlpha());
  EXPECT_EQ(png.Pixel(800, 400) >> 24, 0u);
  EXPECT_EQ(png.Pixel(560, 233) >> 24, 0xFFu) << "the home button";
}

TEST(SkinTool, BadInputExitsWithTwo) {
  std::string dir = ::testing::TempDir();
  std::string broken = WriteTemp("broken.xml", "<CLIENTSKIN><MAINWND></CLIENTSKIN>");
  std::string missingImage = WriteTemp("missing.xml", "<S><W><IMG stand=\"4321\"/><IMG stand=\"311\"/></W></S>");
  std::string badRefs = WriteTemp("refs.xml", "<S><W title=\"a&#xD800;\"><BTN name=\"&#x110000;\"/></W></S>");
  struct Case {
    std::string args;
    int code;
    const char* err;  // a fragment of the one stderr line
  } cases[] = {
      {"dump /no/such/skin.xml --window MAINWND", 2, "cannot read"},
      {"dump " + broken + " --window MAINWND", 2, "broken.xml"},
      {"dump - --window NOSUCHWND", 2, "no window element NOSUCHWND"},
      {"render - --window MAINWND --kind round --size 10x10 --out " + dir + "/x.png", 2, "--kind"},
      {"render - --window MAINWND --kind layered --size 10 --out " + dir + "/x.png", 2, "--size"},
      {"render - --window MAINWND --kind layered --size 0x10 --out " + dir + "/x.png", 2, "--size"},
      {"dump -", 2, "--window"},
      {"frobnicate - --window MAINWND", 2, "usage"},
      {"dump " + missingImage + " --window W", 0, "Load Img Fail : 4321"},
      {"dump " + badRefs + " --window W", 0, ""},
      {"render " + missingImage + " --window W --kind framed --size 64x48 --out " + dir + "/m.png", 0,
       "Load Img Fail : 4321"},
  };
  for (const Case& c : cases) {
    ToolRun r = Tool(c.args);
    EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << "\n" << r.err;
    if (c.code == 2 && std::string(c.err) != "usage") {
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line: " << r.err;
    }
  }
  // The image that loads is still there.
  ToolRun r = Tool("dump " + missingImage + " --window W");
  EXPECT_EQ(nlohmann::json::parse(r.out)["images"].size(), 1u);
  // Texts from character references UTF-8 cannot carry still dump as JSON.
  ToolRun refs = Tool("dump " + badRefs + " --window W");
  ASSERT_EQ(refs.code, 0) << refs.err;
  EXPECT_EQ(nlohmann::json::parse(refs.out)["buttons"].size(), 1u);
}

}  // namespace
