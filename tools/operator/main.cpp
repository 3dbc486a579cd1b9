// torvane-operator: the stand-in operator server. It answers what the client
// asks of the operator (version document, update package, user-information
// service, static pages) and offers routes that misbehave on purpose for the
// tests (sized, slow, stalled, reset and failing answers). It listens on
// 127.0.0.1 only and always stops by itself. Routes: tools/operator/README.md.
#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifndef TORVANE_OPERATOR_WWW
#define TORVANE_OPERATOR_WWW "www"
#endif

namespace {

struct Options {
  int port = 18630;
  int timeoutSec = 600;
  std::string logPath;
  std::string www = TORVANE_OPERATOR_WWW;
  std::string version = "1.0.0.1";
  std::string packageUrl;  // default: our own package route
  std::string versionPath = "/update/version.xml";
  std::string packagePath = "/update/package.sh";
  std::string record;      // file the update package appends to
  std::string versionFile;  // served as the version document instead of ours
  std::string signKey;      // PEM Ed25519 private key; "" : the package is not signed
  std::string signProduct = "\xe7\x90\xa5\xe7\x8f\x80\xe8\x88\xaa\xe7\xba\xbf";  // 琥珀航线, the default client's
  std::string signVersion;  // "" : the announced version
  bool tamper = false;      // serve a package other than the signed one
  long long packagePad = 0;  // comment bytes after the package's end
  std::string pwKey = "Q7mR2xK9pL4vT8nW3cZ6b";
  long long windowSec = 300;
  std::map<std::string, std::string> tags;
  bool exitWithParent = false;
};

std::atomic<bool> g_stopping{false};
std::mutex g_logMutex;
FILE* g_log = stderr;

void Usage() {
  std::fprintf(stderr,
               "usage: torvane-operator [--port N] [--timeout SECONDS] [--log FILE] [--www DIR]\n"
               "         [--version TEXT] [--package-url URL] [--version-path PATH] [--package-path PATH]\n"
               "         [--record FILE] [--pw-key KEY] [--window SECONDS] [--tag TAG=URL]... [--exit-with-parent]\n"
               "         [--sign-key FILE] [--sign-product NAME] [--sign-version TEXT] [--tamper]\n"
               "         [--version-file FILE] [--package-pad BYTES]\n"
               "  --port 0 picks a free port and prints it on the first line of stdout.\n");
}

bool ParseInt(const char* s, long long lo, long long hi, long long* out) {
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(s, &end, 10);
  if (errno != 0 || end == s || *end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ParseArgs(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char** out) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "torvane-operator: %s needs a value\n", a.c_str());
        return false;
      }
      *out = argv[++i];
      return true;
    };
    const char* v = nullptr;
    long long n = 0;
    if (a == "--help" || a == "-h") {
      Usage();
      std::exit(0);
    } else if (a == "--exit-with-parent") {
      o->exitWithParent = true;
    } else if (a == "--port") {
      if (!value(&v) || !ParseInt(v, 0, 65535, &n)) return false;
      o->port = static_cast<int>(n);
    } else if (a == "--timeout") {
      if (!value(&v) || !ParseInt(v, 1, 7 * 24 * 3600, &n)) return false;
      o->timeoutSec = static_cast<int>(n);
    } else if (a == "--window") {
      if (!value(&v) || !ParseInt(v, 0, 1LL << 40, &n)) return false;
      o->windowSec = n;
    } else if (a == "--log") {
      if (!value(&v)) return false;
      o->logPath = v;
    } else if (a == "--www") {
      if (!value(&v)) return false;
      o->www = v;
    } else if (a == "--version") {
      if (!value(&v)) return false;
      o->version = v;
    } else if (a == "--package-url") {
      if (!value(&v)) return false;
      o->packageUrl = v;
    } else if (a == "--version-path") {
      if (!value(&v) || v[0] != '/') return false;
      o->versionPath = v;
    } else if (a == "--package-path") {
      if (!value(&v) || v[0] != '/') return false;
      o->packagePath = v;
    } else if (a == "--record") {
      if (!value(&v)) return false;
      o->record = v;
    } else if (a == "--version-file") {
      if (!value(&v)) return false;
      o->versionFile = v;
    } else if (a == "--sign-key") {
      if (!value(&v)) return false;
      o->signKey = v;
    } else if (a == "--sign-product") {
      if (!value(&v)) return false;
      o->signProduct = v;
    } else if (a == "--sign-version") {
      if (!value(&v)) return false;
      o->signVersion = v;
    } else if (a == "--tamper") {
      o->tamper = true;
    } else if (a == "--package-pad") {
      if (!value(&v) || !ParseInt(v, 0, 1LL << 32, &n)) return false;
      o->packagePad = n;
    } else if (a == "--pw-key") {
      if (!value(&v)) return false;
      o->pwKey = v;
    } else if (a == "--tag") {
      if (!value(&v)) return false;
      const char* eq = std::strchr(v, '=');
      if (!eq || eq == v) {
        std::fprintf(stderr, "torvane-operator: --tag wants TAG=URL, got '%s'\n", v);
        return false;
      }
      o->tags[std::string(v, eq)] = eq + 1;
    } else {
      std::fprintf(stderr, "torvane-operator: unknown argument '%s'\n", a.c_str());
      return false;
    }
  }
  return true;
}

