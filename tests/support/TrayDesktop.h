// The desktop's side of a tray icon, for end-to-end tests: a private session
// bus (dbus-daemon), an org.kde.StatusNotifierWatcher that records the items
// registering with it, and a host that reads an item and its menu over the
// bus and calls them as a panel does. Library tv_test_tray.
//
// Threads: each object is used from one test thread; the watcher and the
// host answer the bus on threads of their own.
#pragma once

#include <gio/gio.h>
#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A dbus-daemon of the test's own ("dbus-daemon --session --nofork"),
// stopped (SIGTERM, waited for) on destruction.
class PrivateSessionBus {
 public:
  PrivateSessionBus() = default;
  ~PrivateSessionBus();
  PrivateSessionBus(const PrivateSessionBus&) = delete;
  PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

  // False, with the reason on stderr, when no address came within timeoutMs.
  bool Start(int timeoutMs = 10000);
  void Stop();
  const std::string& Address() const { return m_address; }

 private:
  pid_t m_pid = -1;
  std::string m_address;
};

// A GMainLoop on a thread of its own, for what answers the bus.
class BusThread {
 public:
  BusThread();
  ~BusThread();
  BusThread(const BusThread&) = delete;
  BusThread& operator=(const BusThread&) = delete;

  // Runs fn on the thread and waits for it.
  void Run(const std::function<void()>& fn);
  GMainContext* Context() const { return m_context; }

 private:
  GMainContext* m_context;
  GMainLoop* m_loop;
  std::thread m_thread;
};

// Owns org.kde.StatusNotifierWatcher on the bus and records each
// RegisterStatusNotifierItem (the service named and who sent it).
class TestWatcher {
 public:
  struct Registration {
    std::string service;
    std::string sender;
  };

  explicit TestWatcher(std::string address) : m_address(std::move(address)) {}
  ~TestWatcher() { Stop(); }
  TestWatcher(const TestWatcher&) = delete;
  TestWatcher& operator=(const TestWatcher&) = delete;

  // Connects and owns the name; false when it cannot.
  bool Start();
  // Leaves the bus: the name has no owner any more.
  void Stop();
  // Waits until at least n items registered; the registrations so far.
  std::vector<Registration> WaitForRegistrations(std::size_t n, int timeoutMs);

 private:
  static void OnMethod(GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self);
  static GVariant* OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                                 GError**, gpointer self);

  std::string m_address;
  std::unique_ptr<BusThread> m_thread;
  GDBusConnection* m_connection = nullptr;
  guint m_object = 0;
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<Registration> m_registrations;
};

// A panel's view of a StatusNotifierItem: properties, method calls and the
// signals it sends, over a connection of its own.
class TestHost {
 public:
  explicit TestHost(std::string address) : m_address(std::move(address)) {}
  ~TestHost();
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  bool Connect();
  // Property `name` of interface `iface` at (service, path); null on error
  // (the message in *error). The result is owned by the caller.
  GVariant* Property(const std::string& service, const std::string& path, const std::string& iface,
                     const std::string& name, std::string* error = nullptr);
  // A method call; the reply (owned) or null with the error message.
  GVariant* Call(const std::string& service, const std::string& path, const std::string& iface,
                 const std::string& method, GVariant* parameters, std::string* error = nullptr);
  bool HasOwner(const std::string& name);
  // Counts the signals `member` that service sends from now on.
  void Listen(const std::string& service, const std::string& member);
  // Waits until `member` came at least n times; whether it did.
  bool WaitForSignal(const std::string& member, int n, int timeoutMs);

 private:
  std::string m_address;
  std::unique_ptr<BusThread> m_thread;
  GDBusConnection* m_connection = nullptr;
  std::vector<guint> m_subscriptions;
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::map<std::string, int> m_signals;
};
