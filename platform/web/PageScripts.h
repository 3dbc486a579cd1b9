// The scripts and style the WebKit engine puts into every page.
//
// Threads: constants, any thread.
#pragma once

namespace web {

// The name of the script message handler behind window.external.
inline constexpr const char kExternalHandlerName[] = "torvaneExternal";

// Defines window.external in every page and frame at document start: the
// methods Invoke_Client, getNewMsg, getGsName, BeforeNavigate2 and
// DocumentComplete post {m: name, n: argument count, t: top-level, a: [{k:
// kind, v: value}]} to the handler. Strings are cut at kMaxExternalText
// characters here already, so a huge string is never copied whole.
extern const char kExternalObjectScript[];

// With EngineOptions::reportContentLoaded (the client's timing trace): posts
// {m: 'DOMContentLoaded', n: 0, t: true, a: []} to the same handler when the
// top-level document's DOMContentLoaded fires, so the view gets it as the
// external call kContentLoadedMethod (BrowserEngine.h). Not put into pages
// otherwise.
extern const char kContentLoadedScript[];

// Hides the scroll bars of the top-level document.
extern const char kNoScrollBarsStyle[];

// The user-message name of a navigation note from the web-process
// extension; its parameters are (s url, b targetsTop, b isForm).
inline constexpr const char kNavigationNoteMessage[] = "torvane-navigation-note";

}  // namespace web
