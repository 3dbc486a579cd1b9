// The product's display backend: top-level windows are undecorated
// GtkWindows on X11. Our own painting goes into the window's draw signal;
// native child widgets (browser views) sit in a GtkFixed above it. Layered
// windows use an RGBA visual where a compositing manager runs; where none
// runs, their shape follows the image's alpha. The input region of a layered
// window always follows its alpha, so a click on a transparent part reaches
// what lies below.
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#include "platform/base/DisplayEnvironment.h"
#include "platform/ui/Backend.h"
#include "platform/ui/Core.h"
#include "platform/ui/EventLoop.h"
#include "platform/ui/Input.h"

// The holder of a top-level window's native children: a GtkFixed that asks
// for no size of its own. A plain GtkFixed asks for the room its children
// take, which GTK makes the window's minimum size: a page placed at the
// window's full size would then keep the window from ever shrinking again.
// The window's size is the client's to set (and its minimum that of
// WM_GETMINMAXINFO); the children are still placed and sized as asked.
struct TvChildLayer {
  GtkFixed parent;
};
struct TvChildLayerClass {
  GtkFixedClass parentClass;
};
G_DEFINE_TYPE(TvChildLayer, tv_child_layer, GTK_TYPE_FIXED)

static void tv_child_layer_preferred_size(GtkWidget*, gint* minimum, gint* natural) {
  *minimum = 1;
  *natural = 1;
}
static void tv_child_layer_class_init(TvChildLayerClass* klass) {
  GtkWidgetClass* widget = GTK_WIDGET_CLASS(klass);
  widget->get_preferred_width = tv_child_layer_preferred_size;
  widget->get_preferred_height = tv_child_layer_preferred_size;
}
static void tv_child_layer_init(TvChildLayer*) {}

namespace ui {
namespace gtkx {
bool WindowManagerIconifies();
}
namespace {

struct GtkTop {
  HWND hwnd = nullptr;
  GtkWidget* window = nullptr;
  GtkWidget* fixed = nullptr;
  bool layered = false;
  bool rgba = false;
  cairo_surface_t* image = nullptr;  // a layered window's look
  bool inDraw = false;
  RECT rect;
};

class GtkBackend final : public Backend {
 public:
  bool Open() override {
    // The launcher places its own window, which Wayland does not allow a
    // program: on a Wayland desktop the client runs through XWayland.
    // GDK_BACKEND=wayland, which some sessions export to every program, would
    // override that; so would the web processes' own choice. The user's value
    // is kept for the programs the client starts (platform/shell).
    if (!g_getenv(kUserGdkBackendVar)) {
      const char* user = g_getenv("GDK_BACKEND");
      g_setenv(kUserGdkBackendVar, user ? user : "", TRUE);
    }
    g_setenv("GDK_BACKEND", "x11", TRUE);
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(nullptr, nullptr)) {
      if (!g_getenv("DISPLAY") && g_getenv("WAYLAND_DISPLAY")) {
        std::fprintf(stderr,
                     "torvane: this Wayland session offers no X server (XWayland); the client needs one to "
                     "place its windows. Install and enable XWayland, then start the client again.\n");
        return false;
      }
      const char* display = g_getenv("DISPLAY");
      std::fprintf(stderr, "torvane: cannot open the display%s%s%s\n", display ? " '" : "", display ? display : "",
                   display ? "'" : " (DISPLAY is not set)");
      return false;
    }
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) return false;
    wakeSource_ = g_unix_fd_add(wakeFd_, G_IO_IN, &GtkBackend::OnWake, this);
    return true;
  }

  void Close() override {
    for (auto& [h, t] : tops_) DestroyWidgets(t);
    tops_.clear();
    for (auto& [h, w] : natives_) g_object_unref(w);
    natives_.clear();
    if (tip_) gtk_widget_destroy(tip_);
    tip_ = nullptr;
    if (wakeSource_) g_source_remove(wakeSource_);
    wakeSource_ = 0;
    if (wakeFd_ >= 0) close(wakeFd_);
    wakeFd_ = -1;
    for (auto& [k, c] : cursors_) g_object_unref(c);
    cursors_.clear();
  }
  ~GtkBackend() override { Close(); }

