// libFuzzer target: the launch tag from any program name (a player may
// rename the download to anything, in any bytes). The tag is what lies
// between the file name's last '_' and the first '(' or '.' after it, so it
// holds none of '/', '_', '(' and '.', and the name shows it in place;
// main's argv gives the same tag as the name up to its first NUL.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/LaunchTag.h"
#include "fuzz/common/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string name(reinterpret_cast<const char*>(data), size);
  std::string tag = GetLaunchTag(std::string_view(name));
  FUZZ_CHECK(tag.find_first_of("/_(.") == std::string::npos);
  if (!tag.empty()) {
    // The name is "<folder>/<anything>_<tag>" then '(' or '.', with the
    // folder and the part before the '_' not empty.
    std::size_t slash = name.rfind('/');
    FUZZ_CHECK(slash != std::string::npos && slash > 0);
    std::string file = name.substr(slash + 1);
    std::size_t underscore = file.rfind('_');
    FUZZ_CHECK(underscore != std::string::npos && underscore > 0);
    FUZZ_CHECK(file.compare(underscore + 1, tag.size(), tag) == 0);
    char after = file[underscore + 1 + tag.size()];
    FUZZ_CHECK(after == '(' || after == '.');
  }
  if (name.rfind('/') == std::string::npos) FUZZ_CHECK(tag.empty());

  std::string argv0 = name.substr(0, name.find('\0'));
  char* argv[] = {argv0.data(), nullptr};
  FUZZ_CHECK(GetLaunchTag(1, argv) == GetLaunchTag(std::string_view(argv0)));
  FUZZ_CHECK(GetLaunchTag(0, argv).empty());
  return 0;
}
