// The tray icon as an org.kde.StatusNotifierItem of our own: a private
// connection to the session bus (so a bus that goes away ends only the icon,
// not the process), the bus name org.kde.StatusNotifierItem-<pid>-<n>, the
// item at /StatusNotifierItem and its menu at /MenuBar. The item registers
// with the org.kde.StatusNotifierWatcher whenever one appears and counts as
// shown while a watcher has it.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <unistd.h>

#include <cstdio>

#include "platform/base/Text.h"
#include "platform/ui/EventLoop.h"
#include "platform/ui/gtk/TrayParts.h"

namespace ui::gtkx {
namespace {

constexpr const char* kInterface = "org.kde.StatusNotifierItem";
constexpr int kNameTimeoutMs = 1000;
constexpr int kOwnerTimeoutMs = 500;
constexpr int kRegisterTimeoutMs = 5000;

constexpr const char* kXml = R"xml(<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Category" type="s" access="read"/>
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="WindowId" type="i" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="IconPixmap" type="a(iiay)" access="read"/>
    <property name="OverlayIconName" type="s" access="read"/>
    <property name="OverlayIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionIconName" type="s" access="read"/>
    <property name="AttentionIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionMovieName" type="s" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <property name="ItemIsMenu" type="b" access="read"/>
    <property name="Menu" type="o" access="read"/>
    <method name="ContextMenu">
      <arg type="i" name="x" direction="in"/>
      <arg type="i" name="y" direction="in"/>
    </method>
    <method name="Activate">
      <arg type="i" name="x" direction="in"/>
      <arg type="i" name="y" direction="in"/>
    </method>
    <method name="SecondaryActivate">
      <arg type="i" name="x" direction="in"/>
      <arg type="i" name="y" direction="in"/>
    </method>
    <method name="Scroll">
      <arg type="i" name="delta" direction="in"/>
      <arg type="s" name="orientation" direction="in"/>
    </method>
    <signal name="NewTitle"/>
    <signal name="NewIcon"/>
    <signal name="NewAttentionIcon"/>
    <signal name="NewOverlayIcon"/>
    <signal name="NewToolTip"/>
    <signal name="NewStatus">
      <arg type="s" name="status"/>
    </signal>
  </interface>
</node>)xml";

GVariant* NoPixmaps() { return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0); }

// The icon at several sizes as a(iiay): width, height, ARGB32 pixels in
// network byte order. Empty for bytes that are no picture.
GVariant* Pixmaps(const std::string& png) {
  GdkPixbuf* source = PixbufFromPng(png);
  if (!source) return g_variant_ref_sink(NoPixmaps());
  GVariantBuilder b;
  g_variant_builder_init(&b, G_VARIANT_TYPE("a(iiay)"));
  const int w0 = gdk_pixbuf_get_width(source), h0 = gdk_pixbuf_get_height(source);
  for (int size : {16, 22, 24, 32, 48, 64, 0}) {
    int w = size ? size : w0, h = size ? size : h0;
    if (size && (size >= w0 || size >= h0)) continue;
    GdkPixbuf* scaled = size ? gdk_pixbuf_scale_simple(source, w, h, GDK_INTERP_HYPER) : g_object_ref(source);
    if (!scaled) continue;
    const int channels = gdk_pixbuf_get_n_channels(scaled), stride = gdk_pixbuf_get_rowstride(scaled);
    const bool alpha = gdk_pixbuf_get_has_alpha(scaled);
    const guchar* pixels = gdk_pixbuf_read_pixels(scaled);
    std::string argb(static_cast<std::size_t>(w) * h * 4, '\0');
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const guchar* p = pixels + y * stride + x * channels;
        char* q = &argb[(static_cast<std::size_t>(y) * w + x) * 4];
        q[0] = static_cast<char>(alpha ? p[3] : 255);
        q[1] = static_cast<char>(p[0]);
        q[2] = static_cast<char>(p[1]);
        q[3] = static_cast<char>(p[2]);
      }
    g_object_unref(scaled);
    GVariant* bytes = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, argb.data(), argb.size(), 1);
    g_variant_builder_add(&b, "(ii@ay)", w, h, bytes);
  }
  g_object_unref(source);
  return g_variant_ref_sink(g_variant_builder_end(&b));
}

std::string ItemId() {
  if (!ApplicationId().empty()) return ApplicationId();
  const char* prg = g_get_prgname();
  return prg && *prg ? prg : "torvane";
}

void Complain(const char* what, GError* error) {
  std::fprintf(stderr, "torvane: tray icon: %s: %s\n", what, error ? error->message : "failed");
  if (error) g_error_free(error);
}

}  // namespace