  void Wait(int timeoutMs) override {
    guint timer = 0;
    if (timeoutMs == 0) {
      g_main_context_iteration(nullptr, FALSE);
      return;
    }
    if (timeoutMs > 0) timer = g_timeout_add(static_cast<guint>(timeoutMs), &GtkBackend::OnTimeout, &timer);
    g_main_context_iteration(nullptr, TRUE);
    if (timer) g_source_remove(timer);
  }

  bool ProcessNative() override {
    bool any = false;
    for (int i = 0; i < 1000 && g_main_context_iteration(nullptr, FALSE); ++i) any = true;
    return any;
  }

  void Wake() override {
    std::uint64_t one = 1;
    if (wakeFd_ >= 0) {
      ssize_t n = write(wakeFd_, &one, sizeof one);
      (void)n;
    }
  }

  void SetApplicationId(const std::string& id) override {
    if (id.empty()) return;
    g_set_prgname(id.c_str());
    gdk_set_program_class(id.c_str());
  }

  void CreateTopLevel(HWND hwnd, const RECT& rect, DWORD, DWORD exStyle) override {
    GtkTop& t = tops_[hwnd];
    t.hwnd = hwnd;
    t.rect = rect;
    t.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(t.window);
    GtkWindow* w = GTK_WINDOW(t.window);
    gtk_window_set_decorated(w, FALSE);
    gtk_widget_set_app_paintable(t.window, TRUE);
    gtk_window_set_skip_taskbar_hint(w, (exStyle & WS_EX_TOOLWINDOW) != 0);
    gtk_widget_add_events(t.window, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                        GDK_LEAVE_NOTIFY_MASK | GDK_ENTER_NOTIFY_MASK | GDK_STRUCTURE_MASK |
                                        GDK_FOCUS_CHANGE_MASK);
    t.fixed = GTK_WIDGET(g_object_new(tv_child_layer_get_type(), nullptr));
    gtk_container_add(GTK_CONTAINER(t.window), t.fixed);
    gtk_widget_show(t.fixed);
    // The client places its windows itself (the launcher centred): the size
    // hints say so (USPosition), or a window manager places them as it likes.
    GdkGeometry none{};
    gtk_window_set_geometry_hints(w, nullptr, &none, GDK_HINT_USER_POS);
    gtk_window_move(w, rect.left, rect.top);
    gtk_window_resize(w, std::max(1, rect.Width()), std::max(1, rect.Height()));
    gpointer key = hwnd;
    g_signal_connect(t.window, "draw", G_CALLBACK(&GtkBackend::OnDraw), key);
    g_signal_connect(t.window, "button-press-event", G_CALLBACK(&GtkBackend::OnButton), key);
    g_signal_connect(t.window, "button-release-event", G_CALLBACK(&GtkBackend::OnButton), key);
    g_signal_connect(t.window, "motion-notify-event", G_CALLBACK(&GtkBackend::OnMotion), key);
    g_signal_connect(t.window, "leave-notify-event", G_CALLBACK(&GtkBackend::OnLeave), key);
    g_signal_connect(t.window, "configure-event", G_CALLBACK(&GtkBackend::OnConfigure), key);
    g_signal_connect(t.window, "window-state-event", G_CALLBACK(&GtkBackend::OnState), key);
    g_signal_connect(t.window, "focus-in-event", G_CALLBACK(&GtkBackend::OnFocus), key);
    g_signal_connect(t.window, "focus-out-event", G_CALLBACK(&GtkBackend::OnFocus), key);
    g_signal_connect(t.window, "delete-event", G_CALLBACK(&GtkBackend::OnDelete), key);
    // Before GTK hands the key to the focused widget (a browser view).
    g_signal_connect(t.window, "key-press-event", G_CALLBACK(&GtkBackend::OnKey), key);
  }

