// What the X11 window manager offers. Kept apart from the rest of the gtk
// backend because the X11 headers take names the window layer uses.
#include <gdk/gdkx.h>

namespace ui::gtkx {

bool WindowManagerIconifies() {
  GdkScreen* screen = gdk_screen_get_default();
  return screen && GDK_IS_X11_SCREEN(screen) &&
         gdk_x11_screen_supports_net_wm_hint(screen, gdk_atom_intern_static_string("_NET_WM_STATE_HIDDEN"));
}

}  // namespace ui::gtkx
