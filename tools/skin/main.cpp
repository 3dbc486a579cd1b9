// torvane-skin: dumps and renders skin descriptions (see README.md).
//
//   torvane-skin dump SKIN.xml [--images DIR] --window NAME
//   torvane-skin render SKIN.xml [--images DIR] --window NAME --kind layered|framed --size WxH
//                       [--hover BUTTON | --press BUTTON] --out FILE.png
//
// render builds the real skinned window (CSkinWnd or CSkinWnd2) on the
// headless display at that size and writes what it shows; --hover and
// --press put a button into that state through injected mouse input.
//
// "-" as SKIN.xml is the embedded skin (XML 401). Without --images the PNGs
// are the embedded resources, with it DIR/<id>.png. A missing file, a parse
// error, an unknown window or bad arguments print one line on stderr and exit
// with 2; a window image that does not load prints "Load Img Fail : <id>" on
// stderr and the run goes on.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/base/Resources.h"
#include "platform/gfx/Png.h"
#include "skin/SkinDocument.h"
#include "tools/skin/SkinCompose.h"
#include "tools/skin/WindowRender.h"

namespace {

constexpr int kBadInput = 2;

int Fail(const std::string& line) {
  std::fprintf(stderr, "torvane-skin: %s\n", line.c_str());
  return kBadInput;
}

bool ReadFile(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

nlohmann::ordered_json Rect(const RECT& r) {
  return {{"left", r.left}, {"top", r.top}, {"right", r.right}, {"bottom", r.bottom}};
}

nlohmann::ordered_json Dump(SkinDocument& doc, const SkinScene& s) {
  using json = nlohmann::ordered_json;
  const SkinWindowInfo& w = s.info;
  json out;
  out["window"] = {{"logo", w.logo},     {"strech", w.strech}, {"titleHeight", w.titleHeight}, {"width", w.width},
                   {"height", w.height}, {"border", w.border}, {"color", w.color},             {"bgcolor", w.bgcolor},
                   {"name", w.name},     {"title", w.title},   {"font", w.font}};
  out["images"] = json::array();
  for (const SkinImageInfo& i : s.images) {
    json image = {{"strech", i.strech}, {"left", i.left},       {"top", i.top}, {"size", Rect(i.size)},
                  {"name", i.name},     {"stand", i.stand},     {"align", i.align}, {"arc", i.arc},
                  {"visible", i.visible}};
    image["image"] = {{"width", i.image->GetWidth()},
                      {"height", i.image->GetHeight()},
                      {"bitsPerPixel", i.image->GetBPP()},
                      {"hasAlpha", i.image->HasAlpha()},
                      {"hasMargins", i.image->hasMargins},
                      {"margins",
                       {{"left", i.image->margins.left},
                        {"top", i.image->margins.top},
                        {"right", i.image->margins.right},
                        {"bottom", i.image->margins.bottom}}}};
    out["images"].push_back(image);
  }
  out["rects"] = json::array();
  for (const SkinRectInfo& r : s.rects)
    out["rects"].push_back({{"strech", r.strech}, {"border", r.border}, {"rect", Rect(r.rect)},
                            {"name", r.name},     {"font", r.font},     {"align", r.align}});
  out["buttons"] = json::array();
  for (const SkinButtonInfo& b : s.buttons)
    out["buttons"].push_back({{"color", b.color}, {"hotcolor", b.hotcolor}, {"style", b.style}, {"check", b.check},
                              {"left", b.left},   {"top", b.top},           {"name", b.name},   {"title", b.title},
                              {"stand", b.stand}, {"flashStand", b.flashStand}, {"icon", b.icon},
                              {"icon1", b.icon1}, {"font", b.font},         {"align", b.align}, {"tip", b.tip}});
  out["texts"] = json::array();
  for (const SkinTextInfo& t : s.texts)
    out["texts"].push_back({{"color", t.color}, {"rect", Rect(t.rect)}, {"name", t.name}, {"title", t.title},
                            {"font", t.font},   {"align", t.align}});
  (void)doc;
  return out;
}

bool ParseSize(const std::string& text, int* w, int* h) {
  int a = 0, b = 0;
  char x = 0, extra = 0;
  if (std::sscanf(text.c_str(), "%d%c%d%c", &a, &x, &b, &extra) != 3 || (x != 'x' && x != 'X')) return false;
  if (a < 1 || b < 1 || a > gfx::kMaxDimension || b > gfx::kMaxDimension) return false;
  *w = a;
  *h = b;
  return true;
}

const char kUsage[] =
    "usage: torvane-skin dump SKIN.xml [--images DIR] --window NAME\n"
    "       torvane-skin render SKIN.xml [--images DIR] --window NAME --kind layered|framed --size WxH\n"
    "                           [--hover BUTTON | --press BUTTON] --out FILE.png\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2 || (args[0] != "dump" && args[0] != "render")) {
    std::fputs(kUsage, stderr);
    return kBadInput;
  }
  const std::string command = args[0], skinPath = args[1];
  std::string images, window, kind, size, out, hover, press;
  bool haveImages = false;
  for (std::size_t i = 2; i < args.size(); ++i) {
    auto value = [&](std::string* into) {
      if (i + 1 >= args.size()) return false;
      *into = args[++i];
      return true;
    };
    bool ok = false;
    if (args[i] == "--images") ok = value(&images), haveImages = true;
    else if (args[i] == "--window") ok = value(&window);
    else if (args[i] == "--kind" && command == "render") ok = value(&kind);
    else if (args[i] == "--size" && command == "render") ok = value(&size);
    else if (args[i] == "--out" && command == "render") ok = value(&out);
    else if (args[i] == "--hover" && command == "render") ok = value(&hover);
    else if (args[i] == "--press" && command == "render") ok = value(&press);
    if (!ok) return Fail("bad argument '" + args[i] + "' (run without arguments for the usage)");
  }
  if (window.empty()) return Fail("--window NAME is required");
  int width = 0, height = 0;
  WindowKind windowKind = WindowKind::Layered;
  if (command == "render") {
    if (kind == "layered") windowKind = WindowKind::Layered;
    else if (kind == "framed") windowKind = WindowKind::Framed;
    else return Fail("--kind must be layered or framed");
    if (!ParseSize(size, &width, &height)) return Fail("--size must be WxH, each 1 to 16384");
    if (out.empty()) return Fail("--out FILE.png is required");
    if (!hover.empty() && !press.empty()) return Fail("--hover and --press exclude each other");
  }

