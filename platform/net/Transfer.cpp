#include "platform/net/Transfer.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/base/Text.h"
#include "platform/net/CancelToken.h"

namespace net {
namespace {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct SinkState {
  const BodySink* sink = nullptr;
  const CancelToken* cancel = nullptr;
  bool cancelled = false;
  long long maxBytes = 0;
  long long bytes = 0;
  bool overCap = false;
  bool sinkFailed = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* s = static_cast<SinkState*>(user);
  size_t n = size * count;
  if (s->cancel && s->cancel->IsCancelled()) {  // a busy transfer stops within one buffer
    s->cancelled = true;
    return CURL_WRITEFUNC_ERROR;
  }
  if (s->maxBytes > 0 && s->bytes + static_cast<long long>(n) > s->maxBytes) {
    s->overCap = true;
    return CURL_WRITEFUNC_ERROR;
  }
  if (n && !(*s->sink)(data, n)) {
    s->sinkFailed = true;
    return CURL_WRITEFUNC_ERROR;
  }
  s->bytes += static_cast<long long>(n);
  return n;
}

// Only the part before any query or fragment, for diagnostics.
std::string Shorten(const std::string& url) {
  std::string s = url.substr(0, url.find_first_of("?#"));
  if (s.size() > 200) s = s.substr(0, 200) + "...";
  return s;
}

struct EasyDeleter {
  void operator()(CURL* e) const { curl_easy_cleanup(e); }
};
struct MultiDeleter {
  void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

}  // namespace

std::string SchemeOf(const std::string& url) {
  GlobalInit();
  CURLU* u = curl_url();
  if (!u) return {};
  std::string scheme;
  // No default scheme: "host/path" is not an absolute address.
  if (curl_url_set(u, CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK) {
    char* s = nullptr;
    char* host = nullptr;
    if (curl_url_get(u, CURLUPART_SCHEME, &s, 0) == CURLUE_OK &&
        curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK && host && *host)
      scheme = text::ToLowerAscii(s);
    curl_free(s);
    curl_free(host);
  }
  curl_url_cleanup(u);
  return scheme;
}

TransferResult Perform(const std::string& url, const TransferOptions& options, const BodySink& sink) {
  GlobalInit();
  TransferResult r;
  std::string scheme = SchemeOf(url);
  if (scheme != "http" && (options.plainHttpOnly || scheme != "https")) {
    r.error = scheme.empty() ? "not an absolute address" : "scheme '" + scheme + "' is not allowed";
    return r;
  }
  if (url.find_first_of("\r\n") != std::string::npos || url.find('\0') != std::string::npos) {
    r.error = "the address holds control characters";
    return r;
  }

  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  if (!easy || !multi) {
    r.error = "libcurl could not be initialised";
    return r;
  }
  CURL* e = easy.get();
  SinkState state;
  state.sink = &sink;
  state.cancel = options.cancel;
  state.maxBytes = options.maxBytes;
  char errbuf[CURL_ERROR_SIZE] = {};
  const char* protocols = options.plainHttpOnly ? "http" : "http,https";

  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, protocols);
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, options.maxRedirects);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
  if (options.totalTimeoutMs > 0) curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, options.totalTimeoutMs);
  if (options.stallTimeoutSec > 0) {
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, options.stallTimeoutSec);
  }
  if (options.maxBytes > 0) curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBytes));
  curl_easy_setopt(e, CURLOPT_FAILONERROR, options.failOnHttpError ? 1L : 0L);
  curl_easy_setopt(e, CURLOPT_USERAGENT, options.userAgent.c_str());
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &state);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errbuf);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 256L * 1024L);
  std::unique_ptr<curl_slist, SlistDeleter> headers;
  for (const std::string& h : options.headers) {
    curl_slist* l = curl_slist_append(headers.get(), h.c_str());
    if (!l) break;
    headers.release();
    headers.reset(l);
  }
  if (headers) curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());

  curl_multi_add_handle(multi.get(), e);
  if (options.cancel) options.cancel->Attach(multi.get());

  CURLcode code = CURLE_OK;
  bool finished = false;
  int running = 1;
  while (!finished) {
    if (options.cancel && options.cancel->IsCancelled()) {
      r.cancelled = true;
      break;
    }
    CURLMcode mc = curl_multi_perform(multi.get(), &running);
    if (mc != CURLM_OK) {
      r.error = curl_multi_strerror(mc);
      break;
    }
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi.get(), &queued)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == e) {
        code = msg->data.result;
        finished = true;
      }
    }
    if (finished || running == 0) break;
    mc = curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr);
    if (mc != CURLM_OK) {
      r.error = curl_multi_strerror(mc);
      break;
    }
  }

  if (options.cancel) options.cancel->Detach();
  curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &r.status);
  curl_multi_remove_handle(multi.get(), e);
  r.bytes = state.bytes;
  if (state.cancelled) r.cancelled = true;

  if (r.cancelled) {
    r.error = "cancelled";
  } else if (!r.error.empty()) {
    // the multi interface failed; r.error says how
  } else if (!finished) {
    r.error = "the transfer ended without a result";
  } else if (code == CURLE_OK) {
    r.ok = true;
  } else if (state.overCap || code == CURLE_FILESIZE_EXCEEDED) {
    r.error = "the answer is larger than " + std::to_string(options.maxBytes) + " bytes";
  } else if (code == CURLE_HTTP_RETURNED_ERROR) {
    r.error = "HTTP status " + std::to_string(r.status);
  } else if (state.sinkFailed) {
    r.error = "the body could not be stored";
  } else {
    r.error = errbuf[0] ? errbuf : curl_easy_strerror(code);
  }
  return r;
}

