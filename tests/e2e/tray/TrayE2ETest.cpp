// The tray icon on the real gtk backend under a private Xvfb and a private
// session bus, put up by tray_show from a hidden window:
//   - as a StatusNotifierItem: registered with a watcher of the test's own,
//     read and called by a host as a panel does (properties, the icon's
//     pixels, Activate, ContextMenu, the dbusmenu layout and its "clicked"
//     events), following the watcher as it goes and comes back;
//   - as an XEmbed icon in trayer where no watcher runs: found on the screen,
//     clicked with xdotool, its popup menu answered by a click on an entry,
//     a click elsewhere or Escape; the screenshots are kept in the test's
//     folder (icon.png, menu.png);
//   - where the desktop has no tray at all.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/Resources.h"
#include "platform/gfx/Png.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TrayDesktop.h"
#include "tests/support/VirtualDisplay.h"

namespace {

constexpr int kWaitMs = 10000;
constexpr const char* kTip = "琥珀航线 Ver 1.0.0.1";
constexpr const char* kItemIface = "org.kde.StatusNotifierItem";
constexpr const char* kMenuIface = "com.canonical.dbusmenu";

std::string Bin(const std::string& name) {
  const char* dir = std::getenv("TORVANE_TEST_BIN");
  return dir ? std::string(dir) + "/" + name : name;
}

std::string Output(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

bool Shell(const std::string& cmd) { return std::system(cmd.c_str()) == 0; }

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  int cx() const { return x + w / 2; }
  int cy() const { return y + h / 2; }
};

// "menu-item LABEL X Y W H"
Rect ItemRect(const std::string& line) {
  std::istringstream in(line);
  std::string word, label;
  Rect r;
  in >> word >> label >> r.x >> r.y >> r.w >> r.h;
  return r;
}

// The icon's own window in the tray: a window of the program's class no
// larger than a tray slot.
bool FindIconWindow(Rect* out) {
  std::istringstream ids(Output("xdotool search --classname torvane-tray-show 2>/dev/null"));
  std::string id;
  while (ids >> id) {
    std::istringstream geo(Output("xdotool getwindowgeometry --shell " + id));
    std::string line;
    Rect r;
    while (std::getline(geo, line)) {
      if (line.rfind("X=", 0) == 0) r.x = std::atoi(line.c_str() + 2);
      if (line.rfind("Y=", 0) == 0) r.y = std::atoi(line.c_str() + 2);
      if (line.rfind("WIDTH=", 0) == 0) r.w = std::atoi(line.c_str() + 6);
      if (line.rfind("HEIGHT=", 0) == 0) r.h = std::atoi(line.c_str() + 7);
    }
    if (r.w > 4 && r.h > 4 && r.w <= 64 && r.h <= 64) {
      *out = r;
      return true;
    }
  }
  return false;
}

gfx::Surface ReadPng(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return gfx::DecodePng(bytes);
}

gfx::Surface IconPng() {
  auto bytes = res::Find("ICON", 128);
  return bytes ? gfx::DecodePng(*bytes) : gfx::Surface();
}

// The share of a screen region's pixels whose colour (at 3 bits a channel)
// the design shows on at least 0.5% of its opaque pixels.
double ShareOfDesignColours(const gfx::Surface& screen, const Rect& r, const gfx::Surface& design) {
  auto key = [](std::uint32_t p) { return ((p >> 21) & 0x7) << 6 | ((p >> 13) & 0x7) << 3 | ((p >> 5) & 0x7); };
  std::vector<int> count(512, 0);
  int opaque = 0;
  for (int y = 0; y < design.height(); ++y)
    for (int x = 0; x < design.width(); ++x)
      if (std::uint32_t p = design.Pixel(x, y); (p >> 24) == 0xFF) {
        ++count[key(p)];
        ++opaque;
      }
  int inside = 0, matching = 0;
  for (int y = r.y; y < r.y + r.h; ++y)
    for (int x = r.x; x < r.x + r.w; ++x) {
      ++inside;
      matching += count[key(screen.Pixel(x, y))] * 200 >= opaque;
    }
  return inside ? static_cast<double>(matching) / inside : 0;
}

std::string Str(GVariant* v) {
  std::string s = v && g_variant_is_of_type(v, G_VARIANT_TYPE_STRING) ? g_variant_get_string(v, nullptr) : "<none>";
  if (v) g_variant_unref(v);
  return s;
}

class TrayE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(display.Start());
    ASSERT_TRUE(bus.Start());
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().c_str(), 1);
    setenv("NO_AT_BRIDGE", "1", 1);  // no accessibility bus started on the test's bus
    dir = ::testing::TempDir() + "tray_e2e";
    Shell("mkdir -p '" + dir + "'");
  }

  // Starts a new tray_show; its "added" line.
  std::string StartClient() {
    EXPECT_TRUE(client.Start({Bin("tray_show"), kTip}));
    pid = client.WaitForPrefix("pid ", kWaitMs).substr(4);
    return client.WaitForPrefix("added ", kWaitMs);
  }
  // Waits for a line from index `from` on.
  bool Saw(const std::string& line, std::size_t from, int timeoutMs = kWaitMs) {
    return client.WaitFor([&](const std::string& l) { return l == line; }, timeoutMs, from) == line;
  }
  bool StartTrayer() {
    return trayer.Start({"trayer", "--edge", "top", "--align", "left", "--widthtype", "request", "--height", "32",
                         "--transparent", "false", "--tint", "0x808080"});
  }
  std::string Screenshot(const std::string& name) {
    std::string path = dir + "/" + name + ".png";
    return Shell("import -window root -depth 8 'png24:" + path + "' 2>/dev/null") ? path : "";
  }

  VirtualDisplay display;
  PrivateSessionBus bus;
  ChildProcess client, trayer;
  std::string pid, dir;
};