  std::string xml;
  if (skinPath == "-") {
    auto bytes = res::Find("XML", 401);
    if (!bytes) return Fail("the embedded skin (XML 401) is missing");
    xml.assign(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  } else if (!ReadFile(skinPath, &xml)) {
    return Fail("cannot read " + skinPath);
  }

  SkinDocument::Environment env;
  env.loadImage = [&](int id) -> std::shared_ptr<CImageEx> {
    auto image = std::make_shared<CImageEx>();
    if (!haveImages) return image->LoadFromResource(id) ? image : nullptr;
    std::string bytes;
    if (!ReadFile(images + "/" + std::to_string(PngResourceId(id)) + ".png", &bytes)) return nullptr;
    return image->LoadFromStream({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}) ? image : nullptr;
  };
  env.reportImageFailure = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
  SkinDocument doc(env);
  if (!doc.Load(xml)) return Fail(skinPath + ": " + doc.ErrorText());
  if (!doc.HasWindow(window)) return Fail(skinPath + ": no window element " + window);

  if (command == "dump") {
    SkinScene scene = LoadScene(doc, window);
    std::printf("%s\n", Dump(doc, scene).dump(2).c_str());
    return 0;
  }
  WindowRenderRequest request;
  request.kind = windowKind;
  request.width = width;
  request.height = height;
  request.hover = hover;
  request.press = press;
  std::string error;
  gfx::Surface surface = RenderSkinWindow(doc, window, request, &error);
  if (surface.empty()) return Fail(window + ": " + error);
  if (!gfx::WritePngFile(surface, out)) return Fail("cannot write " + out);
  return 0;
}
