// libFuzzer target: any address a page can navigate to, with any configured
// gameCheck and loginCheck, through the browser view's navigation policy,
// and a sequence of the engine's navigation events through the frame
// classifier whose verdict (top-level or frame) the policy then gets. Every
// decision must follow from what the address holds: a page command only
// when its text is there and the launcher exists, the game window only for
// an address holding gameCheck and only with a main frame, outside the game
// window, at the page's own address or what follows the command's '|';
// frames never act.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <string>

#include "browser/NavigationPolicy.h"
#include "fuzz/common/FuzzCheck.h"
#include "platform/web/NavigationClassifier.h"

namespace {

std::string Lower(const std::string& s) {
  std::string out;
  for (char c : s) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool Has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void CheckNavigation(const std::string& url, const NavContext& c) {
  NavDecision d = DecideNavigation(url, c);
  const std::string low = Lower(url);
  FUZZ_CHECK(d.cancel == (d.action == NavAction::MinimizeLauncher || d.action == NavAction::ConfirmQuit ||
                          d.action == NavAction::OpenGameWindow));
  FUZZ_CHECK(d.action == NavAction::OpenGameWindow || d.gameUrl.empty());
  if (!c.topLevel) FUZZ_CHECK(d == NavDecision{});
  switch (d.action) {
    case NavAction::Proceed:
      break;
    case NavAction::MinimizeLauncher:
      FUZZ_CHECK(c.launcherExists && Has(low, kCmdMinimize));
      break;
    case NavAction::ConfirmQuit:
      FUZZ_CHECK(c.launcherExists && Has(low, kCmdExitGame) && !Has(low, kCmdMinimize));
      break;
    case NavAction::OpenGameWindow:
      FUZZ_CHECK(c.mainFrameExists && !c.inGameWindow && Has(low, c.gameCheck));
      FUZZ_CHECK(EndsWith(url, d.gameUrl));
      FUZZ_CHECK(d.gameUrl == url || (Has(low, kCmdLoadGame) && d.gameUrl == url.substr(url.find('|') + 1)));
      break;
    case NavAction::ShowChooseImages:
      // loginCheck found after the address's first character.
      FUZZ_CHECK(c.launcherExists && !c.loginCheck.empty() && low.find(c.loginCheck) != std::string::npos &&
                 low.find(c.loginCheck) > 0);
      FUZZ_CHECK(!Has(low, c.gameCheck));
      break;
  }

  NavDecision w = DecideNewWindow(url, c);
  FUZZ_CHECK(w.action == NavAction::Proceed || w.action == NavAction::OpenGameWindow);
  FUZZ_CHECK(w.cancel == (w.action == NavAction::OpenGameWindow));
  if (w.action == NavAction::OpenGameWindow)
    FUZZ_CHECK(w.gameUrl == url && c.mainFrameExists && !c.inGameWindow && Has(low, c.gameCheck));
  else
    FUZZ_CHECK(w.gameUrl.empty() && (!c.mainFrameExists || c.inGameWindow || !Has(low, c.gameCheck)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  NavContext context;
  context.topLevel = in.ConsumeBool();
  context.inGameWindow = in.ConsumeBool();
  context.launcherExists = in.ConsumeBool();
  context.mainFrameExists = in.ConsumeBool();
  const std::string url = in.ConsumeRandomLengthString(4096);
  context.gameCheck = in.ConsumeRandomLengthString(256);
  context.loginCheck = in.ConsumeRandomLengthString(256);
  CheckNavigation(url, context);

  // The engine's events, as the classifier sees them; each navigation it
  // classifies goes to the policy as top-level or frame.
  web::NavigationClassifier classifier;
  int ownPending = 0;
  while (in.remaining_bytes() > 0) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
      case 0:
        classifier.ExpectOwnNavigation();
        ++ownPending;
        break;
      case 1:
        classifier.TopLevelCommitted();
        ownPending = 0;
        break;
      case 2: {
        std::size_t before = classifier.PendingNotes();
        std::string note = in.ConsumeBool() ? url : in.ConsumeRandomLengthString(512);
        bool top = in.ConsumeBool();
        classifier.AddNote(note, top, in.ConsumeBool());
        FUZZ_CHECK(classifier.PendingNotes() == std::min(before + 1, web::NavigationClassifier::kMaxNotes));
        break;
      }
      default: {
        web::NavigationClassifier::Request request;
        request.url = in.ConsumeBool() ? url : in.ConsumeRandomLengthString(512);
        request.linkOrForm = in.ConsumeBool();
        request.userGesture = in.ConsumeBool();
        request.redirect = in.ConsumeBool();
        const std::string low = Lower(request.url);
        const bool http = low.rfind("http://", 0) == 0 || low.rfind("https://", 0) == 0;
        FUZZ_CHECK(web::IsHttpAddress(request.url) == http);
        std::size_t notes = classifier.PendingNotes();
        web::NavigationClassifier::Kind kind = classifier.Classify(request);
        bool own = ownPending > 0 && !request.linkOrForm && !request.redirect;
        if (own) {
          --ownPending;
          FUZZ_CHECK(kind == web::NavigationClassifier::Kind::TopLevel && classifier.PendingNotes() == notes);
        } else if (classifier.PendingNotes() == notes) {
          // No note matched: the address and the facts decide.
          if (request.redirect || http)
            FUZZ_CHECK(kind == web::NavigationClassifier::Kind::AtResponse);
          else if (!request.userGesture && !request.linkOrForm &&
                   (request.url == "about:blank" || request.url == "about:srcdoc"))
            FUZZ_CHECK(kind == web::NavigationClassifier::Kind::Frame);
          else
            FUZZ_CHECK(kind == web::NavigationClassifier::Kind::TopLevel);
        } else {
          FUZZ_CHECK(classifier.PendingNotes() < notes && kind != web::NavigationClassifier::Kind::AtResponse);
        }
        FUZZ_CHECK(classifier.PendingNotes() <= web::NavigationClassifier::kMaxNotes);
        if (kind != web::NavigationClassifier::Kind::AtResponse) {
          NavContext c = context;
          c.topLevel = kind == web::NavigationClassifier::Kind::TopLevel;
          CheckNavigation(request.url, c);
        }
        break;
      }
    }
  }
  return 0;
}
