#include "platform/web/WebKitEngine.h"

#include <unistd.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "platform/base/Paths.h"
#include "platform/web/NavigationClassifier.h"
#include "platform/web/PageScripts.h"

namespace web {
namespace {

constexpr std::uint64_t kTopDocument = 1;
constexpr std::uint64_t kFrameDocument = 2;
constexpr char kExtensionFile[] = "libtorvane-web-extension.so";

bool HasExtension(const std::string& dir) {
  return !dir.empty() && access((dir + "/" + kExtensionFile).c_str(), R_OK) == 0;
}

std::string Dirname(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

WebKitWebContext* g_context = nullptr;
WebKitWebsiteDataManager* g_dataManager = nullptr;

WebKitWebContext* SharedContext() {
  if (g_context) return g_context;
  std::string product = ProductName();
  std::string dataDir = paths::VendorDir(paths::DataHome()) + "/" + product + "/webkit";
  std::string cacheDir = paths::VendorDir(paths::CacheHome()) + "/" + product + "/webkit";
  std::string cookieFile = dataDir + "/cookies.sqlite";
  // The pages' cookies, storage and cache are this user's alone: every folder
  // from velmora down is made (or, left open by an older client, closed to
  // others) 0700, and the cookie file 0600 before the engine opens it.
  const std::string sub = "velmora/" + product + "/webkit";
  if (!paths::MakePrivateDirs(paths::DataHome(), sub) || !paths::MakePrivateDirs(paths::CacheHome(), sub) ||
      !paths::MakePrivateFile(cookieFile))
    std::fprintf(stderr, "torvane: the web data folders %s and %s cannot be made private to this user\n",
                 dataDir.c_str(), cacheDir.c_str());
  g_dataManager = webkit_website_data_manager_new("base-data-directory", dataDir.c_str(), "base-cache-directory",
                                                  cacheDir.c_str(), nullptr);
  g_context = webkit_web_context_new_with_website_data_manager(g_dataManager);
  WebKitCookieManager* cookies = webkit_website_data_manager_get_cookie_manager(g_dataManager);
  webkit_cookie_manager_set_persistent_storage(cookies, cookieFile.c_str(),
                                               WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
  std::string extensions = WebExtensionsDirectory();
  if (extensions.empty())
    std::fprintf(stderr,
                 "torvane: the web-process extension (%s) was not found; navigations inside frames cannot be "
                 "told from the page's own\n",
                 kExtensionFile);
  else
    webkit_web_context_set_web_extensions_directory(g_context, extensions.c_str());
  return g_context;
}

// Cuts text to at most max bytes without splitting a UTF-8 sequence.
std::string CapUtf8(const char* s, std::size_t max) {
  std::string out = s ? s : "";
  if (out.size() <= max) return out;
  std::size_t cut = max;
  while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
  out.resize(cut);
  return out;
}

std::string StringProperty(JSCValue* object, const char* name) {
  std::string out;
  JSCValue* v = jsc_value_object_get_property(object, name);
  if (v && jsc_value_is_string(v)) {
    char* s = jsc_value_to_string(v);
    out = CapUtf8(s, kMaxExternalText);
    g_free(s);
  }
  if (v) g_object_unref(v);
  return out;
}

double NumberProperty(JSCValue* object, const char* name) {
  double out = 0;
  JSCValue* v = jsc_value_object_get_property(object, name);
  if (v && (jsc_value_is_number(v) || jsc_value_is_boolean(v))) out = jsc_value_to_double(v);
  if (v) g_object_unref(v);
  return out;
}

// A posted boolean as the 0 or 1 the view gets, whatever number a page put
// there (0 and NaN are false, as in script).
double Truth(double v) { return v != 0 && v == v ? 1 : 0; }

}  // namespace

bool ParseExternalCall(JSCValue* message, ExternalCall* call) {
  if (!message || !jsc_value_is_object(message)) return false;
  call->method = StringProperty(message, "m");
  if (call->method.empty() || call->method.size() > 64) return false;
  double n = NumberProperty(message, "n");
  call->argCount = n > 0 && n < 1e6 ? static_cast<std::size_t>(n) : 0;
  JSCValue* top = jsc_value_object_get_property(message, "t");
  call->topLevel = top && jsc_value_is_boolean(top) && jsc_value_to_boolean(top);
  if (top) g_object_unref(top);
  JSCValue* args = jsc_value_object_get_property(message, "a");
  if (args && jsc_value_is_array(args)) {
    JSCValue* length = jsc_value_object_get_property(args, "length");
    double len = length ? jsc_value_to_double(length) : 0;
    if (length) g_object_unref(length);
    for (unsigned i = 0; i < len && i < kMaxExternalArgs; ++i) {
      JSCValue* item = jsc_value_object_get_property_at_index(args, i);
      ExternalArg arg;
      if (item && jsc_value_is_object(item)) {
        std::string kind = StringProperty(item, "k");
        if (kind == "null") arg.kind = ExternalArg::Kind::Null;
        else if (kind == "bool") arg.kind = ExternalArg::Kind::Bool, arg.number = Truth(NumberProperty(item, "v"));
        else if (kind == "number") arg.kind = ExternalArg::Kind::Number, arg.number = NumberProperty(item, "v");
        else if (kind == "string") arg.kind = ExternalArg::Kind::String, arg.text = StringProperty(item, "v");
        else if (kind == "object") arg.kind = ExternalArg::Kind::Object;
        else if (kind == "function") arg.kind = ExternalArg::Kind::Function;
      }
      if (item) g_object_unref(item);
      call->args.push_back(std::move(arg));
    }
  }
  if (args) g_object_unref(args);
  if (call->argCount < call->args.size()) call->argCount = call->args.size();
  // A page can post a message that announces more arguments than it
  // describes: those are undefined, so every argument the count promises (up
  // to the cap) is there.
  while (call->args.size() < std::min(call->argCount, kMaxExternalArgs)) call->args.emplace_back();
  return true;
}

namespace {

class WebKitEngine final : public BrowserEngine {
 public:
  WebKitEngine(const EngineOptions& options, BrowserEvents* events) : m_events(events) {
    m_content = webkit_user_content_manager_new();
    webkit_user_content_manager_add_script(
        m_content, webkit_user_script_new(kExternalObjectScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                          WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr));
    if (options.reportContentLoaded)
      webkit_user_content_manager_add_script(
          m_content, webkit_user_script_new(kContentLoadedScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                            WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr));
    if (!options.scrollBars)
      webkit_user_content_manager_add_style_sheet(
          m_content, webkit_user_style_sheet_new(kNoScrollBarsStyle, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                 WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr));
    webkit_user_content_manager_register_script_message_handler(m_content, kExternalHandlerName);
    std::string signal = std::string("script-message-received::") + kExternalHandlerName;
    g_signal_connect(m_content, signal.c_str(), G_CALLBACK(OnScriptMessage), this);

    m_view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", SharedContext(),
                                          "user-content-manager", m_content, nullptr));
    g_object_ref_sink(m_view);
    WebKitSettings* settings = webkit_web_view_get_settings(m_view);
    webkit_settings_set_enable_javascript(settings, options.javascript);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    g_signal_connect(m_view, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
    g_signal_connect(m_view, "load-changed", G_CALLBACK(OnLoadChanged), this);
    g_signal_connect(m_view, "notify::title", G_CALLBACK(OnTitle), this);
    g_signal_connect(m_view, "web-process-terminated", G_CALLBACK(OnWebProcessTerminated), this);
    g_signal_connect(m_view, "user-message-received", G_CALLBACK(OnUserMessage), this);
    g_signal_connect(m_view, "create", G_CALLBACK(OnCreate), this);
    g_signal_connect(m_view, "permission-request", G_CALLBACK(OnPermissionRequest), this);
    if (!options.engineContextMenu) g_signal_connect(m_view, "context-menu", G_CALLBACK(OnContextMenu), this);
    if (!options.engineScriptDialogs) g_signal_connect(m_view, "script-dialog", G_CALLBACK(OnScriptDialog), this);
    gtk_widget_show(GTK_WIDGET(m_view));
  }

  ~WebKitEngine() override {
    *m_alive = false;
    if (m_idle) g_source_remove(m_idle);
    g_signal_handlers_disconnect_by_data(m_view, this);
    g_signal_handlers_disconnect_by_data(m_content, this);
    webkit_user_content_manager_unregister_script_message_handler(m_content, kExternalHandlerName);
    for (Event& e : m_queue) Release(e, false);
    m_queue.clear();
    webkit_web_view_stop_loading(m_view);
    g_object_unref(m_view);
    g_object_unref(m_content);
  }

  void Navigate(const std::string& url) override {
    m_lastUrl = url;
    // WebKit knows about:blank and about:srcdoc only; any other about: address
    // (the game window's "about:blank3") becomes an empty document with that
    // address instead of an error page. WebKit shows such a document without
    // asking for a navigation decision, so none is expected for it.
    if (url.rfind("about:", 0) == 0 && url != "about:blank" && url != "about:srcdoc") {
      webkit_web_view_load_alternate_html(m_view, "", url.c_str(), nullptr);
    } else {
      m_classifier.ExpectOwnNavigation();
      webkit_web_view_load_uri(m_view, url.c_str());
    }
  }

  void SetSilent(bool silent) override { m_silent = silent; }
  bool GetSilent() const override { return m_silent; }
  void Refresh() override { webkit_web_view_reload(m_view); }
  std::string GetLocationURL() const override {
    const char* uri = webkit_web_view_get_uri(m_view);
    return uri ? uri : "";
  }
  bool IsTopLevel(DocumentRef doc) const override { return doc.id == kTopDocument; }
  void* NativeWidget() const override { return m_view; }

 private:
  struct Event {
    enum class Type { BeforeNavigate, NavigateComplete, DocumentComplete, Title, NewWindow, External };
    Type type = Type::BeforeNavigate;
    WebKitPolicyDecision* decision = nullptr;  // owned reference
    DocumentRef doc;
    std::string url;
    std::string referrer;
    ExternalCall call;
  };

  static void Release(Event& e, bool cancel) {
    if (!e.decision) return;
    if (cancel) webkit_policy_decision_ignore(e.decision);
    else webkit_policy_decision_use(e.decision);
    g_object_unref(e.decision);
    e.decision = nullptr;
  }

  void Enqueue(Event&& e) {
    m_queue.push_back(std::move(e));
    if (!m_idle) m_idle = g_idle_add_full(G_PRIORITY_DEFAULT, &WebKitEngine::Drain, this, nullptr);
  }

  // Delivers the queued events from the loop, outside WebKit's signal
  // emission, so a handler may run a nested loop or delete the view.
  static gboolean Drain(gpointer data) {
    auto* self = static_cast<WebKitEngine*>(data);
    std::weak_ptr<bool> alive = self->m_alive;
    while (!self->m_queue.empty()) {
      Event e = std::move(self->m_queue.front());
      self->m_queue.pop_front();
      if (e.type == Event::Type::External) --self->m_pendingExternal;
      bool cancel = false;
      switch (e.type) {
        case Event::Type::BeforeNavigate:
          self->m_events->OnBeforeNavigate2(e.doc, e.url, &cancel);
          break;
        case Event::Type::NavigateComplete:
          self->m_events->OnNavigateComplete2(e.url);
          break;
        case Event::Type::DocumentComplete:
          self->m_events->OnDocumentComplete(e.doc, e.url);
          break;
        case Event::Type::Title:
          self->m_events->OnTitleChange(e.url);
          break;
        case Event::Type::NewWindow:
          self->m_events->OnNewWindow3(e.url, e.referrer, &cancel);
          // The client opens no engine window of its own.
          if (e.decision) {
            webkit_policy_decision_ignore(e.decision);
            g_object_unref(e.decision);
            e.decision = nullptr;
          }
          if (!cancel) OpenInDesktopBrowser(e.url);
          break;
        case Event::Type::External:
          self->m_events->OnExternalCall(e.call);
          break;
      }
      if (alive.expired() || !*alive.lock()) {
        // The handler destroyed this engine; its decision goes with the view.
        if (e.decision) g_object_unref(e.decision);
        return G_SOURCE_REMOVE;
      }
      Release(e, cancel);
    }
    if (self->m_droppedExternal && !self->m_toldDropped) {
      // Once per view: a flooding page must not flood the terminal too.
      std::fprintf(stderr, "torvane: a page calls window.external faster than the client takes calls; "
                           "the calls beyond %zu waiting ones are dropped\n",
                   kMaxPendingExternalCalls);
      self->m_toldDropped = true;
    }
    self->m_idle = 0;
    return G_SOURCE_REMOVE;
  }

  static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                 WebKitEngine* self) {
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return self->DecideResponse(WEBKIT_RESPONSE_POLICY_DECISION(decision));
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    std::string url = uri ? uri : "";
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
      Event e; e.type = Event::Type::NewWindow;
      e.decision = WEBKIT_POLICY_DECISION(g_object_ref(decision));
      e.url = url;
      e.referrer = self->GetLocationURL();
      self->Enqueue(std::move(e));
      return TRUE;
    }
    WebKitNavigationType navType = webkit_navigation_action_get_navigation_type(action);
    NavigationClassifier::Request req;
    req.url = url;
    req.linkOrForm = navType == WEBKIT_NAVIGATION_TYPE_LINK_CLICKED || navType == WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED;
    req.userGesture = webkit_navigation_action_is_user_gesture(action);
    req.redirect = webkit_navigation_action_is_redirect(action);
    NavigationClassifier::Kind kind = self->m_classifier.Classify(req);
    if (kind == NavigationClassifier::Kind::AtResponse) {
      self->m_announcedTop.clear();
      return FALSE;
    }
    Event e; e.type = Event::Type::BeforeNavigate;
    e.decision = WEBKIT_POLICY_DECISION(g_object_ref(decision));
    e.url = url;
    e.doc.id = kind == NavigationClassifier::Kind::TopLevel ? kTopDocument : kFrameDocument;
    if (kind == NavigationClassifier::Kind::TopLevel) self->m_announcedTop = url;
    self->Enqueue(std::move(e));
    return TRUE;
  }

