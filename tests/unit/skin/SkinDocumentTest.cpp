#include <gtest/gtest.h>

#include <climits>

#include "platform/base/Resources.h"
#include "platform/base/Text.h"
#include "platform/ui/EventLoop.h"
#include "platform/ui/Messages.h"
#include "platform/ui/headless/Headless.h"
#include "skin/SkinDocument.h"

namespace {

// A document whose images are 10 x 10 for every id in `ids` (from the
// default resources where they exist, else a small PNG) and whose failure
// messages are collected.
struct Fixture {
  std::vector<std::string> messages;
  std::vector<int> loaded;
  std::unique_ptr<SkinDocument> doc;

  explicit Fixture(const std::string& xml, std::vector<int> known = {311, 347, 348}) {
    SkinDocument::Environment env;
    env.loadImage = [this, known](int id) -> std::shared_ptr<CImageEx> {
      loaded.push_back(id);
      if (std::find(known.begin(), known.end(), id) == known.end()) return nullptr;
      return SkinDocument::LoadEmbeddedImage(id);
    };
    env.reportImageFailure = [this](const std::string& text) { messages.push_back(text); };
    doc = std::make_unique<SkinDocument>(env);
    parsed = doc->Load(xml);
  }
  bool parsed = false;
};

std::string Skin(const std::string& windowBody, const std::string& rootBody = "") {
  return "<?xml version=\"1.0\"?>\n<CLIENTSKIN version=\"1\">" + rootBody + "<MAINWND>" + windowBody +
         "</MAINWND></CLIENTSKIN>";
}

TEST(SkinLoader, PositionsCarryOverInReadingOrder) {
  Fixture f(Skin("<IMG stand=\"311\" left=\"5\" top=\"7\"/>"
                 "<IMG stand=\"311\" top=\"7\"/>"
                 "<IMG stand=\"311\" left=\"5\"/>"
                 "<IMG stand=\"311\" left=\"5\" top=\"x\" height=\"9\"/>"
                 "<RECT left=\"1\" width=\"4\"/>"
                 "<TEXT top=\"3\"/>"
                 "<BTN left=\"8\"/><BTN top=\"2\"/>"));
  ASSERT_TRUE(f.parsed);
  std::vector<SkinImageInfo> images;
  f.doc->GetImages("MAINWND", images);
  ASSERT_EQ(images.size(), 4u);
  struct Want {
    int left, top, width, height;
  } want[] = {{5, 7, 7, 7}, {0, 7, 7, 7}, {5, 5, 5, 5}, {5, 5, 5, 9}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(images[i].left, want[i].left) << i;
    EXPECT_EQ(images[i].top, want[i].top) << i;
    EXPECT_EQ(images[i].size, (RECT{0, 0, want[i].width, want[i].height})) << i;
  }
  std::vector<SkinRectInfo> rects;
  f.doc->GetRects("MAINWND", rects);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0].rect, (RECT{1, 1, 5, 5}));  // top carries left; height carries width
  std::vector<SkinTextInfo> texts;
  f.doc->GetTexts("MAINWND", texts);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].rect, (RECT{0, 3, 3, 6}));
  std::vector<SkinButtonInfo> buttons;
  f.doc->GetButtons("MAINWND", buttons);
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_EQ(buttons[0].left, 8);
  EXPECT_EQ(buttons[0].top, 8);
  EXPECT_EQ(buttons[1].left, 0);
  EXPECT_EQ(buttons[1].top, 2);
}

