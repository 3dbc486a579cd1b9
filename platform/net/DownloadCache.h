// The download cache: one folder per product, $XDG_CACHE_HOME/velmora/<product>/,
// holding downloaded files and an index from each file to the address it came
// from. Files are named by a digest of their address, never by the address
// itself, so no address can place a file outside the folder. Several client
// processes may share the folder: index updates happen under a file lock and
// replace the index atomically, and a download is renamed into place only when
// complete, so concurrent downloads and removals lose no entry. A corrupt
// index is reported on stderr and read as empty.
//
// Threads: any thread; an object holds no state besides its folder, so
// separate objects (or processes) on the same folder need no coordination.
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "platform/net/Transfer.h"

namespace net {

struct CacheEntry {
  std::string url;   // the source address, as downloaded
  std::string path;  // the cached file
  long long size = 0;
};

class DownloadCache {
 public:
  // The product whose folder a default-constructed cache uses (the client
  // sets it to its configured product name at start-up); "default" until set.
  static void SetDefaultProduct(const std::string& product);
  static std::string DefaultProduct();

  DownloadCache() : DownloadCache(DefaultProduct()) {}
  // The folder is fixed here, from $XDG_CACHE_HOME (else ~/.cache) and the
  // product name; characters that cannot be in one folder name become '_'.
  explicit DownloadCache(const std::string& product);

  const std::string& Folder() const { return folder_; }
  // Makes the folder (and its vendor folder) exist, private to this user:
  // 0700, an older, open one of ours closed to others. False when it cannot
  // be made so (another user's folder, no base).
  bool MakePrivateFolder() const;

  // Downloads url into the cache and records it; *path receives the file.
  // An earlier entry for the same address stays until Remove. A failure is
  // described on stderr and leaves *path empty.
  TransferResult Download(const std::string& url, const TransferOptions& options, std::string* path);

  // Removes every entry of this address and its file; false when there was none.
  bool Remove(const std::string& url);

  // Removes the entries whose address satisfies match, and their files,
  // oldest first and at most limit of them, under one hold of the index lock
  // with one rewrite of the index; returns how many entries went. Call it
  // again while it returns limit to take the rest in slices.
  std::size_t RemoveIf(const std::function<bool(const std::string& url)>& match,
                       std::size_t limit = std::numeric_limits<std::size_t>::max());

  // Every entry whose file still exists, oldest first.
  std::vector<CacheEntry> Entries() const;

  // The newest file cached for url, "" when none.
  std::string Lookup(const std::string& url) const;

  // The index file's path (for diagnostics and tests).
  std::string IndexPath() const { return folder_ + "/index"; }

 private:
  std::string folder_;
};

}  // namespace net