  // A navigation that could not be placed when it started is announced when
  // the engine knows it loads the main frame's main resource.
  gboolean DecideResponse(WebKitResponsePolicyDecision* decision) {
    if (!webkit_response_policy_decision_is_main_frame_main_resource(decision)) return FALSE;
    WebKitURIRequest* request = webkit_response_policy_decision_get_request(decision);
    const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    std::string url = uri ? uri : "";
    if (url == m_announcedTop) return FALSE;
    m_announcedTop = url;
    Event e; e.type = Event::Type::BeforeNavigate;
    e.decision = WEBKIT_POLICY_DECISION(g_object_ref(decision));
    e.url = url;
    e.doc.id = kTopDocument;
    Enqueue(std::move(e));
    return TRUE;
  }

  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, WebKitEngine* self) {
    if (event == WEBKIT_LOAD_STARTED) {
      self->m_committed = false;
    } else if (event == WEBKIT_LOAD_COMMITTED) {
      self->m_committed = true;
      self->m_classifier.TopLevelCommitted();
      self->m_lastUrl = self->GetLocationURL();
      Event e; e.type = Event::Type::NavigateComplete;
      e.url = self->m_lastUrl;
      self->Enqueue(std::move(e));
    } else if (event == WEBKIT_LOAD_FINISHED && self->m_committed) {
      self->m_committed = false;
      self->m_reloadedAfterCrash = false;
      Event e; e.type = Event::Type::DocumentComplete;
      e.url = self->GetLocationURL();
      e.doc.id = kTopDocument;
      self->Enqueue(std::move(e));
    }
  }