TEST(SkinLoader, ValuesColoursAndAlignments) {
  Fixture f(Skin("<BTN name=\"a\" color=\"300,0,-1\"/>"
                 "<BTN name=\"b\" color=\"0,0,255\"/>"
                 "<BTN name=\"c\" color=\"1,2,3\" hotcolor=\"\"/>"
                 "<BTN name=\"d\" hotcolor=\"9,9,9\"/>"
                 "<BTN name=\"e\" align=\"topright\" stand=\"12abc\" style=\"abc12\" check=\" -3\"/>"
                 "<BTN name=\"f\" align=\"Middle\" icon=\"99999999999\" icon1=\"-99999999999\" color=\"\"/>"
                 "<BTN name=\"g\" align=\"\"/>"));
  std::vector<SkinButtonInfo> b;
  ASSERT_TRUE(f.doc->GetButtons("MAINWND", b));
  ASSERT_EQ(b.size(), 7u);
  EXPECT_EQ(b[0].color, 0xFF002Cu) << "red 44, green 0, blue 255";
  EXPECT_EQ(b[0].hotcolor, b[0].color) << "no hotcolor: the colour";
  EXPECT_EQ(b[1].color, 0xFF0000u);
  EXPECT_EQ(b[1].hotcolor, 0xFF0000u);
  EXPECT_EQ(b[2].hotcolor, 0x030201u) << "an empty hotcolor: the colour";
  EXPECT_EQ(b[3].color, 0xFFFFFFu);
  EXPECT_EQ(b[3].hotcolor, 0x090909u);
  EXPECT_EQ(b[4].align, "topright") << "stored unchanged";
  EXPECT_EQ(b[4].stand, 12) << "digits then letters read as the digits";
  EXPECT_EQ(b[4].style, 0) << "letters first leave the default";
  EXPECT_EQ(b[4].check, -3);
  EXPECT_EQ(b[5].align, "Middle");
  EXPECT_EQ(b[5].icon, INT_MAX) << "huge numbers saturate";
  EXPECT_EQ(b[5].icon1, INT_MIN);
  EXPECT_EQ(b[5].color, 0xFFFFFFu) << "an empty colour keeps the default";
  EXPECT_EQ(b[6].align, "TopLeft");
  EXPECT_EQ(b[6].name, "g");
  EXPECT_EQ(b[6].flashStand, 0);
  EXPECT_TRUE(b[6].tip.empty());
}

TEST(SkinLoader, WindowRecordDefaultsAndMissingElements) {
  Fixture f("<?xml version=\"1.0\"?><SOMETHINGELSE><MAINWND width=\"640\" height=\"x\" border=\"\"/>"
            "<MAINWND width=\"9\" title=\"second\"/></SOMETHINGELSE>");
  SkinWindowInfo info;
  info.name = "MAINWND";
  EXPECT_TRUE(f.doc->GetWindowInfo(info));
  EXPECT_EQ(info.width, 640) << "any root name; the first of two MAINWND";
  EXPECT_EQ(info.height, 0);
  EXPECT_EQ(info.border, 1);
  EXPECT_EQ(info.color, 0xFFFFFFu);
  EXPECT_EQ(info.bgcolor, 0xFFFFFFu);
  EXPECT_TRUE(info.title.empty());

  SkinWindowInfo none;
  none.name = "mainwnd";  // element names match exactly
  EXPECT_TRUE(f.doc->GetWindowInfo(none));
  EXPECT_EQ(none.width, 0);
  EXPECT_EQ(none.border, 1);
  EXPECT_FALSE(f.doc->HasWindow("mainwnd"));
  EXPECT_TRUE(f.doc->HasWindow("MAINWND"));

  std::vector<SkinButtonInfo> buttons(3);
  EXPECT_TRUE(f.doc->GetButtons("GAMEWND", buttons));
  EXPECT_TRUE(buttons.empty()) << "the list is emptied";
  std::vector<SkinImageInfo> images(2);
  EXPECT_TRUE(f.doc->GetImages("GAMEWND", images));
  EXPECT_TRUE(images.empty());
}

TEST(SkinLoader, ImagesThatDoNotLoadAreReportedEachTimeAndLeftOut) {
  Fixture f(Skin("<IMG name=\"a\" stand=\"311\" rect=\"0,0,0,0\"/>"
                 "<IMG name=\"b\" stand=\"999\"/>"
                 "<IMG name=\"c\" stand=\"347\" rect=\"120,1,10,1\" arc=\"4\" strech=\"1\"/>"
                 "<IMG name=\"d\"/>"));
  std::vector<SkinImageInfo> images;
  f.doc->GetImages("MAINWND", images);
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[0].name, "a");
  EXPECT_EQ(images[0].image->hasMargins, 0) << "four zeros are no margins";
  EXPECT_EQ(images[1].name, "c");
  EXPECT_EQ(images[1].image->hasMargins, 1);
  EXPECT_EQ(images[1].image->margins, (SkinMargins{120, 1, 10, 1}));
  EXPECT_EQ(images[1].arc, 4);
  EXPECT_EQ(images[1].visible, 1);
  EXPECT_EQ(f.messages, (std::vector<std::string>{"Load Img Fail : 999", "Load Img Fail : 0"}));
  f.doc->GetImages("MAINWND", images);
  EXPECT_EQ(f.messages.size(), 4u) << "once per element each time the images are read";
  // Copies share the image object.
  SkinImageInfo copy = images[1];
  EXPECT_EQ(copy.image.get(), images[1].image.get());
}