int FindConnection(const httplib::Request& req);

// Whether the client closed the connection on socket fd (-1: unknown, no).
bool PeerGone(int fd) {
  if (fd < 0) return false;
  pollfd p{fd, POLLRDHUP, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

// Sleeps up to ms, in small steps, returning early when the server stops or
// the client on socket fd goes away.
void InterruptibleSleep(long long ms, int fd = -1) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!g_stopping.load() && !PeerGone(fd) && std::chrono::steady_clock::now() < end) {
    auto left = end - std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(20)));
  }
}

long long ParamInt(const httplib::Request& req, const char* name, long long def, long long lo, long long hi) {
  if (!req.has_param(name)) return def;
  long long v = 0;
  if (!ParseInt(req.get_param_value(name).c_str(), lo, hi, &v)) return def;
  return v;
}

// The body of the sized routes: byte i of the answer is kPattern[i % 256], so a
// client can check any range of a download.
const std::string& Pattern() {
  static const std::string p = [] {
    std::string s(1 << 16, '\0');
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>('a' + (i % 256) % 26);
    return s;
  }();
  return p;
}

bool WritePattern(size_t offset, size_t length, httplib::DataSink& sink) {
  const std::string& p = Pattern();
  size_t start = offset % 256;  // the pattern repeats every 256 bytes
  size_t n = std::min(length, p.size() - start);
  return sink.write(p.data() + start, n);
}

std::string XmlEscape(const std::string& s) {
  std::string r;
  for (char c : s) {
    switch (c) {
      case '&': r += "&amp;"; break;
      case '<': r += "&lt;"; break;
      case '>': r += "&gt;"; break;
      case '"': r += "&quot;"; break;
      default: r += c;
    }
  }
  return r;
}

std::string ShellQuote(const std::string& s) {
  std::string r = "'";
  for (char c : s) {
    if (c == '\'') r += "'\\''";
    else r += c;
  }
  return r + "'";
}

std::string Md5Hex(const std::string& data) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (!EVP_Digest(data.data(), data.size(), md, &len, EVP_md5(), nullptr)) return "";
  std::string hex;
  char buf[3];
  for (unsigned i = 0; i < len; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", md[i]);
    hex += buf;
  }
  return hex;
}

// Case-insensitive comparison of two hex digests.
bool EqualsNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(x) == std::tolower(y); });
}

// Finds the accepted socket of a request (its peer is the request's remote
// address and port, its local port ours), so a route can abort it.
int FindConnection(const httplib::Request& req) {
  for (int fd = 3; fd < 4096; ++fd) {
    sockaddr_in peer{}, local{};
    socklen_t pl = sizeof peer, ll = sizeof local;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &pl) != 0 || peer.sin_family != AF_INET) continue;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &ll) != 0) continue;
    char ip[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
    if (ntohs(peer.sin_port) == req.remote_port && ip == req.remote_addr &&
        ntohs(local.sin_port) == req.local_port)
      return fd;
  }
  return -1;
}

std::string Now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

