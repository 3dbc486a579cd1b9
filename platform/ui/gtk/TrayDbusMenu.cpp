// The tray icon's menu exported as com.canonical.dbusmenu, for panels that
// draw a StatusNotifierItem's menu themselves. Item 0 is the root; its
// children are the popup's entries, separators of type "separator".
#include <algorithm>
#include <cstdio>
#include <set>

#include "platform/ui/gtk/TrayParts.h"

namespace ui::gtkx {
namespace {

constexpr const char* kInterface = "com.canonical.dbusmenu";

constexpr const char* kXml = R"xml(<node>
  <interface name="com.canonical.dbusmenu">
    <property name="Version" type="u" access="read"/>
    <property name="TextDirection" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="IconThemePath" type="as" access="read"/>
    <method name="GetLayout">
      <arg type="i" name="parentId" direction="in"/>
      <arg type="i" name="recursionDepth" direction="in"/>
      <arg type="as" name="propertyNames" direction="in"/>
      <arg type="u" name="revision" direction="out"/>
      <arg type="(ia{sv}av)" name="layout" direction="out"/>
    </method>
    <method name="GetGroupProperties">
      <arg type="ai" name="ids" direction="in"/>
      <arg type="as" name="propertyNames" direction="in"/>
      <arg type="a(ia{sv})" name="properties" direction="out"/>
    </method>
    <method name="GetProperty">
      <arg type="i" name="id" direction="in"/>
      <arg type="s" name="name" direction="in"/>
      <arg type="v" name="value" direction="out"/>
    </method>
    <method name="Event">
      <arg type="i" name="id" direction="in"/>
      <arg type="s" name="eventId" direction="in"/>
      <arg type="v" name="data" direction="in"/>
      <arg type="u" name="timestamp" direction="in"/>
    </method>
    <method name="EventGroup">
      <arg type="a(isvu)" name="events" direction="in"/>
      <arg type="ai" name="idErrors" direction="out"/>
    </method>
    <method name="AboutToShow">
      <arg type="i" name="id" direction="in"/>
      <arg type="b" name="needUpdate" direction="out"/>
    </method>
    <method name="AboutToShowGroup">
      <arg type="ai" name="ids" direction="in"/>
      <arg type="ai" name="updatesNeeded" direction="out"/>
      <arg type="ai" name="idErrors" direction="out"/>
    </method>
    <signal name="ItemsPropertiesUpdated">
      <arg type="a(ia{sv})" name="updatedProps"/>
      <arg type="a(ias)" name="removedProps"/>
    </signal>
    <signal name="LayoutUpdated">
      <arg type="u" name="revision"/>
      <arg type="i" name="parent"/>
    </signal>
    <signal name="ItemActivationRequested">
      <arg type="i" name="id"/>
      <arg type="u" name="timestamp"/>
    </signal>
  </interface>
</node>)xml";

// Entries whose command id is taken by an earlier entry, and separators,
// get ids above every command id (those are 1 to 65535).
constexpr gint32 kSpareIds = 0x10000;

// dbusmenu labels read '_' as a mnemonic mark; ours are plain text.
std::string Label(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '_') out += '_';
  }
  return out;
}

std::vector<std::string> Strings(GVariant* as) {
  std::vector<std::string> out;
  GVariantIter it;
  const gchar* s;
  g_variant_iter_init(&it, as);
  while (g_variant_iter_next(&it, "&s", &s)) out.emplace_back(s);
  return out;
}

std::vector<gint32> Ints(GVariant* ai) {
  gsize n = 0;
  const gint32* v = static_cast<const gint32*>(g_variant_get_fixed_array(ai, &n, sizeof(gint32)));
  return std::vector<gint32>(v, v + n);
}

GVariant* IntArray(const std::vector<gint32>& v) {
  return g_variant_new_fixed_array(G_VARIANT_TYPE_INT32, v.data(), v.size(), sizeof(gint32));
}

void UnknownId(GDBusMethodInvocation* invocation, gint32 id) {
  g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS, "no menu item %d", id);
}

}  // namespace