TEST(SkinLoader, FontsAndLogo) {
  Fixture f(Skin("", "<FONT name=\"title\" size=\"12\" family=\"Serif\" style=\"5\"/>"
                     "<FONT name=\"Title\" size=\"30\"/><FONT name=\"nosize\"/>"
                     "<IMG name=\"LOGO\" stand=\"first.png\"/><IMG name=\"other\" stand=\"x.png\"/>"
                     "<IMG name=\"logo\" stand=\"last.png\"/>"));
  SkinFontInfo font;
  font.name = "TITLE";
  ASSERT_TRUE(f.doc->GetFont(font));
  EXPECT_EQ(font.size, 12) << "the first match, without regard to case";
  EXPECT_EQ(font.style, 5);
  EXPECT_EQ(font.family, "Serif");
  SkinFontInfo bare;
  bare.name = "nosize";
  ASSERT_TRUE(f.doc->GetFont(bare));
  EXPECT_EQ(bare.size, 0);
  EXPECT_TRUE(bare.family.empty());
  SkinFontInfo missing;
  missing.name = "missing";
  missing.size = 77;
  EXPECT_FALSE(f.doc->GetFont(missing));
  EXPECT_EQ(missing.size, 77) << "untouched";
  EXPECT_EQ(f.doc->GetLogoPath(), "last.png");

  Fixture none(Skin(""));
  EXPECT_EQ(none.doc->GetLogoPath(), "");
  EXPECT_EQ(none.doc->GetLogoPath(), "");
}

TEST(SkinLoader, BadDocumentsGiveDefaults) {
  struct Case {
    const char* name;
    std::string xml;
  } cases[] = {
      {"empty", ""},
      {"not xml", "hello"},
      {"unclosed", "<CLIENTSKIN><MAINWND width=\"5\"><BTN name=\"a\""},
      {"attribute without value", "<CLIENTSKIN><MAINWND width/></CLIENTSKIN>"},
      {"duplicate attribute", "<CLIENTSKIN><MAINWND width=\"1\" width=\"2\"/></CLIENTSKIN>"},
      {"mismatched", "<CLIENTSKIN><MAINWND></GAMEWND></CLIENTSKIN>"},
      {"binary", std::string("\xFF\xFE<\x01\x80\x00\x81>", 8)},
  };
  for (const Case& c : cases) {
    Fixture f(c.xml);
    EXPECT_FALSE(f.parsed) << c.name;
    EXPECT_FALSE(f.doc->ErrorText().empty()) << c.name;
    SkinWindowInfo info;
    info.name = "MAINWND";
    f.doc->GetWindowInfo(info);
    std::vector<SkinButtonInfo> buttons;
    f.doc->GetButtons("MAINWND", buttons);
    std::vector<SkinImageInfo> images;
    f.doc->GetImages("MAINWND", images);
    SkinFontInfo font;
    font.name = "title";
    EXPECT_FALSE(f.doc->GetFont(font)) << c.name;
    EXPECT_LE(buttons.size(), 1u) << c.name;
  }
  // What was parsed before the error stays.
  Fixture partial("<CLIENTSKIN><MAINWND width=\"5\"><BTN name=\"a\"/><BTN");
  SkinWindowInfo info;
  info.name = "MAINWND";
  partial.doc->GetWindowInfo(info);
  EXPECT_EQ(info.width, 5);
}

TEST(SkinLoader, TextIsDecodedAndEndsAtAZeroByte) {
  // gb2312 bytes of the tip 关闭, CR LF line ends, a zero byte before junk.
  std::string gb = text::Utf8ToGb18030("\xE5\x85\xB3\xE9\x97\xAD");
  std::string xml = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<CLIENTSKIN>\r<MAINWND>\r\n<BTN tip=\"" + gb +
                    "\"/>\r\n</MAINWND></CLIENTSKIN>" + std::string(1, '\0') + "<junk";
  Fixture f(xml);
  EXPECT_TRUE(f.parsed) << f.doc->ErrorText();
  std::vector<SkinButtonInfo> b;
  f.doc->GetButtons("MAINWND", b);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].tip, "\xE5\x85\xB3\xE9\x97\xAD");

  // Character references to code points UTF-8 cannot carry (a surrogate,
  // beyond U+10FFFF) leave valid UTF-8 in every record text.
  Fixture refs(Skin("<BTN name=\"a&#xD800;b\" tip=\"&#x110000;\" title=\"ok&#x4E2D;\"/>"
                    "<TEXT title=\"t&#xDFFF;\"/>"));
  ASSERT_TRUE(refs.parsed) << refs.doc->ErrorText();
  refs.doc->GetButtons("MAINWND", b);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_TRUE(text::IsValidUtf8(b[0].name)) << b[0].name;
  EXPECT_EQ(b[0].name.front(), 'a');
  EXPECT_EQ(b[0].name.back(), 'b');
  EXPECT_TRUE(text::IsValidUtf8(b[0].tip));
  EXPECT_EQ(b[0].title, "ok\xE4\xB8\xAD") << "valid references stay as they are";
  std::vector<SkinTextInfo> texts;
  refs.doc->GetTexts("MAINWND", texts);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_TRUE(text::IsValidUtf8(texts[0].title));
}

