#include "transfer/ExpandEnv.h"

#include <cctype>
#include <cstdlib>

namespace transfer {
namespace {

constexpr size_t kMaxPath = 4095;

// The value of a variable; false when it is not set (TEMP and TMP always are).
bool Lookup(const std::string& name, std::string* value) {
  const char* v = std::getenv(name.c_str());
  if (v && (*v || (name != "TEMP" && name != "TMP"))) {
    *value = v;
    return true;
  }
  if (name == "TEMP" || name == "TMP") {
    const char* tmpdir = std::getenv("TMPDIR");
    *value = tmpdir && *tmpdir ? tmpdir : "/tmp";
    return true;
  }
  return false;
}

bool IsNameChar(char c, bool first) {
  unsigned char u = static_cast<unsigned char>(c);
  return c == '_' || std::isalpha(u) || (!first && std::isdigit(u));
}

}  // namespace

std::string ExpandEnvironmentStrings(const std::string& path) {
  std::string out;
  size_t i = 0;
  while (i < path.size()) {
    char c = path[i];
    std::string name, value;
    size_t end = std::string::npos;  // one past the reference
    if (c == '%') {
      size_t close = path.find('%', i + 1);
      if (close != std::string::npos && close > i + 1) {
        name = path.substr(i + 1, close - i - 1);
        end = close + 1;
      }
    } else if (c == '$' && i + 1 < path.size() && path[i + 1] == '{') {
      size_t close = path.find('}', i + 2);
      if (close != std::string::npos && close > i + 2) {
        name = path.substr(i + 2, close - i - 2);
        end = close + 1;
        for (size_t k = 0; k < name.size(); ++k)
          if (!IsNameChar(name[k], k == 0)) end = std::string::npos;
      }
    } else if (c == '$' && i + 1 < path.size() && IsNameChar(path[i + 1], true)) {
      size_t k = i + 1;
      while (k < path.size() && IsNameChar(path[k], false)) ++k;
      name = path.substr(i + 1, k - i - 1);
      end = k;
    }
    if (end != std::string::npos && Lookup(name, &value)) {
      out += value;
      i = end;
    } else if (end != std::string::npos) {
      out += path.substr(i, end - i);  // unset: stays as written
      i = end;
    } else {
      out += c;
      ++i;
    }
    if (out.size() > kMaxPath) return "";
  }
  return out;
}

}  // namespace transfer