DBusMenu::DBusMenu(GDBusConnection* connection, std::function<void(UINT)> onCommand)
    : m_connection(connection), m_onCommand(std::move(onCommand)) {
  GError* error = nullptr;
  GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kXml, &error);
  if (!node) {
    std::fprintf(stderr, "torvane: dbusmenu interface: %s\n", error->message);
    g_error_free(error);
    return;
  }
  static const GDBusInterfaceVTable vtable = {&DBusMenu::OnMethod, &DBusMenu::OnGetProperty, nullptr, {}};
  m_registration = g_dbus_connection_register_object(connection, kPath, node->interfaces[0], &vtable, this,
                                                     nullptr, &error);
  g_dbus_node_info_unref(node);
  if (!m_registration) {
    std::fprintf(stderr, "torvane: cannot export the tray menu: %s\n", error->message);
    g_error_free(error);
  }
}

DBusMenu::~DBusMenu() {
  if (m_registration) g_dbus_connection_unregister_object(m_connection, m_registration);
}

void DBusMenu::SetPopup(const MenuPopup& popup) {
  std::vector<Entry> entries;
  std::set<gint32> used;
  for (std::size_t i = 0; i < popup.items.size(); ++i) {
    const MenuItem& item = popup.items[i];
    gint32 id = kSpareIds + static_cast<gint32>(i);
    if (!item.separator && item.id > 0 && item.id < static_cast<UINT>(kSpareIds) &&
        !used.count(static_cast<gint32>(item.id)))
      id = static_cast<gint32>(item.id);
    used.insert(id);
    entries.push_back(Entry{id, item});
  }
  bool same = entries.size() == m_entries.size() &&
              std::equal(entries.begin(), entries.end(), m_entries.begin(), [](const Entry& a, const Entry& b) {
                return a.id == b.id && a.item.id == b.item.id && a.item.text == b.item.text &&
                       a.item.separator == b.item.separator;
              });
  if (same) return;
  m_entries = std::move(entries);
  ++m_revision;
  if (m_registration)
    g_dbus_connection_emit_signal(m_connection, nullptr, kPath, kInterface, "LayoutUpdated",
                                  g_variant_new("(ui)", m_revision, 0), nullptr);
}

const DBusMenu::Entry* DBusMenu::Find(gint32 id) const {
  for (const Entry& e : m_entries)
    if (e.id == id) return &e;
  return nullptr;
}

GVariant* DBusMenu::Properties(gint32 id, const std::vector<std::string>& names) const {
  const Entry* e = id == 0 ? nullptr : Find(id);
  if (id != 0 && !e) return nullptr;
  auto wanted = [&](const char* name) {
    return names.empty() || std::find(names.begin(), names.end(), name) != names.end();
  };
  GVariantBuilder b;
  g_variant_builder_init(&b, G_VARIANT_TYPE("a{sv}"));
  if (id == 0) {
    if (wanted("children-display")) g_variant_builder_add(&b, "{sv}", "children-display", g_variant_new_string("submenu"));
  } else if (e->item.separator) {
    if (wanted("type")) g_variant_builder_add(&b, "{sv}", "type", g_variant_new_string("separator"));
  } else {
    if (wanted("label")) g_variant_builder_add(&b, "{sv}", "label", g_variant_new_string(Label(e->item.text).c_str()));
    if (wanted("enabled")) g_variant_builder_add(&b, "{sv}", "enabled", g_variant_new_boolean(TRUE));
    if (wanted("visible")) g_variant_builder_add(&b, "{sv}", "visible", g_variant_new_boolean(TRUE));
  }
  return g_variant_builder_end(&b);
}

GVariant* DBusMenu::Layout(gint32 id, int depth, const std::vector<std::string>& names) const {
  GVariant* props = Properties(id, names);
  if (!props) return nullptr;
  GVariantBuilder children;
  g_variant_builder_init(&children, G_VARIANT_TYPE("av"));
  if (id == 0 && depth != 0)
    for (const Entry& e : m_entries) g_variant_builder_add(&children, "v", Layout(e.id, depth - 1, names));
  return g_variant_new("(i@a{sv}av)", id, props, &children);
}