  static void OnTitle(WebKitWebView* view, GParamSpec*, WebKitEngine* self) {
    const char* title = webkit_web_view_get_title(view);
    Event e; e.type = Event::Type::Title;
    e.url = title ? title : "";
    self->Enqueue(std::move(e));
  }

  static void OnWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, WebKitEngine* self) {
    const char* why = reason == WEBKIT_WEB_PROCESS_CRASHED            ? "crashed"
                      : reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT ? "ran out of memory"
                                                                          : "was ended";
    if (self->m_reloadedAfterCrash || self->m_lastUrl.empty()) {
      std::fprintf(stderr, "torvane: the browser's web process %s; not reloading again\n", why);
      return;
    }
    std::fprintf(stderr, "torvane: the browser's web process %s; reloading %s\n", why, self->m_lastUrl.c_str());
    self->m_reloadedAfterCrash = true;
    self->Navigate(self->m_lastUrl);
  }

  static gboolean OnUserMessage(WebKitWebView*, WebKitUserMessage* message, WebKitEngine* self) {
    const char* name = webkit_user_message_get_name(message);
    if (!name || std::string(name) != kNavigationNoteMessage) return FALSE;
    GVariant* params = webkit_user_message_get_parameters(message);
    if (params && g_variant_is_of_type(params, G_VARIANT_TYPE("(sbb)"))) {
      const char* url = nullptr;
      gboolean top = FALSE, form = FALSE;
      g_variant_get(params, "(&sbb)", &url, &top, &form);
      self->m_classifier.AddNote(url ? url : "", top, form);
    }
    return TRUE;
  }

  static void OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, WebKitEngine* self) {
    if (self->m_pendingExternal >= kMaxPendingExternalCalls) {
      ++self->m_droppedExternal;
      return;
    }
    Event e; e.type = Event::Type::External;
    if (!ParseExternalCall(webkit_javascript_result_get_js_value(result), &e.call)) return;
    ++self->m_pendingExternal;
    self->Enqueue(std::move(e));
  }

  static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction*, WebKitEngine*) { return nullptr; }

  static gboolean OnPermissionRequest(WebKitWebView*, WebKitPermissionRequest* request, WebKitEngine* self) {
    if (!self->m_silent) return FALSE;
    webkit_permission_request_deny(request);
    return TRUE;
  }
  static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, WebKitEngine*) {
    return TRUE;
  }
  static gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog*, WebKitEngine*) { return TRUE; }

  BrowserEvents* m_events;
  WebKitUserContentManager* m_content = nullptr;
  WebKitWebView* m_view = nullptr;
  NavigationClassifier m_classifier;
  std::deque<Event> m_queue;
  guint m_idle = 0;
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
  std::string m_lastUrl;
  std::string m_announcedTop;
  bool m_committed = false;
  bool m_silent = false;
  bool m_reloadedAfterCrash = false;
  std::size_t m_pendingExternal = 0;
  std::size_t m_droppedExternal = 0;
  bool m_toldDropped = false;
};

}  // namespace