TEST_F(TrayE2E, AStatusNotifierItemServesWatcherAndHost) {
  TestWatcher watcher(bus.Address());
  ASSERT_TRUE(watcher.Start());
  TestHost host(bus.Address());
  ASSERT_TRUE(host.Connect());
  ASSERT_EQ(StartClient(), "added 1 status-notifier");

  auto regs = watcher.WaitForRegistrations(1, kWaitMs);
  ASSERT_EQ(regs.size(), 1u);
  const std::string service = "org.kde.StatusNotifierItem-" + pid + "-1";
  EXPECT_EQ(regs[0].service, service);
  EXPECT_TRUE(host.HasOwner(service));
  const std::string path = "/StatusNotifierItem";

  // What a panel reads.
  EXPECT_EQ(Str(host.Property(service, path, kItemIface, "Id")), "torvane-tray-show");
  EXPECT_EQ(Str(host.Property(service, path, kItemIface, "Title")), kTip);
  EXPECT_EQ(Str(host.Property(service, path, kItemIface, "Category")), "ApplicationStatus");
  EXPECT_EQ(Str(host.Property(service, path, kItemIface, "Status")), "Active");
  GVariant* isMenu = host.Property(service, path, kItemIface, "ItemIsMenu");
  ASSERT_NE(isMenu, nullptr);
  EXPECT_FALSE(g_variant_get_boolean(isMenu));
  g_variant_unref(isMenu);
  GVariant* menuPath = host.Property(service, path, kItemIface, "Menu");
  ASSERT_NE(menuPath, nullptr);
  ASSERT_TRUE(g_variant_is_of_type(menuPath, G_VARIANT_TYPE_OBJECT_PATH));
  const std::string menu = g_variant_get_string(menuPath, nullptr);
  g_variant_unref(menuPath);
  GVariant* tooltip = host.Property(service, path, kItemIface, "ToolTip");
  ASSERT_NE(tooltip, nullptr);
  const gchar* tipTitle = nullptr;
  g_variant_get(tooltip, "(&sa(iiay)&ss)", nullptr, nullptr, &tipTitle, nullptr);
  EXPECT_STREQ(tipTitle, kTip);
  g_variant_unref(tooltip);

  // The icon: ARGB32 in network byte order at several sizes; the full-size
  // one holds the resource's pixels.
  GVariant* pixmaps = host.Property(service, path, kItemIface, "IconPixmap");
  ASSERT_NE(pixmaps, nullptr);
  ASSERT_GE(g_variant_n_children(pixmaps), 2u);
  gfx::Surface png = IconPng();
  ASSERT_FALSE(png.empty());
  bool fullSize = false;
  for (gsize i = 0; i < g_variant_n_children(pixmaps); ++i) {
    gint32 w = 0, h = 0;
    GVariant* bytes = nullptr;
    g_variant_get_child(pixmaps, i, "(ii@ay)", &w, &h, &bytes);
    gsize n = 0;
    const auto* data = static_cast<const std::uint8_t*>(g_variant_get_fixed_array(bytes, &n, 1));
    EXPECT_EQ(n, static_cast<gsize>(w) * h * 4) << w << "x" << h;
    if (w == png.width() && h == png.height() && n == static_cast<gsize>(w) * h * 4) {
      fullSize = true;
      int opaque = 0, same = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          std::uint32_t p = png.Pixel(x, y);
          if ((p >> 24) != 0xFF) continue;
          const std::uint8_t* q = data + (static_cast<std::size_t>(y) * w + x) * 4;
          ++opaque;
          same += q[0] == 0xFF && q[1] == ((p >> 16) & 0xFF) && q[2] == ((p >> 8) & 0xFF) && q[3] == (p & 0xFF);
        }
      EXPECT_GT(opaque, 0);
      EXPECT_EQ(same, opaque);
    }
    g_variant_unref(bytes);
  }
  EXPECT_TRUE(fullSize);
  g_variant_unref(pixmaps);

  // A left click in the panel.
  std::size_t mark = client.Mark();
  GVariant* r = host.Call(service, path, kItemIface, "Activate", g_variant_new("(ii)", 10, 10));
  ASSERT_NE(r, nullptr);
  g_variant_unref(r);
  EXPECT_TRUE(Saw("notify 200 lbuttondown", mark));

  // The menu as the panel draws it.
  GVariant* version = host.Property(service, menu, kMenuIface, "Version");
  ASSERT_NE(version, nullptr);
  EXPECT_GE(g_variant_get_uint32(version), 3u);
  g_variant_unref(version);
  GVariant* layout = host.Call(service, menu, kMenuIface, "GetLayout", g_variant_new("(ii@as)", 0, -1,
                                                                                     g_variant_new_strv(nullptr, 0)));
  ASSERT_NE(layout, nullptr);
  GVariant* root = g_variant_get_child_value(layout, 1);
  gint32 rootId = -1;
  GVariant *rootProps = nullptr, *children = nullptr;
  g_variant_get(root, "(i@a{sv}@av)", &rootId, &rootProps, &children);
  EXPECT_EQ(rootId, 0);
  EXPECT_EQ(Str(g_variant_lookup_value(rootProps, "children-display", nullptr)), "submenu");
  struct Entry {
    gint32 id;
    std::string label, type;
  };
  std::vector<Entry> entries;
  for (gsize i = 0; i < g_variant_n_children(children); ++i) {
    GVariant* boxed = g_variant_get_child_value(children, i);
    GVariant* child = g_variant_get_variant(boxed);
    gint32 id = 0;
    GVariant* props = nullptr;
    g_variant_get(child, "(i@a{sv}av)", &id, &props, nullptr);
    entries.push_back(Entry{id, Str(g_variant_lookup_value(props, "label", nullptr)),
                            Str(g_variant_lookup_value(props, "type", nullptr))});
    g_variant_unref(props);
    g_variant_unref(child);
    g_variant_unref(boxed);
  }
  g_variant_unref(rootProps);
  g_variant_unref(children);
  g_variant_unref(root);
  g_variant_unref(layout);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].id, 201);
  EXPECT_EQ(entries[0].label, "显示主界面");
  EXPECT_EQ(entries[1].type, "separator");
  EXPECT_EQ(entries[2].id, 57665);
  EXPECT_EQ(entries[2].label, "退出");
  GVariant* label = host.Call(service, menu, kMenuIface, "GetProperty", g_variant_new("(is)", 57665, "label"));
  ASSERT_NE(label, nullptr);
  GVariant* labelValue = nullptr;
  g_variant_get(label, "(v)", &labelValue);
  EXPECT_EQ(Str(labelValue), "退出");
  g_variant_unref(label);

  // Entries chosen in the panel's menu reach the window as commands; the
  // separator and ids the menu does not have do nothing.
  auto clicked = [&](gint32 id, std::string* error = nullptr) {
    GVariant* reply = host.Call(service, menu, kMenuIface, "Event",
                                g_variant_new("(isvu)", id, "clicked", g_variant_new_int32(0), 0u), error);
    if (reply) g_variant_unref(reply);
    return reply != nullptr;
  };
  for (gint32 id : {201, 57665}) {
    mark = client.Mark();
    ASSERT_TRUE(clicked(id));
    EXPECT_TRUE(Saw("command " + std::to_string(id), mark));
  }
  mark = client.Mark();
  std::string error;
  EXPECT_TRUE(clicked(entries[1].id));
  EXPECT_FALSE(clicked(4242, &error));
  EXPECT_NE(error, "");
  GVariant* group = host.Call(
      service, menu, kMenuIface, "EventGroup",
      g_variant_new_parsed("([(4243, 'clicked', <0>, uint32 0), (57665, 'hovered', <0>, uint32 0)],)"));
  ASSERT_NE(group, nullptr);
  GVariant* idErrors = g_variant_get_child_value(group, 0);
  ASSERT_EQ(g_variant_n_children(idErrors), 1u);
  gint32 bad = 0;
  g_variant_get_child(idErrors, 0, "i", &bad);
  EXPECT_EQ(bad, 4243);
  g_variant_unref(idErrors);
  g_variant_unref(group);
  // A last, known command: everything before it was handled, and none of it was a command.
  ASSERT_TRUE(clicked(201));
  ASSERT_TRUE(Saw("command 201", mark));
  int commands = 0;
  for (std::size_t i = mark; i < client.Lines().size(); ++i) commands += client.Lines()[i].rfind("command ", 0) == 0;
  EXPECT_EQ(commands, 1);

  // A new tip: the panel hears of it and reads it.
  host.Listen(service, "NewToolTip");
  host.Listen(service, "NewTitle");
  mark = client.Mark();
  client.Send("tip 新的提示");
  ASSERT_TRUE(Saw("modified 1", mark));
  EXPECT_TRUE(host.WaitForSignal("NewToolTip", 1, kWaitMs));
  EXPECT_TRUE(host.WaitForSignal("NewTitle", 1, kWaitMs));
  EXPECT_EQ(Str(host.Property(service, path, kItemIface, "Title")), "新的提示");

  // The panel asks the item for its own menu: the client opens it at the
  // pointer. A second request while it is open gets no second menu; EndMenu
  // closes it without a choice.
  auto contextMenu = [&] {
    GVariant* reply = host.Call(service, path, kItemIface, "ContextMenu", g_variant_new("(ii)", 200, 200));
    if (reply) g_variant_unref(reply);
    return reply != nullptr;
  };
  mark = client.Mark();
  ASSERT_TRUE(contextMenu());
  ASSERT_TRUE(Saw("notify 200 rbuttondown", mark));
  ASSERT_NE(client.WaitForPrefix("menu-item 退出", kWaitMs, mark), "");
  std::size_t open = client.Mark();
  ASSERT_TRUE(contextMenu());
  ASSERT_TRUE(Saw("chosen 0", open));  // the second one, refused while the first is open
  client.Send("end");
  ASSERT_TRUE(Saw("ended 1", open));
  auto chosenZero = [&] {
    int n = 0;
    for (std::size_t i = open; i < client.Lines().size(); ++i) n += client.Lines()[i] == "chosen 0";
    return n;
  };
  ASSERT_NE(client.WaitFor([&](const std::string&) { return chosenZero() == 2; }, kWaitMs, open), "");
  std::size_t closed = client.Mark();
  client.Send("end");
  EXPECT_TRUE(Saw("ended 0", closed));

  // The watcher goes: no tray is left on this desktop.
  mark = client.Mark();
  watcher.Stop();
  EXPECT_TRUE(Saw("notify 200 traychanged none", mark));
  // A watcher comes back: the item registers again.
  mark = client.Mark();
  TestWatcher second(bus.Address());
  ASSERT_TRUE(second.Start());
  EXPECT_TRUE(Saw("notify 200 traychanged status-notifier", mark));
  auto again = second.WaitForRegistrations(1, kWaitMs);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].service, service);

  // Taken down: the name goes with it.
  mark = client.Mark();
  client.Send("delete");
  ASSERT_TRUE(Saw("deleted 1", mark));
  EXPECT_FALSE(host.HasOwner(service));
  int status = client.Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(TrayE2E, AWatcherThatGoesHandsTheIconToTheXEmbedTray) {
  TestWatcher watcher(bus.Address());
  ASSERT_TRUE(watcher.Start());
  ASSERT_TRUE(StartTrayer());
  ASSERT_EQ(StartClient(), "added 1 status-notifier");
  Rect icon;
  EXPECT_FALSE(FindIconWindow(&icon));  // one icon: the panel's, not a second one in trayer
  std::size_t mark = client.Mark();
  watcher.Stop();
  ASSERT_TRUE(Saw("notify 200 traychanged xembed", mark));
  ASSERT_TRUE(FindIconWindow(&icon));
  // The hand-over was one change, never a moment without a tray.
  for (std::size_t i = mark; i < client.Lines().size(); ++i)
    EXPECT_NE(client.Lines()[i], "notify 200 traychanged none");
}

