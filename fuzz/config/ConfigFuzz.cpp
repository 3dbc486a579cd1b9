// libFuzzer target: the client configuration document (XML 400) from
// untrusted bytes, read the way the client reads its resource, and every
// value the client looks up. Values are handed out as UTF-8; the product
// name also names the settings key and the download cache's folder, which
// must stay one folder below the cache whatever the name holds.
#include <tinyxml.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/ClientConfig.h"
#include "fuzz/common/FuzzCheck.h"
#include "platform/base/Paths.h"
#include "platform/base/Text.h"
#include "platform/net/DownloadCache.h"

namespace {

constexpr const char* kKeys[] = {"userClientAbout", "paymentUrl", "bbsUrl",   "gwUrl",       "kfUrl",
                                 "userInfoUrl",     "homeUrl",    "configParam", "loginCheck", "gameCheck",
                                 "runPlugin",       "imClass",    "quitTip",  "pwKey",       "cache",
                                 "gwLink",          "updateKey"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The cache folder is only named, never created; keep it away from the user's.
  setenv("XDG_CACHE_HOME", fuzz::PrivateFolder().c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<TiXmlDocument> doc = ClientConfig::ParseDocument(bytes);
  FUZZ_CHECK(doc != nullptr);
  for (const char* key : kKeys) {
    std::string value = ClientConfig::ValueOf(doc.get(), key);
    FUZZ_CHECK(text::IsValidUtf8(value));
    FUZZ_CHECK(value == ClientConfig::ValueOf(doc.get(), key));
  }
  FUZZ_CHECK(ClientConfig::ValueOf(doc.get(), nullptr).empty());
  FUZZ_CHECK(ClientConfig::ValueOf(nullptr, "homeUrl").empty());

  // The product's download cache: exactly one folder below the family's.
  std::string product = ClientConfig::ValueOf(doc.get(), "userClientAbout");
  net::DownloadCache cache(product);
  std::string base = paths::VendorDir(paths::CacheHome()) + "/";
  FUZZ_CHECK(cache.Folder().compare(0, base.size(), base) == 0);
  std::string own = cache.Folder().substr(base.size());
  FUZZ_CHECK(!own.empty() && own != "." && own != ".." && own.find('/') == std::string::npos);
  FUZZ_CHECK(own.find('\0') == std::string::npos);
  FUZZ_CHECK(text::IsValidUtf8(own));
  return 0;
}