  void DestroyTopLevel(HWND hwnd) override {
    auto it = tops_.find(hwnd);
    if (it == tops_.end()) return;
    DestroyWidgets(it->second);
    tops_.erase(it);
  }

  void SetShowState(HWND hwnd, ShowState state, bool activate) override {
    GtkTop* t = Top(hwnd);
    if (!t) return;
    GtkWindow* w = GTK_WINDOW(t->window);
    switch (state) {
      case ShowState::Hidden:
        gtk_widget_hide(t->window);
        break;
      case ShowState::Minimized:
        if (WindowManagerIconifies()) {
          gtk_window_iconify(w);
        } else {
          gtk_widget_hide(t->window);  // no window manager to keep it: off the screen
        }
        break;
      case ShowState::Normal:
      case ShowState::Maximized:
        gtk_window_set_accept_focus(w, activate);
        gtk_window_deiconify(w);
        gtk_widget_show(t->window);
        gtk_window_move(w, t->rect.left, t->rect.top);
        if (activate) gtk_window_present(w);
        gtk_window_set_accept_focus(w, TRUE);
        break;
    }
  }

  void SetGeometry(HWND hwnd, const RECT& rect) override {
    GtkTop* t = Top(hwnd);
    if (!t) return;
    t->rect = rect;
    gtk_window_move(GTK_WINDOW(t->window), rect.left, rect.top);
    gtk_window_resize(GTK_WINDOW(t->window), std::max(1, rect.Width()), std::max(1, rect.Height()));
  }

  void SetTitle(HWND hwnd, const std::string& title) override {
    if (GtkTop* t = Top(hwnd)) gtk_window_set_title(GTK_WINDOW(t->window), title.c_str());
  }

  void SetMinTrackSize(HWND hwnd, int cx, int cy) override {
    GtkTop* t = Top(hwnd);
    if (!t) return;
    GdkGeometry g{};
    g.min_width = std::max(1, cx);
    g.min_height = std::max(1, cy);
    // Still with USPosition (see CreateTopLevel).
    const auto hints = static_cast<GdkWindowHints>(GDK_HINT_MIN_SIZE | GDK_HINT_USER_POS);
    gtk_window_set_geometry_hints(GTK_WINDOW(t->window), nullptr, &g, hints);
    // GTK hands the hints to its window only at its next size request; a drag
    // that starts now must already see them (GDK's own resize emulation, used
    // where no window manager runs, reads them from the window).
    if (GdkWindow* gw = gtk_widget_get_window(t->window)) gdk_window_set_geometry_hints(gw, &g, hints);
  }

  void SetLayered(HWND hwnd, bool layered) override {
    GtkTop* t = Top(hwnd);
    if (!t) return;
    t->layered = layered;
    GdkScreen* screen = gtk_widget_get_screen(t->window);
    GdkVisual* rgba = gdk_screen_get_rgba_visual(screen);
    bool useRgba = layered && rgba && gdk_screen_is_composited(screen);
    if (!gtk_widget_get_realized(t->window)) {
      gtk_widget_set_visual(t->window, useRgba ? rgba : gdk_screen_get_system_visual(screen));
      t->rgba = useRgba;
    }
  }

  void SetKeepAbove(HWND hwnd, bool above) override {
    if (GtkTop* t = Top(hwnd)) gtk_window_set_keep_above(GTK_WINDOW(t->window), above);
  }

