#include "tests/support/ScriptedEngine.h"

#include <algorithm>
#include <cstdio>

#include "platform/ui/EventLoop.h"

namespace scripted {

web::ExternalArg Str(const std::string& s) {
  web::ExternalArg a;
  a.kind = web::ExternalArg::Kind::String;
  a.text = s.substr(0, web::kMaxExternalText);
  return a;
}
web::ExternalArg Num(double n) {
  web::ExternalArg a;
  a.kind = web::ExternalArg::Kind::Number;
  a.number = n;
  return a;
}
web::ExternalArg Obj() {
  web::ExternalArg a;
  a.kind = web::ExternalArg::Kind::Object;
  return a;
}
web::ExternalArg Fn() {
  web::ExternalArg a;
  a.kind = web::ExternalArg::Kind::Function;
  return a;
}
web::ExternalArg Null() {
  web::ExternalArg a;
  a.kind = web::ExternalArg::Kind::Null;
  return a;
}
web::ExternalArg Undefined() { return web::ExternalArg{}; }

namespace {
std::vector<ScriptedEngine*>& Live() {
  static std::vector<ScriptedEngine*> live;
  return live;
}

// Requests to clear cached site data: every pattern asked, and the done
// callbacks still waiting for a pump.
struct SiteDataRecord {
  std::vector<std::string> patterns;
  std::vector<std::function<void()>> pending;
};
SiteDataRecord& SiteData() {
  static SiteDataRecord record;
  return record;
}

// Runs the waiting done callbacks (and none that they cause); whether any were.
bool CompleteSiteDataClearings() {
  std::vector<std::function<void()>> pending = std::move(SiteData().pending);
  SiteData().pending.clear();
  for (auto& done : pending)
    if (done) done();
  return !pending.empty();
}
}  // namespace

ScriptedEngine::Install::Install() {
  web::SetEngineFactory([](const web::EngineOptions& options, web::BrowserEvents* events) {
    return std::unique_ptr<web::BrowserEngine>(new ScriptedEngine(options, events));
  });
  SiteData() = {};
  web::SetSiteDataClearer([](const std::string& pattern, std::function<void()> done) {
    SiteData().patterns.push_back(pattern);
    SiteData().pending.push_back(std::move(done));
  });
}
ScriptedEngine::Install::~Install() {
  web::SetEngineFactory(nullptr);
  web::SetSiteDataClearer(nullptr);
  SiteData() = {};
}

const std::vector<std::string>& ScriptedEngine::SiteDataClearings() { return SiteData().patterns; }
std::size_t ScriptedEngine::PendingSiteDataClearings() { return SiteData().pending.size(); }

ScriptedEngine::ScriptedEngine(const web::EngineOptions& options, web::BrowserEvents* events)
    : m_options(options), m_events(events) {
  Live().push_back(this);
}

ScriptedEngine::~ScriptedEngine() {
  *m_alive = false;
  auto& live = Live();
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

const std::vector<ScriptedEngine*>& ScriptedEngine::All() { return Live(); }
ScriptedEngine* ScriptedEngine::Last() { return Live().empty() ? nullptr : Live().back(); }

void ScriptedEngine::Navigate(const std::string& url) {
  m_navigateCalls.push_back(url);
  m_lastRequested = url;
  Event e;
  e.type = Event::Type::BeforeNavigate;
  e.url = url;
  m_queue.push_back(e);
}

void ScriptedEngine::Refresh() {
  ++m_refreshes;
  if (!m_location.empty()) Commit(m_location);
}

void ScriptedEngine::PageNavigate(const std::string& url, bool topLevel) {
  Event e;
  e.type = Event::Type::BeforeNavigate;
  e.url = url;
  e.topLevel = topLevel;
  m_queue.push_back(e);
}

void ScriptedEngine::PageOpensWindow(const std::string& url) {
  Event e;
  e.type = Event::Type::NewWindow;
  e.url = url;
  m_queue.push_back(e);
}

void ScriptedEngine::SetTitle(const std::string& title) {
  Event e;
  e.type = Event::Type::Title;
  e.url = title;
  m_queue.push_back(e);
}

void ScriptedEngine::CallExternal(const std::string& method, std::vector<web::ExternalArg> args, bool topLevel) {
  Event e;
  e.type = Event::Type::External;
  e.call.method = method;
  e.call.argCount = args.size();
  if (args.size() > web::kMaxExternalArgs) args.resize(web::kMaxExternalArgs);
  e.call.args = std::move(args);
  e.call.topLevel = topLevel;
  m_queue.push_back(std::move(e));
}

void ScriptedEngine::CrashWebProcess() {
  if (m_reloadedAfterCrash || m_lastRequested.empty()) {
    std::fprintf(stderr, "scripted engine: web process ended; not reloading again\n");
    return;
  }
  m_reloadedAfterCrash = true;
  Navigate(m_lastRequested);
}

void ScriptedEngine::Commit(const std::string& url) {
  Event c;
  c.type = Event::Type::NavigateComplete;
  c.url = url;
  m_queue.push_back(c);
  Event d;
  d.type = Event::Type::DocumentComplete;
  d.url = url;
  m_queue.push_back(d);
}

bool ScriptedEngine::Pump() {
  bool any = false;
  std::weak_ptr<bool> alive = m_alive;
  while (!m_queue.empty()) {
    any = true;
    Event e = std::move(m_queue.front());
    m_queue.pop_front();
    web::DocumentRef doc{e.topLevel ? kTop : kFrame};
    bool cancel = false;
    switch (e.type) {
      case Event::Type::BeforeNavigate:
        m_events->OnBeforeNavigate2(doc, e.url, &cancel);
        if (alive.expired() || !*alive.lock()) return true;
        if (cancel) m_cancelled.push_back(e.url);
        else if (e.topLevel) Commit(e.url);
        else {
          Event d;
          d.type = Event::Type::DocumentComplete;
          d.url = e.url;
          d.topLevel = false;
          m_queue.push_back(d);
        }
        break;
      case Event::Type::NavigateComplete:
        m_location = e.url;
        m_events->OnNavigateComplete2(e.url);
        break;
      case Event::Type::DocumentComplete:
        if (e.topLevel) m_reloadedAfterCrash = false;
        m_events->OnDocumentComplete(doc, e.url);
        break;
      case Event::Type::Title:
        m_events->OnTitleChange(e.url);
        break;
      case Event::Type::NewWindow:
        m_events->OnNewWindow3(e.url, m_location, &cancel);
        if (alive.expired() || !*alive.lock()) return true;
        if (!cancel) m_openedInBrowser.push_back(e.url);
        break;
      case Event::Type::External:
        m_events->OnExternalCall(e.call);
        break;
    }
    if (alive.expired() || !*alive.lock()) return true;
  }
  return any;
}

bool ScriptedEngine::PumpAll() {
  bool any = false;
  for (int round = 0; round < 1000; ++round) {
    bool progressed = CompleteSiteDataClearings();
    // Copy: a handler may create or destroy engines.
    std::vector<ScriptedEngine*> engines = Live();
    for (ScriptedEngine* e : engines) {
      if (std::find(Live().begin(), Live().end(), e) == Live().end()) continue;
      if (e->Pump()) progressed = true;
    }
    if (!progressed) break;
    any = true;
  }
  return any;
}

void ScriptedEngine::PumpEverything() {
  for (int round = 0; round < 1000; ++round) {
    ui::PumpUntilIdle();
    if (!PumpAll()) break;
  }
  ui::PumpUntilIdle();
}

}  // namespace scripted
