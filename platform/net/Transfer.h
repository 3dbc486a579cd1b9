// HTTP transfers on libcurl: one request, its body handed to a sink, to a file
// or to a string. Redirects are followed; time-outs bound the connect, the
// whole exchange and a stalled body; a size cap bounds what is accepted; a
// CancelToken stops a transfer from another thread.
//
// Threads: every function may be called from any thread; each call runs on
// the caller's thread with its own connection and shares nothing.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace net {

class CancelToken;

struct TransferOptions {
  long connectTimeoutMs = 15000;
  long totalTimeoutMs = 0;       // the whole exchange; 0: no limit
  long stallTimeoutSec = 30;     // no body byte for this long fails; 0: off
  long long maxBytes = 0;        // a longer body fails; 0: no cap
  bool failOnHttpError = true;   // a status of 400 or more is a failure (its body is not kept)
  bool plainHttpOnly = false;    // only http:// addresses, redirects included; otherwise http and https
  long maxRedirects = 10;
  std::string userAgent = "Torvane/1.0";
  std::vector<std::string> headers;  // extra request headers, "Name: value"
  CancelToken* cancel = nullptr;
};

struct TransferResult {
  bool ok = false;
  bool cancelled = false;
  long status = 0;        // the last response's HTTP status, 0 when none arrived
  long long bytes = 0;    // body bytes received
  std::string error;      // why it failed, for a diagnostic ("" when ok)
};

// Receives the body as it arrives; false aborts the transfer.
using BodySink = std::function<bool(const char* data, size_t size)>;

// Runs one GET of url. ok when the whole body arrived (a body shorter than its
// announced length, a reset connection or a time-out is a failure).
TransferResult Perform(const std::string& url, const TransferOptions& options, const BodySink& sink);

// Downloads url to path: the body goes to a temporary file beside path,
// created exclusively under an unpredictable name, that is renamed over path
// only when complete, so path never holds a partial or error body. The file
// is this user's alone (0600). The folder must exist. A failure is described
// on stderr.
TransferResult DownloadToFile(const std::string& url, const std::string& path, const TransferOptions& options);

// Downloads into an open descriptor (the caller decides what becomes of it).
TransferResult DownloadToFd(const std::string& url, int fd, const TransferOptions& options);

// Fetches url into *body. A failure is described on stderr and leaves *body
// empty.
TransferResult FetchText(const std::string& url, const TransferOptions& options, std::string* body);

// The lower-cased scheme of an absolute address with a host ("http",
// "https", ...), "" when it is not one.
std::string SchemeOf(const std::string& url);

}  // namespace net
