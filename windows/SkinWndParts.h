// What the layered and the framed skinned window share: the button and
// rectangle lookups by name, the routing of a button's click, one skin text,
// centring on the work area and the window icon. Internal to windows/.
//
// Threads: the user-interface thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ToolTip.h"
#include "platform/ui/Window.h"
#include "skin/SkinButton.h"
#include "skin/SkinRecords.h"

namespace skinwnd {

// The first command id of the skinned buttons and the last one routed to
// OnSkinCommand.
constexpr UINT kFirstButtonId = 10000;
constexpr UINT kLastRoutedId = 19999;

using ButtonList = std::vector<std::unique_ptr<CSkinButton>>;

// The first button whose record name equals name without regard to ASCII
// case; null when none.
CSkinButton* FindButton(const ButtonList& buttons, const std::string& name);
// The first rectangle record of that name (ASCII case ignored).
bool FindRect(const std::vector<SkinRectInfo>& rects, const std::string& name, SkinRectInfo& out);
// The button a WM_COMMAND names: a BN_CLICKED with an id in the routed range
// from one of the buttons (matched by id and, when lParam carries it, by
// the sender's handle, so that a 16-bit id that wrapped round reaches no
// other button). Null otherwise.
CSkinButton* ButtonForCommand(const ButtonList& buttons, WPARAM wParam, LPARAM lParam);
// One button per record, in record order, each with the next id of its
// window class (nextId) and set up with the window's tooltip; a button whose
// window cannot be made is left out.
void CreateButtons(CWnd* owner, SkinDocument* skin, const std::vector<SkinButtonInfo>& records,
                   CToolTipCtrl* tooltip, UINT (*nextId)(), ButtonList& buttons);
// Re-anchors every button to the owner's client rectangle.
void RelayoutButtons(CWnd* owner, const ButtonList& buttons);
// Sets the visible flag of every image record of that name (ASCII case ignored).
void SetImageVisible(std::vector<SkinImageInfo>& images, const std::string& name, bool visible);

// One line of skin text: the font record's family (sans-serif where the
// system has none), size in pixels and style, the opaque colour; near,
// vertically centred, ellipsis, no wrap.
void DrawSkinTextLine(HDC dc, const std::string& text, COLORREF color, const SkinFontInfo& font, float x, float y,
                      float w, float h);

// The top-left corner that centres a window of that size on the primary
// monitor's work area (integer division truncating toward zero).
POINT CentreOnWorkArea(int width, int height);

// Icon 128 of the executable (PNG bytes), or "" when it has none.
std::string WindowIconBytes();
// Sets icon bytes as the big and the small icon (WM_SETICON).
void SetWindowIcon(HWND hwnd, const std::string& png);

// The work-area answer of WM_GETMINMAXINFO: the maximised size and the
// maximum tracking size are the work area's, the maximised position its
// top-left corner.
void FillMaxInfo(MINMAXINFO* info);

}  // namespace skinwnd