void LogLine(const httplib::Request& req, const httplib::Response& res) {
  std::string target = req.target.empty() ? req.path : req.target;
  long long bytes = res.content_length_ ? static_cast<long long>(res.content_length_)
                                        : static_cast<long long>(res.body.size());
  std::lock_guard<std::mutex> lock(g_logMutex);
  std::fprintf(g_log, "%s %s:%d %s %s %d %lld\n", Now().c_str(), req.remote_addr.c_str(), req.remote_port,
               req.method.c_str(), target.c_str(), res.status, bytes);
  std::fflush(g_log);
}

// The update package: a script that records that it ran (time, its own
// path, the folder it ran in, and "tampered" for the altered one) and exits
// 0, followed by pad bytes of comment that the shell never reads.
std::string MakePackage(const Options& o, bool tampered) {
  std::string record = o.record.empty() ? "\"$(dirname \"$0\")/torvane-update-ran.txt\"" : ShellQuote(o.record);
  std::string script =
      "#!/bin/sh\n"
      "# Stand-in update package of the torvane operator: it only records that it ran.\n"
      "printf '%s\\t%s\\t%s" + std::string(tampered ? "\\ttampered" : "") +
      "\\n' \"$(date +%s)\" \"$0\" \"$(pwd)\" >> " + record + "\nexit 0\n";
  if (o.packagePad > 0) {
    std::string line = "#" + std::string(62, '-') + "\n";
    std::string pad;
    pad.reserve(static_cast<size_t>(o.packagePad));
    while (pad.size() + line.size() <= static_cast<size_t>(o.packagePad)) pad += line;
    pad.append(static_cast<size_t>(o.packagePad) - pad.size(), '\n');
    script += pad;
  }
  return script;
}

std::string Sha256Hex(const std::string& data) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (!EVP_Digest(data.data(), data.size(), md, &len, EVP_sha256(), nullptr)) return "";
  std::string hex;
  char buf[3];
  for (unsigned i = 0; i < len; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", md[i]);
    hex += buf;
  }
  return hex;
}

// The version document's sig for the package: the base64 Ed25519 signature,
// with the PEM private key in keyPath, over "torvane-update" LF product LF
// version LF the package's SHA-256 in lower-case hex. "" with the reason on
// stderr when the key cannot be used.
std::string SignPackage(const std::string& keyPath, const std::string& product, const std::string& version,
                        const std::string& package) {
  FILE* f = std::fopen(keyPath.c_str(), "r");
  if (!f) {
    std::fprintf(stderr, "torvane-operator: cannot read the signing key %s: %s\n", keyPath.c_str(),
                 std::strerror(errno));
    return "";
  }
  EVP_PKEY* key = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
  std::fclose(f);
  if (!key || EVP_PKEY_get_id(key) != EVP_PKEY_ED25519) {
    std::fprintf(stderr, "torvane-operator: %s holds no Ed25519 private key\n", keyPath.c_str());
    EVP_PKEY_free(key);
    return "";
  }
  std::string text = "torvane-update\n" + product + "\n" + version + "\n" + Sha256Hex(package);
  unsigned char sig[64];
  size_t len = sizeof sig;
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  bool ok = ctx && EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, key) == 1 &&
            EVP_DigestSign(ctx, sig, &len, reinterpret_cast<const unsigned char*>(text.data()), text.size()) == 1;
  EVP_MD_CTX_free(ctx);
  EVP_PKEY_free(key);
  if (!ok) {
    std::fprintf(stderr, "torvane-operator: signing with %s failed\n", keyPath.c_str());
    return "";
  }
  unsigned char b64[4 * ((sizeof sig + 2) / 3) + 1];
  int n = EVP_EncodeBlock(b64, sig, static_cast<int>(len));
  return std::string(reinterpret_cast<char*>(b64), static_cast<size_t>(n));
}

