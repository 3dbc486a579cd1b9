// libFuzzer target: what a skin document from untrusted bytes draws. The
// document is loaded with the executable's own images, and each of its
// windows is composed framed and layered at a small client size taken from
// the input's last bytes (pictures, nine-part margins, buttons, logo and
// texts with Pango). Slow by nature (a few hundred runs a second at best):
// fuzz_skin covers the document's reading fast.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/common/FuzzCheck.h"
#include "platform/gfx/Surface.h"
#include "skin/SkinDocument.h"
#include "tools/skin/SkinCompose.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  int width = in.ConsumeIntegralInRange(1, 96);
  int height = in.ConsumeIntegralInRange(1, 64);
  bool decodeEachRender = in.ConsumeBool();
  std::string bytes = in.ConsumeRemainingBytesAsString();

  SkinDocument::Environment env;
  env.loadImage = &SkinDocument::LoadEmbeddedImage;
  env.reportImageFailure = [](const std::string&) {};
  SkinDocument doc(env);
  doc.Load(bytes);
  for (const char* name : {"MAINWND", "GAMEWND", "W"}) {
    SkinScene scene = LoadScene(doc, name);
    for (WindowKind kind : {WindowKind::Framed, WindowKind::Layered}) {
      gfx::Surface out = ComposeScene(doc, scene, kind, width, height, ComposeOptions{decodeEachRender});
      FUZZ_CHECK(!out.empty() && out.width() == width && out.height() == height);
      // Premultiplied: no colour channel exceeds its pixel's alpha.
      for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = out.data() + static_cast<std::size_t>(y) * out.stride();
        for (int x = 0; x < width; ++x, row += 4)
          FUZZ_CHECK(row[0] <= row[3] && row[1] <= row[3] && row[2] <= row[3]);
      }
    }
  }
  doc.GetLogoPath();
  return 0;
}
