// libFuzzer target: skin documents and PNG data from untrusted bytes. The
// first byte chooses: even, the rest is a skin document, loaded, queried and
// composed at a small size; odd, the rest is PNG data, decoded, premultiplied
// and drawn whole and in nine parts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/gfx/Surface.h"
#include "skin/ImageEx.h"
#include "skin/SkinDocument.h"
#include "tools/skin/SkinCompose.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::span<const std::uint8_t> rest(data + 1, size - 1);
  gfx::Surface target = gfx::Surface::Create(64, 48, gfx::PixelFormat::Argb32);
  if (data[0] % 2) {
    CImageEx image;
    if (!image.LoadFromStream(rest)) return 0;
    gfx::Canvas c(target);
    image.DrawImage(c.dc(), RECT{-3, -2, 70, 50});
    image.DrawNineSlice(c.dc(), 0, 0, 64, 48, data[0], 3, 2, 1);
    return 0;
  }
  SkinDocument::Environment env;
  env.loadImage = &SkinDocument::LoadEmbeddedImage;
  env.reportImageFailure = [](const std::string&) {};
  SkinDocument doc(env);
  doc.Load(std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size()));
  for (const char* name : {"MAINWND", "GAMEWND", "W"}) {
    SkinScene scene = LoadScene(doc, name);
    ComposeScene(doc, scene, WindowKind::Framed, 64, 48);
    ComposeScene(doc, scene, WindowKind::Layered, 64, 48);
  }
  doc.GetLogoPath();
  return 0;
}