// False when the version document or the package cannot be made as asked.
bool AddClientRoutes(httplib::Server& svr, const Options& o, int port) {
  std::string packageUrl =
      o.packageUrl.empty() ? "http://127.0.0.1:" + std::to_string(port) + o.packagePath : o.packageUrl;
  auto package = std::make_shared<const std::string>(MakePackage(o, false));
  auto served = o.tamper ? std::make_shared<const std::string>(MakePackage(o, true)) : package;
  std::string sig;
  if (!o.signKey.empty()) {
    sig = SignPackage(o.signKey, o.signProduct, o.signVersion.empty() ? o.version : o.signVersion, *package);
    if (sig.empty()) return false;
  }
  std::string doc = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<VERSIONINFO>\n  <CLIENT version=\"" +
                    XmlEscape(o.version) + "\" url=\"" + XmlEscape(packageUrl) + "\"" +
                    (sig.empty() ? "" : " sig=\"" + sig + "\"") + "/>\n</VERSIONINFO>\n";
  if (!o.versionFile.empty()) {
    std::ifstream in(o.versionFile, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "torvane-operator: cannot read %s\n", o.versionFile.c_str());
      return false;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    doc = ss.str();
  }
  auto document = std::make_shared<const std::string>(std::move(doc));

  svr.Get(o.versionPath, [document](const httplib::Request&, httplib::Response& res) {
    res.set_content(*document, "text/xml");
  });

  svr.Get(o.packagePath, [served](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(served->size(), "application/x-sh",
                             [served](size_t offset, size_t length, httplib::DataSink& sink) {
                               return sink.write(served->data() + offset,
                                               std::min({length, served->size() - offset, size_t{1} << 16}));
                             });
  });

  // The user-information service: /api/userinfo?tag=T&reason=R&time=S&sign=MD5(T S key).
  svr.Get("/api/userinfo", [o](const httplib::Request& req, httplib::Response& res) {
    std::string tag = req.get_param_value("tag");
    std::string time = req.get_param_value("time");
    std::string sign = req.get_param_value("sign");
    std::string answer;
    long long t = 0;
    auto it = o.tags.find(tag);
    if (it != o.tags.end() && ParseInt(time.c_str(), -(1LL << 31), (1LL << 31) - 1, &t) &&
        std::llabs(static_cast<long long>(static_cast<int32_t>(std::time(nullptr))) - t) <= o.windowSec &&
        EqualsNoCase(sign, Md5Hex(tag + time + o.pwKey))) {
      answer = it->second;
    }
    res.set_content(answer, "text/plain");
  });
  return true;
}

