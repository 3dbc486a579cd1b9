// The gtk backend's notification-area parts, shared by its Tray*.cpp and
// GtkMenu.cpp files (internal to platform/ui/gtk):
//   - RunPopupMenu: a GtkMenu at a screen point, run in a nested loop;
//   - DBusMenu: a popup exported as com.canonical.dbusmenu;
//   - StatusNotifierItem: an org.kde.StatusNotifierItem of our own on a
//     private connection to the session bus, registered with the watcher and
//     following it as it comes and goes.
// UI thread only; D-Bus calls reach these objects on the UI thread's main
// context.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/Menu.h"
#include "platform/ui/TrayIcon.h"

typedef struct _GdkPixbuf GdkPixbuf;
typedef struct _GtkWidget GtkWidget;

namespace ui::gtkx {

// Shows popup at the screen point until an entry is chosen (its id) or the
// menu is dismissed (0). The client's posted messages and timers keep running.
// *open is the menu while it runs (for EndPopupMenu), null before and after.
UINT RunPopupMenu(const MenuPopup& popup, int x, int y, GtkWidget** open);
// Closes a menu RunPopupMenu runs, as dismissed.
void EndPopupMenu(GtkWidget* menu);

// The icon's picture from PNG bytes (a new reference), or null.
GdkPixbuf* PixbufFromPng(const std::string& png);

// A popup exported as com.canonical.dbusmenu on a connection. Entries get
// the ids of their commands where those are unique; a chosen entry ("clicked")
// reaches onCommand with its command id.
class DBusMenu {
 public:
  static constexpr const char* kPath = "/MenuBar";

  DBusMenu(GDBusConnection* connection, std::function<void(UINT)> onCommand);
  ~DBusMenu();
  DBusMenu(const DBusMenu&) = delete;
  DBusMenu& operator=(const DBusMenu&) = delete;

  bool Exported() const { return m_registration != 0; }
  // New entries; hosts hear LayoutUpdated.
  void SetPopup(const MenuPopup& popup);

 private:
  struct Entry {
    gint32 id;  // on the bus
    MenuItem item;
  };
  const Entry* Find(gint32 id) const;
  GVariant* Properties(gint32 id, const std::vector<std::string>& names) const;  // floating a{sv}, null: unknown id
  GVariant* Layout(gint32 id, int depth, const std::vector<std::string>& names) const;

  static void OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self);
  static GVariant* OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                                 GError**, gpointer self);

  GDBusConnection* m_connection;
  guint m_registration = 0;
  std::function<void(UINT)> m_onCommand;
  std::vector<Entry> m_entries;
  guint32 m_revision = 1;
};

// What a StatusNotifierItem tells its icon.
struct StatusNotifierEvents {
  std::function<void()> activate;     // Activate: a left click
  std::function<void()> contextMenu;  // ContextMenu: the host wants our own menu
  std::function<void(UINT)> command;  // an entry of the exported menu chosen
  std::function<void()> changed;      // Active() changed
};

class StatusNotifierItem {
 public:
  static constexpr const char* kWatcher = "org.kde.StatusNotifierWatcher";
  static constexpr const char* kPath = "/StatusNotifierItem";

  // Connects to the session bus, owns org.kde.StatusNotifierItem-<pid>-<serial>,
  // exports the item and its menu, and registers with the watcher if one
  // runs. Null, with the reason on stderr, where there is no session bus.
  static std::unique_ptr<StatusNotifierItem> Create(const NOTIFYICONDATA& record, int serial,
                                                    StatusNotifierEvents events);
  ~StatusNotifierItem();
  StatusNotifierItem(const StatusNotifierItem&) = delete;
  StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

  // Whether a watcher has the item (registered, or the registration is on
  // its way to a watcher that runs).
  bool Active() const { return m_active; }
  const std::string& BusName() const { return m_busName; }
  void Update(const NOTIFYICONDATA& record);

 private:
  StatusNotifierItem(GDBusConnection* connection, std::string busName, const NOTIFYICONDATA& record,
                     StatusNotifierEvents events);
  bool Export();
  void RegisterWith(const std::string& watcherOwner);
  void SetActive(bool active);
  void Emit(const char* signal, GVariant* parameters);
  GVariant* Property(const gchar* name) const;

  static void OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self);
  static GVariant* OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                                 GError**, gpointer self);
  static void OnWatcherAppeared(GDBusConnection*, const gchar*, const gchar* owner, gpointer self);
  static void OnWatcherVanished(GDBusConnection*, const gchar*, gpointer self);
  static void OnRegistered(GObject* source, GAsyncResult* result, gpointer self);
  static void OnClosed(GDBusConnection*, gboolean, GError*, gpointer self);

  GDBusConnection* m_connection;  // our own reference; private to this item
  std::string m_busName;
  NOTIFYICONDATA m_record;
  StatusNotifierEvents m_events;
  GVariant* m_pixmaps = nullptr;  // a(iiay), owned
  std::unique_ptr<DBusMenu> m_menu;
  guint m_registration = 0;
  guint m_watch = 0;
  gulong m_closedHandler = 0;
  GCancellable* m_cancel = nullptr;  // pending registrations
  std::string m_watcherOwner;        // the watcher registered with (or being)
  bool m_active = false;
};

}  // namespace ui::gtkx
