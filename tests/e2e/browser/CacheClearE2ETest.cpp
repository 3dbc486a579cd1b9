// Clearing the game's cached data with the real engine (WebKitGTK) on a
// private Xvfb: a browser view loads pages of the stand-in operator from
// 127.0.0.1 and from localhost, so the engine caches both sites, and the page
// sets a cookie; clearing with the default pattern "127.0.0.1" removes that
// site's disk and memory caches (seen through the engine's own data manager)
// and the client's cached downloads from it, while its cookie, and the other
// site's cache, stay.
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "browser/IEView.h"
#include "platform/net/DownloadCache.h"
#include "platform/ui/EventLoop.h"
#include "platform/web/WebKitEngine.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/VirtualDisplay.h"
#include "tools/operator/OperatorProcess.h"
#include "windows/UrlCache.h"

namespace {

constexpr int kWaitMs = 20000;
constexpr auto kCaches =
    static_cast<WebKitWebsiteDataTypes>(WEBKIT_WEBSITE_DATA_DISK_CACHE | WEBKIT_WEBSITE_DATA_MEMORY_CACHE);

class CacheClearE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char dir[] = "/tmp/torvane-cache-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    tempDir_ = dir;
    setenv("XDG_DATA_HOME", (tempDir_ + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (tempDir_ + "/cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (tempDir_ + "/config").c_str(), 1);
    display_ = std::make_unique<VirtualDisplay>();
    ASSERT_TRUE(display_->Start());
    ASSERT_TRUE(ui::InitializeWith(ui::BackendKind::Gtk));
    operator_ = std::make_unique<OperatorProcess>();
    ASSERT_TRUE(operator_->Start());
  }
  static void TearDownTestSuite() {
    operator_.reset();
    ui::Shutdown();
    display_.reset();
    if (!tempDir_.empty()) std::system(("rm -rf '" + tempDir_ + "'").c_str());
  }

  void SetUp() override {
    ASSERT_TRUE(parent.CreateTop());
    parent.ShowWindow(SW_SHOW);
    g_pIEViewHost = &host;
    ASSERT_TRUE(view.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 1, 1}, parent.m_hWnd, 0x83));
    view.MoveWindow(0, 0, 800, 600, TRUE);
    ASSERT_NE(view.GetBrowser(), nullptr);
  }
  void TearDown() override {
    view.DestroyWindow();
    g_pIEViewHost = nullptr;
    ui::PumpUntilIdle();
  }

  WebKitWebView* WebView() { return WEBKIT_WEB_VIEW(view.GetBrowser()->NativeWidget()); }
  static WebKitWebsiteDataManager* Manager() {
    return static_cast<WebKitWebsiteDataManager*>(web::SharedWebsiteDataManager());
  }

  bool Load(const std::string& url) {
    view.Navigate(url);
    return ui::PumpUntil(
        [&] { return view.GetLocationURL() == url && !webkit_web_view_is_loading(WebView()); }, kWaitMs);
  }

  // Runs script in the page and waits for it to finish.
  bool RunScript(const std::string& script) {
    struct Wait {
      bool finished = false;
      bool ok = false;
    } wait;
    webkit_web_view_evaluate_javascript(
        WebView(), script.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          auto* w = static_cast<Wait*>(data);
          GError* error = nullptr;
          JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
          w->ok = value != nullptr;
          if (value) g_object_unref(value);
          if (error) g_error_free(error);
          w->finished = true;
        },
        &wait);
    return ui::PumpUntil([&] { return wait.finished; }, kWaitMs) && wait.ok;
  }

  // The kinds of data the engine keeps per site, by site name.
  static std::map<std::string, WebKitWebsiteDataTypes> SiteData(WebKitWebsiteDataTypes types) {
    struct Fetch {
      bool finished = false;
      std::map<std::string, WebKitWebsiteDataTypes> sites;
    } fetch;
    webkit_website_data_manager_fetch(
        Manager(), types, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          auto* f = static_cast<Fetch*>(data);
          GList* records =
              webkit_website_data_manager_fetch_finish(WEBKIT_WEBSITE_DATA_MANAGER(source), result, nullptr);
          for (GList* item = records; item; item = item->next) {
            auto* record = static_cast<WebKitWebsiteData*>(item->data);
            f->sites[webkit_website_data_get_name(record)] = webkit_website_data_get_types(record);
          }
          g_list_free_full(records, reinterpret_cast<GDestroyNotify>(webkit_website_data_unref));
          f->finished = true;
        },
        &fetch);
    EXPECT_TRUE(ui::PumpUntil([&] { return fetch.finished; }, kWaitMs)) << "the data manager did not answer";
    return fetch.sites;
  }
  static bool Has(const std::map<std::string, WebKitWebsiteDataTypes>& sites, const std::string& site,
                  WebKitWebsiteDataTypes type) {
    auto it = sites.find(site);
    return it != sites.end() && (it->second & type) != 0;
  }
  static std::string Describe(const std::map<std::string, WebKitWebsiteDataTypes>& sites) {
    std::string out;
    for (const auto& [name, types] : sites) out += name + ":" + std::to_string(types) + " ";
    return out;
  }

  // The names of the cookies the engine holds for url.
  static std::string CookieNames(const std::string& url) {
    struct Get {
      bool finished = false;
      std::string names;
    } get;
    webkit_cookie_manager_get_cookies(
        webkit_website_data_manager_get_cookie_manager(Manager()), url.c_str(), nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          auto* g = static_cast<Get*>(data);
          GList* cookies = webkit_cookie_manager_get_cookies_finish(WEBKIT_COOKIE_MANAGER(source), result, nullptr);
          for (GList* item = cookies; item; item = item->next)
            g->names += std::string(soup_cookie_get_name(static_cast<SoupCookie*>(item->data))) + ";";
          g_list_free_full(cookies, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
          g->finished = true;
        },
        &get);
    EXPECT_TRUE(ui::PumpUntil([&] { return get.finished; }, kWaitMs)) << "the cookie manager did not answer";
    return get.names;
  }

  static inline std::string tempDir_;
  static inline std::unique_ptr<VirtualDisplay> display_;
  static inline std::unique_ptr<OperatorProcess> operator_;
  RecordingHost host;
  MessageLogWnd parent;
  CIEView view;
};

