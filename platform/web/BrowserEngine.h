// The browser engine behind a browser view: the operations the view needs and
// the events it gets back. The product's engine is WebKitGTK (WebKitEngine);
// unit tests install a scripted engine (tests/support) through
// SetEngineFactory, so everything that holds a view runs without a display.
//
// Threads: user-interface thread only. Events are delivered from the loop,
// never from inside an engine call such as Navigate, so a handler may call the
// engine (or delete the window that holds it) freely; after an engine is
// destroyed no event of it is delivered.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace web {

// Names the document an event belongs to; compare it with the engine's
// IsTopLevel. A frame inside the page is never the top-level document.
struct DocumentRef {
  std::uint64_t id = 0;
};

// One argument of a call of a page's external object, reduced to what the
// client may use: the kind of the value, and its text or number.
struct ExternalArg {
  enum class Kind { Undefined, Null, Bool, Number, String, Object, Function };
  Kind kind = Kind::Undefined;
  std::string text;    // Kind::String (already capped at kMaxExternalText bytes)
  double number = 0;   // Kind::Number, Kind::Bool (0 or 1)
};

// A call of window.external.<method>(args...) in some page or frame.
struct ExternalCall {
  std::string method;
  // The first min(argCount, kMaxExternalArgs) arguments; those a message
  // announced without describing them are Undefined.
  std::vector<ExternalArg> args;
  std::size_t argCount = 0;  // how many the page passed
  bool topLevel = false;          // the caller is the top-level document
};

// Caps on what a page can hand the client through its external object.
constexpr std::size_t kMaxExternalText = 64 * 1024;  // bytes of one string argument
constexpr std::size_t kMaxExternalArgs = 8;
constexpr std::size_t kMaxPendingExternalCalls = 256;  // more in one burst are dropped

// What the view implements.
class BrowserEvents {
 public:
  virtual ~BrowserEvents() = default;
  // Before a navigation of the page or of a frame; url is the address as the
  // page gave it. Setting *cancel stops it.
  virtual void OnBeforeNavigate2(DocumentRef doc, const std::string& url, bool* cancel) = 0;
  // The top-level document changed to url (committed).
  virtual void OnNavigateComplete2(const std::string& url) = 0;
  // A document finished loading (the top-level one, or a frame's when the
  // engine reports frames).
  virtual void OnDocumentComplete(DocumentRef doc, const std::string& url) = 0;
  virtual void OnTitleChange(const std::string& title) = 0;
  // The page asks for a new window at url (referrer: the page's address).
  // Unless *cancel is set, the engine opens url in the desktop's default
  // browser: the client has no engine window of its own.
  virtual void OnNewWindow3(const std::string& url, const std::string& referrer, bool* cancel) = 0;
  virtual void OnExternalCall(const ExternalCall& call) = 0;
};

// How the host wants pages shown (what the document host site answers).
struct EngineOptions {
  bool javascript = true;            // scripts run
  bool scrollBars = false;           // false: pages show without scroll bars
  bool border = false;               // false: no border around the page
  bool engineContextMenu = true;     // the engine shows its own context menu
  bool engineScriptDialogs = true;   // alert/confirm/prompt show the engine's own dialogs
  // The top-level document's DOMContentLoaded reaches the view as an external
  // call named kContentLoadedMethod (the client's timing trace only).
  bool reportContentLoaded = false;
};

// The external call an engine made with reportContentLoaded sends when the
// top-level document's DOMContentLoaded fires (no arguments).
inline constexpr char kContentLoadedMethod[] = "DOMContentLoaded";

class BrowserEngine {
 public:
  virtual ~BrowserEngine() = default;

  // Starts a navigation of the top-level document.
  virtual void Navigate(const std::string& url) = 0;
  // Silent mode: the engine shows no dialog boxes of its own making (error
  // and permission prompts). Script dialogs the page asks for are the page's
  // and follow EngineOptions::engineScriptDialogs.
  virtual void SetSilent(bool silent) = 0;
  virtual bool GetSilent() const = 0;
  // Reloads the current document.
  virtual void Refresh() = 0;
  // The address of the current top-level document ("" before the first).
  virtual std::string GetLocationURL() const = 0;
  // Whether an event's document is this engine's top-level document.
  virtual bool IsTopLevel(DocumentRef doc) const = 0;
  // The widget to host in a native child window (GtkWidget*), or null for an
  // engine without one.
  virtual void* NativeWidget() const = 0;
};

// Makes engines. The default factory makes a WebKitEngine on the gtk display
// backend and none on the headless one.
using EngineFactory = std::function<std::unique_ptr<BrowserEngine>(const EngineOptions&, BrowserEvents*)>;
std::unique_ptr<BrowserEngine> CreateEngine(const EngineOptions& options, BrowserEvents* events);
// Replaces the factory (tests); an empty function restores the default.
void SetEngineFactory(EngineFactory factory);

// Clearing the engine's cached data of some sites: its disk and memory
// caches only; cookies, local storage and every other kind of site data stay.
//
// The engine keeps its data per site (a domain, or the host itself for an IP
// address or a single-label name such as "localhost"), not per address. A
// site is cleared when the pattern selects it:
//  - the site's name contains the pattern (plain, case-sensitive containment,
//    as the download cache matches addresses): "127.0.0.1" and "velmora"
//    select the sites "127.0.0.1" and "velmora.com"; or
//  - the pattern names the site: the host the pattern starts with (after an
//    optional "scheme://" and "user@", up to a ':' port, '/', '?' or '#') is
//    the site's name or lies below it, so "http://127.0.0.1:18630/play/",
//    "127.0.0.1:18630" and "game.velmora.com" select "127.0.0.1",
//    "127.0.0.1" and "velmora.com".
// Nothing else selects a site: an empty pattern selects none, a pattern that
// is only a path ("/play/") none, and letter case counts ("VELMORA.COM" does
// not select "velmora.com").
bool SiteMatchesCachePattern(const std::string& site, const std::string& pattern);

// Removes the disk and memory caches of every site the pattern selects, with
// the engine's asynchronous calls, and runs done (may be empty) on the
// user-interface thread when the engine has finished: later from the loop,
// or at once when there is no engine to clear (the headless display backend
// without a scripted engine) or the pattern is empty. done runs exactly once
// unless the process ends first. Like CreateEngine, it uses the clearer a
// test installed, else WebKit on the gtk display backend.
void ClearCachedSiteData(const std::string& pattern, std::function<void()> done);
using SiteDataClearer = std::function<void(const std::string& pattern, std::function<void()> done)>;
// Replaces the clearing (tests); an empty function restores the default.
void SetSiteDataClearer(SiteDataClearer clearer);
// The product engine's clearing (WebKitEngine.cpp), what ClearCachedSiteData
// uses on the gtk display backend; the engine's data manager is made when no
// engine made it yet, so data left by an earlier run is cleared as well.
void ClearWebKitCachedSiteData(const std::string& pattern, std::function<void()> done);

// The product whose folders keep the engine's data and cache:
// $XDG_DATA_HOME/velmora/<product>/ and $XDG_CACHE_HOME/velmora/<product>/.
// Set once at start-up, before the first engine is made.
void SetProductName(const std::string& product);
std::string ProductName();

}  // namespace web
