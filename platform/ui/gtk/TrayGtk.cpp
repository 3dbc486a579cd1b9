// The gtk backend's notification area. An icon is a StatusNotifierItem while
// a watcher has it; otherwise an XEmbed tray icon (GTK's GtkStatusIcon,
// deprecated but GTK 3's own XEmbed implementation), shown while a tray
// manager embeds it; otherwise nothing. Each change of that is posted to the
// owner as NIN_TRAYCHANGED.
#include <gtk/gtk.h>

#include <cstdio>

#include "platform/ui/Backend.h"
#include "platform/ui/EventLoop.h"
#include "platform/ui/gtk/TrayParts.h"

// GtkStatusIcon is deprecated in GTK 3 but still its XEmbed tray icon.
#define TORVANE_STATUS_ICON_BEGIN G_GNUC_BEGIN_IGNORE_DEPRECATIONS
#define TORVANE_STATUS_ICON_END G_GNUC_END_IGNORE_DEPRECATIONS

namespace ui {
namespace gtkx {

GdkPixbuf* PixbufFromPng(const std::string& png) {
  if (png.empty()) return nullptr;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  GdkPixbuf* result = nullptr;
  bool ok = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(png.data()), png.size(), nullptr);
  ok = gdk_pixbuf_loader_close(loader, nullptr) && ok;
  if (ok)
    if (GdkPixbuf* pb = gdk_pixbuf_loader_get_pixbuf(loader)) result = GDK_PIXBUF(g_object_ref(pb));
  g_object_unref(loader);
  return result;
}

}  // namespace gtkx

namespace {

constexpr guint kGoneGraceMs = 1500;

class GtkTrayIcon final : public NativeTrayIcon {
 public:
  GtkTrayIcon(const NOTIFYICONDATA& record, int serial) : m_record(record) {
    gtkx::StatusNotifierEvents events;
    events.activate = [this] { Notify(WM_LBUTTONDOWN); };
    events.contextMenu = [this] { Notify(WM_RBUTTONDOWN); };
    events.command = [this](UINT id) { ::PostMessage(m_record.hWnd, WM_COMMAND, id, 0); };
    events.changed = [this] { Reconsider(); };
    m_item = gtkx::StatusNotifierItem::Create(record, serial, std::move(events));
    m_ready = true;
    if (!m_item || !m_item->Active()) MakeStatusIcon();
    m_reported = Kind();  // what the owner learns from CurrentTrayKind at NIM_ADD
  }

  ~GtkTrayIcon() override {
    m_ready = false;
    CancelGrace();
    m_item.reset();
    DropStatusIcon();
  }

  void Update(const NOTIFYICONDATA& record) override {
    m_record = record;
    if (m_item) m_item->Update(record);
    if (m_status) ApplyToStatusIcon();
  }

  TrayKind Kind() const override {
    if (m_item && m_item->Active()) return TrayKind::StatusNotifier;
    TORVANE_STATUS_ICON_BEGIN
    if (m_status && gtk_status_icon_is_embedded(m_status)) return TrayKind::XEmbed;
    TORVANE_STATUS_ICON_END
    return TrayKind::None;
  }

 private:
  void Notify(LPARAM what) const {
    if (m_record.uCallbackMessage) ::PostMessage(m_record.hWnd, m_record.uCallbackMessage, m_record.uID, what);
  }

  // The XEmbed icon exists exactly while no watcher has the item (two icons
  // of one client in one panel would be one too many). The owner hears of a
  // new way of showing the icon at once; of none only once it lasted
  // kGoneGraceMs, so a watcher handing over to the XEmbed tray, or a panel
  // that restarts, does not make the client show itself for nothing.
  void Reconsider() {
    if (!m_ready) return;
    if (m_item && m_item->Active()) {
      DropStatusIcon();
    } else if (!m_status) {
      MakeStatusIcon();
    }
    TrayKind now = Kind();
    if (now == m_reported) {
      CancelGrace();
    } else if (now != TrayKind::None) {
      CancelGrace();
      m_reported = now;
      Notify(NIN_TRAYCHANGED);
    } else if (!m_grace) {
      m_grace = g_timeout_add(kGoneGraceMs, &GtkTrayIcon::OnGraceOver, this);
    }
  }

