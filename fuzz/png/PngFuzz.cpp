// libFuzzer target: PNG data from untrusted bytes (a skin image, a logo).
// The decoder gives an empty surface or one within the size limits; an
// opaque picture comes back unchanged through the encoder; a skin image made
// from the data is premultiplied (no colour above its alpha) and is drawn
// whole and in nine parts into a small surface, with margins and a
// destination taken from a hash of the input.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz/common/FuzzCheck.h"
#include "platform/gfx/Png.h"
#include "platform/gfx/Surface.h"
#include "skin/ImageEx.h"

namespace {

// FNV-1a, for drawing parameters that follow the input.
std::uint64_t Hash(const std::uint8_t* data, std::size_t size) {
  std::uint64_t h = 1469598103934665603ull;
  for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
  return h;
}

void CheckOpaqueRoundTrip(const gfx::Surface& decoded) {
  std::vector<std::uint8_t> png = gfx::EncodePng(decoded);
  FUZZ_CHECK(!png.empty());
  gfx::Surface again = gfx::DecodePng(png);
  FUZZ_CHECK(!again.empty() && again.width() == decoded.width() && again.height() == decoded.height());
  FUZZ_CHECK(again.format() == gfx::PixelFormat::Rgb24);
  for (int y = 0; y < decoded.height(); ++y) {
    const std::uint8_t* a = decoded.data() + static_cast<std::size_t>(y) * decoded.stride();
    const std::uint8_t* b = again.data() + static_cast<std::size_t>(y) * again.stride();
    for (int x = 0; x < decoded.width(); ++x) FUZZ_CHECK(std::memcmp(a + 4 * x, b + 4 * x, 3) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> bytes(data, size);
  gfx::Surface decoded = gfx::DecodePng(bytes);
  if (!decoded.empty()) {
    FUZZ_CHECK(decoded.width() >= 1 && decoded.width() <= gfx::kMaxDimension);
    FUZZ_CHECK(decoded.height() >= 1 && decoded.height() <= gfx::kMaxDimension);
    FUZZ_CHECK(1LL * decoded.width() * decoded.height() <= gfx::kMaxPixels);
    if (decoded.format() == gfx::PixelFormat::Rgb24) CheckOpaqueRoundTrip(decoded);
  }

  CImageEx image;
  bool loaded = image.LoadFromStream(bytes);
  FUZZ_CHECK(loaded == !decoded.empty());
  if (!loaded) return 0;
  FUZZ_CHECK(image.GetWidth() == decoded.width() && image.GetHeight() == decoded.height());
  if (image.HasAlpha()) {
    const gfx::Surface& s = image.surface();
    for (int y = 0; y < s.height(); ++y) {
      const std::uint8_t* row = s.data() + static_cast<std::size_t>(y) * s.stride();
      for (int x = 0; x < s.width(); ++x, row += 4)
        FUZZ_CHECK(row[0] <= row[3] && row[1] <= row[3] && row[2] <= row[3]);
    }
  }

  std::uint64_t h = Hash(data, size);
  auto next = [&h](int range) {
    h = h * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<int>((h >> 33) % static_cast<std::uint64_t>(range));
  };
  gfx::Surface target = gfx::Surface::Create(64, 48, gfx::PixelFormat::Argb32);
  gfx::Canvas canvas(target);
  image.hasMargins = 1;
  image.margins = SkinMargins{next(40) - 4, next(40) - 4, next(40) - 4, next(40) - 4};
  image.DrawImage(canvas.dc(), RECT{next(80) - 8, next(60) - 6, next(80) - 8, next(60) - 6});
  image.DrawWhole(canvas.dc(), RECT{-3, -2, 70, 50});
  image.DrawNineSlice(canvas.dc(), next(70) - 3, next(50) - 2, next(70), next(50), next(20), next(20), next(20),
                      next(20));
  return 0;
}