std::unique_ptr<StatusNotifierItem> StatusNotifierItem::Create(const NOTIFYICONDATA& record, int serial,
                                                               StatusNotifierEvents events) {
  GError* error = nullptr;
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!address) {
    Complain("no session bus", error);
    return nullptr;
  }
  GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  g_free(address);
  if (!connection) {
    Complain("cannot connect to the session bus", error);
    return nullptr;
  }
  g_dbus_connection_set_exit_on_close(connection, FALSE);
  std::string name = text::Format("org.kde.StatusNotifierItem-%d-%d", static_cast<int>(getpid()), serial);
  std::unique_ptr<StatusNotifierItem> item(new StatusNotifierItem(connection, name, record, std::move(events)));
  if (!item->Export()) return nullptr;

  GVariant* reply = g_dbus_connection_call_sync(
      connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
      g_variant_new("(su)", name.c_str(), 4u /* DBUS_NAME_FLAG_DO_NOT_QUEUE */), G_VARIANT_TYPE("(u)"),
      G_DBUS_CALL_FLAGS_NONE, kNameTimeoutMs, nullptr, &error);
  if (!reply) {
    Complain("cannot own its bus name", error);
    return nullptr;
  }
  guint32 result = 0;
  g_variant_get(reply, "(u)", &result);
  g_variant_unref(reply);
  if (result != 1 /* DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER */) {
    std::fprintf(stderr, "torvane: tray icon: the bus name %s is taken\n", name.c_str());
    return nullptr;
  }

  // A watcher that runs now gets the item at once; the answer comes later.
  reply = g_dbus_connection_call_sync(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                      "org.freedesktop.DBus", "GetNameOwner", g_variant_new("(s)", kWatcher),
                                      G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, kOwnerTimeoutMs, nullptr,
                                      nullptr);
  if (reply) {
    const gchar* owner = nullptr;
    g_variant_get(reply, "(&s)", &owner);
    item->RegisterWith(owner);
    g_variant_unref(reply);
  }
  item->m_watch = g_bus_watch_name_on_connection(connection, kWatcher, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                                 &StatusNotifierItem::OnWatcherAppeared,
                                                 &StatusNotifierItem::OnWatcherVanished, item.get(), nullptr);
  item->m_closedHandler = g_signal_connect(connection, "closed", G_CALLBACK(&StatusNotifierItem::OnClosed), item.get());
  return item;
}

StatusNotifierItem::StatusNotifierItem(GDBusConnection* connection, std::string busName,
                                       const NOTIFYICONDATA& record, StatusNotifierEvents events)
    : m_connection(connection), m_busName(std::move(busName)), m_record(record), m_events(std::move(events)) {
  m_pixmaps = Pixmaps(record.hIcon);
}

StatusNotifierItem::~StatusNotifierItem() {
  if (m_cancel) {
    g_cancellable_cancel(m_cancel);
    g_object_unref(m_cancel);
  }
  if (m_watch) g_bus_unwatch_name(m_watch);
  if (m_closedHandler) g_signal_handler_disconnect(m_connection, m_closedHandler);
  if (m_registration) g_dbus_connection_unregister_object(m_connection, m_registration);
  m_menu.reset();
  // Closing the connection gives the name back: the watcher and the hosts
  // drop the item.
  g_dbus_connection_close_sync(m_connection, nullptr, nullptr);
  g_object_unref(m_connection);
  if (m_pixmaps) g_variant_unref(m_pixmaps);
}

bool StatusNotifierItem::Export() {
  GError* error = nullptr;
  GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kXml, &error);
  if (!node) {
    Complain("item interface", error);
    return false;
  }
  static const GDBusInterfaceVTable vtable = {&StatusNotifierItem::OnMethod, &StatusNotifierItem::OnGetProperty,
                                              nullptr, {}};
  m_registration = g_dbus_connection_register_object(m_connection, kPath, node->interfaces[0], &vtable, this,
                                                     nullptr, &error);
  g_dbus_node_info_unref(node);
  if (!m_registration) {
    Complain("cannot export the item", error);
    return false;
  }
  m_menu = std::make_unique<DBusMenu>(m_connection, [this](UINT id) {
    if (m_events.command) m_events.command(id);
  });
  m_menu->SetPopup(m_record.menu);
  return m_menu->Exported();
}

void StatusNotifierItem::RegisterWith(const std::string& watcherOwner) {
  if (m_cancel) {
    g_cancellable_cancel(m_cancel);
    g_object_unref(m_cancel);
  }
  m_cancel = g_cancellable_new();
  m_watcherOwner = watcherOwner;
  // Addressed to that watcher's unique name: a watcher that replaces it
  // meanwhile is registered with on its own appearance.
  g_dbus_connection_call(m_connection, watcherOwner.c_str(), "/StatusNotifierWatcher", kWatcher,
                         "RegisterStatusNotifierItem", g_variant_new("(s)", m_busName.c_str()), nullptr,
                         G_DBUS_CALL_FLAGS_NONE, kRegisterTimeoutMs, m_cancel, &StatusNotifierItem::OnRegistered,
                         this);
  SetActive(true);
}

