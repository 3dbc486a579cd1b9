// Tells a top-level navigation from a frame's for the WebKit engine, whose
// navigation decision does not say which frame navigates.
//
// Three sources, in this order:
//  1. The view's own Navigate: the next plain navigation after it is the
//     top-level document's.
//  2. Notes from the web-process extension, which sees link clicks and form
//     submissions in every frame and knows whether that frame is the main
//     frame (and whether the link targets the top). A note reaches the client
//     before the navigation decision it announces (same connection, in order).
//  3. What is left (a script assigning location, a meta refresh, a frame's
//     src, a redirect): an http(s) address is decided when its response
//     arrives, where the engine says whether it is the main frame's main
//     resource; "about:blank" and "about:srcdoc" loaded without a user gesture
//     are frames being created; any other address cannot be told apart and
//     counts as top-level.
//
// Threads: user-interface thread only (owned by one engine).
#pragma once

#include <cstddef>
#include <deque>
#include <string>

namespace web {

class NavigationClassifier {
 public:
  enum class Kind { TopLevel, Frame, AtResponse };

  // The navigation decision's facts.
  struct Request {
    std::string url;
    bool linkOrForm = false;   // a link click or a form submission
    bool userGesture = false;
    bool redirect = false;
  };

  // The engine is about to load url into the top-level document itself, and
  // will ask for a decision about it first.
  void ExpectOwnNavigation();
  // The top-level document committed. An own navigation asked for before it
  // that got no decision never will (the engine loaded it without asking,
  // could not start it, or another load replaced it), so none is expected any
  // more: the frames of the new document must not take its place. In the
  // rare case that a navigation asked for just before an older load
  // committed is still to come, it is placed by what is left (see above).
  void TopLevelCommitted();
  // A note from a frame: a link or form there is about to navigate to url;
  // targetsTop says whether the top-level document is what navigates.
  // isForm: url is a form's action, which a GET submission extends by a query.
  void AddNote(const std::string& url, bool targetsTop, bool isForm);

  Kind Classify(const Request& request);

  std::size_t PendingNotes() const { return m_notes.size(); }
  static constexpr std::size_t kMaxNotes = 32;

 private:
  struct Note {
    std::string url;
    bool top = false;
    bool form = false;
  };
  static bool Matches(const Note& note, const std::string& url);
  int m_ownPending = 0;
  std::deque<Note> m_notes;
};

// Whether the scheme of url is http or https (letter case ignored).
bool IsHttpAddress(const std::string& url);

}  // namespace web
