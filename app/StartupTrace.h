// A record of the start-up and shutdown steps as they run, in order, so a
// test can check the order on the headless backend. Cheap: a few short names
// per run. User-interface thread only.
#pragma once

#include <string>
#include <vector>

namespace startup {

void Record(const char* step);
const std::vector<std::string>& Steps();
void Clear();

}  // namespace startup
