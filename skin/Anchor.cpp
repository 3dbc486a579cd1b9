#include "skin/Anchor.h"

#include <algorithm>
#include <climits>

#include "platform/base/Text.h"

namespace {

LONG Saturate(long long v) { return static_cast<LONG>(std::clamp<long long>(v, INT_MIN, INT_MAX)); }

long long Width(const RECT& r) { return static_cast<long long>(r.right) - r.left; }
long long Height(const RECT& r) { return static_cast<long long>(r.bottom) - r.top; }

}  // namespace

void AnchorPoint(POINT& point, std::string_view align, const RECT& parent, const RECT& element) {
  bool right = text::EqualsNoCase(align, "TopRight") || text::EqualsNoCase(align, "BottomRight");
  bool bottom = text::EqualsNoCase(align, "BottomLeft") || text::EqualsNoCase(align, "BottomRight");
  if (right) point.x = Saturate(parent.right - Width(element) - point.x);
  if (bottom) point.y = Saturate(parent.bottom - Height(element) - point.y);
}

POINT AnchorButton(const SkinButtonInfo& info, const SIZE& buttonSize, const RECT& client) {
  POINT pt{info.left, info.top};
  AnchorPoint(pt, info.align, client, RECT{0, 0, buttonSize.cx, buttonSize.cy});
  return pt;
}

RECT PlaceLayeredImage(const SkinImageInfo& info, const SIZE& imageSize, const RECT& client) {
  const LONG width = info.size.right, height = info.size.bottom;
  const bool both = width >= 1 && height >= 1;
  POINT pt{info.left, info.top};
  AnchorPoint(pt, info.align, client, RECT{0, 0, both ? width : imageSize.cx, both ? height : imageSize.cy});
  const long long w = width >= 1 ? width : imageSize.cx;
  const long long h = height >= 1 ? height : imageSize.cy;
  return RECT{pt.x, pt.y, Saturate(pt.x + w), Saturate(pt.y + h)};
}

RECT PlaceFramedImage(const SkinImageInfo& info, const SIZE& imageSize, const RECT& client, const SIZE& clientSize) {
  const bool both = info.size.right >= 1 && info.size.bottom >= 1;
  const long long w = both ? info.size.right : imageSize.cx;
  const long long h = both ? info.size.bottom : imageSize.cy;
  POINT pt{info.left, info.top};
  AnchorPoint(pt, info.align, client, RECT{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)});
  long long right = pt.x + w, bottom = pt.y + h;
  switch (info.strech) {
    case 1:
      right = static_cast<long long>(pt.x) + clientSize.cx;
      break;
    case 2:
      bottom = static_cast<long long>(pt.y) + clientSize.cy;
      break;
    case 3:
      right = static_cast<long long>(pt.x) + clientSize.cx;
      bottom = static_cast<long long>(pt.y) + clientSize.cy;
      break;
    default:
      break;
  }
  return RECT{pt.x, pt.y, Saturate(right), Saturate(bottom)};
}

RECT PlaceText(const SkinTextInfo& info, const RECT& client) {
  POINT pt{info.rect.left, info.rect.top};
  AnchorPoint(pt, info.align, client, info.rect);
  return RECT{pt.x, pt.y, Saturate(pt.x + Width(info.rect)), Saturate(pt.y + Height(info.rect))};
}

RECT PlaceBrowserRect(const SkinRectInfo& info, const SIZE& designSize, const SIZE& clientSize, BrowserHost host) {
  RECT r = info.rect;
  if (info.strech != 0) {
    const long long inset = host == BrowserHost::Launcher ? 1 : 0;
    r.right = Saturate(r.right + (static_cast<long long>(clientSize.cx) - designSize.cx) - inset);
    r.bottom = Saturate(r.bottom + (static_cast<long long>(clientSize.cy) - designSize.cy) - inset);
  }
  return r;
}
