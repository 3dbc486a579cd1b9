// Anchoring of skin elements: an element's offsets count from the corner of
// its window's client area that its alignment names, and the placement rules
// of buttons, images, texts and the browser rectangle built on it. Plain
// integer arithmetic, no window system.
//
// Coordinates are client coordinates; rectangles are (left, top, right,
// bottom) with right and bottom exclusive. Results may be negative or beyond
// the window; nothing clamps them, except that sums beyond 32 bits saturate
// instead of overflowing.
//
// Threads: pure functions, any thread.
#pragma once

#include <string_view>

#include "platform/ui/Types.h"
#include "skin/SkinRecords.h"

// On entry `point` holds the offsets, on return the element's top-left
// corner. Alignment, compared without regard to ASCII case:
//   "TopLeft"     (x, y)
//   "TopRight"    (parent.right − element width − x, y)
//   "BottomLeft"  (x, parent.bottom − element height − y)
//   "BottomRight" (parent.right − element width − x, parent.bottom − element height − y)
//   anything else (x, y)
// Only the parent's right and bottom and the element's width and height are
// used.
void AnchorPoint(POINT& point, std::string_view align, const RECT& parent, const RECT& element);

// A button's top-left corner: its record's offsets and alignment, anchored
// with the button's current size (the size of the image it shows).
POINT AnchorButton(const SkinButtonInfo& info, const SIZE& buttonSize, const RECT& client);

// An image of the layered window: anchored with (width, height) when both are
// at least 1, else the image's own size; drawn with the record's width when
// at least 1 (else the image's) and, separately, its height likewise.
RECT PlaceLayeredImage(const SkinImageInfo& info, const SIZE& imageSize, const RECT& client);

// An image of the framed window: size (w, h) is (width, height) when both are
// at least 1, else the image's own size; anchored with it; then by strech
// (client = the client size recorded at the last resize):
//   1 (x, y, x + client.cx, y + h)   2 (x, y, x + w, y + client.cy)
//   3 (x, y, x + client.cx, y + client.cy)   any other (x, y, x + w, y + h)
RECT PlaceFramedImage(const SkinImageInfo& info, const SIZE& imageSize, const RECT& client, const SIZE& clientSize);

// A text's layout box: its rect anchored by its alignment, keeping its size.
RECT PlaceText(const SkinTextInfo& info, const RECT& client);

// Which window holds the browser: the launcher takes one more pixel off each
// edge that grows.
enum class BrowserHost { GameWindow, Launcher };

// The browser rectangle from a RECT record (not anchored; its align has no
// effect): with strech nonzero its right and bottom grow by the client size's
// excess over the design size (and, in the launcher, minus 1 each).
RECT PlaceBrowserRect(const SkinRectInfo& info, const SIZE& designSize, const SIZE& clientSize,
                      BrowserHost host = BrowserHost::GameWindow);