TEST_F(TrayE2E, AnXEmbedIconInTrayerIsClickedAndItsMenuAnswered) {
  ASSERT_TRUE(StartTrayer());
  std::string added = StartClient();
  ASSERT_TRUE(added == "added 1 none" || added == "added 1 xembed") << added;
  ASSERT_TRUE(Saw("notify 200 traychanged xembed", 0));
  Rect icon;
  ASSERT_TRUE(FindIconWindow(&icon));

  // The icon shows the client's icon: the colours of its picture, which
  // the tray beside it does not show.
  std::string shot = Screenshot("icon");
  ASSERT_NE(shot, "");
  gfx::Surface screen = ReadPng(shot);
  gfx::Surface png = IconPng();
  ASSERT_FALSE(png.empty());
  Rect inner{icon.x + icon.w / 6, icon.y + icon.h / 6, icon.w * 2 / 3, icon.h * 2 / 3};
  Rect beside{icon.x + icon.w + 40, icon.y, icon.w, icon.h};
  double inIcon = ShareOfDesignColours(screen, inner, png), outside = ShareOfDesignColours(screen, beside, png);
  std::printf("design colours: %.2f in the icon, %.2f beside it\n", inIcon, outside);
  EXPECT_GT(inIcon, 0.6);
  EXPECT_LT(outside, 0.2);

  auto click = [&](int button, int x, int y) {
    Shell("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click " + std::to_string(button));
  };
  std::size_t mark = client.Mark();
  click(1, icon.cx(), icon.cy());
  EXPECT_TRUE(Saw("notify 200 lbuttondown", mark));

  // Right click: the menu opens at the pointer; a click on an entry chooses it.
  struct Case {
    const char* what;
    std::string entry;  // the entry clicked; "" a click elsewhere, "Escape" the key
    std::string chosen;
  };
  const Case cases[] = {
      {"first entry", "显示主界面", "chosen 201"},
      {"a click elsewhere", "", "chosen 0"},
      {"Escape", "Escape", "chosen 0"},
      {"exit entry", "退出", "chosen 57665"},
  };
  bool first = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    mark = client.Mark();
    click(3, icon.cx(), icon.cy());
    ASSERT_TRUE(Saw("notify 200 rbuttondown", mark));
    std::string shownItem = client.WaitForPrefix("menu-item 退出", kWaitMs, mark);
    std::string firstItem = client.WaitForPrefix("menu-item 显示主界面", kWaitMs, mark);
    ASSERT_NE(shownItem, "");
    ASSERT_NE(firstItem, "");
    if (first) {
      first = false;
      std::string menuShot = Screenshot("menu");
      ASSERT_NE(menuShot, "");
      // Each entry has its text drawn: dark pixels on the light menu.
      gfx::Surface s = ReadPng(menuShot);
      for (const std::string& line : {firstItem, shownItem}) {
        Rect r = ItemRect(line);
        int dark = 0;
        for (int y = r.y; y < r.y + r.h; ++y)
          for (int x = r.x; x < r.x + r.w; ++x) dark += (s.Pixel(x, y) & 0xFF) < 96;
        EXPECT_GT(dark, 20) << line;
      }
    }
    if (c.entry == "Escape") {
      Shell("xdotool key Escape");
    } else if (c.entry.empty()) {
      click(1, 700, 600);
    } else {
      Rect r = ItemRect(c.entry == "退出" ? shownItem : firstItem);
      click(1, r.cx(), r.cy());
    }
    EXPECT_TRUE(Saw(c.chosen, mark));
  }

  // The tray manager goes away: after a moment without it the client hears.
  mark = client.Mark();
  trayer.Stop();
  EXPECT_TRUE(Saw("notify 200 traychanged none", mark));
}

TEST_F(TrayE2E, WithoutATrayTheIconIsAddedAndTakenDownCleanly) {
  struct Case {
    const char* what;
    std::string busAddress;
  };
  const Case cases[] = {
      {"a session bus without a watcher", bus.Address()},
      {"no session bus", "unix:path=/nonexistent/bus"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    setenv("DBUS_SESSION_BUS_ADDRESS", c.busAddress.c_str(), 1);
    ASSERT_EQ(StartClient(), "added 1 none");
    std::size_t mark = client.Mark();
    client.Send("delete");
    ASSERT_TRUE(Saw("deleted 1", mark));
    for (const std::string& l : client.Lines()) EXPECT_EQ(l.find("traychanged"), std::string::npos) << l;
    int status = client.Stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
}

}  // namespace
