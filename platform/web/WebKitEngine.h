// The product's browser engine: a WebKitGTK 4.1 web view (see README.md for
// how its signals become the view's events and which routes tell frames
// apart).
//
// Threads: user-interface thread only, with GTK initialised (the gtk display
// backend).
#pragma once

#include <memory>

#include "platform/web/BrowserEngine.h"

typedef struct _JSCValue JSCValue;

namespace web {

std::unique_ptr<BrowserEngine> CreateWebKitEngine(const EngineOptions& options, BrowserEvents* events);

// The WebKitWebsiteDataManager* that every engine of this process shares
// (this product's folders), for clearing cached site data; null before the
// first engine was made.
void* SharedWebsiteDataManager();

// The folder the web-process extension is loaded from: $TORVANE_WEB_EXTENSIONS_DIR,
// else "web-extensions" beside the executable, else $TORVANE_TEST_BIN/web-extensions;
// "" when none holds the extension.
std::string WebExtensionsDirectory();

// Decodes what the page's external object posts to the view, an object
// {m: method, n: argument count, t: top-level, a: [{k: kind, v: value}...]},
// into call, capping texts and arguments (BrowserEngine.h); false when the
// message is not such an object or names no method. Any page can post any
// value here, not only through the external object.
bool ParseExternalCall(JSCValue* message, ExternalCall* call);

// Opens url with the desktop's default browser, or, when $TORVANE_OPENER is
// set, runs that program with url as its one argument. Only http and https
// addresses are handed on; false (with the reason on stderr) otherwise.
bool OpenInDesktopBrowser(const std::string& url);

}  // namespace web
