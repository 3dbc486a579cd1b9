// One line of text drawn with Pango, the way the skinned windows and buttons
// draw their texts: a family (the platform's sans-serif where the system has
// no such family), an em size in pixels, style bits, an opaque colour, a
// layout box; never wrapped.
//
// Threads: the user-interface thread (Pango's font map is not shared).
#pragma once

#include <string>
#include <string_view>

#include "platform/ui/Types.h"

struct _cairo;

namespace gfx {

// Style bits of a skin font.
constexpr int kFontBold = 1;
constexpr int kFontItalic = 2;
constexpr int kFontUnderline = 4;
constexpr int kFontStrikeout = 8;

struct FontSpec {
  std::string family;  // empty: sans-serif
  int sizePx = 0;      // em size in pixels; below 1 draws nothing
  int style = 0;       // kFont* bits
};

enum class HAlign { Near, Center, Far };
enum class VAlign { Top, Center, Bottom };
enum class Trimming {
  Ellipsis,  // a text that does not fit ends in "…"
  Clip,      // a text that does not fit is cut at the box
};

struct TextFormat {
  HAlign align = HAlign::Near;
  VAlign lineAlign = VAlign::Center;
  Trimming trimming = Trimming::Ellipsis;
};

// The family Pango is given: `family` when fontconfig knows a font of that
// family name, otherwise "sans-serif". Results are cached.
std::string ResolveFontFamily(const std::string& family);

// Draws `utf8` on one line into the box (x, y, w, h), clipped to the box, in
// the opaque colour 0x00BBGGRR. Returns false (and draws nothing) for a null
// context, an empty text, a font size below 1 or an empty box.
bool DrawTextLine(_cairo* dc, std::string_view utf8, const FontSpec& font, COLORREF color, double x, double y,
                  double w, double h, const TextFormat& format = {});

// The width in pixels the text takes on one line with that font (0 for an
// empty text or a size below 1).
double MeasureTextWidth(_cairo* dc, std::string_view utf8, const FontSpec& font);

}  // namespace gfx
