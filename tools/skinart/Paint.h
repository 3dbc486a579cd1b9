// Small cairo and Pango painting helpers for the skin art generator.
#pragma once

#include <cairo.h>

#include <initializer_list>
#include <string>

namespace art {

struct Rgba {
  double r, g, b, a = 1.0;
};

// A colour from 0xRRGGBB and an opacity.
Rgba Hex(unsigned rgb, double a = 1.0);

struct Stop {
  double at;
  Rgba color;
};

void RoundRect(cairo_t* cr, double x, double y, double w, double h, double r);
void SetColor(cairo_t* cr, Rgba c);
// A vertical (or, with horizontal, a left-to-right) linear gradient from y0
// to y1 as the source.
void SetVertical(cairo_t* cr, double y0, double y1, std::initializer_list<Stop> stops);
void SetHorizontal(cairo_t* cr, double x0, double x1, std::initializer_list<Stop> stops);

struct TextStyle {
  std::string family = "WenQuanYi Micro Hei";
  double sizePx = 12;
  bool bold = false;
  double letterSpacingPx = 0;
};

// The size of a text's ink.
void TextExtents(cairo_t* cr, const std::string& utf8, const TextStyle& style, double* w, double* h);
// Adds the text's outline to the path, its ink centred on (cx, cy).
void TextPathCentred(cairo_t* cr, const std::string& utf8, const TextStyle& style, double cx, double cy);

// Soft shadow: whatever `shape` fills (drawn into an alpha mask) is blurred
// with the given radius, offset, and composited in `color` under the current
// content.
template <typename Shape>
void SoftShadow(cairo_surface_t* target, Shape shape, double blur, double dx, double dy, Rgba color);
void BlurAlpha(cairo_surface_t* a8, int radius);

}  // namespace art

#include "tools/skinart/PaintShadow.inl"
