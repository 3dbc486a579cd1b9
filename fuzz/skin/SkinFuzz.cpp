// libFuzzer target: the skin document (XML 401) from untrusted bytes, loaded
// and queried the way the skinned windows read it: every element's window,
// image, rect, button and text records, the fonts the texts name, the logo,
// and the places anchoring gives them in a few client sizes. Nothing is
// drawn (fuzz_skin_compose does that), so images are tiny stand-ins: every
// id the executable has a PNG for loads a fresh 3 x 2 image, others fail.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/common/FuzzCheck.h"
#include "platform/base/Resources.h"
#include "platform/base/Text.h"
#include "platform/gfx/Png.h"
#include "skin/Anchor.h"
#include "skin/SkinDocument.h"
#include "tools/skin/SkinCompose.h"

namespace {

std::vector<std::uint8_t>& TinyPng() {
  static std::vector<std::uint8_t> png =
      gfx::EncodePng(gfx::Surface::Create(3, 2, gfx::PixelFormat::Argb32));
  return png;
}

std::shared_ptr<CImageEx> StandIn(int id) {
  if (!res::Find("PNG", PngResourceId(id))) return nullptr;
  auto image = std::make_shared<CImageEx>();
  return image->LoadFromStream(TinyPng()) ? image : nullptr;
}

bool Utf8(const std::string& s) { return text::IsValidUtf8(s); }

void CheckScene(SkinDocument& doc, const SkinScene& scene) {
  FUZZ_CHECK(Utf8(scene.info.title) && Utf8(scene.info.font));
  FUZZ_CHECK(scene.buttonImages.size() == scene.buttons.size());
  const RECT clients[] = {{0, 0, 0, 0}, {0, 0, 1250, 690}, {0, 0, 16384, 16384}};
  for (const RECT& client : clients) {
    SIZE clientSize{client.right, client.bottom};
    for (std::size_t i = 0; i < scene.buttons.size(); ++i) {
      const SkinButtonInfo& b = scene.buttons[i];
      FUZZ_CHECK(Utf8(b.name) && Utf8(b.title));
      SIZE size = ButtonSize(doc, b, scene.buttonImages[i].get());
      FUZZ_CHECK(size.cx >= 0 && size.cy >= 0);
      AnchorButton(b, size, client);
    }
    for (const SkinImageInfo& img : scene.images) {
      FUZZ_CHECK(img.image != nullptr);
      FUZZ_CHECK(Utf8(img.name));
      SIZE imageSize{img.image->GetWidth(), img.image->GetHeight()};
      PlaceLayeredImage(img, imageSize, client);
      PlaceFramedImage(img, imageSize, client, clientSize);
    }
    for (const SkinRectInfo& r : scene.rects) {
      FUZZ_CHECK(Utf8(r.name) && Utf8(r.font));
      PlaceBrowserRect(r, SIZE{scene.info.width, scene.info.height}, clientSize, BrowserHost::Launcher);
      PlaceBrowserRect(r, SIZE{scene.info.width, scene.info.height}, clientSize, BrowserHost::GameWindow);
    }
    for (const SkinTextInfo& t : scene.texts) {
      FUZZ_CHECK(Utf8(t.name) && Utf8(t.title) && Utf8(t.font));
      PlaceText(t, client);
    }
  }
  for (const SkinTextInfo& t : scene.texts) {
    SkinFontInfo font;
    font.name = t.font;
    if (doc.GetFont(font)) FUZZ_CHECK(Utf8(font.family));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SkinDocument::Environment env;
  env.loadImage = &StandIn;
  env.reportImageFailure = [](const std::string& text) { FUZZ_CHECK(text.rfind("Load Img Fail : ", 0) == 0); };
  SkinDocument doc(env);
  bool loaded = doc.Load(std::string_view(reinterpret_cast<const char*>(data), size));
  FUZZ_CHECK(loaded == doc.ErrorText().empty());
  for (const char* name : {"MAINWND", "GAMEWND", "W"}) {
    doc.HasWindow(name);
    CheckScene(doc, LoadScene(doc, name));
  }
  std::string logo = doc.GetLogoPath();
  FUZZ_CHECK(Utf8(logo) && logo == doc.GetLogoPath());
  return 0;
}
