#include "tests/support/TrayDesktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace {

constexpr int kCallTimeoutMs = 5000;

GDBusConnection* OpenConnection(const std::string& address) {
  GError* error = nullptr;
  GDBusConnection* c = g_dbus_connection_new_for_address_sync(
      address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  if (!c) {
    std::fprintf(stderr, "test bus: cannot connect to %s: %s\n", address.c_str(), error->message);
    g_error_free(error);
    return nullptr;
  }
  g_dbus_connection_set_exit_on_close(c, FALSE);
  return c;
}

std::string Take(GError* error) {
  std::string s = error ? error->message : "";
  if (error) g_error_free(error);
  return s;
}

}  // namespace

// ---- PrivateSessionBus ----

PrivateSessionBus::~PrivateSessionBus() { Stop(); }

bool PrivateSessionBus::Start(int timeoutMs) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::string printAddress = "--print-address=" + std::to_string(fds[1]);
  const char* argv[] = {"dbus-daemon", "--session", "--nofork", "--nopidfile", printAddress.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  int rc = posix_spawnp(&m_pid, "dbus-daemon", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    std::fprintf(stderr, "PrivateSessionBus: cannot start dbus-daemon: %s\n", std::strerror(rc));
    close(fds[0]);
    m_pid = -1;
    return false;
  }
  std::string address;
  pollfd p{fds[0], POLLIN, 0};
  while (poll(&p, 1, timeoutMs) > 0) {
    char c;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    address += c;
  }
  close(fds[0]);
  if (address.empty()) {
    std::fprintf(stderr, "PrivateSessionBus: dbus-daemon did not report an address\n");
    Stop();
    return false;
  }
  m_address = address;
  return true;
}

void PrivateSessionBus::Stop() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGTERM);
  int status;
  waitpid(m_pid, &status, 0);
  m_pid = -1;
}

// ---- BusThread ----

BusThread::BusThread() : m_context(g_main_context_new()), m_loop(g_main_loop_new(m_context, FALSE)) {
  m_thread = std::thread([this] {
    g_main_context_push_thread_default(m_context);
    g_main_loop_run(m_loop);
    // What closing connections still has to say.
    while (g_main_context_iteration(m_context, FALSE)) {
    }
    g_main_context_pop_thread_default(m_context);
  });
}

BusThread::~BusThread() {
  g_main_loop_quit(m_loop);
  m_thread.join();
  g_main_loop_unref(m_loop);
  g_main_context_unref(m_context);
}

void BusThread::Run(const std::function<void()>& fn) {
  struct Job {
    const std::function<void()>* fn;
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
  } job{&fn, {}, {}, false};
  g_main_context_invoke(
      m_context,
      [](gpointer data) -> gboolean {
        auto* j = static_cast<Job*>(data);
        (*j->fn)();
        std::lock_guard<std::mutex> hold(j->lock);
        j->finished = true;
        j->done.notify_all();
        return G_SOURCE_REMOVE;
      },
      &job);
  std::unique_lock<std::mutex> hold(job.lock);
  job.done.wait(hold, [&] { return job.finished; });
}

// ---- TestWatcher ----

namespace {

constexpr const char* kWatcherXml = R"xml(<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg type="s" name="service" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg type="s" name="service" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
</node>)xml";

}  // namespace

bool TestWatcher::Start() {
  if (m_thread) return true;
  m_thread = std::make_unique<BusThread>();
  bool ok = false;
  m_thread->Run([&] {
    m_connection = OpenConnection(m_address);
    if (!m_connection) return;
    GError* error = nullptr;
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kWatcherXml, &error);
    static const GDBusInterfaceVTable vtable = {&TestWatcher::OnMethod, &TestWatcher::OnGetProperty, nullptr, {}};
    m_object = g_dbus_connection_register_object(m_connection, "/StatusNotifierWatcher", node->interfaces[0],
                                                 &vtable, this, nullptr, &error);
    g_dbus_node_info_unref(node);
    if (!m_object) {
      std::fprintf(stderr, "TestWatcher: %s\n", Take(error).c_str());
      return;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        m_connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", "org.kde.StatusNotifierWatcher", 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE,
        kCallTimeoutMs, nullptr, &error);
    if (!reply) {
      std::fprintf(stderr, "TestWatcher: %s\n", Take(error).c_str());
      return;
    }
    guint32 result = 0;
    g_variant_get(reply, "(u)", &result);
    g_variant_unref(reply);
    ok = result == 1;
  });
  if (!ok) Stop();
  return ok;
}

void TestWatcher::Stop() {
  if (!m_thread) return;
  m_thread->Run([&] {
    if (!m_connection) return;
    if (m_object) g_dbus_connection_unregister_object(m_connection, m_object);
    m_object = 0;
    g_dbus_connection_close_sync(m_connection, nullptr, nullptr);
    g_object_unref(m_connection);
    m_connection = nullptr;
  });
  m_thread.reset();
}

