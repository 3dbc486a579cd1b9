#include "skin/SkinValues.h"

#include "platform/base/Text.h"

std::vector<std::string> SplitString(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  std::size_t start = 0;
  while (true) {
    std::size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      // The rest is a piece unless a separator just ended the text (and the
      // text was not empty to begin with).
      if (start < text.size() || pieces.empty()) pieces.emplace_back(text.substr(start));
      break;
    }
    pieces.emplace_back(text.substr(start, at - start));
    start = at + separator.size();
  }
  return pieces;
}

namespace {

int Piece(const std::vector<std::string>& pieces, std::size_t i) {
  return i < pieces.size() ? text::Atoi(pieces[i]) : 0;
}

}  // namespace

COLORREF ParseColor(std::string_view text) {
  std::vector<std::string> pieces = SplitString(text);
  auto low8 = [](int v) { return static_cast<COLORREF>(static_cast<unsigned>(v) & 0xFF); };
  return low8(Piece(pieces, 0)) | (low8(Piece(pieces, 1)) << 8) | (low8(Piece(pieces, 2)) << 16);
}

SkinMargins ParseMargins(std::string_view text) {
  std::vector<std::string> pieces = SplitString(text);
  return {Piece(pieces, 0), Piece(pieces, 1), Piece(pieces, 2), Piece(pieces, 3)};
}