void DBusMenu::OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                        GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
  auto* self = static_cast<DBusMenu*>(data);
  const std::string m = method;
  if (m == "GetLayout") {
    gint32 parent = 0, depth = -1;
    GVariant* names = nullptr;
    g_variant_get(parameters, "(ii@as)", &parent, &depth, &names);
    GVariant* layout = self->Layout(parent, depth, Strings(names));
    g_variant_unref(names);
    if (!layout) return UnknownId(invocation, parent);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(u@(ia{sv}av))", self->m_revision, layout));
  } else if (m == "GetGroupProperties") {
    GVariant *ids = nullptr, *names = nullptr;
    g_variant_get(parameters, "(@ai@as)", &ids, &names);
    std::vector<gint32> wanted = Ints(ids);
    std::vector<std::string> props = Strings(names);
    g_variant_unref(ids);
    g_variant_unref(names);
    if (wanted.empty()) {
      wanted.push_back(0);
      for (const Entry& e : self->m_entries) wanted.push_back(e.id);
    }
    GVariantBuilder b;
    g_variant_builder_init(&b, G_VARIANT_TYPE("a(ia{sv})"));
    for (gint32 id : wanted)
      if (GVariant* p = self->Properties(id, props)) g_variant_builder_add(&b, "(i@a{sv})", id, p);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(a(ia{sv}))", &b));
  } else if (m == "GetProperty") {
    gint32 id = 0;
    const gchar* name = nullptr;
    g_variant_get(parameters, "(i&s)", &id, &name);
    GVariant* props = self->Properties(id, {name});
    if (!props) return UnknownId(invocation, id);
    GVariant* value = g_variant_lookup_value(props, name, nullptr);
    g_variant_unref(g_variant_ref_sink(props));
    if (!value) {
      g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                            "menu item %d has no property %s", id, name);
      return;
    }
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(v)", value));
    g_variant_unref(value);
  } else if (m == "Event" || m == "EventGroup") {
    // Which events arrive: (id, eventId) pairs.
    std::vector<std::pair<gint32, std::string>> events;
    if (m == "Event") {
      gint32 id = 0;
      const gchar* eventId = nullptr;
      g_variant_get(parameters, "(i&svu)", &id, &eventId, nullptr, nullptr);
      events.emplace_back(id, eventId);
    } else {
      GVariantIter* it = nullptr;
      g_variant_get(parameters, "(a(isvu))", &it);
      gint32 id = 0;
      const gchar* eventId = nullptr;
      while (g_variant_iter_next(it, "(i&svu)", &id, &eventId, nullptr, nullptr)) events.emplace_back(id, eventId);
      g_variant_iter_free(it);
    }
    std::vector<gint32> errors;
    std::vector<UINT> commands;
    for (const auto& [id, eventId] : events) {
      const Entry* e = self->Find(id);
      if (id != 0 && !e) {
        errors.push_back(id);
        continue;
      }
      if (e && eventId == "clicked" && !e->item.separator) commands.push_back(e->item.id);
    }
    if (m == "Event") {
      if (!errors.empty()) return UnknownId(invocation, errors.front());
      g_dbus_method_invocation_return_value(invocation, nullptr);
    } else {
      g_dbus_method_invocation_return_value(invocation, g_variant_new("(@ai)", IntArray(errors)));
    }
    // Each command is posted to the icon's owner, after the answer is on its way.
    for (UINT command : commands) self->m_onCommand(command);
  } else if (m == "AboutToShow") {
    gint32 id = 0;
    g_variant_get(parameters, "(i)", &id);
    if (id != 0 && !self->Find(id)) return UnknownId(invocation, id);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", FALSE));
  } else if (m == "AboutToShowGroup") {
    GVariant* ids = nullptr;
    g_variant_get(parameters, "(@ai)", &ids);
    std::vector<gint32> errors;
    for (gint32 id : Ints(ids))
      if (id != 0 && !self->Find(id)) errors.push_back(id);
    g_variant_unref(ids);
    g_dbus_method_invocation_return_value(invocation,
                                          g_variant_new("(@ai@ai)", IntArray({}), IntArray(errors)));
  } else {
    g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD, "no method %s",
                                          method);
  }
}

GVariant* DBusMenu::OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                                  GError** error, gpointer) {
  const std::string n = name;
  if (n == "Version") return g_variant_new_uint32(3);
  if (n == "TextDirection") return g_variant_new_string("ltr");
  if (n == "Status") return g_variant_new_string("normal");
  if (n == "IconThemePath") return g_variant_new_strv(nullptr, 0);
  g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS, "no property %s", name);
  return nullptr;
}

}  // namespace ui::gtkx