  void SetIcon(HWND hwnd, const std::string& png) override {
    GtkTop* t = Top(hwnd);
    if (!t || png.empty()) return;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    if (gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(png.data()), png.size(), nullptr) &&
        gdk_pixbuf_loader_close(loader, nullptr)) {
      if (GdkPixbuf* pb = gdk_pixbuf_loader_get_pixbuf(loader)) gtk_window_set_icon(GTK_WINDOW(t->window), pb);
    } else {
      gdk_pixbuf_loader_close(loader, nullptr);
    }
    g_object_unref(loader);
  }

  void Invalidate(HWND hwnd) override {
    if (GtkTop* t = Top(hwnd)) gtk_widget_queue_draw(t->window);
  }

  void PresentLayered(HWND hwnd, cairo_surface_t* surface, int width, int height) override {
    GtkTop* t = Top(hwnd);
    if (!t) return;
    if (!t->image || cairo_image_surface_get_width(t->image) != width ||
        cairo_image_surface_get_height(t->image) != height) {
      if (t->image) cairo_surface_destroy(t->image);
      t->image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    }
    cairo_t* cr = cairo_create(t->image);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(t->image);
    ApplyShape(*t);
    if (!t->inDraw) gtk_widget_queue_draw(t->window);
  }

  void Raise(HWND hwnd) override {
    GtkTop* t = Top(hwnd);
    if (t && gtk_widget_get_window(t->window)) gdk_window_raise(gtk_widget_get_window(t->window));
  }

  void Activate(HWND hwnd) override {
    GtkTop* t = Top(hwnd);
    if (t && gtk_widget_get_visible(t->window)) gtk_window_present(GTK_WINDOW(t->window));
  }

  void BeginMoveDrag(HWND hwnd) override {
    GtkTop* t = Top(hwnd);
    if (!t || !lastPress_.valid) return;
    gtk_window_begin_move_drag(GTK_WINDOW(t->window), lastPress_.button, lastPress_.x, lastPress_.y, lastPress_.time);
  }

  void BeginResizeDrag(HWND hwnd, int edge) override {
    GtkTop* t = Top(hwnd);
    if (!t || !lastPress_.valid) return;
    static const GdkWindowEdge kEdges[] = {GDK_WINDOW_EDGE_WEST,       GDK_WINDOW_EDGE_WEST,      GDK_WINDOW_EDGE_EAST,
                                           GDK_WINDOW_EDGE_NORTH,      GDK_WINDOW_EDGE_NORTH_WEST, GDK_WINDOW_EDGE_NORTH_EAST,
                                           GDK_WINDOW_EDGE_SOUTH,      GDK_WINDOW_EDGE_SOUTH_WEST, GDK_WINDOW_EDGE_SOUTH_EAST};
    if (edge < 1 || edge > 8) return;
    gtk_window_begin_resize_drag(GTK_WINDOW(t->window), kEdges[edge], lastPress_.button, lastPress_.x, lastPress_.y,
                                 lastPress_.time);
  }

  void SetCursor(HWND hwnd, Cursor cursor) override {
    GtkTop* t = Top(hwnd);
    if (!t || !gtk_widget_get_window(t->window)) return;
    GdkWindow* gw = gtk_widget_get_window(t->window);
    auto it = cursors_.find(cursor);
    if (it == cursors_.end()) {
      static const char* const kNames[] = {"default", "pointer", "ew-resize", "ns-resize", "nwse-resize", "nesw-resize"};
      GdkCursor* c = gdk_cursor_new_from_name(gdk_window_get_display(gw), kNames[static_cast<int>(cursor)]);
      if (!c) c = gdk_cursor_new_for_display(gdk_window_get_display(gw), GDK_LEFT_PTR);
      it = cursors_.emplace(cursor, c).first;
    }
    if (current_[hwnd] != cursor || !cursorSet_[hwnd]) {
      gdk_window_set_cursor(gw, it->second);
      current_[hwnd] = cursor;
      cursorSet_[hwnd] = true;
    }
  }

  RECT WorkArea() override {
    GdkDisplay* d = gdk_display_get_default();
    GdkMonitor* m = d ? gdk_display_get_primary_monitor(d) : nullptr;
    if (!m && d) m = gdk_display_get_monitor(d, 0);
    if (!m) return RECT{0, 0, 1920, 1050};
    GdkRectangle r;
    gdk_monitor_get_workarea(m, &r);
    return RECT{r.x, r.y, r.x + r.width, r.y + r.height};
  }

  POINT CursorPos() override {
    GdkDisplay* d = gdk_display_get_default();
    if (!d) return {};
    GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(d));
    int x = 0, y = 0;
    gdk_device_get_position(pointer, nullptr, &x, &y);
    return POINT{x, y};
  }

  void AttachNative(HWND top, HWND child, void* widget) override {
    GtkTop* t = Top(top);
    if (!t || !widget) return;
    GtkWidget* w = GTK_WIDGET(widget);
    g_object_ref_sink(w);
    natives_[child] = w;
    nativeTop_[child] = top;
    gtk_fixed_put(GTK_FIXED(t->fixed), w, 0, 0);
  }

  void PlaceNative(HWND child, const RECT& r, bool visible) override {
    auto it = natives_.find(child);
    if (it == natives_.end()) return;
    GtkTop* t = Top(nativeTop_[child]);
    if (!t) return;
    GtkWidget* w = it->second;
    gtk_fixed_move(GTK_FIXED(t->fixed), w, r.left, r.top);
    gtk_widget_set_size_request(w, std::max(1, r.Width()), std::max(1, r.Height()));
    bool shown = visible && r.Width() > 0 && r.Height() > 0;
    gtk_widget_set_visible(w, shown);
    // A layered window's shape follows its image, and a page shown over a
    // transparent part of it must stay part of the window.
    RECT& placed = nativeRect_[child];
    RECT now = shown ? r : RECT{};
    if (t->layered && (placed.left != now.left || placed.top != now.top || placed.right != now.right ||
                       placed.bottom != now.bottom)) {
      placed = now;
      ApplyShape(*t);
    }
    placed = now;
  }

  void DetachNative(HWND child) override {
    auto it = natives_.find(child);
    if (it == natives_.end()) return;
    GtkWidget* w = it->second;
    if (GtkWidget* parent = gtk_widget_get_parent(w)) gtk_container_remove(GTK_CONTAINER(parent), w);
    g_object_unref(w);
    natives_.erase(it);
    HWND top = nativeTop_[child];
    nativeTop_.erase(child);
    bool hadPlace = nativeRect_.erase(child) > 0;
    if (GtkTop* t = Top(top); t && t->layered && hadPlace) ApplyShape(*t);
  }

  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override {
    GtkTop* t = Top(owner);
    UINT kind = type & 0xF;
    UINT icon = type & 0xF0;
    GtkMessageType mt = icon == MB_ICONERROR       ? GTK_MESSAGE_ERROR
                        : icon == MB_ICONQUESTION  ? GTK_MESSAGE_QUESTION
                        : icon == MB_ICONWARNING   ? GTK_MESSAGE_WARNING
                                                   : GTK_MESSAGE_INFO;
    GtkButtonsType bt = kind == MB_OKCANCEL ? GTK_BUTTONS_OK_CANCEL
                        : kind == MB_YESNO  ? GTK_BUTTONS_YES_NO
                        : kind == MB_OK     ? GTK_BUTTONS_OK
                                            : GTK_BUTTONS_NONE;
    GtkWidget* dialog = gtk_message_dialog_new(t ? GTK_WINDOW(t->window) : nullptr, GTK_DIALOG_MODAL, mt, bt, "%s",
                                               text.c_str());
    if (kind == MB_YESNOCANCEL)
      gtk_dialog_add_buttons(GTK_DIALOG(dialog), "_Yes", GTK_RESPONSE_YES, "_No", GTK_RESPONSE_NO, "_Cancel",
                             GTK_RESPONSE_CANCEL, nullptr);
    gtk_window_set_title(GTK_WINDOW(dialog), caption.empty() ? g_get_application_name() : caption.c_str());
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    // MB_DEFBUTTON2: the second button (Cancel, No) is the one Enter chooses.
    if ((type & MB_DEFBUTTON2) && (kind == MB_OKCANCEL || kind == MB_YESNO || kind == MB_YESNOCANCEL))
      gtk_dialog_set_default_response(GTK_DIALOG(dialog), kind == MB_OKCANCEL ? GTK_RESPONSE_CANCEL : GTK_RESPONSE_NO);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    if (type & MB_SYSTEMMODAL) gtk_window_set_urgency_hint(GTK_WINDOW(dialog), TRUE);
    // While the dialog's own loop runs, the client's posted messages and
    // timers still go on (the worker's completions, a blinking button).
    guint tick = g_timeout_add(10, &GtkBackend::OnModalTick, nullptr);
    dialogs_.push_back(dialog);
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    dialogs_.erase(std::remove(dialogs_.begin(), dialogs_.end(), dialog), dialogs_.end());
    g_source_remove(tick);
    gtk_widget_destroy(dialog);
    switch (response) {
      case GTK_RESPONSE_OK: return IDOK;
      case GTK_RESPONSE_YES: return IDYES;
      case GTK_RESPONSE_NO: return IDNO;
      default: return kind == MB_OK ? IDOK : kind == MB_YESNO ? IDNO : IDCANCEL;
    }
  }

  void CancelModal() override {
    for (GtkWidget* dialog : std::vector<GtkWidget*>(dialogs_)) gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
  }

  void ShowTip(const std::string& text, POINT screen) override {
    if (!tip_) {
      tip_ = gtk_window_new(GTK_WINDOW_POPUP);
      gtk_window_set_type_hint(GTK_WINDOW(tip_), GDK_WINDOW_TYPE_HINT_TOOLTIP);
      gtk_style_context_add_class(gtk_widget_get_style_context(tip_), "tooltip");
      tipLabel_ = gtk_label_new("");
      gtk_widget_set_margin_start(tipLabel_, 6);
      gtk_widget_set_margin_end(tipLabel_, 6);
      gtk_widget_set_margin_top(tipLabel_, 4);
      gtk_widget_set_margin_bottom(tipLabel_, 4);
      gtk_container_add(GTK_CONTAINER(tip_), tipLabel_);
    }
    gtk_label_set_text(GTK_LABEL(tipLabel_), text.c_str());
    gtk_window_move(GTK_WINDOW(tip_), screen.x, screen.y);
    gtk_widget_show_all(tip_);
  }

  void HideTip() override {
    if (tip_) gtk_widget_hide(tip_);
  }

 private:
  struct Press {
    bool valid = false;
    int button = 1;
    int x = 0, y = 0;
    guint32 time = 0;
  };

  GtkTop* Top(HWND hwnd) {
    auto it = tops_.find(hwnd);
    return it == tops_.end() ? nullptr : &it->second;
  }

  static GtkBackend* Self() { return static_cast<GtkBackend*>(CurrentBackendImpl()); }

  void DestroyWidgets(GtkTop& t) {
    for (auto it = nativeTop_.begin(); it != nativeTop_.end();) {
      if (it->second == t.hwnd) {
        HWND child = it->first;
        ++it;
        DetachNative(child);
      } else {
        ++it;
      }
    }
    if (t.window) {
      g_signal_handlers_disconnect_by_data(t.window, t.hwnd);
      gtk_widget_destroy(t.window);
      g_object_unref(t.window);
      t.window = nullptr;
    }
    if (t.image) cairo_surface_destroy(t.image);
    t.image = nullptr;
    current_.erase(t.hwnd);
    cursorSet_.erase(t.hwnd);
  }

  static bool WindowManagerIconifies() { return gtkx::WindowManagerIconifies(); }

  // Shape and input region from the layered image's alpha.
  void ApplyShape(GtkTop& t) {
    if (!t.image) return;
    int w = cairo_image_surface_get_width(t.image), h = cairo_image_surface_get_height(t.image);
    int stride = cairo_image_surface_get_stride(t.image);
    const unsigned char* data = cairo_image_surface_get_data(t.image);
    cairo_region_t* input = cairo_region_create();
    cairo_region_t* shape = t.rgba ? nullptr : cairo_region_create();
    for (int y = 0; y < h; ++y) {
      const std::uint32_t* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
      for (int threshold : {1, 128}) {
        cairo_region_t* target = threshold == 1 ? input : shape;
        if (!target) continue;
        int x = 0;
        while (x < w) {
          while (x < w && (row[x] >> 24) < static_cast<unsigned>(threshold)) ++x;
          int start = x;
          while (x < w && (row[x] >> 24) >= static_cast<unsigned>(threshold)) ++x;
          if (x > start) {
            cairo_rectangle_int_t r{start, y, x - start, 1};
            cairo_region_union_rectangle(target, &r);
          }
        }
      }
    }
    for (const auto& [child, r] : nativeRect_) {
      auto top = nativeTop_.find(child);
      if (top == nativeTop_.end() || top->second != t.hwnd || r.Width() <= 0 || r.Height() <= 0) continue;
      cairo_rectangle_int_t rect{r.left, r.top, r.Width(), r.Height()};
      cairo_region_union_rectangle(input, &rect);
      if (shape) cairo_region_union_rectangle(shape, &rect);
    }
    gtk_widget_input_shape_combine_region(t.window, input);
    if (shape) gtk_widget_shape_combine_region(t.window, shape);
    cairo_region_destroy(input);
    if (shape) cairo_region_destroy(shape);
  }

  static gboolean OnWake(gint fd, GIOCondition, gpointer) {
    std::uint64_t v;
    while (read(fd, &v, sizeof v) == static_cast<ssize_t>(sizeof v)) {
    }
    return G_SOURCE_CONTINUE;
  }

  static gboolean OnModalTick(gpointer) {
    core::DispatchQueued();
    return G_SOURCE_CONTINUE;
  }

  static gboolean OnTimeout(gpointer data) {
    *static_cast<guint*>(data) = 0;
    return G_SOURCE_REMOVE;
  }

  static gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer key) {
    HWND hwnd = static_cast<HWND>(key);
    GtkBackend* self = Self();
    GtkTop* t = self ? self->Top(hwnd) : nullptr;
    if (!t) return FALSE;
    if (t->layered) {
      t->inDraw = true;
      if (input::NeedsPaint(hwnd)) input::Paint(hwnd, cr);
      t = self->Top(hwnd);
      if (!t) return FALSE;
      t->inDraw = false;
      cairo_save(cr);
      cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
      if (t->image) {
        cairo_set_source_surface(cr, t->image, 0, 0);
      } else {
        cairo_set_source_rgba(cr, 0, 0, 0, 0);
      }
      cairo_paint(cr);
      cairo_restore(cr);
    } else {
      cairo_save(cr);
      input::Paint(hwnd, cr);
      cairo_restore(cr);
    }
    return FALSE;  // the native children draw next
  }

  static gboolean OnButton(GtkWidget* widget, GdkEventButton* e, gpointer key) {
    if (e->type != GDK_BUTTON_PRESS && e->type != GDK_BUTTON_RELEASE) return TRUE;  // doubles are detected by the loop
    if (e->button != 1 && e->button != 3) return FALSE;
    GtkBackend* self = Self();
    if (!self) return FALSE;
    HWND hwnd = static_cast<HWND>(key);
    int x, y;
    self->ClientPoint(widget, e->x_root, e->y_root, &x, &y);
    bool down = e->type == GDK_BUTTON_PRESS;
    if (down) self->lastPress_ = Press{true, static_cast<int>(e->button), static_cast<int>(e->x_root),
                                       static_cast<int>(e->y_root), e->time};
    UINT msg = e->button == 1 ? (down ? WM_LBUTTONDOWN : WM_LBUTTONUP) : (down ? WM_RBUTTONDOWN : WM_RBUTTONUP);
    WPARAM keys = down ? (e->button == 1 ? MK_LBUTTON : MK_RBUTTON) : 0;
    input::Mouse(hwnd, msg, x, y, keys);
    return TRUE;
  }

  static gboolean OnMotion(GtkWidget* widget, GdkEventMotion* e, gpointer key) {
    GtkBackend* self = Self();
    if (!self) return FALSE;
    int x, y;
    self->ClientPoint(widget, e->x_root, e->y_root, &x, &y);
    WPARAM keys = ((e->state & GDK_BUTTON1_MASK) ? MK_LBUTTON : 0) | ((e->state & GDK_BUTTON3_MASK) ? MK_RBUTTON : 0);
    input::Mouse(static_cast<HWND>(key), WM_MOUSEMOVE, x, y, keys);
    return TRUE;
  }

  static gboolean OnLeave(GtkWidget*, GdkEventCrossing* e, gpointer key) {
    if (e->detail == GDK_NOTIFY_INFERIOR) return FALSE;
    input::MouseLeft(static_cast<HWND>(key));
    return FALSE;
  }

  static gboolean OnConfigure(GtkWidget* widget, GdkEventConfigure* e, gpointer key) {
    HWND hwnd = static_cast<HWND>(key);
    GtkBackend* self = Self();
    GtkTop* t = self ? self->Top(hwnd) : nullptr;
    if (!t) return FALSE;
    int x = e->x, y = e->y;
    if (GdkWindow* gw = gtk_widget_get_window(widget)) gdk_window_get_root_origin(gw, &x, &y);
    RECT r{x, y, x + e->width, y + e->height};
    // Our own 1x1 stand-in for a zero-sized window is not a size of its own.
    if (t->rect.Width() <= 0 && e->width == 1) r.right = r.left + t->rect.Width();
    if (t->rect.Height() <= 0 && e->height == 1) r.bottom = r.top + t->rect.Height();
    t->rect = r;
    input::Configured(hwnd, r);
    return FALSE;
  }

  static gboolean OnState(GtkWidget*, GdkEventWindowState* e, gpointer key) {
    if (e->changed_mask & (GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_MAXIMIZED))
      input::StateChanged(static_cast<HWND>(key), (e->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0,
                          (e->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) != 0);
    return FALSE;
  }

  static gboolean OnFocus(GtkWidget*, GdkEventFocus* e, gpointer key) {
    input::Activated(static_cast<HWND>(key), e->in != 0);
    return FALSE;
  }

  static gboolean OnKey(GtkWidget*, GdkEventKey* e, gpointer key) {
    WPARAM vk = 0;
    if (e->keyval >= GDK_KEY_F1 && e->keyval <= GDK_KEY_F12) vk = 0x70 + (e->keyval - GDK_KEY_F1);
    else if (e->keyval == GDK_KEY_Escape) vk = VK_ESCAPE;
    return vk && input::Key(static_cast<HWND>(key), WM_KEYDOWN, vk) ? TRUE : FALSE;
  }

  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer key) {
    input::CloseRequested(static_cast<HWND>(key));
    return TRUE;  // the window decides; it is never destroyed behind its object
  }

  void ClientPoint(GtkWidget* widget, double xRoot, double yRoot, int* x, int* y) {
    int ox = 0, oy = 0;
    if (GdkWindow* gw = gtk_widget_get_window(widget)) gdk_window_get_origin(gw, &ox, &oy);
    *x = static_cast<int>(xRoot) - ox;
    *y = static_cast<int>(yRoot) - oy;
  }

  int wakeFd_ = -1;
  guint wakeSource_ = 0;
  std::map<HWND, GtkTop> tops_;
  std::map<HWND, GtkWidget*> natives_;
  std::map<HWND, HWND> nativeTop_;
  std::map<HWND, RECT> nativeRect_;  // where each native child shows (empty: hidden)
  std::map<Cursor, GdkCursor*> cursors_;
  std::map<HWND, Cursor> current_;
  std::map<HWND, bool> cursorSet_;
  std::vector<GtkWidget*> dialogs_;  // message boxes running now, innermost last
  GtkWidget* tip_ = nullptr;
  GtkWidget* tipLabel_ = nullptr;
  Press lastPress_;
};

}  // namespace

std::unique_ptr<Backend> CreateGtkBackend() { return std::make_unique<GtkBackend>(); }

}  // namespace ui