void StatusNotifierItem::SetActive(bool active) {
  if (active == m_active) return;
  m_active = active;
  if (m_events.changed) m_events.changed();
}

void StatusNotifierItem::OnRegistered(GObject* source, GAsyncResult* result, gpointer data) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
  if (reply) {
    g_variant_unref(reply);
    return;
  }
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {  // the item is gone or registers anew
    g_error_free(error);
    return;
  }
  auto* self = static_cast<StatusNotifierItem*>(data);
  Complain("the watcher refused the item", error);
  self->SetActive(false);
}

void StatusNotifierItem::OnWatcherAppeared(GDBusConnection*, const gchar*, const gchar* owner, gpointer data) {
  auto* self = static_cast<StatusNotifierItem*>(data);
  if (owner && self->m_watcherOwner != owner) self->RegisterWith(owner);
}

void StatusNotifierItem::OnWatcherVanished(GDBusConnection*, const gchar*, gpointer data) {
  auto* self = static_cast<StatusNotifierItem*>(data);
  if (self->m_watcherOwner.empty()) return;
  self->m_watcherOwner.clear();
  if (self->m_cancel) g_cancellable_cancel(self->m_cancel);
  self->SetActive(false);
}

void StatusNotifierItem::OnClosed(GDBusConnection*, gboolean, GError*, gpointer data) {
  auto* self = static_cast<StatusNotifierItem*>(data);
  std::fprintf(stderr, "torvane: tray icon: the session bus went away\n");
  self->m_watcherOwner.clear();
  self->SetActive(false);
}

void StatusNotifierItem::Emit(const char* signal, GVariant* parameters) {
  g_dbus_connection_emit_signal(m_connection, nullptr, kPath, kInterface, signal, parameters, nullptr);
}

void StatusNotifierItem::Update(const NOTIFYICONDATA& record) {
  bool icon = record.hIcon != m_record.hIcon, tip = record.szTip != m_record.szTip;
  m_record = record;
  if (icon) {
    g_variant_unref(m_pixmaps);
    m_pixmaps = Pixmaps(record.hIcon);
    Emit("NewIcon", nullptr);
  }
  if (tip) {
    Emit("NewTitle", nullptr);
    Emit("NewToolTip", nullptr);
  }
  if (m_menu) m_menu->SetPopup(record.menu);
}

GVariant* StatusNotifierItem::Property(const gchar* name) const {
  const std::string n = name;
  if (n == "Category") return g_variant_new_string("ApplicationStatus");
  if (n == "Id") return g_variant_new_string(ItemId().c_str());
  if (n == "Title") return g_variant_new_string(m_record.szTip.c_str());
  if (n == "Status") return g_variant_new_string("Active");
  if (n == "WindowId") return g_variant_new_int32(0);
  if (n == "IconPixmap") return g_variant_ref(m_pixmaps);
  if (n == "OverlayIconPixmap" || n == "AttentionIconPixmap") return NoPixmaps();
  if (n == "IconName" || n == "OverlayIconName" || n == "AttentionIconName" || n == "AttentionMovieName")
    return g_variant_new_string("");
  if (n == "ToolTip")
    return g_variant_new("(s@a(iiay)ss)", "", NoPixmaps(), m_record.szTip.c_str(), "");
  if (n == "ItemIsMenu") return g_variant_new_boolean(FALSE);
  if (n == "Menu") return g_variant_new_object_path(DBusMenu::kPath);
  return nullptr;
}

void StatusNotifierItem::OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                                  GVariant*, GDBusMethodInvocation* invocation, gpointer data) {
  auto* self = static_cast<StatusNotifierItem*>(data);
  const std::string m = method;
  if (m != "Activate" && m != "ContextMenu" && m != "SecondaryActivate" && m != "Scroll") {
    g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD, "no method %s",
                                          method);
    return;
  }
  g_dbus_method_invocation_return_value(invocation, nullptr);
  if (m == "Activate" && self->m_events.activate) self->m_events.activate();
  if (m == "ContextMenu" && self->m_events.contextMenu) self->m_events.contextMenu();
}

GVariant* StatusNotifierItem::OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                            const gchar* name, GError** error, gpointer data) {
  GVariant* value = static_cast<StatusNotifierItem*>(data)->Property(name);
  if (!value) g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS, "no property %s", name);
  return value;
}

}  // namespace ui::gtkx
