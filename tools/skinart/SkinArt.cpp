// torvane-skinart: draws the default skin's images.
//
//   torvane-skinart OUTDIR
//
// writes OUTDIR/png/<id>.png for every image of the default skin and
// OUTDIR/icon128.png. The sizes and alpha properties are the ones the default
// skin description expects: 348 (launcher background) is a 1288 x 780 palette
// image with transparency, clear inside the launcher's browser rectangle; 347
// (game title bar) is 1250 x 32 without alpha; the rest are RGBA. Every
// button set is three images: normal, hover, pressed.
#include <cairo.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "tools/skinart/Paint.h"
#include "tools/skinart/PalettePng.h"

using namespace art;

namespace {

std::string g_out;

// The palette of the skin: deep sea blues and amber.
const unsigned kNavyDeep = 0x0A1626, kNavy = 0x13294A, kNavyLight = 0x1E3D66, kTeal = 0x1F5F73;
const unsigned kAmber = 0xF0B24A, kAmberLight = 0xFFD98A, kAmberDeep = 0xB8741E, kAmberDark = 0x7A4A12;
const unsigned kIvory = 0xF6EBD2, kCoral = 0xD9483B;

enum State { Normal = 0, Hover = 1, Pressed = 2 };

bool Save(cairo_surface_t* s, const std::string& name) {
  std::string path = g_out + "/" + name;
  if (cairo_surface_write_to_png(s, path.c_str()) != CAIRO_STATUS_SUCCESS) {
    std::fprintf(stderr, "torvane-skinart: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

bool Png(int id, int w, int h, const std::function<void(cairo_t*)>& paint) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(s);
  paint(cr);
  cairo_destroy(cr);
  bool ok = Save(s, "png/" + std::to_string(id) + ".png");
  cairo_surface_destroy(s);
  return ok;
}

void FillText(cairo_t* cr, const std::string& text, const TextStyle& st, double cx, double cy, Rgba c) {
  TextPathCentred(cr, text, st, cx, cy);
  SetColor(cr, c);
  cairo_fill(cr);
}

// A text with a one-pixel dark shadow below it, for legibility on gradients.
void EmbossedText(cairo_t* cr, const std::string& text, const TextStyle& st, double cx, double cy, Rgba c, Rgba shadow) {
  FillText(cr, text, st, cx, cy + 1, shadow);
  FillText(cr, text, st, cx, cy, c);
}

// ---- caption buttons: pay, home page, forum, customer service (84 x 26) ----

void IconPay(cairo_t* cr, double cx, double cy, Rgba c) {  // a coin
  cairo_arc(cr, cx, cy, 6, 0, 2 * M_PI);
  SetColor(cr, c);
  cairo_set_line_width(cr, 1.6);
  cairo_stroke(cr);
  cairo_move_to(cr, cx - 2.5, cy - 3);
  cairo_line_to(cr, cx, cy);
  cairo_line_to(cr, cx + 2.5, cy - 3);
  cairo_move_to(cr, cx - 3, cy + 0.5);
  cairo_line_to(cr, cx + 3, cy + 0.5);
  cairo_move_to(cr, cx, cy);
  cairo_line_to(cr, cx, cy + 3.5);
  cairo_set_line_width(cr, 1.3);
  cairo_stroke(cr);
}

void IconHome(cairo_t* cr, double cx, double cy, Rgba c) {  // a house
  SetColor(cr, c);
  cairo_move_to(cr, cx - 6.5, cy - 0.5);
  cairo_line_to(cr, cx, cy - 6.5);
  cairo_line_to(cr, cx + 6.5, cy - 0.5);
  cairo_set_line_width(cr, 1.6);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_stroke(cr);
  cairo_rectangle(cr, cx - 4.5, cy - 1, 9, 7);
  cairo_fill(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_rectangle(cr, cx - 1.2, cy + 2, 2.4, 4);
  cairo_fill(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
}

void IconForum(cairo_t* cr, double cx, double cy, Rgba c) {  // speech bubble
  SetColor(cr, c);
  RoundRect(cr, cx - 7, cy - 5.5, 14, 9.5, 3);
  cairo_move_to(cr, cx - 3, cy + 3.5);
  cairo_line_to(cr, cx - 5, cy + 7);
  cairo_line_to(cr, cx + 1, cy + 3.5);
  cairo_fill(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  for (int i = -1; i <= 1; ++i) {
    cairo_arc(cr, cx + i * 3.6, cy - 0.8, 1.1, 0, 2 * M_PI);
    cairo_fill(cr);
  }
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
}

void IconService(cairo_t* cr, double cx, double cy, Rgba c) {  // headset
  SetColor(cr, c);
  cairo_set_line_width(cr, 1.6);
  cairo_arc(cr, cx, cy + 0.5, 6, M_PI, 2 * M_PI);
  cairo_stroke(cr);
  RoundRect(cr, cx - 7.5, cy, 3.5, 5.5, 1.5);
  RoundRect(cr, cx + 4, cy, 3.5, 5.5, 1.5);
  cairo_fill(cr);
  cairo_set_line_width(cr, 1.1);
  cairo_move_to(cr, cx + 5.5, cy + 5.5);
  cairo_curve_to(cr, cx + 5.5, cy + 7.5, cx + 3, cy + 7.5, cx + 1, cy + 7.5);
  cairo_stroke(cr);
}

void CaptionButton(cairo_t* cr, int state, const std::string& label, void (*icon)(cairo_t*, double, double, Rgba),
                   bool accent) {
  const double w = 84, h = 26;
  double off = state == Pressed ? 1 : 0;
  // Plate.
  RoundRect(cr, 0.5, 0.5, w - 1, h - 1, 6);
  if (state == Normal) {
    if (accent)
      SetVertical(cr, 0, h, {{0, Hex(0xE0913A)}, {0.5, Hex(0xC46A24)}, {1, Hex(0x8F4514)}});
    else
      SetVertical(cr, 0, h, {{0, Hex(kNavyLight)}, {0.5, Hex(kNavy)}, {1, Hex(kNavyDeep)}});
  } else if (state == Hover) {
    if (accent)
      SetVertical(cr, 0, h, {{0, Hex(0xFFC46A)}, {0.5, Hex(0xF08E32)}, {1, Hex(0xB9591C)}});
    else
      SetVertical(cr, 0, h, {{0, Hex(0x2E5E8E)}, {0.5, Hex(0x204A74)}, {1, Hex(0x15325A)}});
  } else {
    if (accent)
      SetVertical(cr, 0, h, {{0, Hex(0x8A4012)}, {0.6, Hex(0xB45E20)}, {1, Hex(0xC8762E)}});
    else
      SetVertical(cr, 0, h, {{0, Hex(kNavyDeep)}, {0.6, Hex(kNavy)}, {1, Hex(0x1A3558)}});
  }
  cairo_fill_preserve(cr);
  // Rim: amber, brighter on hover.
  SetVertical(cr, 0, h,
              {{0, Hex(state == Hover ? kAmberLight : kAmber, state == Pressed ? 0.7 : 1)},
               {1, Hex(kAmberDeep, state == Pressed ? 0.7 : 0.9)}});
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  // Gloss on the upper half.
  if (state != Pressed) {
    RoundRect(cr, 2, 1.5, w - 4, h / 2 - 1, 5);
    SetVertical(cr, 1.5, h / 2, {{0, Hex(0xFFFFFF, state == Hover ? 0.28 : 0.16)}, {1, Hex(0xFFFFFF, 0.0)}});
    cairo_fill(cr);
  }
  Rgba ink = state == Hover ? Hex(0xFFFFFF) : accent ? Hex(0xFFF3DC) : Hex(kAmberLight);
  if (state == Pressed) ink = Hex(accent ? 0xFFE2B8 : kAmber);
  icon(cr, 20 + off, 13 + off, ink);
  TextStyle st;
  st.sizePx = 13;
  st.bold = true;
  st.letterSpacingPx = 1;
  EmbossedText(cr, label, st, 50 + off, 13 + off, ink, Hex(0x000000, 0.55));
}

// ---- title-bar glyph buttons (24 x 20): close, minimise, maximise, restore, pack ----

enum class Glyph { Close, Min, Max, Restore, Pack };

void DrawGlyph(cairo_t* cr, Glyph g, double cx, double cy, double s, Rgba c, double lw) {
  SetColor(cr, c);
  cairo_set_line_width(cr, lw);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  switch (g) {
    case Glyph::Close:
      cairo_move_to(cr, cx - s, cy - s);
      cairo_line_to(cr, cx + s, cy + s);
      cairo_move_to(cr, cx + s, cy - s);
      cairo_line_to(cr, cx - s, cy + s);
      break;
    case Glyph::Min:
      cairo_move_to(cr, cx - s, cy + s * 0.6);
      cairo_line_to(cr, cx + s, cy + s * 0.6);
      break;
    case Glyph::Max:
      cairo_rectangle(cr, cx - s, cy - s * 0.85, 2 * s, 1.7 * s);
      cairo_stroke(cr);
      cairo_move_to(cr, cx - s, cy - s * 0.85 + lw * 0.7);
      cairo_line_to(cr, cx + s, cy - s * 0.85 + lw * 0.7);
      break;
    case Glyph::Restore:
      cairo_rectangle(cr, cx - s + 2.5, cy - s, 2 * s - 2.5, 1.5 * s - 1.5);
      cairo_stroke(cr);
      cairo_rectangle(cr, cx - s, cy - s + 3, 2 * s - 2.5, 1.5 * s - 1.5);
      SetColor(cr, Hex(kNavyDeep, 0.0));
      cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
      SetColor(cr, c);
      break;
    case Glyph::Pack:  // a chevron up over a bar: fold the window away
      cairo_move_to(cr, cx - s, cy + s * 0.2);
      cairo_line_to(cr, cx, cy - s * 0.8);
      cairo_line_to(cr, cx + s, cy + s * 0.2);
      cairo_move_to(cr, cx - s, cy + s);
      cairo_line_to(cr, cx + s, cy + s);
      break;
  }
  cairo_stroke(cr);
}

void GlyphButton(cairo_t* cr, int state, Glyph g) {
  const double w = 24, h = 20;
  double off = state == Pressed ? 0.8 : 0;
  bool danger = g == Glyph::Close;
  if (state != Normal) {
    RoundRect(cr, 1, 1, w - 2, h - 2, 4);
    if (danger)
      SetVertical(cr, 1, h - 1,
                  state == Hover ? std::initializer_list<Stop>{{0, Hex(0xF06A55)}, {1, Hex(0xB8281F)}}
                                 : std::initializer_list<Stop>{{0, Hex(0x8E1E17)}, {1, Hex(0xB8342A)}});
    else
      SetVertical(cr, 1, h - 1,
                  state == Hover ? std::initializer_list<Stop>{{0, Hex(0x3A6E9E)}, {1, Hex(0x1C4068)}}
                                 : std::initializer_list<Stop>{{0, Hex(0x0C1B30)}, {1, Hex(0x1A365A)}});
    cairo_fill_preserve(cr);
    SetColor(cr, Hex(state == Hover ? kAmberLight : kAmberDeep, 0.8));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
  } else {
    // A faint plate so the glyph reads on any bar.
    RoundRect(cr, 1, 1, w - 2, h - 2, 4);
    SetColor(cr, Hex(0xFFFFFF, 0.06));
    cairo_fill(cr);
  }
  Rgba ink = state == Normal ? Hex(kAmberLight) : Hex(0xFFFFFF);
  if (g == Glyph::Restore) {
    // Two overlapping windows, the back one only where the front one is not.
    double cx = 12 + off, cy = 10 + off;
    SetColor(cr, ink);
    cairo_set_line_width(cr, 1.4);
    cairo_move_to(cr, cx - 2.5, cy - 3);
    cairo_line_to(cr, cx - 2.5, cy - 5.5);
    cairo_line_to(cr, cx + 5.5, cy - 5.5);
    cairo_line_to(cr, cx + 5.5, cy + 1.5);
    cairo_line_to(cr, cx + 3, cy + 1.5);
    cairo_stroke(cr);
    cairo_rectangle(cr, cx - 5.5, cy - 2.5, 8, 7.5);
    cairo_stroke(cr);
    return;
  }
  double s = g == Glyph::Close ? 4.2 : 5;
  DrawGlyph(cr, g, 12 + off, 10 + off, s, Hex(0x000000, 0.45), 1.8);
  DrawGlyph(cr, g, 12 + off, 9.4 + off, s, ink, 1.7);
}

// ---- small text buttons of the game bar: refresh (51 x 16) and clear cache (79 x 15) ----

void IconRefresh(cairo_t* cr, double cx, double cy, Rgba c) {
  SetColor(cr, c);
  cairo_set_line_width(cr, 1.5);
  cairo_arc(cr, cx, cy, 4.2, -M_PI * 0.35, M_PI * 1.35);
  cairo_stroke(cr);
  double ax = cx + 4.2 * std::cos(-M_PI * 0.35), ay = cy + 4.2 * std::sin(-M_PI * 0.35);
  cairo_move_to(cr, ax + 2.6, ay - 0.6);
  cairo_line_to(cr, ax - 0.2, ay + 2.8);
  cairo_line_to(cr, ax - 1.6, ay - 2.2);
  cairo_close_path(cr);
  cairo_fill(cr);
}

void IconBroom(cairo_t* cr, double cx, double cy, Rgba c) {
  SetColor(cr, c);
  cairo_set_line_width(cr, 1.4);
  cairo_move_to(cr, cx + 4, cy - 5);
  cairo_line_to(cr, cx, cy);
  cairo_stroke(cr);
  cairo_move_to(cr, cx - 1.5, cy - 1.5);
  cairo_line_to(cr, cx + 1.5, cy + 1.5);
  cairo_line_to(cr, cx - 2, cy + 5);
  cairo_line_to(cr, cx - 5.5, cy + 1.5);
  cairo_close_path(cr);
  cairo_fill(cr);
}

// A small pill with an icon and a caption. Hover images are bigger than the
// button by `grow` pixels right and down (the button keeps its top-left
// corner), which holds a soft amber glow.
void TextPill(cairo_t* surfaceCr, int state, double w, double h, int grow, const std::string& label,
              void (*icon)(cairo_t*, double, double, Rgba), double fontPx) {
  cairo_t* cr = surfaceCr;
  if (state == Hover && grow > 0) {
    cairo_surface_t* target = cairo_get_target(cr);
    SoftShadow(
        target, [&](cairo_t* m) { RoundRect(m, 0, 0, w + grow / 2.0, h + grow / 2.0, h / 2); }, grow / 2.0, 0.5, 0.5,
        Hex(kAmber, 0.85));
  }
  double off = state == Pressed ? 0.7 : 0;
  RoundRect(cr, 0.5, 0.5, w - 1, h - 1, h / 2);
  if (state == Normal)
    SetVertical(cr, 0, h, {{0, Hex(0x24476F, 0.95)}, {1, Hex(0x10243F, 0.95)}});
  else if (state == Hover)
    SetVertical(cr, 0, h, {{0, Hex(0x3A6A98)}, {1, Hex(0x1B3C63)}});
  else
    SetVertical(cr, 0, h, {{0, Hex(0x0B182B)}, {1, Hex(0x1A3457)}});
  cairo_fill_preserve(cr);
  SetColor(cr, Hex(state == Hover ? kAmberLight : kAmberDeep, state == Normal ? 0.8 : 1));
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  Rgba ink = state == Hover ? Hex(0xFFFFFF) : Hex(kAmberLight);
  icon(cr, h / 2 + 3 + off, h / 2 + off, ink);
  TextStyle st;
  st.sizePx = fontPx;
  st.bold = true;
  EmbossedText(cr, label, st, (h + 3 + w) / 2 + off, h / 2 + off, ink, Hex(0x000000, 0.5));
}

// ---- launcher round buttons: close 48 x 41, minimise 42 x 35 ----

void RoundButton(cairo_t* cr, int state, double cx, double cy, double r, Glyph g) {
  cairo_surface_t* target = cairo_get_target(cr);
  SoftShadow(
      target, [&](cairo_t* m) { cairo_arc(m, cx, cy, r, 0, 2 * M_PI); }, 2, 0, 1.5, Hex(0x000000, 0.6));
  double off = state == Pressed ? 1 : 0;
  cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
  bool danger = g == Glyph::Close;
  cairo_pattern_t* p = cairo_pattern_create_radial(cx - r * 0.3, cy - r * 0.4, r * 0.1, cx, cy, r);
  auto stop = [&](double at, unsigned rgb) {
    Rgba c = Hex(rgb);
    cairo_pattern_add_color_stop_rgb(p, at, c.r, c.g, c.b);
  };
  if (state == Normal) {
    stop(0, danger ? 0xFFCF7A : 0xFFE3A8);
    stop(1, danger ? 0xB8621A : 0xA8701F);
  } else if (state == Hover) {
    stop(0, danger ? 0xFFB08A : 0xFFF2CC);
    stop(1, danger ? 0xD1381F : 0xD08A28);
  } else {
    stop(0, danger ? 0x9A2A14 : 0x8A5614);
    stop(1, danger ? 0xE05A2E : 0xC78A34);
  }
  cairo_set_source(cr, p);
  cairo_pattern_destroy(p);
  cairo_fill_preserve(cr);
  SetColor(cr, Hex(kAmberDark));
  cairo_set_line_width(cr, 1.5);
  cairo_stroke(cr);
  cairo_arc(cr, cx, cy, r - 2.5, 0, 2 * M_PI);
  SetColor(cr, Hex(0xFFFFFF, state == Pressed ? 0.15 : 0.35));
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  double s = r * 0.36;
  DrawGlyph(cr, g, cx + off, cy + off + 0.8, s, Hex(0x000000, 0.35), r * 0.2);
  DrawGlyph(cr, g, cx + off, cy + off, s, Hex(0x3A1E05), r * 0.18);
}

// ---- the game title bar (1250 x 32, opaque; margins 120, 1, 10, 1) ----

void Compass(cairo_t* cr, double cx, double cy, double r, double lw) {
  cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
  cairo_pattern_t* p = cairo_pattern_create_radial(cx - r * 0.3, cy - r * 0.3, r * 0.1, cx, cy, r);
  Rgba a = Hex(kAmberLight), b = Hex(kAmberDeep);
  cairo_pattern_add_color_stop_rgb(p, 0, a.r, a.g, a.b);
  cairo_pattern_add_color_stop_rgb(p, 1, b.r, b.g, b.b);
  cairo_set_source(cr, p);
  cairo_pattern_destroy(p);
  cairo_fill_preserve(cr);
  SetColor(cr, Hex(kAmberDark));
  cairo_set_line_width(cr, lw);
  cairo_stroke(cr);
  cairo_arc(cr, cx, cy, r * 0.78, 0, 2 * M_PI);
  SetColor(cr, Hex(kNavy));
  cairo_fill(cr);
  // Eight-pointed star.
  for (int i = 0; i < 8; ++i) {
    double ang = i * M_PI / 4 - M_PI / 2;
    double len = (i % 2 == 0) ? r * 0.74 : r * 0.45;
    double side = r * 0.14;
    cairo_move_to(cr, cx + std::cos(ang) * len, cy + std::sin(ang) * len);
    cairo_line_to(cr, cx + std::cos(ang + M_PI / 2) * side, cy + std::sin(ang + M_PI / 2) * side);
    cairo_line_to(cr, cx + std::cos(ang - M_PI / 2) * side, cy + std::sin(ang - M_PI / 2) * side);
    cairo_close_path(cr);
    SetColor(cr, i == 0 ? Hex(kCoral) : (i % 2 == 0 ? Hex(kAmberLight) : Hex(kAmber)));
    cairo_fill(cr);
  }
  cairo_arc(cr, cx, cy, r * 0.12, 0, 2 * M_PI);
  SetColor(cr, Hex(kIvory));
  cairo_fill(cr);
}

bool TitleBar() {
  const int w = 1250, h = 32;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  cairo_t* cr = cairo_create(s);
  // Rows 1..30 are a vertical gradient, the same in every column of the middle
  // (which stretches); row 0 a highlight, row 31 an amber rule.
  SetVertical(cr, 1, 31, {{0, Hex(0x1D3D63)}, {0.5, Hex(0x132B4A)}, {1, Hex(0x0B1A2E)}});
  cairo_paint(cr);
  cairo_rectangle(cr, 0, 0, w, 1);
  SetColor(cr, Hex(0x3C6894));
  cairo_fill(cr);
  cairo_rectangle(cr, 0, 31, w, 1);
  SetColor(cr, Hex(kAmberDeep));
  cairo_fill(cr);
  // The left 120 columns: compass and name.
  Compass(cr, 16, 16, 11, 1);
  TextStyle st;
  st.sizePx = 15;
  st.bold = true;
  st.letterSpacingPx = 1;
  TextPathCentred(cr, "\u7425\u73C0\u822A\u7EBF", st, 68, 15.5);  // the game's name
  SetVertical(cr, 8, 24, {{0, Hex(kAmberLight)}, {1, Hex(kAmber)}});
  cairo_fill(cr);
  // The right 10 columns: an end cap.
  SetHorizontal(cr, w - 10, w, {{0, Hex(0x132B4A)}, {1, Hex(0x0A1626)}});
  cairo_rectangle(cr, w - 10, 1, 10, 30);
  cairo_fill(cr);
  cairo_rectangle(cr, w - 3, 1, 1, 30);
  SetColor(cr, Hex(kAmberDeep));
  cairo_fill(cr);
  cairo_destroy(cr);
  bool ok = Save(s, "png/347.png");
  cairo_surface_destroy(s);
  return ok;
}

// ---- the launcher background (1288 x 780, palette with transparency) ----

// The launcher window is 1222 wide; the image is cut off at its right edge.
// Its browser rectangle is (471, 262) to (1151, 632).
constexpr double kPanelX = 440, kPanelY = 168, kPanelW = 742, kPanelH = 500, kPanelR = 20;
constexpr double kIeX = 471, kIeY = 262, kIeW = 680, kIeH = 370;

void PanelPath(cairo_t* cr) { RoundRect(cr, kPanelX, kPanelY, kPanelW, kPanelH, kPanelR); }

void EmblemPath(cairo_t* cr) { cairo_arc(cr, 262, 330, 156, 0, 2 * M_PI); }

bool LauncherBackground() {
  const int w = 1288, h = 780;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(s);

  // The emblem at the left: a great compass ring with the game's name below.
  {
    cairo_save(cr);
    EmblemPath(cr);
    cairo_pattern_t* p = cairo_pattern_create_radial(220, 280, 20, 262, 330, 156);
    Rgba a = Hex(0x2A5C8A), b = Hex(kNavyDeep);
    cairo_pattern_add_color_stop_rgb(p, 0, a.r, a.g, a.b);
    cairo_pattern_add_color_stop_rgb(p, 1, b.r, b.g, b.b);
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
    cairo_fill(cr);
    // Rings.
    for (auto [r, lw, c] : {std::tuple{152.0, 6.0, kAmberDeep}, {146.0, 1.5, kAmberLight}, {118.0, 1.2, kAmber}}) {
      cairo_arc(cr, 262, 330, r, 0, 2 * M_PI);
      SetColor(cr, Hex(c));
      cairo_set_line_width(cr, lw);
      cairo_stroke(cr);
    }
    // Degree ticks between the outer rings.
    for (int i = 0; i < 72; ++i) {
      double ang = i * M_PI / 36;
      double r1 = 136, r2 = i % 2 ? 141 : 144;
      cairo_move_to(cr, 262 + std::cos(ang) * r1, 330 + std::sin(ang) * r1);
      cairo_line_to(cr, 262 + std::cos(ang) * r2, 330 + std::sin(ang) * r2);
    }
    SetColor(cr, Hex(kAmber, 0.9));
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
    // The star.
    for (int i = 0; i < 16; ++i) {
      double ang = i * M_PI / 8 - M_PI / 2;
      double len = i % 4 == 0 ? 112 : (i % 2 == 0 ? 78 : 52);
      double side = i % 4 == 0 ? 16 : 10;
      for (int half = 0; half < 2; ++half) {
        double sgn = half ? 1 : -1;
        cairo_move_to(cr, 262, 330);
        cairo_line_to(cr, 262 + std::cos(ang) * len, 330 + std::sin(ang) * len);
        cairo_line_to(cr, 262 + std::cos(ang + sgn * M_PI / 2) * side, 330 + std::sin(ang + sgn * M_PI / 2) * side);
        cairo_close_path(cr);
        Rgba c = i == 0 ? Hex(half ? 0xE85A48 : 0xB8342A)
                        : Hex(i % 4 == 0 ? (half ? kAmberLight : kAmber) : (half ? kAmber : kAmberDeep),
                              i % 4 == 0 ? 1 : 0.85);
        SetColor(cr, c);
        cairo_fill(cr);
      }
    }
    cairo_arc(cr, 262, 330, 13, 0, 2 * M_PI);
    SetColor(cr, Hex(kIvory));
    cairo_fill_preserve(cr);
    SetColor(cr, Hex(kAmberDark));
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
    cairo_restore(cr);
  }
  // The name banner under the emblem.
  {
    RoundRect(cr, 92, 470, 340, 96, 18);
    SetVertical(cr, 470, 566, {{0, Hex(kNavyLight, 0.96)}, {1, Hex(kNavyDeep, 0.96)}});
    cairo_fill_preserve(cr);
    SetVertical(cr, 470, 566, {{0, Hex(kAmberLight)}, {1, Hex(kAmberDeep)}});
    cairo_set_line_width(cr, 2.5);
    cairo_stroke(cr);
    TextStyle big;
    big.sizePx = 52;
    big.bold = true;
    big.letterSpacingPx = 6;
    TextPathCentred(cr, "\u7425\u73C0\u822A\u7EBF", big, 262, 510);
    cairo_save(cr);
    cairo_translate(cr, 0, 2);
    SetColor(cr, Hex(0x000000, 0.6));
    cairo_fill(cr);
    cairo_restore(cr);
    TextPathCentred(cr, "\u7425\u73C0\u822A\u7EBF", big, 262, 508);
    SetVertical(cr, 482, 534, {{0, Hex(0xFFF1C4)}, {0.5, Hex(kAmber)}, {1, Hex(kAmberDeep)}});
    cairo_fill_preserve(cr);
    SetColor(cr, Hex(kAmberDark));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    TextStyle small;
    small.family = "DejaVu Sans";
    small.sizePx = 13;
    small.bold = true;
    small.letterSpacingPx = 7;
    FillText(cr, "AMBER ROUTE", small, 262, 550, Hex(kAmberLight, 0.9));
  }

  // The main panel.
  PanelPath(cr);
  SetVertical(cr, kPanelY, kPanelY + kPanelH,
              {{0, Hex(0x1A3658)}, {0.18, Hex(kNavy)}, {0.7, Hex(0x0E2038)}, {1, Hex(kNavyDeep)}});
  cairo_fill(cr);
  // Header band with a faint wave pattern.
  {
    cairo_save(cr);
    PanelPath(cr);
    cairo_clip(cr);
    cairo_rectangle(cr, kPanelX, kPanelY, kPanelW, 88);
    SetVertical(cr, kPanelY, kPanelY + 88, {{0, Hex(0x28507E)}, {1, Hex(0x152F50)}});
    cairo_fill(cr);
    for (int k = 0; k < 5; ++k) {
      double y0 = kPanelY + 20 + k * 14;
      cairo_move_to(cr, kPanelX, y0);
      for (double x = kPanelX; x <= kPanelX + kPanelW; x += 4)
        cairo_line_to(cr, x, y0 + 3 * std::sin((x - kPanelX) / 38.0 + k));
      SetColor(cr, Hex(0xFFFFFF, 0.035));
      cairo_set_line_width(cr, 2);
      cairo_stroke(cr);
    }
    cairo_rectangle(cr, kPanelX, kPanelY + 88, kPanelW, 2);
    SetHorizontal(cr, kPanelX, kPanelX + kPanelW,
                  {{0, Hex(kAmberDeep, 0)}, {0.15, Hex(kAmber)}, {0.85, Hex(kAmber)}, {1, Hex(kAmberDeep, 0)}});
    cairo_fill(cr);
    cairo_restore(cr);
  }
  // Compass and name at the left of the header.
  Compass(cr, kPanelX + 36, kPanelY + 34, 18, 1.5);
  {
    TextStyle st;
    st.sizePx = 22;
    st.bold = true;
    st.letterSpacingPx = 2;
    TextPathCentred(cr, "\u7425\u73C0\u822A\u7EBF", st, kPanelX + 112, kPanelY + 34);
    SetVertical(cr, kPanelY + 22, kPanelY + 46, {{0, Hex(0xFFF1C4)}, {1, Hex(kAmber)}});
    cairo_fill(cr);
  }
  // The footer line under the browser.
  {
    TextStyle st;
    st.sizePx = 12;
    FillText(cr, "\u626C\u5E06\u8D77\u822A \u00B7 \u7425\u73C0\u822A\u7EBF\u6B22\u8FCE\u60A8", st, kIeX + kIeW / 2,
             kIeY + kIeH + 18, Hex(kAmberLight, 0.75));
  }
  // Outline: amber rim with an inner highlight.
  PanelPath(cr);
  SetVertical(cr, kPanelY, kPanelY + kPanelH, {{0, Hex(kAmberLight)}, {0.5, Hex(kAmber)}, {1, Hex(kAmberDeep)}});
  cairo_set_line_width(cr, 3);
  cairo_stroke(cr);
  RoundRect(cr, kPanelX + 3.5, kPanelY + 3.5, kPanelW - 7, kPanelH - 7, kPanelR - 3);
  SetColor(cr, Hex(0xFFFFFF, 0.12));
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  // The frame around the browser.
  cairo_rectangle(cr, kIeX - 3, kIeY - 3, kIeW + 6, kIeH + 6);
  SetVertical(cr, kIeY - 3, kIeY + kIeH + 3, {{0, Hex(kAmber)}, {1, Hex(kAmberDeep)}});
  cairo_fill(cr);
  cairo_destroy(cr);

  // Soft shadow under the panel and the emblem.
  SoftShadow(
      s,
      [](cairo_t* m) {
        PanelPath(m);
        cairo_fill(m);
        EmblemPath(m);
        cairo_fill(m);
        RoundRect(m, 92, 470, 340, 96, 18);
      },
      8, 0, 6, Hex(0x000000, 0.75));

  // The browser shows through: clear inside its rectangle.
  cr = cairo_create(s);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_rectangle(cr, kIeX, kIeY, kIeW, kIeH);
  cairo_fill(cr);
  cairo_destroy(cr);

  // Check what the skin expects before writing.
  cairo_surface_flush(s);
  const unsigned char* d = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  long clear = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) clear += d[y * stride + x * 4 + 3] == 0;
  if (clear * 2 <= static_cast<long>(w) * h) {
    std::fprintf(stderr, "torvane-skinart: the launcher background is not mostly transparent\n");
    return false;
  }
  bool ok = WritePalettePng(s, g_out + "/png/348.png");
  cairo_surface_destroy(s);
  return ok;
}

bool Icon() {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 128, 128);
  cairo_t* cr = cairo_create(s);
  RoundRect(cr, 6, 6, 116, 116, 26);
  SetVertical(cr, 6, 122, {{0, Hex(0x2A5888)}, {1, Hex(kNavyDeep)}});
  cairo_fill_preserve(cr);
  SetVertical(cr, 6, 122, {{0, Hex(kAmberLight)}, {1, Hex(kAmberDeep)}});
  cairo_set_line_width(cr, 4);
  cairo_stroke(cr);
  Compass(cr, 64, 64, 44, 3);
  cairo_destroy(cr);
  bool ok = Save(s, "icon128.png");
  cairo_surface_destroy(s);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: torvane-skinart OUTDIR\n");
    return 2;
  }
  g_out = argv[1];
  mkdir(g_out.c_str(), 0755);
  mkdir((g_out + "/png").c_str(), 0755);

  bool ok = true;
  for (int st = 0; st < 3; ++st) {
    ok &= Png(311 + st, 48, 41, [&](cairo_t* cr) { RoundButton(cr, st, 24, 20, 15, Glyph::Close); });
    ok &= Png(314 + st, 42, 35, [&](cairo_t* cr) { RoundButton(cr, st, 21, 12, 11, Glyph::Min); });
    ok &= Png(318 + st, 24, 20, [&](cairo_t* cr) { GlyphButton(cr, st, Glyph::Close); });
    ok &= Png(321 + st, 24, 20, [&](cairo_t* cr) { GlyphButton(cr, st, Glyph::Min); });
    ok &= Png(324 + st, 24, 20, [&](cairo_t* cr) { GlyphButton(cr, st, Glyph::Max); });
    ok &= Png(327 + st, 24, 20, [&](cairo_t* cr) { GlyphButton(cr, st, Glyph::Restore); });
    ok &= Png(330 + st, 24, 20, [&](cairo_t* cr) { GlyphButton(cr, st, Glyph::Pack); });
    ok &= Png(334 + st, 84, 26, [&](cairo_t* cr) { CaptionButton(cr, st, "\u8BBA\u575B", IconForum, false); });
    ok &= Png(337 + st, 84, 26, [&](cairo_t* cr) { CaptionButton(cr, st, "\u5B98\u7F51", IconHome, false); });
    ok &= Png(340 + st, 84, 26, [&](cairo_t* cr) { CaptionButton(cr, st, "\u5BA2\u670D", IconService, false); });
    ok &= Png(343 + st, 84, 26, [&](cairo_t* cr) { CaptionButton(cr, st, "\u5145\u503C", IconPay, true); });
    bool hover = st == Hover;
    ok &= Png(350 + st, hover ? 55 : 51, hover ? 20 : 16, [&](cairo_t* cr) {
      TextPill(cr, st, 51, 16, hover ? 4 : 0, "\u5237\u65B0", IconRefresh, 11);
    });
    ok &= Png(353 + st, hover ? 83 : 79, hover ? 19 : 15, [&](cairo_t* cr) {
      TextPill(cr, st, 79, 15, hover ? 4 : 0, "\u6E05\u7406\u7F13\u5B58", IconBroom, 11);
    });
  }
  ok &= TitleBar();
  ok &= LauncherBackground();
  ok &= Icon();
  return ok ? 0 : 1;
}
