#include "tools/skinart/PalettePng.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace art {
namespace {

using Px = std::array<int, 4>;  // r, g, b, a (straight alpha)

struct Box {
  std::vector<Px> px;
  int Range(int c) const {
    int lo = 255, hi = 0;
    for (const Px& p : px) lo = std::min(lo, p[c]), hi = std::max(hi, p[c]);
    return hi - lo;
  }
};

std::vector<Px> MedianCut(std::vector<Px> pixels, int colours) {
  std::vector<Box> boxes(1);
  boxes[0].px = std::move(pixels);
  while (static_cast<int>(boxes.size()) < colours) {
    int best = -1, bestChannel = 0;
    long long bestScore = 0;
    for (int i = 0; i < static_cast<int>(boxes.size()); ++i) {
      if (boxes[i].px.size() < 2) continue;
      for (int c = 0; c < 4; ++c) {
        long long score = static_cast<long long>(boxes[i].Range(c)) * static_cast<long long>(boxes[i].px.size());
        if (score > bestScore) bestScore = score, best = i, bestChannel = c;
      }
    }
    if (best < 0) break;
    Box& b = boxes[best];
    auto mid = b.px.begin() + b.px.size() / 2;
    std::nth_element(b.px.begin(), mid, b.px.end(), [&](const Px& x, const Px& y) { return x[bestChannel] < y[bestChannel]; });
    Box other;
    other.px.assign(mid, b.px.end());
    b.px.erase(mid, b.px.end());
    boxes.push_back(std::move(other));
  }
  std::vector<Px> palette;
  for (const Box& b : boxes) {
    if (b.px.empty()) continue;
    long long s[4] = {0, 0, 0, 0};
    for (const Px& p : b.px)
      for (int c = 0; c < 4; ++c) s[c] += p[c];
    Px avg;
    for (int c = 0; c < 4; ++c) avg[c] = static_cast<int>((s[c] + static_cast<long long>(b.px.size()) / 2) / static_cast<long long>(b.px.size()));
    palette.push_back(avg);
  }
  return palette;
}

int Nearest(const std::vector<Px>& palette, const Px& p) {
  int best = 0;
  long long bestD = -1;
  for (int i = 0; i < static_cast<int>(palette.size()); ++i) {
    long long d = 0;
    for (int c = 0; c < 4; ++c) {
      long long e = palette[i][c] - p[c];
      d += e * e * (c == 3 ? 4 : 1);
    }
    if (bestD < 0 || d < bestD) bestD = d, best = i;
  }
  return best;
}

// libpng's part, apart so that no object with a destructor lives across its
// longjmp.
bool WriteIndexed(std::FILE* f, int w, int h, const png_color* plte, int n, const png_byte* trns,
                  const std::uint8_t* indices) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(png, info, plte, n);
  png_set_tRNS(png, info, trns, n, nullptr);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) png_write_row(png, indices + static_cast<std::size_t>(y) * w);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WritePalettePng(cairo_surface_t* argb, const std::string& path) {
  cairo_surface_flush(argb);
  const int w = cairo_image_surface_get_width(argb), h = cairo_image_surface_get_height(argb);
  const int stride = cairo_image_surface_get_stride(argb);
  const unsigned char* data = cairo_image_surface_get_data(argb);
  std::vector<Px> image(static_cast<std::size_t>(w) * h);
  std::vector<Px> visible;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned char* p = data + y * stride + x * 4;
      int a = p[3];
      Px px{0, 0, 0, 0};
      if (a > 0) px = {std::min(255, p[2] * 255 / a), std::min(255, p[1] * 255 / a), std::min(255, p[0] * 255 / a), a};
      image[static_cast<std::size_t>(y) * w + x] = px;
      if (a > 0) visible.push_back(px);
    }
  std::vector<Px> palette = MedianCut(visible, 255);
  palette.insert(palette.begin(), Px{0, 0, 0, 0});

  // Map with Floyd-Steinberg diffusion of the colour error among opaque pixels.
  std::vector<std::uint8_t> indices(static_cast<std::size_t>(w) * h, 0);
  std::vector<std::array<double, 3>> err(static_cast<std::size_t>(w + 2) * 2, {0, 0, 0});
  std::unordered_map<std::uint32_t, int> cache;
  std::vector<Px> colours(palette.begin() + 1, palette.end());
  for (int y = 0; y < h; ++y) {
    auto* cur = &err[static_cast<std::size_t>(y % 2) * (w + 2)];
    auto* next = &err[static_cast<std::size_t>((y + 1) % 2) * (w + 2)];
    for (int x = 0; x < w + 2; ++x) next[x] = {0, 0, 0};
    for (int x = 0; x < w; ++x) {
      Px p = image[static_cast<std::size_t>(y) * w + x];
      if (p[3] == 0) continue;
      bool opaque = p[3] == 255;
      Px want = p;
      if (opaque)
        for (int c = 0; c < 3; ++c) want[c] = std::clamp(static_cast<int>(p[c] + cur[x + 1][c]), 0, 255);
      std::uint32_t key = (static_cast<std::uint32_t>(want[0]) << 24) | (want[1] << 16) | (want[2] << 8) | want[3];
      auto it = cache.find(key);
      int idx = it != cache.end() ? it->second : (cache[key] = Nearest(colours, want));
      indices[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(idx + 1);
      if (opaque) {
        for (int c = 0; c < 3; ++c) {
          double e = want[c] - colours[idx][c];
          cur[x + 2][c] += e * 7 / 16;
          next[x][c] += e * 3 / 16;
          next[x + 1][c] += e * 5 / 16;
          next[x + 2][c] += e * 1 / 16;
        }
      }
    }
  }

  std::vector<png_color> plte;
  std::vector<png_byte> trns;
  for (const Px& p : palette) {
    plte.push_back({static_cast<png_byte>(p[0]), static_cast<png_byte>(p[1]), static_cast<png_byte>(p[2])});
    trns.push_back(static_cast<png_byte>(p[3]));
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = WriteIndexed(f, w, h, plte.data(), static_cast<int>(plte.size()), trns.data(), indices.data());
  return std::fclose(f) == 0 && ok;
}

}  // namespace art
