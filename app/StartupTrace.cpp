#include "app/StartupTrace.h"

namespace startup {
namespace {
std::vector<std::string>& Log() {
  static std::vector<std::string> log;
  return log;
}
}  // namespace

void Record(const char* step) { Log().emplace_back(step); }
const std::vector<std::string>& Steps() { return Log(); }
void Clear() { Log().clear(); }

}  // namespace startup
