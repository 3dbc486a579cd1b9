// Popup menus on the gtk backend: a GtkMenu popped up with its top-left
// corner at a screen point and run in a nested loop until an entry is chosen
// or the menu is dismissed (a click elsewhere, Escape).
#include <gtk/gtk.h>

#include <cstdio>

#include "platform/ui/Core.h"
#include "platform/ui/gtk/TrayParts.h"

namespace ui::gtkx {
namespace {

struct MenuRun {
  UINT chosen = 0;
  bool done = false;
};

constexpr const char* kIdKey = "torvane-command";

void OnActivate(GtkMenuItem* item, gpointer data) {
  static_cast<MenuRun*>(data)->chosen = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), kIdKey));
}

// The menu closes before the chosen entry is activated (in the same event):
// the run ends once that event is through.
gboolean OnMenuClosed(gpointer data) {
  static_cast<MenuRun*>(data)->done = true;
  return G_SOURCE_REMOVE;
}
void OnDeactivate(GtkMenuShell*, gpointer data) { g_idle_add(&OnMenuClosed, data); }

gboolean OnModalTick(gpointer) {
  core::DispatchQueued();
  return G_SOURCE_CONTINUE;
}

}  // namespace

UINT RunPopupMenu(const MenuPopup& popup, int x, int y, GtkWidget** open) {
  GdkWindow* root = gdk_get_default_root_window();
  if (!root) return 0;
  GtkWidget* menu = gtk_menu_new();
  g_object_ref_sink(menu);
  MenuRun run;
  for (const MenuItem& entry : popup.items) {
    GtkWidget* item = entry.separator ? gtk_separator_menu_item_new() : gtk_menu_item_new_with_label(entry.text.c_str());
    if (!entry.separator) {
      g_object_set_data(G_OBJECT(item), kIdKey, GUINT_TO_POINTER(entry.id));
      g_signal_connect(item, "activate", G_CALLBACK(&OnActivate), &run);
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  }
  gtk_widget_show_all(menu);
  gulong closed = g_signal_connect(menu, "deactivate", G_CALLBACK(&OnDeactivate), &run);

  // The press that opens the menu has long been handled (the owner is told
  // of it by a posted message): GTK gets one of its own, at the point.
  GdkEvent* trigger = gdk_event_new(GDK_BUTTON_PRESS);
  trigger->button.window = GDK_WINDOW(g_object_ref(root));
  trigger->button.send_event = TRUE;
  trigger->button.time = GDK_CURRENT_TIME;
  trigger->button.x = trigger->button.x_root = x;
  trigger->button.y = trigger->button.y_root = y;
  trigger->button.button = 3;
  if (GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(root)))
    gdk_event_set_device(trigger, gdk_seat_get_pointer(seat));
  GdkRectangle at{x, y, 1, 1};
  gtk_menu_popup_at_rect(GTK_MENU(menu), root, &at, GDK_GRAVITY_NORTH_WEST, GDK_GRAVITY_NORTH_WEST, trigger);
  gdk_event_free(trigger);
  // Where GTK cannot grab the pointer and keyboard it does not show the menu
  // (nor will it ever close it): nothing to wait for.
  if (gtk_widget_get_visible(menu)) {
    guint tick = g_timeout_add(10, &OnModalTick, nullptr);
    *open = menu;
    while (!run.done) g_main_context_iteration(nullptr, TRUE);
    *open = nullptr;
    g_source_remove(tick);
  } else {
    std::fprintf(stderr, "torvane: the popup menu could not take the pointer\n");
  }
  g_signal_handler_disconnect(menu, closed);
  gtk_widget_destroy(menu);
  g_object_unref(menu);
  // An idle of a menu that closed without the loop above waiting for it.
  while (g_idle_remove_by_data(&run)) {
  }
  return run.chosen;
}

void EndPopupMenu(GtkWidget* menu) {
  if (menu) gtk_menu_shell_cancel(GTK_MENU_SHELL(menu));
}

}  // namespace ui::gtkx