std::vector<TestWatcher::Registration> TestWatcher::WaitForRegistrations(std::size_t n, int timeoutMs) {
  std::unique_lock<std::mutex> hold(m_lock);
  m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return m_registrations.size() >= n; });
  return m_registrations;
}

void TestWatcher::OnMethod(GDBusConnection* connection, const gchar* sender, const gchar*, const gchar*,
                           const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                           gpointer data) {
  auto* self = static_cast<TestWatcher*>(data);
  const gchar* service = nullptr;
  g_variant_get(parameters, "(&s)", &service);
  if (std::strcmp(method, "RegisterStatusNotifierItem") == 0) {
    std::string item = std::string(sender) + std::string(service[0] == '/' ? service : "/StatusNotifierItem");
    {
      std::lock_guard<std::mutex> hold(self->m_lock);
      self->m_registrations.push_back(Registration{service, sender});
      self->m_changed.notify_all();
    }
    g_dbus_connection_emit_signal(connection, nullptr, "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher",
                                  "StatusNotifierItemRegistered", g_variant_new("(s)", item.c_str()), nullptr);
  }
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* TestWatcher::OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                                     GError** error, gpointer data) {
  auto* self = static_cast<TestWatcher*>(data);
  if (std::strcmp(name, "IsStatusNotifierHostRegistered") == 0) return g_variant_new_boolean(TRUE);
  if (std::strcmp(name, "ProtocolVersion") == 0) return g_variant_new_int32(0);
  GVariantBuilder b;
  g_variant_builder_init(&b, G_VARIANT_TYPE("as"));
  std::lock_guard<std::mutex> hold(self->m_lock);
  for (const auto& r : self->m_registrations) g_variant_builder_add(&b, "s", r.service.c_str());
  return g_variant_builder_end(&b);
}

// ---- TestHost ----

TestHost::~TestHost() {
  if (!m_thread) return;
  m_thread->Run([&] {
    for (guint s : m_subscriptions) g_dbus_connection_signal_unsubscribe(m_connection, s);
    if (m_connection) {
      g_dbus_connection_close_sync(m_connection, nullptr, nullptr);
      g_object_unref(m_connection);
    }
  });
  m_thread.reset();
}

bool TestHost::Connect() {
  m_thread = std::make_unique<BusThread>();
  m_thread->Run([&] { m_connection = OpenConnection(m_address); });
  return m_connection != nullptr;
}

GVariant* TestHost::Call(const std::string& service, const std::string& path, const std::string& iface,
                         const std::string& method, GVariant* parameters, std::string* error) {
  GError* e = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(m_connection, service.c_str(), path.c_str(), iface.c_str(),
                                                method.c_str(), parameters, nullptr, G_DBUS_CALL_FLAGS_NONE,
                                                kCallTimeoutMs, nullptr, &e);
  std::string message = Take(e);
  if (error) *error = message;
  return reply;
}

GVariant* TestHost::Property(const std::string& service, const std::string& path, const std::string& iface,
                             const std::string& name, std::string* error) {
  GVariant* reply = Call(service, path, "org.freedesktop.DBus.Properties", "Get",
                         g_variant_new("(ss)", iface.c_str(), name.c_str()), error);
  if (!reply) return nullptr;
  GVariant* value = nullptr;
  g_variant_get(reply, "(v)", &value);
  g_variant_unref(reply);
  return value;
}

bool TestHost::HasOwner(const std::string& name) {
  GVariant* reply = Call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                         g_variant_new("(s)", name.c_str()));
  if (!reply) return false;
  gboolean has = FALSE;
  g_variant_get(reply, "(b)", &has);
  g_variant_unref(reply);
  return has;
}

void TestHost::Listen(const std::string& service, const std::string& member) {
  m_thread->Run([&] {
    guint id = g_dbus_connection_signal_subscribe(
        m_connection, service.c_str(), nullptr, member.c_str(), nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* signal, GVariant*,
           gpointer data) {
          auto* self = static_cast<TestHost*>(data);
          std::lock_guard<std::mutex> hold(self->m_lock);
          ++self->m_signals[signal];
          self->m_changed.notify_all();
        },
        this, nullptr);
    m_subscriptions.push_back(id);
  });
  // The bus applies the match rule before any later call of ours is answered.
  if (GVariant* r = Call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.Peer", "Ping",
                         nullptr))
    g_variant_unref(r);
}

bool TestHost::WaitForSignal(const std::string& member, int n, int timeoutMs) {
  std::unique_lock<std::mutex> hold(m_lock);
  return m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return m_signals[member] >= n; });
}
