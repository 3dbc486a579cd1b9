// torvane-reg: lists, queries, sets and deletes values of the client's
// registry store from the command line, for support and for tests. Keys are
// written as the client writes them, with the hive first:
// HKCU\SOFTWARE\Velmora\<title>. See the README's section "torvane-reg".
//
// Exit codes: 0 done; 1 the key or value does not exist; 2 bad usage or bad
// data; 3 the store cannot be used (its database is unusable or a write failed).

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/Text.h"
#include "platform/store/RegString.h"
#include "platform/store/Registry.h"

namespace {

constexpr int kOk = 0;
constexpr int kNotFound = 1;
constexpr int kUsage = 2;
constexpr int kStoreError = 3;

void Usage(FILE* out) {
  std::fputs(
      "usage: torvane-reg list KEY\n"
      "       torvane-reg query KEY [NAME]\n"
      "       torvane-reg set KEY NAME TYPE DATA     (TYPE: REG_SZ, REG_EXPAND_SZ, REG_DWORD)\n"
      "       torvane-reg delete KEY [NAME]\n"
      "KEY starts with its hive, HKCU (HKEY_CURRENT_USER) or HKCR (HKEY_CLASSES_ROOT):\n"
      "HKCU\\SOFTWARE\\Velmora\\<title>. The empty value name is written \"\".\n",
      out);
}

struct KeyArg {
  HKEY hive = nullptr;
  std::string path;  // below the hive
};

bool ParseKey(const std::string& arg, KeyArg* key) {
  std::size_t cut = arg.find('\\');
  std::string hive = arg.substr(0, cut);
  if (text::EqualsNoCase(hive, "HKCU") || text::EqualsNoCase(hive, "HKEY_CURRENT_USER")) key->hive = HKEY_CURRENT_USER;
  else if (text::EqualsNoCase(hive, "HKCR") || text::EqualsNoCase(hive, "HKEY_CLASSES_ROOT")) key->hive = HKEY_CLASSES_ROOT;
  else return false;
  key->path = cut == std::string::npos ? std::string() : arg.substr(cut + 1);
  return true;
}

// A value name as given: "" (two quote characters) names the default value,
// like an empty argument.
std::string ParseName(const char* arg) { return std::strcmp(arg, "\"\"") == 0 ? std::string() : std::string(arg); }

const char* TypeName(DWORD type) {
  switch (type) {
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_DWORD: return "REG_DWORD";
    default: return nullptr;
  }
}

void PrintValue(const RegValueEntry& v) {
  std::string name = v.name.empty() ? "\"\"" : v.name;
  std::string data;
  const char* type = TypeName(v.type);
  std::string unknown;
  if (v.type == REG_DWORD && v.data.size() == 4) {
    DWORD n = static_cast<DWORD>(v.data[0]) | static_cast<DWORD>(v.data[1]) << 8 |
              static_cast<DWORD>(v.data[2]) << 16 | static_cast<DWORD>(v.data[3]) << 24;
    data = std::to_string(n);
  } else {
    // Text up to its terminating NUL; the bytes as stored.
    std::string raw(v.data.begin(), v.data.end());
    data = raw.substr(0, raw.find('\0'));
  }
  if (!type) {
    unknown = "REG_TYPE_" + std::to_string(v.type);
    type = unknown.c_str();
  }
  std::printf("%s\t%s\t%s\n", name.c_str(), type, data.c_str());
}

// Reports a store result that is neither success nor "not found".
int StoreFailure(const char* what, LONG r) {
  std::fprintf(stderr, "torvane-reg: %s failed (error %d)\n", what, static_cast<int>(r));
  return kStoreError;
}

int OpenKey(const KeyArg& key, const std::string& spelled, REGSAM sam, HKEY* h) {
  LONG r = RegOpenKeyEx(key.hive, key.path.c_str(), 0, sam, h);
  if (r == ERROR_SUCCESS) return kOk;
  if (r == ERROR_FILE_NOT_FOUND) {
    std::fprintf(stderr, "torvane-reg: no key %s\n", spelled.c_str());
    return kNotFound;
  }
  return StoreFailure("opening the key", r);
}

int List(const KeyArg& key, const std::string& spelled) {
  HKEY h = nullptr;
  if (int rc = OpenKey(key, spelled, KEY_READ, &h)) return rc;
  std::vector<std::string> subkeys;
  std::vector<RegValueEntry> values;
  LONG r = RegEnumSubKeys(h, &subkeys);
  if (r == ERROR_SUCCESS) r = RegEnumValues(h, &values);
  RegCloseKey(h);
  if (r != ERROR_SUCCESS) return StoreFailure("reading the key", r);
  for (const std::string& name : subkeys) std::printf("KEY\t%s\n", name.c_str());
  for (const RegValueEntry& v : values) PrintValue(v);
  return kOk;
}

int Query(const KeyArg& key, const std::string& spelled, const char* nameArg) {
  HKEY h = nullptr;
  if (int rc = OpenKey(key, spelled, KEY_READ, &h)) return rc;
  std::vector<RegValueEntry> values;
  LONG r = RegEnumValues(h, &values);
  RegCloseKey(h);
  if (r != ERROR_SUCCESS) return StoreFailure("reading the key", r);
  if (!nameArg) {
    for (const RegValueEntry& v : values) PrintValue(v);
    return kOk;
  }
  std::string name = ParseName(nameArg);
  for (const RegValueEntry& v : values) {
    if (text::EqualsNoCase(v.name, name)) {
      PrintValue(v);
      return kOk;
    }
  }
  std::fprintf(stderr, "torvane-reg: no value %s in %s\n", name.empty() ? "\"\"" : name.c_str(), spelled.c_str());
  return kNotFound;
}

bool ParseDword(const char* s, DWORD* out) {
  if (!*s || *s == '-' || *s == '+' || *s == ' ') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(s, &end, 0);
  if (errno || *end || v > 0xFFFFFFFFull) return false;
  *out = static_cast<DWORD>(v);
  return true;
}

int Set(const KeyArg& key, const char* nameArg, const char* typeArg, const char* dataArg) {
  DWORD type = REG_NONE;
  if (std::strcmp(typeArg, "REG_SZ") == 0) type = REG_SZ;
  else if (std::strcmp(typeArg, "REG_EXPAND_SZ") == 0) type = REG_EXPAND_SZ;
  else if (std::strcmp(typeArg, "REG_DWORD") == 0) type = REG_DWORD;
  else {
    std::fprintf(stderr, "torvane-reg: unknown type %s (REG_SZ, REG_EXPAND_SZ or REG_DWORD)\n", typeArg);
    return kUsage;
  }
  DWORD number = 0;
  if (type == REG_DWORD && !ParseDword(dataArg, &number)) {
    std::fprintf(stderr, "torvane-reg: %s is not a REG_DWORD (0 to 4294967295, or 0x hexadecimal)\n", dataArg);
    return kUsage;
  }
  HKEY h = nullptr;
  LONG r = RegCreateKeyEx(key.hive, key.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                          nullptr, &h, nullptr);
  if (r != ERROR_SUCCESS) return StoreFailure("creating the key", r);
  std::string name = ParseName(nameArg);
  r = type == REG_DWORD ? RegSetDword(h, name.c_str(), number) : RegSetString(h, name.c_str(), dataArg, type);
  RegCloseKey(h);
  if (r != ERROR_SUCCESS) return StoreFailure("writing the value", r);
  return kOk;
}

int Delete(const KeyArg& key, const std::string& spelled, const char* nameArg) {
  if (!nameArg) {
    if (key.path.find_first_not_of('\\') == std::string::npos) {
      std::fprintf(stderr, "torvane-reg: a hive itself cannot be deleted\n");
      return kUsage;
    }
    LONG r = RegDeleteTree(key.hive, key.path.c_str());
    if (r == ERROR_FILE_NOT_FOUND) {
      std::fprintf(stderr, "torvane-reg: no key %s\n", spelled.c_str());
      return kNotFound;
    }
    return r == ERROR_SUCCESS ? kOk : StoreFailure("deleting the key", r);
  }
  HKEY h = nullptr;
  if (int rc = OpenKey(key, spelled, KEY_READ | KEY_WRITE, &h)) return rc;
  std::string name = ParseName(nameArg);
  LONG r = RegDeleteValue(h, name.c_str());
  RegCloseKey(h);
  if (r == ERROR_FILE_NOT_FOUND) {
    std::fprintf(stderr, "torvane-reg: no value %s in %s\n", name.empty() ? "\"\"" : name.c_str(), spelled.c_str());
    return kNotFound;
  }
  return r == ERROR_SUCCESS ? kOk : StoreFailure("deleting the value", r);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    Usage(stdout);
    return kOk;
  }
  if (argc < 3) {
    Usage(stderr);
    return kUsage;
  }
  std::string command = argv[1];
  std::string spelled = argv[2];
  KeyArg key;
  if (!ParseKey(spelled, &key)) {
    std::fprintf(stderr, "torvane-reg: %s does not start with HKCU or HKCR\n", spelled.c_str());
    return kUsage;
  }
  int args = argc - 3;
  bool known = (command == "list" && args == 0) || (command == "query" && args <= 1) ||
               (command == "set" && args == 3) || (command == "delete" && args <= 1);
  if (!known) {
    Usage(stderr);
    return kUsage;
  }
  // A store that fell back to memory would answer from nothing and forget
  // what it is told: say so instead of pretending.
  if (store::UsingMemoryFallback()) {
    std::fprintf(stderr, "torvane-reg: the settings database %s cannot be used\n", store::DatabasePath().c_str());
    return kStoreError;
  }
  const char* name = args >= 1 ? argv[3] : nullptr;
  int rc;
  if (command == "list") rc = List(key, spelled);
  else if (command == "query") rc = Query(key, spelled, name);
  else if (command == "set") rc = Set(key, argv[3], argv[4], argv[5]);
  else rc = Delete(key, spelled, name);
  store::Close();
  return rc;
}
