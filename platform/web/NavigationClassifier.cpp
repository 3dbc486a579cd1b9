#include "platform/web/NavigationClassifier.h"

#include "platform/base/Text.h"

namespace web {

bool IsHttpAddress(const std::string& url) {
  std::string head = text::ToLowerAscii(url.substr(0, 8));
  return head.rfind("http://", 0) == 0 || head.rfind("https://", 0) == 0;
}

void NavigationClassifier::ExpectOwnNavigation() { ++m_ownPending; }

void NavigationClassifier::TopLevelCommitted() { m_ownPending = 0; }

void NavigationClassifier::AddNote(const std::string& url, bool targetsTop, bool isForm) {
  if (m_notes.size() >= kMaxNotes) m_notes.pop_front();
  m_notes.push_back(Note{url, targetsTop, isForm});
}

bool NavigationClassifier::Matches(const Note& note, const std::string& url) {
  if (note.url == url) return true;
  if (!note.form) return false;
  // A GET form navigates to its action with the fields as the query.
  std::string action = note.url.substr(0, note.url.find_first_of("?#"));
  return url.size() > action.size() && url.compare(0, action.size(), action) == 0 && url[action.size()] == '?';
}

NavigationClassifier::Kind NavigationClassifier::Classify(const Request& request) {
  if (m_ownPending > 0 && !request.linkOrForm && !request.redirect) {
    // Our own load is a plain navigation; what the page does meanwhile is a
    // link, a form or a redirect, or comes after it.
    --m_ownPending;
    return Kind::TopLevel;
  }
  for (auto it = m_notes.begin(); it != m_notes.end(); ++it) {
    if (!Matches(*it, request.url)) continue;
    bool top = it->top;
    // Notes older than the one that matched announced navigations that did
    // not happen (a page that prevented the default action).
    m_notes.erase(m_notes.begin(), it + 1);
    return top ? Kind::TopLevel : Kind::Frame;
  }
  if (request.redirect || IsHttpAddress(request.url)) return Kind::AtResponse;
  if (!request.userGesture && !request.linkOrForm && (request.url == "about:blank" || request.url == "about:srcdoc"))
    return Kind::Frame;
  return Kind::TopLevel;
}

}  // namespace web
