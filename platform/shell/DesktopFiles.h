// Files the client puts on the user's desktop and in the user's data
// folder: created only when nothing of that name exists, never half-written,
// never replacing what is there; and the trusted mark that lets a desktop
// start a launcher it did not make itself.
//
// Thread safety: any thread.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace shell {

enum class CreateResult {
  Created,  // the file is new, with the content and mode asked for
  Exists,   // something of that name was already there (a file, a folder, a link); left as it was
  Failed,   // it could not be written; nothing was left behind
};

// Creates path with content and mode when nothing of that name exists. The
// content goes to a hidden temporary file in the same folder first, which is
// then put in place without replacing anything: a desktop that watches the
// folder never sees half a file, and a file that appeared meanwhile (another
// client starting at once) is kept. The folder must exist.
CreateResult CreateFileIfMissing(const std::string& path, std::string_view content, mode_t mode);

// Marks a launcher as trusted for desktops that ask before starting one
// (GNOME's "metadata::trusted" = "true", set through GIO). False where the
// desktop's metadata store is not available; nothing else is affected then.
bool MarkTrusted(const std::string& path);

// Whether path carries the trusted mark; tests and support use it.
bool IsMarkedTrusted(const std::string& path);

// Whether GIO can keep the trusted mark for files in path's folder here.
bool TrustedMarkAvailable(const std::string& path);

}  // namespace shell
