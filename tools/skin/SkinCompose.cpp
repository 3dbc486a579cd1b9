#include "tools/skin/SkinCompose.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/gfx/Blit.h"
#include "platform/gfx/TextDraw.h"
#include "skin/Anchor.h"

namespace {

std::shared_ptr<CImageEx> ImageFor(SkinDocument& doc, const SkinImageInfo& record, bool decode) {
  if (!decode) return record.image;
  return doc.LoadImage(record.stand);
}

void DrawTexts(SkinDocument& doc, const SkinScene& scene, HDC dc, const RECT& client) {
  for (const SkinTextInfo& t : scene.texts) {
    if (t.title.empty() || t.font.empty()) continue;
    SkinFontInfo font;
    font.name = t.font;
    if (!doc.GetFont(font)) continue;
    RECT box = PlaceText(t, client);
    gfx::DrawTextLine(dc, t.title, {font.family, font.size, font.style}, t.color, box.left, box.top,
                      static_cast<double>(box.right) - box.left, static_cast<double>(box.bottom) - box.top);
  }
}

void DrawButtons(SkinDocument& doc, const SkinScene& scene, HDC dc, const RECT& client, bool decode) {
  for (std::size_t i = 0; i < scene.buttons.size(); ++i) {
    const SkinButtonInfo& b = scene.buttons[i];
    std::shared_ptr<CImageEx> normal = decode && b.stand != 0 ? doc.LoadImage(b.stand) : scene.buttonImages[i];
    SIZE size = ButtonSize(doc, b, normal.get());
    if (!normal || normal->IsNull()) continue;
    POINT at = AnchorButton(b, size, client);
    normal->DrawWhole(dc, RECT{at.x, at.y, static_cast<LONG>(std::min<long long>(INT32_MAX, 0LL + at.x + normal->GetWidth())),
                               static_cast<LONG>(std::min<long long>(INT32_MAX, 0LL + at.y + normal->GetHeight()))});
  }
}

std::shared_ptr<CImageEx> LoadLogo(const std::string& path) {
  if (path.empty()) return nullptr;
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto image = std::make_shared<CImageEx>();
  return image->LoadFromStream(bytes) ? image : nullptr;
}

}  // namespace

SkinScene LoadScene(SkinDocument& doc, const std::string& element) {
  SkinScene scene;
  scene.info.name = element;
  doc.GetWindowInfo(scene.info);
  doc.GetImages(element, scene.images);
  doc.GetRects(element, scene.rects);
  doc.GetButtons(element, scene.buttons);
  for (const SkinButtonInfo& b : scene.buttons) scene.buttonImages.push_back(b.stand ? doc.LoadImage(b.stand) : nullptr);
  doc.GetTexts(element, scene.texts);
  return scene;
}

SIZE ButtonSize(SkinDocument& doc, const SkinButtonInfo& button, const CImageEx* normal) {
  if (button.stand == 0) return SIZE{0, 0};
  if (normal && normal->GetWidth() > 0) return SIZE{normal->GetWidth(), normal->GetHeight()};
  std::shared_ptr<CImageEx> hover = doc.LoadImage(ImageSetId(button.stand, 1));
  if (hover && hover->GetWidth() > 0) return SIZE{hover->GetWidth(), hover->GetHeight()};
  return SIZE{50, 20};
}

gfx::Surface ComposeScene(SkinDocument& doc, const SkinScene& scene, WindowKind kind, int width, int height,
                          const ComposeOptions& options) {
  gfx::Surface out = gfx::Surface::Create(width, height, gfx::PixelFormat::Argb32);
  if (out.empty()) return out;
  const RECT client{0, 0, width, height};
  const bool decode = options.decodeEachRender;
  gfx::Canvas canvas(out);
  HDC dc = canvas.dc();
  if (kind == WindowKind::Layered) {
    for (const SkinImageInfo& record : scene.images) {
      if (!record.visible) continue;
      std::shared_ptr<CImageEx> image = ImageFor(doc, record, decode);
      if (!image || image->IsNull()) continue;
      RECT dst = PlaceLayeredImage(record, SIZE{image->GetWidth(), image->GetHeight()}, client);
      image->DrawWhole(dc, dst);  // layered windows ignore margins
    }
    DrawButtons(doc, scene, dc, client, decode);
    DrawTexts(doc, scene, dc, client);
    return out;
  }

  gfx::FillSolidRect(dc, client, scene.info.bgcolor);
  for (const SkinImageInfo& record : scene.images) {
    if (!record.visible) continue;
    std::shared_ptr<CImageEx> image = record.image;
    if (decode && image) {
      std::shared_ptr<CImageEx> fresh = doc.LoadImage(record.stand);
      if (fresh) {
        fresh->hasMargins = image->hasMargins;
        fresh->margins = image->margins;
      }
      image = fresh;
    }
    if (!image || image->IsNull()) continue;
    RECT dst = PlaceFramedImage(record, SIZE{image->GetWidth(), image->GetHeight()}, client, SIZE{width, height});
    image->DrawImage(dc, dst);
  }
  DrawButtons(doc, scene, dc, client, decode);
  if (scene.info.logo != 0) {
    double textX = 6;
    if (std::shared_ptr<CImageEx> logo = LoadLogo(doc.GetLogoPath())) {
      int y = static_cast<int>((scene.info.titleHeight - logo->GetHeight()) * 0.5);
      logo->DrawImage(dc, RECT{3, y, 3 + logo->GetWidth(), y + logo->GetHeight()});
      textX = 3 + logo->GetWidth() + 3;
    }
    SkinFontInfo font;
    font.name = scene.info.font;
    if (!scene.info.font.empty() && !scene.info.title.empty() && doc.GetFont(font)) {
      gfx::DrawTextLine(dc, scene.info.title, {font.family, font.size, font.style}, scene.info.color, textX, 0, width,
                        scene.info.titleHeight);
    }
  }
  DrawTexts(doc, scene, dc, client);
  return out;
}