// The default skin, XML 401, as the process-wide document.
TEST(DefaultSkin, IsLoadedOnceAsTheProcessWideInstance) {
  SkinDocument* first = GetSkinDocument();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetSkinDocument(), first);
  EXPECT_TRUE(first->ErrorText().empty()) << first->ErrorText();
}

TEST(DefaultSkin, MainWindowRecords) {
  SkinDocument* skin = GetSkinDocument();
  SkinWindowInfo info;
  info.name = "MAINWND";
  skin->GetWindowInfo(info);
  EXPECT_EQ(info.logo, 0);
  EXPECT_EQ(info.strech, 0);
  EXPECT_EQ(info.titleHeight, 30);
  EXPECT_EQ(info.width, 1222);
  EXPECT_EQ(info.height, 780);
  EXPECT_EQ(info.border, 0);
  EXPECT_EQ(info.color, 0xFFFFFFu);
  EXPECT_EQ(info.bgcolor, 0xFFFFFFu);
  EXPECT_EQ(info.font, "title");
  EXPECT_EQ(info.title, "\xE7\x90\xA5\xE7\x8F\x80\xE8\x88\xAA\xE7\xBA\xBF");

  std::vector<SkinImageInfo> images;
  skin->GetImages("MAINWND", images);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].name, "bg");
  EXPECT_EQ(images[0].stand, 348);
  EXPECT_EQ(images[0].image->GetWidth(), 1288);
  EXPECT_EQ(images[0].image->GetHeight(), 780);
  EXPECT_EQ(images[0].image->hasMargins, 0);

  std::vector<SkinRectInfo> rects;
  skin->GetRects("MAINWND", rects);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0].name, "ie");
  EXPECT_EQ(rects[0].rect, (RECT{471, 262, 1151, 632}));
  EXPECT_EQ(rects[0].strech, 0);

  std::vector<SkinButtonInfo> b;
  skin->GetButtons("MAINWND", b);
  struct Want {
    const char* name;
    const char* tip;
    int left, top, stand;
    const char* align;
  } want[] = {
      {"min", "\xE6\x9C\x80\xE5\xB0\x8F\xE5\x8C\x96", 1049, 195, 314, "TopLeft"},
      {"close", "\xE5\x85\xB3\xE9\x97\xAD", 1077, 185, 311, "TopLeft"},
      {"home", "\xE5\xAE\x98\xE7\xBD\x91", 610, 220, 337, "TopRight"},
      {"pay", "\xE5\x85\x85\xE5\x80\xBC", 460, 220, 343, "TopRight"},
      {"kf", "\xE5\xAE\xA2\xE6\x9C\x8D", 310, 220, 340, "TopRight"},
      {"bbs", "\xE8\xAE\xBA\xE5\x9D\x9B", 160, 220, 334, "TopRight"},
  };
  ASSERT_EQ(b.size(), std::size(want));
  for (std::size_t i = 0; i < b.size(); ++i) {
    EXPECT_EQ(b[i].name, want[i].name);
    EXPECT_EQ(b[i].tip, want[i].tip) << want[i].name;
    EXPECT_EQ(b[i].left, want[i].left) << want[i].name;
    EXPECT_EQ(b[i].top, want[i].top) << want[i].name;
    EXPECT_EQ(b[i].stand, want[i].stand) << want[i].name;
    EXPECT_EQ(b[i].align, want[i].align) << want[i].name;
    EXPECT_EQ(b[i].color, 0xFFFFFFu);
    EXPECT_EQ(b[i].hotcolor, 0xFFFFFFu);
    EXPECT_TRUE(b[i].title.empty());
    EXPECT_TRUE(b[i].font.empty());
    EXPECT_EQ(b[i].check + b[i].style + b[i].icon + b[i].icon1, 0);
  }
  std::vector<SkinTextInfo> texts;
  skin->GetTexts("MAINWND", texts);
  EXPECT_TRUE(texts.empty());
}

