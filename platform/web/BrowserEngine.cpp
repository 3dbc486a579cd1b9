#include "platform/web/BrowserEngine.h"

#include "platform/ui/EventLoop.h"
#include "platform/web/WebKitEngine.h"

namespace web {
namespace {

EngineFactory& Factory() {
  static EngineFactory factory;
  return factory;
}

SiteDataClearer& Clearer() {
  static SiteDataClearer clearer;
  return clearer;
}

std::string& Product() {
  static std::string product = "client";
  return product;
}

}  // namespace

std::unique_ptr<BrowserEngine> CreateEngine(const EngineOptions& options, BrowserEvents* events) {
  if (Factory()) return Factory()(options, events);
  if (ui::IsInitialized() && ui::CurrentBackend() == ui::BackendKind::Gtk) return CreateWebKitEngine(options, events);
  return nullptr;
}

void SetEngineFactory(EngineFactory factory) { Factory() = std::move(factory); }

bool SiteMatchesCachePattern(const std::string& site, const std::string& pattern) {
  if (pattern.empty() || site.empty()) return false;
  if (site.find(pattern) != std::string::npos) return true;
  // The host the pattern starts with.
  std::string host = pattern;
  if (auto scheme = host.find("://"); scheme != std::string::npos) host = host.substr(scheme + 3);
  host = host.substr(0, host.find_first_of("/?#"));
  if (auto at = host.rfind('@'); at != std::string::npos) host = host.substr(at + 1);
  if (!host.empty() && host.front() == '[') {
    auto close = host.find(']');
    host = close == std::string::npos ? std::string() : host.substr(0, close + 1);
  } else {
    host = host.substr(0, host.find(':'));
  }
  if (host.empty()) return false;
  if (host == site) return true;
  return host.size() > site.size() && host.compare(host.size() - site.size(), site.size(), site) == 0 &&
         host[host.size() - site.size() - 1] == '.';
}

void ClearCachedSiteData(const std::string& pattern, std::function<void()> done) {
  if (pattern.empty()) {
    if (done) done();
  } else if (Clearer()) {
    Clearer()(pattern, std::move(done));
  } else if (ui::IsInitialized() && ui::CurrentBackend() == ui::BackendKind::Gtk) {
    ClearWebKitCachedSiteData(pattern, std::move(done));
  } else if (done) {
    done();
  }
}

void SetSiteDataClearer(SiteDataClearer clearer) { Clearer() = std::move(clearer); }

void SetProductName(const std::string& product) {
  // The name becomes a folder: keep it one plain path component.
  std::string clean;
  for (char c : product) clean += (c == '/' || c == '\0') ? '_' : c;
  if (clean.empty() || clean == "." || clean == "..") clean = "client";
  Product() = clean;
}

std::string ProductName() { return Product(); }

}  // namespace web