std::unique_ptr<BrowserEngine> CreateWebKitEngine(const EngineOptions& options, BrowserEvents* events) {
  return std::make_unique<WebKitEngine>(options, events);
}

void* SharedWebsiteDataManager() { return g_dataManager; }

namespace {

// The only kinds of site data the cache clearing removes.
constexpr auto kCachedDataTypes =
    static_cast<WebKitWebsiteDataTypes>(WEBKIT_WEBSITE_DATA_DISK_CACHE | WEBKIT_WEBSITE_DATA_MEMORY_CACHE);

// One clearing on its way through the data manager's fetch and removal; it
// owns itself from the fetch until done has run.
struct SiteDataClearing {
  std::string pattern;
  std::function<void()> done;
};

void FinishClearing(SiteDataClearing* clearing) {
  std::unique_ptr<SiteDataClearing> owned(clearing);
  if (owned->done) owned->done();
}

void OnCachedDataRemoved(GObject* source, GAsyncResult* result, gpointer data) {
  GError* error = nullptr;
  if (!webkit_website_data_manager_remove_finish(WEBKIT_WEBSITE_DATA_MANAGER(source), result, &error)) {
    std::fprintf(stderr, "torvane: the browser's cached site data could not be removed: %s\n",
                 error ? error->message : "unknown error");
    if (error) g_error_free(error);
  }
  FinishClearing(static_cast<SiteDataClearing*>(data));
}

void OnCachedDataFetched(GObject* source, GAsyncResult* result, gpointer data) {
  auto* clearing = static_cast<SiteDataClearing*>(data);
  auto* manager = WEBKIT_WEBSITE_DATA_MANAGER(source);
  GError* error = nullptr;
  GList* records = webkit_website_data_manager_fetch_finish(manager, result, &error);
  if (error) {
    std::fprintf(stderr, "torvane: the browser's cached site data could not be listed: %s\n", error->message);
    g_error_free(error);
  }
  GList* matching = nullptr;
  for (GList* item = records; item; item = item->next) {
    auto* record = static_cast<WebKitWebsiteData*>(item->data);
    const char* name = webkit_website_data_get_name(record);
    if (name && SiteMatchesCachePattern(name, clearing->pattern)) matching = g_list_prepend(matching, record);
  }
  if (matching) {
    // The manager copies what it needs of the list before it returns.
    webkit_website_data_manager_remove(manager, kCachedDataTypes, matching, nullptr, OnCachedDataRemoved, clearing);
    g_list_free(matching);
  } else {
    FinishClearing(clearing);
  }
  g_list_free_full(records, reinterpret_cast<GDestroyNotify>(webkit_website_data_unref));
}

}  // namespace

