#include "tools/skinart/Paint.h"

#include <pango/pangocairo.h>

#include <cmath>
#include <vector>

namespace art {

Rgba Hex(unsigned rgb, double a) {
  return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, a};
}

void RoundRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  r = std::min(r, std::min(w, h) / 2);
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void SetColor(cairo_t* cr, Rgba c) { cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a); }

namespace {

void SetLinear(cairo_t* cr, double x0, double y0, double x1, double y1, std::initializer_list<Stop> stops) {
  cairo_pattern_t* p = cairo_pattern_create_linear(x0, y0, x1, y1);
  for (const Stop& s : stops) cairo_pattern_add_color_stop_rgba(p, s.at, s.color.r, s.color.g, s.color.b, s.color.a);
  cairo_set_source(cr, p);
  cairo_pattern_destroy(p);
}

PangoLayout* Layout(cairo_t* cr, const std::string& utf8, const TextStyle& style) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* d = pango_font_description_new();
  pango_font_description_set_family(d, style.family.c_str());
  pango_font_description_set_absolute_size(d, style.sizePx * PANGO_SCALE);
  pango_font_description_set_weight(d, style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_layout_set_font_description(layout, d);
  pango_font_description_free(d);
  if (style.letterSpacingPx != 0) {
    PangoAttrList* attrs = pango_attr_list_new();
    pango_attr_list_insert(attrs, pango_attr_letter_spacing_new(static_cast<int>(style.letterSpacingPx * PANGO_SCALE)));
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
  }
  pango_layout_set_text(layout, utf8.c_str(), -1);
  return layout;
}

}  // namespace

void SetVertical(cairo_t* cr, double y0, double y1, std::initializer_list<Stop> stops) {
  SetLinear(cr, 0, y0, 0, y1, stops);
}

void SetHorizontal(cairo_t* cr, double x0, double x1, std::initializer_list<Stop> stops) {
  SetLinear(cr, x0, 0, x1, 0, stops);
}

void TextExtents(cairo_t* cr, const std::string& utf8, const TextStyle& style, double* w, double* h) {
  PangoLayout* layout = Layout(cr, utf8, style);
  PangoRectangle ink;
  pango_layout_get_pixel_extents(layout, &ink, nullptr);
  *w = ink.width;
  *h = ink.height;
  g_object_unref(layout);
}

void TextPathCentred(cairo_t* cr, const std::string& utf8, const TextStyle& style, double cx, double cy) {
  PangoLayout* layout = Layout(cr, utf8, style);
  PangoRectangle ink;
  pango_layout_get_pixel_extents(layout, &ink, nullptr);
  cairo_move_to(cr, std::round(cx - ink.width / 2.0 - ink.x), std::round(cy - ink.height / 2.0 - ink.y));
  pango_cairo_layout_path(cr, layout);
  g_object_unref(layout);
}

void BlurAlpha(cairo_surface_t* a8, int radius) {
  if (radius < 1) return;
  cairo_surface_flush(a8);
  int w = cairo_image_surface_get_width(a8), h = cairo_image_surface_get_height(a8);
  int stride = cairo_image_surface_get_stride(a8);
  unsigned char* data = cairo_image_surface_get_data(a8);
  std::vector<int> line(std::max(w, h));
  // Three box passes in each direction approximate a Gaussian.
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < h; ++y) {
      unsigned char* row = data + y * stride;
      for (int x = 0; x < w; ++x) line[x] = row[x];
      int sum = 0;
      for (int x = -radius; x <= radius; ++x) sum += (x >= 0 && x < w) ? line[x] : 0;
      for (int x = 0; x < w; ++x) {
        row[x] = static_cast<unsigned char>(sum / (2 * radius + 1));
        int out = x - radius, in = x + radius + 1;
        sum += (in < w ? line[in] : 0) - (out >= 0 ? line[out] : 0);
      }
    }
    for (int x = 0; x < w; ++x) {
      for (int y = 0; y < h; ++y) line[y] = data[y * stride + x];
      int sum = 0;
      for (int y = -radius; y <= radius; ++y) sum += (y >= 0 && y < h) ? line[y] : 0;
      for (int y = 0; y < h; ++y) {
        data[y * stride + x] = static_cast<unsigned char>(sum / (2 * radius + 1));
        int out = y - radius, in = y + radius + 1;
        sum += (in < h ? line[in] : 0) - (out >= 0 ? line[out] : 0);
      }
    }
  }
  cairo_surface_mark_dirty(a8);
}

}  // namespace art
