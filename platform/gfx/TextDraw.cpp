#include "platform/gfx/TextDraw.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <map>
#include <mutex>

namespace gfx {
namespace {

// The widest layout box in pixels: Pango measures in ints of 1/1024 pixel.
constexpr double kMaxLayoutWidth = 1 << 20;

bool FontconfigHasFamily(const std::string& family) {
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return false;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
  bool found = fonts && fonts->nfont > 0;
  if (fonts) FcFontSetDestroy(fonts);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  return found;
}

PangoLayout* MakeLayout(cairo_t* dc, std::string_view utf8, const FontSpec& font) {
  PangoLayout* layout = pango_cairo_create_layout(dc);
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, ResolveFontFamily(font.family).c_str());
  pango_font_description_set_absolute_size(desc, static_cast<double>(font.sizePx) * PANGO_SCALE);
  pango_font_description_set_weight(desc, (font.style & kFontBold) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(desc, (font.style & kFontItalic) ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);
  if (font.style & (kFontUnderline | kFontStrikeout)) {
    PangoAttrList* attrs = pango_attr_list_new();
    if (font.style & kFontUnderline) pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (font.style & kFontStrikeout) pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
  }
  pango_layout_set_single_paragraph_mode(layout, TRUE);
  pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
  return layout;
}

}  // namespace

std::string ResolveFontFamily(const std::string& family) {
  static std::mutex lock;
  static std::map<std::string, std::string> cache;
  if (family.empty()) return "sans-serif";
  std::lock_guard<std::mutex> hold(lock);
  auto it = cache.find(family);
  if (it != cache.end()) return it->second;
  std::string resolved = FontconfigHasFamily(family) ? family : "sans-serif";
  cache.emplace(family, resolved);
  return resolved;
}

bool DrawTextLine(cairo_t* dc, std::string_view utf8, const FontSpec& font, COLORREF color, double x, double y,
                  double w, double h, const TextFormat& format) {
  if (!dc || utf8.empty() || font.sizePx < 1 || !(w > 0) || !(h > 0)) return false;
  if (cairo_status(dc) != CAIRO_STATUS_SUCCESS) return false;
  // Only the part of the box inside the context's clip can show. Working on
  // that part keeps every number handed to cairo and Pango small, whatever
  // the box: cairo's fixed-point coordinates and Pango's int units overflow
  // long before a 32-bit skin number does.
  double cx1, cy1, cx2, cy2;
  cairo_clip_extents(dc, &cx1, &cy1, &cx2, &cy2);
  const double vx1 = std::max(x, cx1), vx2 = std::min(x + w, cx2);
  const double vy1 = std::max(y, cy1), vy2 = std::min(y + h, cy2);
  if (!(vx1 < vx2) || !(vy1 < vy2)) return true;  // nothing of the box is visible

  PangoLayout* layout = MakeLayout(dc, utf8, font);
  // The layout box that Pango aligns and ellipsizes in: the box itself, or,
  // for a box wider than Pango can measure, the part of it where the text
  // lands.
  const double lw = std::min(w, kMaxLayoutWidth);
  double lx = x;
  if (format.align == HAlign::Center) lx = x + (w - lw) / 2.0;
  if (format.align == HAlign::Far) lx = x + w - lw;
  if (format.trimming == Trimming::Ellipsis) {
    pango_layout_set_width(layout, static_cast<int>(lw * PANGO_SCALE));
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  }
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout, nullptr, &logical);
  double tx = x;
  double inkWidth = logical.width;
  if (format.trimming == Trimming::Ellipsis) {
    // The layout is as wide as its box; Pango aligns inside it.
    pango_layout_set_alignment(layout, format.align == HAlign::Near     ? PANGO_ALIGN_LEFT
                                       : format.align == HAlign::Center ? PANGO_ALIGN_CENTER
                                                                        : PANGO_ALIGN_RIGHT);
    tx = lx;
    inkWidth = lw;
  } else if (format.align == HAlign::Center) {
    tx = x + (w - logical.width) / 2.0;
  } else if (format.align == HAlign::Far) {
    tx = x + w - logical.width;
  }
  double ty = y;
  if (format.lineAlign == VAlign::Center) ty = y + (h - logical.height) / 2.0;
  if (format.lineAlign == VAlign::Bottom) ty = y + h - logical.height;

  if (tx + inkWidth > vx1 && tx < vx2 && ty + logical.height > vy1 && ty < vy2) {
    cairo_save(dc);
    cairo_rectangle(dc, vx1, vy1, vx2 - vx1, vy2 - vy1);
    cairo_clip(dc);
    cairo_set_operator(dc, CAIRO_OPERATOR_OVER);
    cairo_set_source_rgb(dc, GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
    cairo_move_to(dc, tx, ty);
    pango_cairo_show_layout(dc, layout);
    cairo_restore(dc);
  }
  g_object_unref(layout);
  return true;
}

double MeasureTextWidth(cairo_t* dc, std::string_view utf8, const FontSpec& font) {
  if (!dc || utf8.empty() || font.sizePx < 1) return 0;
  PangoLayout* layout = MakeLayout(dc, utf8, font);
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout, nullptr, &logical);
  g_object_unref(layout);
  return logical.width;
}

}  // namespace gfx