void ClearWebKitCachedSiteData(const std::string& pattern, std::function<void()> done) {
  SharedContext();  // makes the data manager when no engine made it yet
  auto clearing = std::make_unique<SiteDataClearing>(SiteDataClearing{pattern, std::move(done)});
  // The callbacks own it from here (FinishClearing).
  webkit_website_data_manager_fetch(g_dataManager, kCachedDataTypes, nullptr, OnCachedDataFetched, clearing.release());
}

std::string WebExtensionsDirectory() {
  if (const char* env = std::getenv("TORVANE_WEB_EXTENSIONS_DIR"); env && HasExtension(env)) return env;
  std::string exe = paths::ExecutablePath();
  if (!exe.empty() && HasExtension(Dirname(exe) + "/web-extensions")) return Dirname(exe) + "/web-extensions";
  if (const char* bin = std::getenv("TORVANE_TEST_BIN"); bin && HasExtension(std::string(bin) + "/web-extensions"))
    return std::string(bin) + "/web-extensions";
  return "";
}

bool OpenInDesktopBrowser(const std::string& url) {
  if (!IsHttpAddress(url)) {
    std::fprintf(stderr, "torvane: not opening a new window for %.200s (only http and https go to the browser)\n",
                 url.c_str());
    return false;
  }
  GError* error = nullptr;
  bool ok;
  if (const char* opener = std::getenv("TORVANE_OPENER"); opener && *opener) {
    const char* argv[] = {opener, url.c_str(), nullptr};
    ok = g_spawn_async(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
                       &error);
  } else {
    ok = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error);
  }
  if (!ok) {
    std::fprintf(stderr, "torvane: could not open %.200s in the browser: %s\n", url.c_str(),
                 error ? error->message : "unknown error");
    if (error) g_error_free(error);
  }
  return ok;
}

}  // namespace web