void AddTestRoutes(httplib::Server& svr) {
  constexpr long long kMaxBytes = 1LL << 40;

  // n bytes of the pattern; chunked=1 sends them without a length.
  svr.Get("/test/bytes", [](const httplib::Request& req, httplib::Response& res) {
    long long n = ParamInt(req, "n", 0, 0, kMaxBytes);
    if (req.get_param_value("chunked") == "1") {
      auto sent = std::make_shared<long long>(0);
      res.set_chunked_content_provider("application/octet-stream", [n, sent](size_t, httplib::DataSink& sink) {
        if (*sent >= n) {
          sink.done();
          return true;
        }
        size_t len = static_cast<size_t>(std::min<long long>(n - *sent, 1 << 16));
        if (!WritePattern(static_cast<size_t>(*sent), len, sink)) return false;
        *sent += static_cast<long long>(len);
        return true;
      });
      return;
    }
    if (n == 0) {
      res.set_content("", "application/octet-stream");
      return;
    }
    res.set_content_provider(static_cast<size_t>(n), "application/octet-stream", WritePattern);
  });

  // n bytes in pieces of chunk bytes, delay ms before each piece.
  svr.Get("/test/slow", [](const httplib::Request& req, httplib::Response& res) {
    long long n = ParamInt(req, "n", 1024, 1, kMaxBytes);
    long long chunk = ParamInt(req, "chunk", 256, 1, 1 << 16);
    long long delay = ParamInt(req, "delay", 100, 0, 60000);
    res.set_content_provider(static_cast<size_t>(n), "application/octet-stream",
                             [chunk, delay](size_t offset, size_t length, httplib::DataSink& sink) {
                               InterruptibleSleep(delay);
                               if (g_stopping) return false;
                               return WritePattern(offset, std::min<size_t>(length, chunk), sink);
                             });
  });

  // Announces n bytes, sends the first after of them, then sends nothing for
  // up to ms milliseconds and closes.
  svr.Get("/test/stall", [](const httplib::Request& req, httplib::Response& res) {
    long long n = ParamInt(req, "n", 1 << 20, 1, kMaxBytes);
    long long after = ParamInt(req, "after", 0, 0, kMaxBytes);
    long long ms = ParamInt(req, "ms", 30000, 0, 600000);
    int fd = FindConnection(req);
    res.set_content_provider(static_cast<size_t>(n), "application/octet-stream",
                             [after, ms, fd](size_t offset, size_t length, httplib::DataSink& sink) {
                               if (static_cast<long long>(offset) < after)
                                 return WritePattern(offset, std::min<size_t>(length, after - offset), sink);
                               InterruptibleSleep(ms, fd);
                               return false;
                             });
  });

  // Sends no status line at all for up to ms milliseconds, then a 504.
  svr.Get("/test/hang", [](const httplib::Request& req, httplib::Response& res) {
    InterruptibleSleep(ParamInt(req, "ms", 30000, 0, 600000), FindConnection(req));
    res.status = 504;
    res.set_content("gave up hanging\n", "text/plain");
  });

  // Any status with a text body: /test/status?code=404&body=no+such+page
  svr.Get("/test/status", [](const httplib::Request& req, httplib::Response& res) {
    res.status = static_cast<int>(ParamInt(req, "code", 404, 100, 599));
    std::string body = req.has_param("body") ? req.get_param_value("body") : "status " + std::to_string(res.status) + "\n";
    res.set_content(body, "text/plain");
  });

  // A redirect: to=ADDRESS (code=301/302/303/307/308), or hops=K redirects in
  // a chain ending at /test/bytes?n=N.
  svr.Get("/test/redirect", [](const httplib::Request& req, httplib::Response& res) {
    int code = static_cast<int>(ParamInt(req, "code", 302, 300, 399));
    if (req.has_param("to")) {
      res.set_redirect(req.get_param_value("to"), code);
      return;
    }
    long long hops = ParamInt(req, "hops", 1, 0, 100);
    long long n = ParamInt(req, "n", 16, 0, kMaxBytes);
    if (hops <= 0)
      res.set_redirect("/test/bytes?n=" + std::to_string(n), code);
    else
      res.set_redirect("/test/redirect?hops=" + std::to_string(hops - 1) + "&n=" + std::to_string(n), code);
  });

  // Announces n bytes, sends after of them, then resets the connection (RST).
  svr.Get("/test/reset", [](const httplib::Request& req, httplib::Response& res) {
    long long n = ParamInt(req, "n", 1 << 20, 1, kMaxBytes);
    long long after = ParamInt(req, "after", 1024, 0, kMaxBytes);
    httplib::Request copy;
    copy.remote_addr = req.remote_addr;
    copy.remote_port = req.remote_port;
    copy.local_port = req.local_port;
    res.set_content_provider(static_cast<size_t>(n), "application/octet-stream",
                             [after, copy](size_t offset, size_t length, httplib::DataSink& sink) {
                               if (static_cast<long long>(offset) < after)
                                 return WritePattern(offset, std::min<size_t>(length, after - offset), sink);
                               int fd = FindConnection(copy);
                               if (fd >= 0) {
                                 // With a zero linger time the last close sends RST. Replace the
                                 // descriptor by a dummy socket so the server's own later close
                                 // touches nothing of anyone else's.
                                 linger l{1, 0};
                                 setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
                                 int dummy = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                                 if (dummy >= 0) {
                                   dup2(dummy, fd);
                                   close(dummy);
                                 }
                               }
                               return false;
                             });
  });

  // The request's headers, one "Name: value" a line.
  svr.Get("/test/headers", [](const httplib::Request& req, httplib::Response& res) {
    std::string body;
    for (const auto& [k, v] : req.headers) body += k + ": " + v + "\n";
    res.set_content(body, "text/plain");
  });

  // Fails with 503 for the first fail requests carrying key, then serves n bytes.
  static std::mutex flakyMutex;
  static std::map<std::string, long long> flakyCount;
  // How many requests /test/flaky has seen with key (counted before each answer).
  svr.Get("/test/flaky/count", [](const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> lock(flakyMutex);
    auto it = flakyCount.find(req.get_param_value("key"));
    res.set_content(std::to_string(it == flakyCount.end() ? 0 : it->second), "text/plain");
  });
  svr.Get("/test/flaky", [](const httplib::Request& req, httplib::Response& res) {
    long long fail = ParamInt(req, "fail", 1, 0, 1000);
    long long n = ParamInt(req, "n", 16, 0, 1 << 24);
    long long seen;
    {
      std::lock_guard<std::mutex> lock(flakyMutex);
      seen = flakyCount[req.get_param_value("key")]++;
    }
    if (seen < fail) {
      res.status = 503;
      res.set_content("not yet\n", "text/plain");
      return;
    }
    res.set_content(std::string(Pattern().data(), static_cast<size_t>(std::min<long long>(n, 256))) +
                        std::string(static_cast<size_t>(std::max<long long>(n - 256, 0)), 'z'),
                    "application/octet-stream");
  });
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseArgs(argc, argv, &o)) {
    Usage();
    return 2;
  }
  if (!o.logPath.empty()) {
    g_log = std::fopen(o.logPath.c_str(), "a");
    if (!g_log) {
      std::fprintf(stderr, "torvane-operator: cannot open log %s: %s\n", o.logPath.c_str(), std::strerror(errno));
      return 2;
    }
  }

  // SIGTERM and SIGINT are taken by sigtimedwait below; block them in every thread.
  sigset_t sigs;
  sigemptyset(&sigs);
  sigaddset(&sigs, SIGTERM);
  sigaddset(&sigs, SIGINT);
  pthread_sigmask(SIG_BLOCK, &sigs, nullptr);
  // A test that dies without stopping its server takes the server along.
  if (o.exitWithParent && (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() == 1)) return 0;
  signal(SIGPIPE, SIG_IGN);

  httplib::Server svr;
  svr.set_logger(LogLine);
  svr.set_keep_alive_timeout(2);
  int port = o.port;
  if (o.port == 0) {
    port = svr.bind_to_any_port("127.0.0.1");
    if (port < 0) {
      std::fprintf(stderr, "torvane-operator: cannot bind 127.0.0.1: %s\n", std::strerror(errno));
      return 1;
    }
  } else if (!svr.bind_to_port("127.0.0.1", o.port)) {
    std::fprintf(stderr, "torvane-operator: cannot bind 127.0.0.1:%d: %s\n", o.port, std::strerror(errno));
    return 1;
  }
  if (!AddClientRoutes(svr, o, port)) return 2;
  AddTestRoutes(svr);
  if (!svr.set_mount_point("/", o.www))
    std::fprintf(stderr, "torvane-operator: no static folder %s (static pages disabled)\n", o.www.c_str());

  std::printf("%d\n", port);
  std::fflush(stdout);
  {
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::fprintf(g_log, "%s torvane-operator listening on 127.0.0.1:%d for %d s\n", Now().c_str(), port,
                 o.timeoutSec);
    std::fflush(g_log);
  }

  std::atomic<bool> listenEnded{false};
  std::thread server([&svr, &listenEnded] {
    svr.listen_after_bind();
    listenEnded = true;
  });
  // stop() does nothing before the server thread runs its accept loop, and
  // a stop that comes too early would leave it running (and the join below
  // waiting) for good: wait until it runs. SIGTERM stays pending meanwhile.
  while (!svr.is_running() && !listenEnded) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(o.timeoutSec);
  const char* why = "time-out";
  for (;;) {
    auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) break;
    auto secs = std::chrono::duration_cast<std::chrono::seconds>(left);
    auto nsecs = std::chrono::duration_cast<std::chrono::nanoseconds>(left - secs);
    timespec ts{static_cast<time_t>(secs.count()), static_cast<long>(nsecs.count())};
    int sig = sigtimedwait(&sigs, nullptr, &ts);
    if (sig == SIGTERM || sig == SIGINT) {
      why = sig == SIGTERM ? "SIGTERM" : "SIGINT";
      break;
    }
  }
  g_stopping = true;
  svr.stop();
  server.join();
  {
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::fprintf(g_log, "%s torvane-operator stopped (%s)\n", Now().c_str(), why);
    std::fflush(g_log);
  }
  return 0;
}
