#include "app/LaunchTag.h"

std::string GetLaunchTag(std::string_view name) {
  std::size_t slash = name.rfind('/');
  if (slash == std::string_view::npos || slash == 0) return {};
  name.remove_prefix(slash + 1);
  std::size_t underscore = name.rfind('_');
  if (underscore == std::string_view::npos || underscore == 0) return {};
  name.remove_prefix(underscore + 1);
  std::size_t end = name.find_first_of("(.");
  if (end == std::string_view::npos) return {};
  return std::string(name.substr(0, end));
}

std::string GetLaunchTag(int argc, char** argv) {
  if (argc < 1 || !argv || !argv[0]) return {};
  return GetLaunchTag(std::string_view(argv[0]));
}