TEST_F(CacheClearE2E, TheGameSitesCachesGoItsCookiesAndOtherSitesStay) {
  const std::string game = operator_->Url("/test/browser/other.html");
  const std::string other = "http://localhost:" + std::to_string(operator_->Port()) + "/test/browser/game.html";

  ASSERT_TRUE(Load(other));
  ASSERT_TRUE(Load(game));
  ASSERT_TRUE(RunScript("document.cookie = 'player=ab12; max-age=3600; path=/'"));
  ASSERT_NE(CookieNames(game).find("player;"), std::string::npos);

  // A download of the client from the game's site too.
  net::DownloadCache downloads;
  std::string downloaded;
  ASSERT_TRUE(downloads.Download(operator_->Url("/test/bytes?n=64"), {}, &downloaded).ok);

  // The engine writes its disk cache shortly after a load: ask again, the
  // loop running in between, until both sites show up.
  std::map<std::string, WebKitWebsiteDataTypes> before;
  auto bothCached = [&] {
    return Has(before, "127.0.0.1", WEBKIT_WEBSITE_DATA_DISK_CACHE) &&
           Has(before, "localhost", WEBKIT_WEBSITE_DATA_DISK_CACHE);
  };
  for (int attempt = 0; attempt < kWaitMs / 250 && !bothCached(); ++attempt) {
    if (attempt > 0) ui::PumpUntil([] { return false; }, 250);
    before = SiteData(kCaches);
  }
  ASSERT_TRUE(bothCached()) << "the engine cached: " << Describe(before);
  std::printf("[ engine   ] before: %s\n", Describe(before).c_str());

  bool done = false;
  ClearUrlCache("127.0.0.1", [&] { done = true; });
  ASSERT_TRUE(ui::PumpUntil([&] { return done; }, kWaitMs));

  std::map<std::string, WebKitWebsiteDataTypes> after = SiteData(kCaches);
  std::printf("[ engine   ] after: %s\n", Describe(after).c_str());
  EXPECT_FALSE(Has(after, "127.0.0.1", WEBKIT_WEBSITE_DATA_DISK_CACHE)) << Describe(after);
  EXPECT_FALSE(Has(after, "127.0.0.1", WEBKIT_WEBSITE_DATA_MEMORY_CACHE)) << Describe(after);
  EXPECT_TRUE(Has(after, "localhost", WEBKIT_WEBSITE_DATA_DISK_CACHE)) << Describe(after);
  // The cookie stays, in the engine and in its data manager's records.
  EXPECT_NE(CookieNames(game).find("player;"), std::string::npos);
  EXPECT_TRUE(Has(SiteData(WEBKIT_WEBSITE_DATA_COOKIES), "127.0.0.1", WEBKIT_WEBSITE_DATA_COOKIES));
  // The client's own download from the site went with it.
  EXPECT_EQ(downloads.Lookup(operator_->Url("/test/bytes?n=64")), "");
  EXPECT_NE(access(downloaded.c_str(), F_OK), 0);
}

}  // namespace
