// libFuzzer target: what a page posts to the view through its external
// object's message handler. A page may post any value there, not only what
// our external object sends, so the input is any JSON value; it becomes the
// engine's JavaScript value, is decoded into an external call as the engine
// does it, and goes to two browser views (one in the game window, one in
// another window) on the headless display with a recording host.
//
// The decoded call stays within its caps (method, arguments, texts, all
// UTF-8). The views act only on the members' exact argument shapes: the vip
// button's text is the call's text, only well-formed calls reach the game
// window, the game page's close address releases the game window only from
// the game window's own view, and no external call ever opens the game,
// hides the launcher or asks the quit question.
#include <jsc/jsc.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "app/AppMessages.h"
#include "browser/IEView.h"
#include "browser/NavigationPolicy.h"
#include "fuzz/common/FuzzCheck.h"
#include "platform/base/Text.h"
#include "platform/ui/EventLoop.h"
#include "platform/web/WebKitEngine.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScriptedEngine.h"

namespace {

using Kind = web::ExternalArg::Kind;

// The view's external-call handler, reachable from here.
class FuzzView : public CIEView {
 public:
  using CIEView::OnExternalCall;
};

struct World {
  scripted::ScriptedEngine::Install engines;
  RecordingHost host;
  MessageLogWnd frame;
  MessageLogWnd game;
  MessageLogWnd other;
  FuzzView gameView;
  FuzzView otherView;
  JSCContext* js = nullptr;
};

World* g_world = nullptr;

bool IsString(const web::ExternalCall& call, std::size_t i) {
  return i < call.args.size() && call.args[i].kind == Kind::String;
}

void CheckDecoded(const web::ExternalCall& call) {
  FUZZ_CHECK(!call.method.empty() && call.method.size() <= 64 && text::IsValidUtf8(call.method));
  FUZZ_CHECK(call.args.size() == std::min(call.argCount, web::kMaxExternalArgs));
  for (const web::ExternalArg& arg : call.args) {
    FUZZ_CHECK(arg.text.size() <= web::kMaxExternalText && text::IsValidUtf8(arg.text));
    if (arg.kind != Kind::String) FUZZ_CHECK(arg.text.empty());
    if (arg.kind == Kind::Bool) FUZZ_CHECK(arg.number == 0 || arg.number == 1);
  }
}

void CheckEffects(const web::ExternalCall& call) {
  World& w = *g_world;
  FUZZ_CHECK(w.host.openedGames.empty() && w.host.launcherShows.empty() && w.host.quitQuestions == 0 &&
             w.host.chooseImages == 0);
  const bool gsName = call.method == "getGsName" && call.argCount == 1 && IsString(call, 0);
  const bool newMsg = call.method == "getNewMsg" && call.argCount == 1 && IsString(call, 0);
  auto names = w.game.Of(WM_VIPBUTTON_SETTEXT);
  FUZZ_CHECK(names.size() == (gsName ? 2u : 0u));
  for (const MessageLogWnd::Entry& e : names) {
    FUZZ_CHECK(e.text == call.args[0].text);
    FUZZ_CHECK(e.nullText == call.args[0].text.empty());
  }
  FUZZ_CHECK(w.game.Of(WM_VIPBUTTON_FLASH).size() == (newMsg ? 2u : 0u));
  FUZZ_CHECK(w.game.log.size() == names.size() + w.game.Of(WM_VIPBUTTON_FLASH).size());
  FUZZ_CHECK(w.other.log.empty());
  const bool release = call.method == "DocumentComplete" && call.argCount == 2 && IsString(call, 1) &&
                       text::ToLowerAscii(call.args[1].text).rfind(kCloseAddress, 0) == 0;
  FUZZ_CHECK(w.frame.Of(WM_RELEASE_GAMEWND).size() == (release ? 1u : 0u));
  FUZZ_CHECK(w.frame.log.size() == w.frame.Of(WM_RELEASE_GAMEWND).size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FUZZ_CHECK(ui::InitializeWith(ui::BackendKind::Headless));
  g_world = new World;  // lives as long as the process
  World& w = *g_world;
  FUZZ_CHECK(w.frame.CreateTop() && w.game.CreateTop() && w.other.CreateTop());
  w.host.mainFrame = w.frame.m_hWnd;
  w.host.gameWnd = w.game.m_hWnd;
  w.host.config["gameCheck"] = "";  // every address is a game address to the policy
  g_pIEViewHost = &w.host;
  FUZZ_CHECK(w.gameView.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 1, 1}, w.game.m_hWnd,
                               CIEView::kViewId));
  FUZZ_CHECK(w.otherView.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 1, 1}, w.other.m_hWnd,
                                CIEView::kViewId));
  FUZZ_CHECK(w.gameView.IsInGameWindow() && !w.otherView.IsInGameWindow());
  w.js = jsc_context_new();
  ui::PumpUntilIdle();
  w.frame.log.clear();
  w.game.log.clear();
  w.other.log.clear();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  World& w = *g_world;
  std::string json(reinterpret_cast<const char*>(data), size);
  json.resize(json.find('\0') == std::string::npos ? json.size() : json.find('\0'));
  JSCValue* value = jsc_value_new_from_json(w.js, json.c_str());
  jsc_context_clear_exception(w.js);
  if (!value) return 0;
  web::ExternalCall call;
  bool decoded = web::ParseExternalCall(value, &call);
  g_object_unref(value);
  if (!decoded) return 0;
  CheckDecoded(call);

  w.gameView.OnExternalCall(call);
  w.otherView.OnExternalCall(call);
  ui::PumpUntilIdle();
  CheckEffects(call);
  w.frame.log.clear();
  w.game.log.clear();
  w.other.log.clear();
  return 0;
}