  void CancelGrace() {
    if (m_grace) g_source_remove(m_grace);
    m_grace = 0;
  }

  static gboolean OnGraceOver(gpointer data) {
    auto* self = static_cast<GtkTrayIcon*>(data);
    self->m_grace = 0;
    TrayKind now = self->Kind();
    if (now != self->m_reported) {
      self->m_reported = now;
      self->Notify(NIN_TRAYCHANGED);
    }
    return G_SOURCE_REMOVE;
  }

  void MakeStatusIcon() {
    TORVANE_STATUS_ICON_BEGIN
    // Named while its window does not exist yet: naming a realised icon
    // makes GTK re-create that window.
    m_status = GTK_STATUS_ICON(g_object_new(GTK_TYPE_STATUS_ICON, "visible", FALSE, nullptr));
    const char* name = ApplicationId().empty() ? g_get_prgname() : ApplicationId().c_str();
    if (name) gtk_status_icon_set_name(m_status, name);  // the icon window's WM_CLASS
    ApplyToStatusIcon();
    g_signal_connect(m_status, "button-press-event", G_CALLBACK(&GtkTrayIcon::OnButton), this);
    g_signal_connect(m_status, "notify::embedded", G_CALLBACK(&GtkTrayIcon::OnEmbedded), this);
    gtk_status_icon_set_visible(m_status, TRUE);
    TORVANE_STATUS_ICON_END
  }

  void ApplyToStatusIcon() {
    TORVANE_STATUS_ICON_BEGIN
    if (GdkPixbuf* pb = gtkx::PixbufFromPng(m_record.hIcon)) {
      gtk_status_icon_set_from_pixbuf(m_status, pb);
      g_object_unref(pb);
    }
    gtk_status_icon_set_tooltip_text(m_status, m_record.szTip.empty() ? nullptr : m_record.szTip.c_str());
    gtk_status_icon_set_title(m_status, m_record.szTip.c_str());
    TORVANE_STATUS_ICON_END
  }

  void DropStatusIcon() {
    if (!m_status) return;
    g_signal_handlers_disconnect_by_data(m_status, this);
    TORVANE_STATUS_ICON_BEGIN
    gtk_status_icon_set_visible(m_status, FALSE);
    TORVANE_STATUS_ICON_END
    g_object_unref(m_status);
    m_status = nullptr;
  }

  static gboolean OnButton(GtkStatusIcon*, GdkEventButton* e, gpointer data) {
    auto* self = static_cast<GtkTrayIcon*>(data);
    if (e->type != GDK_BUTTON_PRESS) return FALSE;
    if (e->button == 1) self->Notify(WM_LBUTTONDOWN);
    if (e->button == 3) self->Notify(WM_RBUTTONDOWN);
    return e->button == 1 || e->button == 3;
  }

  static void OnEmbedded(GObject*, GParamSpec*, gpointer data) { static_cast<GtkTrayIcon*>(data)->Reconsider(); }

  NOTIFYICONDATA m_record;
  std::unique_ptr<gtkx::StatusNotifierItem> m_item;  // null without a session bus
  GtkStatusIcon* m_status = nullptr;                 // the XEmbed icon, owned
  TrayKind m_reported = TrayKind::None;  // what the owner was told last
  guint m_grace = 0;                     // waits before telling it of none
  bool m_ready = false;
};

class GtkTray final : public TrayBackend {
 public:
  std::unique_ptr<NativeTrayIcon> AddIcon(const NOTIFYICONDATA& record) override {
    return std::make_unique<GtkTrayIcon>(record, ++m_serial);
  }

  UINT TrackPopup(const MenuPopup& popup, UINT, int x, int y, HWND) override {
    return gtkx::RunPopupMenu(popup, x, y, &m_openMenu);
  }

  void EndMenu() override { gtkx::EndPopupMenu(m_openMenu); }

 private:
  int m_serial = 0;                  // the <n> of the icons' bus names
  GtkWidget* m_openMenu = nullptr;  // the popup menu running now
};

}  // namespace

std::unique_ptr<TrayBackend> CreateGtkTray() { return std::make_unique<GtkTray>(); }

}  // namespace ui
