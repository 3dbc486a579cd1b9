// A scripted browser engine for unit tests: it keeps an address and a title
// and raises the same events as the product's engine, in the same order, when
// the test pumps it. Install one with ScriptedEngine::Install and every view
// made meanwhile gets a ScriptedEngine instead of WebKit; no display needed.
//
//   Navigate(url)      -> BeforeNavigate2 (top level); unless cancelled the
//                         address commits: NavigateComplete2, DocumentComplete
//   PageNavigate(...)  -> the page navigates itself (a link, a frame)
//   PageOpensWindow    -> NewWindow3; unless cancelled the address goes to the
//                         "desktop browser" (recorded in OpenedInBrowser)
//   SetTitle, CallExternal, CrashWebProcess
//   web::ClearCachedSiteData(pattern, done) -> recorded (SiteDataClearings);
//                         done runs on the next PumpAll
//
// Events wait in the engine until Pump (or PumpAll / PumpEverything); like
// the real engine's, they are never delivered from inside an engine call.
//
// Threads: user-interface thread only.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/web/BrowserEngine.h"

namespace scripted {

web::ExternalArg Str(const std::string& s);
web::ExternalArg Num(double n);
web::ExternalArg Obj();
web::ExternalArg Fn();
web::ExternalArg Null();
web::ExternalArg Undefined();

class ScriptedEngine : public web::BrowserEngine {
 public:
  // Routes web::CreateEngine to scripted engines, and web::ClearCachedSiteData
  // to the recording below, while it lives.
  class Install {
   public:
    Install();
    ~Install();
    Install(const Install&) = delete;
    Install& operator=(const Install&) = delete;
  };

  ScriptedEngine(const web::EngineOptions& options, web::BrowserEvents* events);
  ~ScriptedEngine() override;

  // Every live scripted engine, oldest first; the newest one.
  static const std::vector<ScriptedEngine*>& All();
  static ScriptedEngine* Last();

  // web::BrowserEngine.
  void Navigate(const std::string& url) override;
  void SetSilent(bool silent) override { m_silent = silent; }
  bool GetSilent() const override { return m_silent; }
  void Refresh() override;
  std::string GetLocationURL() const override { return m_location; }
  bool IsTopLevel(web::DocumentRef doc) const override { return doc.id == kTop; }
  void* NativeWidget() const override { return nullptr; }

  // What the page does.
  void PageNavigate(const std::string& url, bool topLevel = true);
  void PageOpensWindow(const std::string& url);
  void SetTitle(const std::string& title);
  void CallExternal(const std::string& method, std::vector<web::ExternalArg> args, bool topLevel = true);
  // The web process dies: like the real engine, the last address is loaded
  // again, once until a load completes.
  void CrashWebProcess();

  // Delivers the waiting events (and those they cause); whether any were.
  bool Pump();
  // Pumps every live engine until none has events; whether any were.
  static bool PumpAll();
  // Alternates the window layer's loop and the engines until both are idle.
  static void PumpEverything();

  // What happened.
  const web::EngineOptions& Options() const { return m_options; }
  const std::vector<std::string>& NavigateCalls() const { return m_navigateCalls; }
  const std::vector<std::string>& Cancelled() const { return m_cancelled; }
  const std::vector<std::string>& OpenedInBrowser() const { return m_openedInBrowser; }
  int RefreshCount() const { return m_refreshes; }
  bool HasPending() const { return !m_queue.empty(); }

  // The patterns web::ClearCachedSiteData was asked to clear since the
  // Install, in order, and how many of those have not completed yet (each
  // completes, running its done, on the next PumpAll).
  static const std::vector<std::string>& SiteDataClearings();
  static std::size_t PendingSiteDataClearings();

  static constexpr std::uint64_t kTop = 1;
  static constexpr std::uint64_t kFrame = 2;

 private:
  struct Event {
    enum class Type { BeforeNavigate, NavigateComplete, DocumentComplete, Title, NewWindow, External };
    Type type = Type::BeforeNavigate;
    std::string url;
    bool topLevel = true;
    web::ExternalCall call;
  };
  void Commit(const std::string& url);

  web::EngineOptions m_options;
  web::BrowserEvents* m_events;
  std::deque<Event> m_queue;
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
  std::string m_location;
  std::string m_lastRequested;
  bool m_silent = false;
  bool m_reloadedAfterCrash = false;
  int m_refreshes = 0;
  std::vector<std::string> m_navigateCalls, m_cancelled, m_openedInBrowser;
};

}  // namespace scripted
