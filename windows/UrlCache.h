// Clearing the game's cached data: every entry of the client's download
// cache whose source address contains the pattern (plain, case-sensitive
// containment), and the browser engine's cached data (disk and memory
// caches; cookies and local storage stay) of the sites that match.
//
// Threads: user-interface thread only.
#pragma once

#include <functional>
#include <string>

// Starts the clearing and returns at once; the walk does not hold up the
// user-interface thread for long. done (may be empty) runs on the
// user-interface thread once everything matching is gone, also when the
// pattern is empty (nothing is deleted then) or nothing matched.
void ClearUrlCache(const std::string& pattern, std::function<void()> done);
