#include "platform/store/Registry.h"

#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>

#include "platform/base/Paths.h"
#include "platform/store/RegistryDatabase.h"

namespace {

using store::RegistryDatabase;

constexpr int kHiveClassesRoot = 0;
constexpr int kHiveCurrentUser = 1;

// Longest key name and value name, and the largest value, the store accepts.
constexpr std::size_t kMaxKeyName = 255;
constexpr std::size_t kMaxValueName = 16383;
constexpr std::size_t kMaxValueSize = 1 << 20;

struct OpenKey {
  int hive = 0;
  std::string path;  // as stored
  REGSAM sam = 0;
};

struct Store {
  std::mutex lock;
  std::unique_ptr<RegistryDatabase> db;
  pid_t owner = 0;
  std::map<std::uintptr_t, OpenKey> keys;
  std::uintptr_t nextHandle = 1;
};

Store& TheStore() {
  static Store* s = new Store;  // never destroyed: handles may be closed during exit
  return *s;
}

std::string DefaultPath() { return paths::VendorDir(paths::ConfigHome()) + "/registry.db"; }

// The database, opened on first use (and again in a forked child, which must
// not touch its parent's connection). Caller holds the lock.
RegistryDatabase& Db(Store& s) {
  if (s.db && s.owner != getpid()) {
    (void)s.db.release();  // the parent's connection: left alone, not closed
  }
  if (!s.db) {
    s.db = RegistryDatabase::Open(DefaultPath());
    s.owner = getpid();
  }
  return *s.db;
}

// Runs op on the database; when the file turns out corrupt during op, the
// store goes on in memory and op runs again there.
template <class Op>
LONG WithDb(Store& s, Op op) {
  RegistryDatabase* db = &Db(s);
  LONG r = op(*db);
  if (db->Broken()) {
    s.db = RegistryDatabase::OpenInMemory(db->Path());
    r = op(*s.db);
  }
  return r;
}

bool ResolveHandle(Store& s, HKEY h, OpenKey* out) {
  if (h == HKEY_CURRENT_USER || h == HKEY_CLASSES_ROOT) {
    *out = {h == HKEY_CURRENT_USER ? kHiveCurrentUser : kHiveClassesRoot, "", KEY_ALL_ACCESS};
    return true;
  }
  auto it = s.keys.find(reinterpret_cast<std::uintptr_t>(h));
  if (it == s.keys.end()) return false;
  *out = it->second;
  return true;
}

HKEY NewHandle(Store& s, const OpenKey& key) {
  std::uintptr_t id = s.nextHandle++;
  s.keys[id] = key;
  return reinterpret_cast<HKEY>(id);
}

// Splits "a\b\c" into its names, skipping empty ones. False when a name is too long.
bool SplitPath(const char* subKey, std::vector<std::string>* names) {
  names->clear();
  if (!subKey) return true;
  std::string_view rest(subKey);
  while (!rest.empty()) {
    std::size_t cut = rest.find('\\');
    std::string_view name = rest.substr(0, cut);
    if (name.size() > kMaxKeyName) return false;
    if (!name.empty()) names->emplace_back(name);
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  return true;
}

std::vector<std::string> Concat(const std::string& base, const std::vector<std::string>& names) {
  std::vector<std::string> all;
  SplitPath(base.c_str(), &all);
  all.insert(all.end(), names.begin(), names.end());
  return all;
}

std::string ValueName(const char* name) { return name ? name : ""; }

// Resolves h and checks that its key still exists and that it grants need.
LONG UseKey(Store& s, HKEY h, REGSAM need, OpenKey* key) {
  if (!ResolveHandle(s, h, key)) return ERROR_INVALID_HANDLE;
  if ((key->sam & need) != need) return ERROR_ACCESS_DENIED;
  bool exists = false;
  LONG r = WithDb(s, [&](RegistryDatabase& db) { return db.KeyExists(key->hive, key->path, &exists); });
  if (r != ERROR_SUCCESS) return r;
  return exists ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

}  // namespace

LONG RegOpenKeyEx(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired, HKEY* phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Store& s = TheStore();
  std::lock_guard<std::mutex> hold(s.lock);
  OpenKey base;
  LONG r = UseKey(s, hKey, 0, &base);
  if (r != ERROR_SUCCESS) return r;
  std::vector<std::string> names;
  if (!SplitPath(lpSubKey, &names)) return ERROR_INVALID_PARAMETER;
  std::string path;
  r = WithDb(s, [&](RegistryDatabase& db) { return db.FindKey(base.hive, Concat(base.path, names), &path); });
  if (r != ERROR_SUCCESS) return r;
  *phkResult = NewHandle(s, {base.hive, path, samDesired});
  return ERROR_SUCCESS;
}

LONG RegCreateKeyEx(HKEY hKey, const char* lpSubKey, DWORD Reserved, const char* lpClass, DWORD dwOptions,
                    REGSAM samDesired, const void* lpSecurityAttributes, HKEY* phkResult, DWORD* lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (dwOptions != REG_OPTION_NON_VOLATILE && dwOptions != REG_OPTION_VOLATILE) return ERROR_INVALID_PARAMETER;
  Store& s = TheStore();
  std::lock_guard<std::mutex> hold(s.lock);
  OpenKey base;
  LONG r = UseKey(s, hKey, 0, &base);
  if (r != ERROR_SUCCESS) return r;
  std::vector<std::string> names;
  if (!SplitPath(lpSubKey, &names)) return ERROR_INVALID_PARAMETER;
  std::string path;
  bool created = false;
  r = WithDb(s, [&](RegistryDatabase& db) {
    return db.CreateKey(base.hive, Concat(base.path, names), &path, &created);
  });
  if (r != ERROR_SUCCESS) return r;
  *phkResult = NewHandle(s, {base.hive, path, samDesired});
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                     DWORD* lpcbData) {
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  Store& s = TheStore();
  std::lock_guard<std::mutex> hold(s.lock);
  OpenKey key;
  LONG r = UseKey(s, hKey, KEY_QUERY_VALUE, &key);
  if (r != ERROR_SUCCESS) return r;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  r = WithDb(s, [&](RegistryDatabase& db) { return db.GetValue(key.hive, key.path, ValueName(lpValueName), &type, &data); });
  if (r != ERROR_SUCCESS) return r;
  if (lpType) *lpType = type;
  if (!lpcbData) return ERROR_SUCCESS;
  DWORD size = static_cast<DWORD>(data.size());
  if (lpData) {
    if (*lpcbData < size) {
      *lpcbData = size;
      return ERROR_MORE_DATA;
    }
    if (size) std::memcpy(lpData, data.data(), size);
  }
  *lpcbData = size;
  return ERROR_SUCCESS;
}

LONG RegSetValueEx(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                   DWORD cbData) {
  if (dwType != REG_SZ && dwType != REG_EXPAND_SZ && dwType != REG_DWORD) return ERROR_INVALID_PARAMETER;
  if (dwType == REG_DWORD && cbData != 4) return ERROR_INVALID_PARAMETER;
  if (cbData && !lpData) return ERROR_INVALID_PARAMETER;
  if (cbData > kMaxValueSize) return ERROR_INVALID_PARAMETER;
  std::string name = ValueName(lpValueName);
  if (name.size() > kMaxValueName) return ERROR_INVALID_PARAMETER;
  Store& s = TheStore();
  std::lock_guard<std::mutex> hold(s.lock);
  OpenKey key;
  LONG r = UseKey(s, hKey, KEY_SET_VALUE, &key);
  if (r != ERROR_SUCCESS) return r;
  return WithDb(s, [&](RegistryDatabase& db) { return db.SetValue(key.hive, key.path, name, dwType, lpData, cbData); });
}

LONG RegDeleteValue(HKEY hKey, const char* lpValueName) {
  Store& s = TheStore();
  std::lock_guard<std::mutex> hold(s.lock);
  OpenKey key;
  LONG r = UseKey(s, hKey, KEY_SET_VALUE, &key);
  if (r != ERROR_SUCCESS) return r;
  return WithDb(s, [&](RegistryDatabase& db) { return db.DeleteValue(key.hive, key.path, ValueName(lpValueName)); });
}

namespace {

LONG DeleteKeyImpl(HKEY hKey, const char* lpSubKey, bool tree) {
  Store& s = TheStore();
  std::lock_guard<std::mutex> hold(s.lock);
  OpenKey base;
  LONG r = UseKey(s, hKey, 0, &base);
  if (r != ERROR_SUCCESS) return r;
  std::vector<std::string> names;
  if (!SplitPath(lpSubKey, &names)) return ERROR_INVALID_PARAMETER;
  if (names.empty()) {
    if (!tree) return ERROR_INVALID_PARAMETER;
    return WithDb(s, [&](RegistryDatabase& db) { return db.ClearKey(base.hive, base.path); });
  }
  return WithDb(s, [&](RegistryDatabase& db) {
    std::string path;
    LONG found = db.FindKey(base.hive, Concat(base.path, names), &path);
    if (found != ERROR_SUCCESS) return found;
    return db.DeleteKey(base.hive, path, tree);
  });
}

}  // namespace

LONG RegDeleteKey(HKEY hKey, const char* lpSubKey) { return DeleteKeyImpl(hKey, lpSubKey, false); }

LONG RegDeleteTree(HKEY hKey, const char* lpSubKey) { return DeleteKeyImpl(hKey, lpSubKey, true); }

LONG RegCloseKey(HKEY hKey) {
  if (hKey == HKEY_CURRENT_USER || hKey == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
  Store& s = TheStore();
  std::lock_guard<std::mutex> hold(s.lock);
  return s.keys.erase(reinterpret_cast<std::uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegEnumSubKeys(HKEY hKey, std::vector<std::string>* names) {
  if (!names) return ERROR_INVALID_PARAMETER;
  names->clear();
  Store& s = TheStore();
  std::lock_guard<std::mutex> hold(s.lock);
  OpenKey key;
  LONG r = UseKey(s, hKey, KEY_ENUMERATE_SUB_KEYS, &key);
  if (r != ERROR_SUCCESS) return r;
  return WithDb(s, [&](RegistryDatabase& db) { return db.SubKeys(key.hive, key.path, names); });
}

LONG RegEnumValues(HKEY hKey, std::vector<RegValueEntry>* values) {
  if (!values) return ERROR_INVALID_PARAMETER;
  values->clear();
  Store& s = TheStore();
  std::lock_guard<std::mutex> hold(s.lock);
  OpenKey key;
  LONG r = UseKey(s, hKey, KEY_QUERY_VALUE, &key);
  if (r != ERROR_SUCCESS) return r;
  return WithDb(s, [&](RegistryDatabase& db) { return db.Values(key.hive, key.path, values); });
}

namespace store {

std::string DatabasePath() {
  Store& s = TheStore();
  std::lock_guard<std::mutex> hold(s.lock);
  if (s.db && s.owner == getpid()) return s.db->Path();
  return DefaultPath();
}

bool UsingMemoryFallback() {
  Store& s = TheStore();
  std::lock_guard<std::mutex> hold(s.lock);
  return Db(s).InMemory();
}

void Close() {
  Store& s = TheStore();
  std::lock_guard<std::mutex> hold(s.lock);
  if (s.db && s.owner != getpid()) (void)s.db.release();
  s.db.reset();
}

}  // namespace store