TEST(DefaultSkin, GameWindowRecords) {
  SkinDocument* skin = GetSkinDocument();
  SkinWindowInfo info;
  info.name = "GAMEWND";
  skin->GetWindowInfo(info);
  EXPECT_EQ(info.color, 0xEBEBEBu);
  EXPECT_EQ(info.bgcolor, 0u);
  EXPECT_EQ(info.border, 2);
  EXPECT_EQ(info.strech, 1);
  EXPECT_EQ(info.titleHeight, 50);
  EXPECT_EQ(info.width, 1250);
  EXPECT_EQ(info.height, 690);
  EXPECT_EQ(info.logo, 0);

  std::vector<SkinImageInfo> images;
  skin->GetImages("GAMEWND", images);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].name, "top");
  EXPECT_EQ(images[0].strech, 1);
  EXPECT_EQ(images[0].image->hasMargins, 1);
  EXPECT_EQ(images[0].image->margins, (SkinMargins{120, 1, 10, 1}));
  EXPECT_EQ(images[0].image->GetBPP(), 24);

  std::vector<SkinRectInfo> rects;
  skin->GetRects("GAMEWND", rects);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0].rect, (RECT{2, 32, 1248, 688}));
  EXPECT_EQ(rects[0].strech, 3);

  std::vector<SkinButtonInfo> b;
  skin->GetButtons("GAMEWND", b);
  struct Want {
    const char* name;
    int left, top, stand;
  } want[] = {{"pay", 650, 2, 343},  {"home", 550, 2, 337},    {"bbs", 450, 2, 334}, {"kf", 350, 2, 340},
              {"refresh", 250, 8, 350}, {"cache", 150, 8, 353}, {"pack", 85, 2, 330}, {"min", 57, 2, 321},
              {"max", 29, 1, 324},   {"restore", 29, 1, 327}, {"close", 3, 1, 318}};
  ASSERT_EQ(b.size(), std::size(want));
  for (std::size_t i = 0; i < b.size(); ++i) {
    EXPECT_EQ(b[i].name, want[i].name);
    EXPECT_EQ(b[i].left, want[i].left) << want[i].name;
    EXPECT_EQ(b[i].top, want[i].top) << want[i].name;
    EXPECT_EQ(b[i].stand, want[i].stand) << want[i].name;
    EXPECT_EQ(b[i].align, "TopRight") << want[i].name;
    EXPECT_FALSE(b[i].tip.empty()) << want[i].name;
  }
  EXPECT_EQ(b[5].tip, "\xE6\xB8\x85\xE7\x90\x86\xE7\xBC\x93\xE5\xAD\x98");  // 清理缓存

  const char* fonts[] = {"title", "normal", "bold", "hot", "underline"};
  int styles[] = {0, 0, 1, 1, 4};
  for (int i = 0; i < 5; ++i) {
    SkinFontInfo font;
    font.name = fonts[i];
    ASSERT_TRUE(skin->GetFont(font)) << fonts[i];
    EXPECT_EQ(font.size, 12);
    EXPECT_EQ(font.style, styles[i]);
    EXPECT_EQ(font.family, "\xE5\xAE\x8B\xE4\xBD\x93");  // 宋体
  }
  EXPECT_EQ(skin->GetLogoPath(), "");
}

TEST(DefaultEnvironment, AnImageThatDoesNotLoadShowsTheMessageBox) {
  ASSERT_TRUE(ui::InitializeWith(ui::BackendKind::Headless));
  ui::headless::ClearMessageBoxes();
  SkinDocument doc;  // resources and the message box
  ASSERT_TRUE(doc.Load(Skin("<IMG stand=\"4242\"/><IMG stand=\"311\"/>")));
  std::vector<SkinImageInfo> images;
  doc.GetImages("MAINWND", images);
  EXPECT_EQ(images.size(), 1u);
  const auto& boxes = ui::headless::MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Load Img Fail : 4242");
  EXPECT_EQ(boxes[0].caption, "");
  EXPECT_EQ(boxes[0].type, MB_OK);
  EXPECT_EQ(boxes[0].owner, nullptr);
  ui::Shutdown();
}

}  // namespace
