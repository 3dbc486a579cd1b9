#include "skin/ImageEx.h"

#include <algorithm>
#include <climits>

#include "platform/base/Resources.h"
#include "platform/gfx/Blit.h"
#include "platform/gfx/Png.h"

namespace {

int Saturate(long long v) { return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX)); }

// A rectangle's width or height without overflowing 32 bits.
int Extent(LONG from, LONG to) { return Saturate(static_cast<long long>(to) - from); }


}  // namespace

CImageEx::CImageEx() = default;
CImageEx::~CImageEx() = default;

bool CImageEx::LoadFromResource(int id) {
  auto bytes = res::Find("PNG", PngResourceId(id));
  if (!bytes || bytes->empty()) {
    surface_ = gfx::Surface();
    return false;
  }
  return LoadFromStream(*bytes);
}

bool CImageEx::LoadFromStream(std::span<const std::uint8_t> bytes) {
  surface_ = gfx::DecodePng(bytes);
  if (surface_.empty()) return false;
  PremultiplyAlpha();
  return true;
}

bool CImageEx::PremultiplyAlpha() {
  if (surface_.empty() || surface_.bitsPerPixel() != 32) return false;
  std::uint8_t* row = surface_.data();
  const int w = surface_.width(), h = surface_.height(), stride = surface_.stride();
  for (int y = 0; y < h; ++y, row += stride) {
    std::uint8_t* p = row;
    for (int x = 0; x < w; ++x, p += 4) {
      unsigned a = p[3];
      p[0] = static_cast<std::uint8_t>(p[0] * a / 255);
      p[1] = static_cast<std::uint8_t>(p[1] * a / 255);
      p[2] = static_cast<std::uint8_t>(p[2] * a / 255);
    }
  }
  surface_.MarkDirty();
  return true;
}

std::vector<ImageBlit> CImageEx::PlanNineSlice(int W, int H, int x, int y, int w, int h, int l, int t, int r,
                                               int b) {
  // Edges in 64 bits: skin numbers may be anything a 32-bit integer holds.
  const long long X = x, Y = y, L = l, T = t, R = r, B = b;
  const long long x1 = X + L, x2 = X + w - R, x3 = X + w;
  const long long y1 = Y + T, y2 = Y + h - B, y3 = Y + h;
  const long long sx1 = L, sx2 = W - R, sy1 = T, sy2 = H - B;
  struct Piece {
    long long dl, dt, dr, db, sl, st, sr, sb;
  };
  const Piece pieces[9] = {
      {X, Y, x1, y1, 0, 0, sx1, sy1},           // top-left corner
      {X, y1, x1, y2, 0, sy1, sx1, sy2},        // left edge
      {x1, Y, x2, y1, sx1, 0, sx2, sy1},        // top edge
      {x2, Y, x3, y1, sx2, 0, W, sy1},          // top-right corner
      {x2, y1, x3, y2, sx2, sy1, W, sy2},       // right edge
      {x1, y2, x2, y3, sx1, sy2, sx2, H},       // bottom edge
      {x2, y2, x3, y3, sx2, sy2, W, H},         // bottom-right corner
      {X, y2, x1, y3, 0, sy2, sx1, H},          // bottom-left corner
      {x1, y1, x2, y2, sx1, sy1, sx2, sy2},     // centre
  };
  std::vector<ImageBlit> blits;
  for (const Piece& p : pieces) {
    if (p.dr <= p.dl || p.db <= p.dt || p.sr <= p.sl || p.sb <= p.st) continue;
    blits.push_back({{Saturate(p.dl), Saturate(p.dt), Saturate(p.dr), Saturate(p.db)},
                     {Saturate(p.sl), Saturate(p.st), Saturate(p.sr), Saturate(p.sb)}});
  }
  return blits;
}

std::vector<ImageBlit> CImageEx::PlanDraw(const RECT& dst) const {
  if (IsNull()) return {};
  const long long w = static_cast<long long>(dst.right) - dst.left;
  const long long h = static_cast<long long>(dst.bottom) - dst.top;
  const int W = GetWidth(), H = GetHeight();
  // An empty destination draws nothing, in nine parts or whole: the corners
  // of a nine-part drawing would otherwise still land there.
  if (w < 1 || h < 1) return {};
  if (hasMargins && (w != W || h != H)) {
    return PlanNineSlice(W, H, dst.left, dst.top, Saturate(w), Saturate(h), margins.left, margins.top,
                         margins.right, margins.bottom);
  }
  return {{dst, {0, 0, W, H}}};
}

void CImageEx::DrawImage(HDC dc, const RECT& dst) const {
  for (const ImageBlit& b : PlanDraw(dst)) {
    BlitImage(dc, b.dst.left, b.dst.top, Extent(b.dst.left, b.dst.right), Extent(b.dst.top, b.dst.bottom),
              b.src.left, b.src.top, Extent(b.src.left, b.src.right), Extent(b.src.top, b.src.bottom));
  }
}

void CImageEx::DrawWhole(HDC dc, const RECT& dst) const {
  if (IsNull()) return;
  BlitImage(dc, dst.left, dst.top, Extent(dst.left, dst.right), Extent(dst.top, dst.bottom), 0, 0, GetWidth(),
            GetHeight());
}

void CImageEx::DrawNineSlice(HDC dc, int x, int y, int w, int h, int l, int t, int r, int b) const {
  if (IsNull()) return;
  for (const ImageBlit& p : PlanNineSlice(GetWidth(), GetHeight(), x, y, w, h, l, t, r, b)) {
    BlitImage(dc, p.dst.left, p.dst.top, Extent(p.dst.left, p.dst.right), Extent(p.dst.top, p.dst.bottom),
              p.src.left, p.src.top, Extent(p.src.left, p.src.right), Extent(p.src.top, p.src.bottom));
  }
}

void CImageEx::BlitImage(HDC dc, int x, int y, int w, int h, int sx, int sy, int sw, int sh) const {
  gfx::Blit(dc, surface_, x, y, w, h, sx, sy, sw, sh, gfx::BlendModeFor(surface_));
}
