#include "platform/web/BrowserEngine.h"

#include "platform/ui/EventLoop.h"
#include "platform/web/WebKitEngine.h"

namespace web {
namespace {

EngineFactory& Factory() {
  static EngineFactory factory;
  return factory;
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

void SetProductName(const std::string& product) {
  // The name becomes a folder: keep it one plain path component.
  std::string clean;
  for (char c : product) clean += (c == '/' || c == '\0') ? '_' : c;
  if (clean.empty() || clean == "." || clean == "..") clean = "client";
  Product() = clean;
}

std::string ProductName() { return Product(); }

}  // namespace web
