// HttpGetText: fetches the body of one plain-HTTP address as text, on the
// calling thread, which it blocks until the answer is read or a time-out
// passes. Nothing is cached (the request asks proxies not to answer from a
// cache either). The HTTP status is read and ignored: an error page's body is
// returned like any other. The body is decoded once, whole (UTF-8 kept;
// other text read as GB18030, as the operator's services may answer).
//
// Returns "" without sending anything for an address that is not plain http
// (https included, or no scheme). Returns "" when the server cannot be
// reached, the time-out passes, the answer is cut off or larger than the cap:
// a partial body is never returned. A failure is described on stderr.
//
// Threads: any thread; calls share nothing.
#pragma once

#include <string>

struct HttpTextLimits {
  long connectTimeoutMs = 5000;
  long totalTimeoutMs = 10000;   // the whole exchange
  long long maxBytes = 1 << 20;  // a longer body fails
};

std::string HttpGetText(const std::string& url, const HttpTextLimits& limits = HttpTextLimits());
