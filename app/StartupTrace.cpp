#include "app/StartupTrace.h"

namespace startup {

void Record(const char* step) {
  internal::State().steps.emplace_back(step);
  Trace(step);
}

const std::vector<std::string>& Steps() { return internal::State().steps; }

void Clear() {
  internal::State().steps.clear();
  internal::State().once.clear();
}

}  // namespace startup
