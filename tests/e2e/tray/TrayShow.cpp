// tray_show: puts the client's tray icon up on the gtk backend, from a hidden
// window, with the default icon (ICON 128) and tray menu (MENU 200), and
// reports on stdout, one line each:
//
//   added RESULT KIND               after NIM_ADD (RESULT 1 or 0, KIND as TrayKindName)
//   notify ID lbuttondown           the icon's notifications to the window
//   notify ID rbuttondown             (a right click opens the menu, as the
//   notify ID traychanged KIND         main frame does: at the pointer)
//   command ID                      WM_COMMAND reaching the window
//   menu-item LABEL X Y W H         an entry of the open popup menu (screen)
//   chosen ID                       what TrackPopupMenu returned
//   modified RESULT / deleted RESULT / ended RESULT / pid PID
//
// Commands on stdin, one a line: "tip TEXT" (NIM_MODIFY of the tip),
// "delete" (NIM_DELETE), "menu" (the popup menu at the pointer), "end"
// (EndMenu: closes the open popup menu).
// Usage: tray_show [TIP]. It runs until SIGTERM, then takes the icon down.
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <string>

#include "platform/base/Resources.h"
#include "platform/ui/EventLoop.h"
#include "platform/ui/Menu.h"
#include "platform/ui/TrayIcon.h"
#include "platform/ui/Window.h"

namespace {

constexpr UINT kNotify = WM_USER + 0x64;
constexpr UINT kIconId = 200;
constexpr UINT_PTR kMenuWatch = 1;

void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

class Owner;

// Commands reach the window as posted messages, so they run from the
// client's loop as a click's handling would.
constexpr UINT kCommandPosted = WM_USER + 1;

struct Input {
  Owner* owner;
  std::string partial;
  std::deque<std::string> lines;
};

class Owner : public CWnd {
 public:
  Input* input = nullptr;
  NOTIFYICONDATA nid;
  CMenu menu;

  bool Add(const std::string& tip) {
    nid.hWnd = m_hWnd;
    nid.uID = kIconId;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = kNotify;
    if (auto icon = res::Find("ICON", 128)) nid.hIcon.assign(reinterpret_cast<const char*>(icon->data()), icon->size());
    nid.szTip = tip;
    if (menu.LoadMenu(200)) nid.menu = *menu.GetSubMenu(0);
    BOOL ok = Shell_NotifyIcon(NIM_ADD, &nid);
    Say("added " + std::to_string(ok) + " " + TrayKindName(CurrentTrayKind()));
    return ok;
  }

  void ShowMenu() {
    POINT pt;
    GetCursorPos(&pt);
    SetForegroundWindow();
    reported_ = false;
    SetTimer(kMenuWatch, 20);
    UINT id = TrackPopupMenu(*menu.GetSubMenu(0), TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, m_hWnd);
    KillTimer(kMenuWatch);
    Say("chosen " + std::to_string(id));
  }

  void Command(const std::string& line) {
    if (line.rfind("tip ", 0) == 0) {
      nid.uFlags = NIF_TIP;
      nid.szTip = line.substr(4);
      Say("modified " + std::to_string(Shell_NotifyIcon(NIM_MODIFY, &nid)));
    } else if (line == "delete") {
      Say("deleted " + std::to_string(Shell_NotifyIcon(NIM_DELETE, &nid)));
    } else if (line == "menu") {
      ShowMenu();
    } else if (line == "end") {
      Say("ended " + std::to_string(EndMenu()));
    }
  }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == kNotify) {
      std::string what = lParam == WM_LBUTTONDOWN   ? "lbuttondown"
                         : lParam == WM_RBUTTONDOWN ? "rbuttondown"
                         : lParam == NIN_TRAYCHANGED
                             ? std::string("traychanged ") + TrayKindName(CurrentTrayKind())
                             : "other " + std::to_string(lParam);
      Say("notify " + std::to_string(wParam) + " " + what);
      if (lParam == WM_RBUTTONDOWN) ShowMenu();
      return 0;
    }
    if (message == WM_COMMAND) {
      Say("command " + std::to_string(wParam));
      return 0;
    }
    if (message == kCommandPosted && input && !input->lines.empty()) {
      std::string line = input->lines.front();
      input->lines.pop_front();
      Command(line);
      return 0;
    }
    if (message == WM_TIMER && wParam == kMenuWatch) {
      ReportOpenMenu();
      return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }

 private:
  // The entries of the popup menu on the screen, once it is mapped.
  void ReportOpenMenu() {
    if (reported_) return;
    GList* tops = gtk_window_list_toplevels();
    for (GList* l = tops; l; l = l->next) {
      GtkWidget* top = GTK_WIDGET(l->data);
      GtkWidget* child = gtk_bin_get_child(GTK_BIN(top));
      if (!child || !GTK_IS_MENU(child) || !gtk_widget_get_mapped(top)) continue;
      int ox = 0, oy = 0;
      gdk_window_get_origin(gtk_widget_get_window(top), &ox, &oy);
      GList* items = gtk_container_get_children(GTK_CONTAINER(child));
      for (GList* i = items; i; i = i->next) {
        GtkWidget* item = GTK_WIDGET(i->data);
        if (GTK_IS_SEPARATOR_MENU_ITEM(item)) continue;
        int x = 0, y = 0;
        gtk_widget_translate_coordinates(item, top, 0, 0, &x, &y);
        GtkAllocation a;
        gtk_widget_get_allocation(item, &a);
        Say(std::string("menu-item ") + gtk_menu_item_get_label(GTK_MENU_ITEM(item)) + " " + std::to_string(ox + x) +
            " " + std::to_string(oy + y) + " " + std::to_string(a.width) + " " + std::to_string(a.height));
      }
      g_list_free(items);
      reported_ = true;
    }
    g_list_free(tops);
  }

  bool reported_ = false;
};

gboolean OnStdin(gint fd, GIOCondition, gpointer data) {
  auto* in = static_cast<Input*>(data);
  char buf[512];
  ssize_t n = read(fd, buf, sizeof buf);
  if (n <= 0) return G_SOURCE_REMOVE;
  in->partial.append(buf, static_cast<std::size_t>(n));
  std::size_t nl;
  while ((nl = in->partial.find('\n')) != std::string::npos) {
    std::string line = in->partial.substr(0, nl);
    in->partial.erase(0, nl + 1);
    in->lines.push_back(line);
    in->owner->PostMessage(kCommandPosted);
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (!ui::InitializeWith(ui::BackendKind::Gtk)) return 1;
  ui::SetApplicationId("torvane-tray-show");
  Say("pid " + std::to_string(getpid()));
  Owner owner;
  if (!owner.CreateEx(0, "TrayShow", "tray_show", WS_POPUP, 0, 0, 1, 1, GetDesktopWindow())) return 1;
  owner.Add(argc > 1 ? argv[1] : "琥珀航线 Ver 1.0.0.1");
  Input input{&owner, {}, {}};
  owner.input = &input;
  g_unix_fd_add(0, G_IO_IN, &OnStdin, &input);
  int code = ui::RunMessageLoop();
  Say("deleted " + std::to_string(Shell_NotifyIcon(NIM_DELETE, &owner.nid)));
  owner.DestroyWindow();
  ui::Shutdown();
  return code;
}
