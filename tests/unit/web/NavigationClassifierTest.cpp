// Telling top-level navigations from frames' without the engine.
#include <gtest/gtest.h>

#include "platform/web/NavigationClassifier.h"

namespace {

using web::NavigationClassifier;
using Kind = NavigationClassifier::Kind;

NavigationClassifier::Request Link(std::string url) {
  NavigationClassifier::Request r;
  r.url = std::move(url);
  r.linkOrForm = true;
  r.userGesture = true;
  return r;
}
NavigationClassifier::Request Plain(std::string url, bool gesture = false) {
  NavigationClassifier::Request r;
  r.url = std::move(url);
  r.userGesture = gesture;
  return r;
}

TEST(NavigationClassifier, NotesTellFramesFromTheTop) {
  NavigationClassifier c;
  c.AddNote("app://minimize|", /*targetsTop=*/false, false);
  EXPECT_EQ(c.Classify(Link("app://minimize|")), Kind::Frame);
  c.AddNote("app://minimize|", true, false);
  EXPECT_EQ(c.Classify(Link("app://minimize|")), Kind::TopLevel);
  EXPECT_EQ(c.PendingNotes(), 0u);
}

TEST(NavigationClassifier, StaleNotesBeforeTheMatchAreDropped) {
  NavigationClassifier c;
  c.AddNote("app://exitgame|", false, false);  // the page prevented this one
  c.AddNote("http://operator.example/a", true, false);
  EXPECT_EQ(c.Classify(Link("http://operator.example/a")), Kind::TopLevel);
  EXPECT_EQ(c.PendingNotes(), 0u);
  // Without a note the command is examined as top-level: no frame claimed it.
  EXPECT_EQ(c.Classify(Link("app://exitgame|")), Kind::TopLevel);
}

TEST(NavigationClassifier, FormNotesMatchTheirQuery) {
  NavigationClassifier c;
  c.AddNote("http://operator.example/search?old=1", false, true);
  EXPECT_EQ(c.Classify(Link("http://operator.example/search?q=abc")), Kind::Frame);
  c.AddNote("http://operator.example/search", false, true);
  EXPECT_EQ(c.Classify(Link("http://operator.example/searchmore")), Kind::AtResponse);
}

TEST(NavigationClassifier, OwnNavigationIsTopLevelEvenForHttp) {
  NavigationClassifier c;
  c.ExpectOwnNavigation();
  EXPECT_EQ(c.Classify(Plain("http://operator.example/home")), Kind::TopLevel);
  EXPECT_EQ(c.Classify(Plain("http://operator.example/frame.html")), Kind::AtResponse);
}

TEST(NavigationClassifier, OwnNavigationIsNotTakenByALinkOrRedirect) {
  NavigationClassifier c;
  c.ExpectOwnNavigation();
  EXPECT_EQ(c.Classify(Link("http://operator.example/clicked")), Kind::AtResponse);
  NavigationClassifier::Request redirect = Plain("http://operator.example/moved");
  redirect.redirect = true;
  EXPECT_EQ(c.Classify(redirect), Kind::AtResponse);
  EXPECT_EQ(c.Classify(Plain("about:blank3")), Kind::TopLevel);
}

TEST(NavigationClassifier, OwnNavigationsWithoutADecisionEndWithTheNextCommit) {
  // Two own navigations the engine never asked about (an address it could
  // not start, one replaced by the next), then one it did: once the top-level
  // document commits, the new page's frames are not taken for own loads.
  NavigationClassifier c;
  c.ExpectOwnNavigation();
  c.ExpectOwnNavigation();
  c.ExpectOwnNavigation();
  EXPECT_EQ(c.Classify(Plain("http://operator.example/home")), Kind::TopLevel);
  c.TopLevelCommitted();
  EXPECT_EQ(c.Classify(Plain("about:blank")), Kind::Frame) << "the frame as it is created";
  EXPECT_EQ(c.Classify(Plain("http://operator.example/game.html")), Kind::AtResponse);
  // Expectations after the commit count again.
  c.ExpectOwnNavigation();
  EXPECT_EQ(c.Classify(Plain("about:blank")), Kind::TopLevel);
}

TEST(NavigationClassifier, WhatIsLeft) {
  NavigationClassifier c;
  EXPECT_EQ(c.Classify(Plain("HTTPS://operator.example/")), Kind::AtResponse);
  EXPECT_EQ(c.Classify(Plain("about:blank")), Kind::Frame);
  EXPECT_EQ(c.Classify(Plain("about:srcdoc")), Kind::Frame);
  EXPECT_EQ(c.Classify(Plain("about:blank", /*gesture=*/true)), Kind::TopLevel);
  EXPECT_EQ(c.Classify(Plain("app://loadgame/x")), Kind::TopLevel);
  EXPECT_EQ(c.Classify(Plain("")), Kind::TopLevel);
}

TEST(NavigationClassifier, NotesAreCapped) {
  NavigationClassifier c;
  for (int i = 0; i < 1000; ++i) c.AddNote("http://x/" + std::to_string(i), false, false);
  EXPECT_EQ(c.PendingNotes(), NavigationClassifier::kMaxNotes);
  EXPECT_EQ(c.Classify(Link("http://x/999")), Kind::Frame);
  EXPECT_EQ(c.Classify(Link("http://x/0")), Kind::AtResponse) << "the oldest notes were dropped";
}

}  // namespace
