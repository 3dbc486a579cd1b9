#include "transfer/HttpGetText.h"

#include "platform/base/Text.h"
#include "platform/net/Transfer.h"

std::string HttpGetText(const std::string& url, const HttpTextLimits& limits) {
  if (net::SchemeOf(url) != "http") return {};
  net::TransferOptions o;
  o.plainHttpOnly = true;
  o.failOnHttpError = false;  // the body is wanted whatever the status
  o.connectTimeoutMs = limits.connectTimeoutMs;
  o.totalTimeoutMs = limits.totalTimeoutMs;
  o.stallTimeoutSec = 0;  // the total time-out bounds a stall
  o.maxBytes = limits.maxBytes;
  o.userAgent = "session";
  o.headers = {"Pragma: no-cache", "Cache-Control: no-cache"};
  std::string body;
  if (!net::FetchText(url, o, &body).ok) return {};
  return text::DecodeDocument(body);
}
