// The value syntax of the skin description: comma lists, colours and
// nine-part margins.
//
// Threads: pure functions, any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Types.h"

// The pieces between separators, in order: consecutive separators give an
// empty piece, a separator at the very end adds none after it, text without a
// separator is one piece and the empty text is one empty piece.
std::vector<std::string> SplitString(std::string_view text, std::string_view separator = ",");

// "red,green,blue" as 0x00BBGGRR. Each piece is read like atoi (a piece that
// does not begin with a number, or a missing piece, reads as 0) and keeps its
// low 8 bits: "300,0,-1" is red 44, green 0, blue 255. Pieces after the third
// are ignored.
COLORREF ParseColor(std::string_view text);

struct SkinMargins {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const SkinMargins&) const = default;
  bool IsZero() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
};

// "left,top,right,bottom", each read like atoi; missing pieces read as 0.
SkinMargins ParseMargins(std::string_view text);
