// The SQLite database behind the registry store: its schema, its
// transactions and the fall-back to an in-memory database when the user's file
// cannot be used. Used only by Registry.cpp, which holds the store's lock
// around every call; not thread-safe on its own.
//
// A key is a row (hive, path) where path is the key's names joined with '\' as
// first created ("" is the hive itself, which always exists); a value is a row
// (hive, path, name, type, data). Paths and names compare with SQLite's NOCASE
// collation (ASCII letters without regard to case).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/store/Registry.h"

struct sqlite3;

namespace store {

class RegistryDatabase {
 public:
  // Opens (creating it and its folder when needed) the database at path. When
  // that fails or the file is corrupt, reports it once on stderr and returns an
  // in-memory database instead; never returns null and never changes a file it
  // cannot use.
  static std::unique_ptr<RegistryDatabase> Open(const std::string& path);
  // An empty in-memory database standing in for the one at path.
  static std::unique_ptr<RegistryDatabase> OpenInMemory(const std::string& path);
  ~RegistryDatabase();

  bool InMemory() const { return m_bInMemory; }
  // True once a statement found the file corrupt; the caller then replaces
  // this database with an in-memory one and retries.
  bool Broken() const { return m_bBroken; }
  // The file's path (also for the in-memory stand-in).
  const std::string& Path() const { return m_strPath; }

  // The stored path of the key named by names (joined, compared without
  // regard to case). ERROR_FILE_NOT_FOUND when it does not exist.
  LONG FindKey(int hive, const std::vector<std::string>& names, std::string* storedPath);
  // Whether the key with this stored path still exists.
  LONG KeyExists(int hive, const std::string& path, bool* exists);
  // Creates the key and its missing parents in one transaction.
  LONG CreateKey(int hive, const std::vector<std::string>& names, std::string* storedPath, bool* created);

  LONG GetValue(int hive, const std::string& path, const std::string& name, DWORD* type, std::vector<BYTE>* data);
  LONG SetValue(int hive, const std::string& path, const std::string& name, DWORD type, const BYTE* data,
                std::size_t size);
  LONG DeleteValue(int hive, const std::string& path, const std::string& name);
  // Deletes the key (path must not be the hive) with its values; when
  // withSubKeys is false and it has subkeys, gives ERROR_ACCESS_DENIED.
  LONG DeleteKey(int hive, const std::string& path, bool withSubKeys);
  // Deletes every subkey and value of the key, keeping the key.
  LONG ClearKey(int hive, const std::string& path);

  LONG SubKeys(int hive, const std::string& path, std::vector<std::string>* names);
  LONG Values(int hive, const std::string& path, std::vector<RegValueEntry>* values);

 private:
  RegistryDatabase() = default;
  bool Prepare(std::string* why);
  // Maps a SQLite result to a store result; marks the database broken when
  // the file turned out corrupt.
  LONG Fail(int rc, LONG otherwise);
  LONG Begin();
  LONG Commit();
  void Rollback();
  LONG DeleteSubtree(int hive, const std::string& path, bool keepSelf);

  sqlite3* m_db = nullptr;
  std::string m_strPath;
  bool m_bInMemory = false;
  bool m_bBroken = false;
};

}  // namespace store
