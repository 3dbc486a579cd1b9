#include "platform/gfx/Blit.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace gfx {
namespace {

void SetColor(cairo_t* cr, COLORREF color) {
  cairo_set_source_rgb(cr, GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
}

// The part of [lo, hi) that the context's clip can reach, or false when none.
// Working on the visible part keeps every number handed to cairo small.
bool VisibleSpan(double clipLo, double clipHi, long long lo, long long hi, long long* outLo, long long* outHi) {
  long long a = std::max<long long>(lo, static_cast<long long>(std::floor(clipLo)));
  long long b = std::min<long long>(hi, static_cast<long long>(std::ceil(clipHi)));
  if (a >= b) return false;
  *outLo = a;
  *outHi = b;
  return true;
}

}  // namespace

void Blit(cairo_t* dc, const Surface& source, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
          BlendMode mode) {
  if (!dc || source.empty() || cairo_status(dc) != CAIRO_STATUS_SUCCESS) return;
  if (dw < 1 || dh < 1 || sw < 1 || sh < 1) return;
  if (sx < 0 || sy < 0 || static_cast<long long>(sx) + sw > source.width() ||
      static_cast<long long>(sy) + sh > source.height())
    return;
  double cx1, cy1, cx2, cy2;
  cairo_clip_extents(dc, &cx1, &cy1, &cx2, &cy2);
  long long vx1, vx2, vy1, vy2;
  if (!VisibleSpan(cx1, cx2, dx, static_cast<long long>(dx) + dw, &vx1, &vx2)) return;
  if (!VisibleSpan(cy1, cy2, dy, static_cast<long long>(dy) + dh, &vy1, &vy2)) return;

  double scaleX = static_cast<double>(sw) / dw;
  double scaleY = static_cast<double>(sh) / dh;
  cairo_save(dc);
  cairo_rectangle(dc, static_cast<double>(vx1), static_cast<double>(vy1), static_cast<double>(vx2 - vx1),
                  static_cast<double>(vy2 - vy1));
  cairo_clip(dc);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(source.cairoSurface());
  // Pattern space from user space: p = s + (u − d) × scale. The visible span
  // keeps |d| × scale within the source's size, so the numbers stay small.
  cairo_matrix_t m;
  cairo_matrix_init(&m, scaleX, 0, 0, scaleY, sx - dx * scaleX, sy - dy * scaleY);
  cairo_pattern_set_matrix(pattern, &m);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  cairo_set_source(dc, pattern);
  cairo_set_operator(dc, mode == BlendMode::Copy ? CAIRO_OPERATOR_SOURCE : CAIRO_OPERATOR_OVER);
  cairo_paint(dc);
  cairo_pattern_destroy(pattern);
  cairo_restore(dc);
}

void FillSolidRect(cairo_t* dc, const RECT& rect, COLORREF color) {
  if (!dc || rect.right <= rect.left || rect.bottom <= rect.top) return;
  double cx1, cy1, cx2, cy2;
  cairo_clip_extents(dc, &cx1, &cy1, &cx2, &cy2);
  long long x1, x2, y1, y2;
  if (!VisibleSpan(cx1, cx2, rect.left, rect.right, &x1, &x2)) return;
  if (!VisibleSpan(cy1, cy2, rect.top, rect.bottom, &y1, &y2)) return;
  cairo_save(dc);
  cairo_set_operator(dc, CAIRO_OPERATOR_SOURCE);
  SetColor(dc, color);
  cairo_rectangle(dc, static_cast<double>(x1), static_cast<double>(y1), static_cast<double>(x2 - x1),
                  static_cast<double>(y2 - y1));
  cairo_fill(dc);
  cairo_restore(dc);
}

void Clear(cairo_t* dc) {
  if (!dc) return;
  cairo_save(dc);
  cairo_set_operator(dc, CAIRO_OPERATOR_CLEAR);
  cairo_paint(dc);
  cairo_restore(dc);
}

ClipScope::ClipScope(cairo_t* dc, const RECT& rect) : dc_(dc) {
  if (!dc_) return;
  cairo_save(dc_);
  double cx1, cy1, cx2, cy2;
  cairo_clip_extents(dc_, &cx1, &cy1, &cx2, &cy2);
  long long x1, x2, y1, y2;
  if (rect.right > rect.left && rect.bottom > rect.top && VisibleSpan(cx1, cx2, rect.left, rect.right, &x1, &x2) &&
      VisibleSpan(cy1, cy2, rect.top, rect.bottom, &y1, &y2)) {
    cairo_rectangle(dc_, static_cast<double>(x1), static_cast<double>(y1), static_cast<double>(x2 - x1),
                    static_cast<double>(y2 - y1));
  } else {
    cairo_rectangle(dc_, 0, 0, 0, 0);
  }
  cairo_clip(dc_);
}

ClipScope::~ClipScope() {
  if (dc_) cairo_restore(dc_);
}

}  // namespace gfx