TransferResult DownloadToFd(const std::string& url, int fd, const TransferOptions& options) {
  int writeErrno = 0;
  BodySink sink = [fd, &writeErrno](const char* data, size_t size) {
    while (size > 0) {
      ssize_t n = ::write(fd, data, size);
      if (n < 0) {
        if (errno == EINTR) continue;
        writeErrno = errno;
        return false;
      }
      data += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  };
  TransferResult r = Perform(url, options, sink);
  if (!r.ok && writeErrno) r.error = std::string("cannot write the file: ") + std::strerror(writeErrno);
  return r;
}

TransferResult DownloadToFile(const std::string& url, const std::string& path, const TransferOptions& options) {
  TransferResult r;
  if (path.empty() || path.back() == '/') {
    r.error = "no file name to save to";
  } else {
    // The target's folder may be shared (a save path under /tmp): the
    // temporary file gets a name nobody can guess and is created anew, never
    // opened through something planted there, and only this user may read it.
    std::string part = path + ".part-XXXXXX";
    int fd = mkostemp(part.data(), O_CLOEXEC);
    if (fd < 0) {
      r.error = "cannot create " + part + ": " + std::strerror(errno);
    } else {
      r = DownloadToFd(url, fd, options);
      if (::close(fd) != 0 && r.ok) {
        r.ok = false;
        r.error = std::string("cannot write the file: ") + std::strerror(errno);
      }
      if (r.ok && ::rename(part.c_str(), path.c_str()) != 0) {
        r.ok = false;
        r.error = "cannot rename the download to " + path + ": " + std::strerror(errno);
      }
      if (!r.ok) ::unlink(part.c_str());
    }
  }
  if (!r.ok && !r.cancelled)
    std::fprintf(stderr, "torvane: download of %s to %s failed: %s\n", Shorten(url).c_str(), path.c_str(),
                 r.error.c_str());
  return r;
}

TransferResult FetchText(const std::string& url, const TransferOptions& options, std::string* body) {
  body->clear();
  BodySink sink = [body](const char* data, size_t size) {
    body->append(data, size);
    return true;
  };
  TransferResult r = Perform(url, options, sink);
  if (!r.ok) {
    body->clear();
    if (!r.cancelled) std::fprintf(stderr, "torvane: fetch of %s failed: %s\n", Shorten(url).c_str(), r.error.c_str());
  }
  return r;
}

}  // namespace net
