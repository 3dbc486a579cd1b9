#include "platform/store/RegistryDatabase.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <set>

#include "platform/base/Paths.h"

namespace store {
namespace {

// Long enough for another client process to finish any single write.
constexpr int kBusyTimeoutMs = 10000;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    "  hive INTEGER NOT NULL,"
    "  path TEXT NOT NULL COLLATE NOCASE,"
    "  parent TEXT NOT NULL COLLATE NOCASE,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  PRIMARY KEY(hive, path));"
    "CREATE INDEX IF NOT EXISTS keys_by_parent ON keys(hive, parent);"
    "CREATE TABLE IF NOT EXISTS vals("
    "  hive INTEGER NOT NULL,"
    "  path TEXT NOT NULL COLLATE NOCASE,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(hive, path, name));";

bool IsCorruption(int rc) {
  rc &= 0xFF;
  return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

// One prepared statement; finalized when it goes out of scope.
class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) { m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
  ~Stmt() { sqlite3_finalize(m_stmt); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  int Prepared() const { return m_rc; }
  Stmt& Bind(int i, int v) {
    if (m_stmt) sqlite3_bind_int(m_stmt, i, v);
    return *this;
  }
  Stmt& Bind(int i, const std::string& s) {
    if (m_stmt) sqlite3_bind_text(m_stmt, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Stmt& BindBlob(int i, const BYTE* data, std::size_t size) {
    // A zero-length blob, not NULL, for an empty value.
    if (m_stmt) sqlite3_bind_blob(m_stmt, i, size ? data : reinterpret_cast<const BYTE*>(""), static_cast<int>(size),
                                  SQLITE_TRANSIENT);
    return *this;
  }
  int Step() { return m_stmt ? sqlite3_step(m_stmt) : m_rc; }
  std::string Text(int col) const {
    const unsigned char* t = sqlite3_column_text(m_stmt, col);
    return t ? std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, col)))
             : std::string();
  }
  int Int(int col) const { return sqlite3_column_int(m_stmt, col); }
  std::vector<BYTE> Blob(int col) const {
    const void* b = sqlite3_column_blob(m_stmt, col);
    int n = sqlite3_column_bytes(m_stmt, col);
    if (!b || n <= 0) return {};
    const BYTE* p = static_cast<const BYTE*>(b);
    return std::vector<BYTE>(p, p + n);
  }

 private:
  sqlite3_stmt* m_stmt = nullptr;
  int m_rc = SQLITE_OK;
};

std::string Join(const std::vector<std::string>& names, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    if (i) out += '\\';
    out += names[i];
  }
  return out;
}

void ReportOnce(const std::string& path, const std::string& why, const char* consequence) {
  static std::set<std::string> reported;
  if (!reported.insert(path + '\n' + consequence).second) return;
  std::fprintf(stderr, "torvane: settings database %s: %s; %s\n", path.c_str(), why.c_str(), consequence);
}

}  // namespace

std::unique_ptr<RegistryDatabase> RegistryDatabase::Open(const std::string& path) {
  std::unique_ptr<RegistryDatabase> db(new RegistryDatabase);
  db->m_strPath = path;
  std::string why;
  std::size_t slash = path.find_last_of('/');
  std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  // The settings are this user's alone: their folder is made (or closed to
  // others when an older client left it open) 0700 below its shared parent,
  // and the file 0600 before SQLite sees it, so that its -wal and -shm files,
  // which SQLite gives the database's mode, are 0600 too.
  std::size_t parentSlash = dir.find_last_of('/');
  std::string parent = parentSlash == std::string::npos ? std::string(".") : dir.substr(0, parentSlash);
  std::string leaf = parentSlash == std::string::npos ? dir : dir.substr(parentSlash + 1);
  int rc = SQLITE_OK;
  if (!paths::MakePrivateDirs(parent, leaf)) {
    why = "its folder " + dir + " cannot be created, or is not this user's alone";
  } else if (!paths::MakePrivateFile(path) || !paths::TightenPrivateFile(path + "-wal") ||
             !paths::TightenPrivateFile(path + "-shm")) {
    why = "the file cannot be created, or is not this user's alone";
  } else if ((rc = sqlite3_open_v2(path.c_str(), &db->m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)) !=
             SQLITE_OK) {
    why = db->m_db ? sqlite3_errmsg(db->m_db) : sqlite3_errstr(rc);
  } else if (db->Prepare(&why)) {
    if (sqlite3_db_readonly(db->m_db, "main") == 1)
      ReportOnce(path, "the file is read-only", "settings changed in this run are not saved");
    return db;
  }
  ReportOnce(path, why, "settings are kept in memory for this run and the file is left as it is");
  return OpenInMemory(path);
}

std::unique_ptr<RegistryDatabase> RegistryDatabase::OpenInMemory(const std::string& path) {
  std::unique_ptr<RegistryDatabase> db(new RegistryDatabase);
  db->m_strPath = path;
  db->m_bInMemory = true;
  std::string why;
  if (sqlite3_open_v2(":memory:", &db->m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_MEMORY,
                      nullptr) == SQLITE_OK)
    db->Prepare(&why);
  return db;
}

RegistryDatabase::~RegistryDatabase() { sqlite3_close_v2(m_db); }

bool RegistryDatabase::Prepare(std::string* why) {
  sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(m_db, 1);
  auto fail = [&](int rc) {
    *why = sqlite3_errmsg(m_db);
    if (why->empty()) *why = sqlite3_errstr(rc);
    return false;
  };
  // Reading the header and checking the pages before anything is written
  // keeps a damaged file exactly as it was.
  {
    Stmt check(m_db, "PRAGMA quick_check");
    int rc = check.Step();
    if (rc != SQLITE_ROW) return fail(rc);
    std::string verdict = check.Text(0);
    if (verdict != "ok") {
      *why = "the file is damaged (" + verdict + ")";
      return false;
    }
  }
  if (!m_bInMemory) {
    Stmt wal(m_db, "PRAGMA journal_mode=WAL");
    int rc = wal.Step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE && IsCorruption(rc)) return fail(rc);
  }
  sqlite3_exec(m_db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  {
    Stmt tables(m_db, "SELECT count(*) FROM sqlite_master WHERE type='table' AND name IN ('keys','vals')");
    int rc = tables.Step();
    if (rc != SQLITE_ROW) return fail(rc);
    if (tables.Int(0) == 2) return true;
  }
  int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return fail(rc);
  rc = sqlite3_exec(m_db, kSchema, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    fail(rc);
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    fail(rc);
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  return true;
}

LONG RegistryDatabase::Fail(int rc, LONG otherwise) {
  if (IsCorruption(rc)) {
    if (!m_bBroken)
      ReportOnce(m_strPath, "the file is damaged (" + std::string(sqlite3_errstr(rc)) + ")",
                 "settings are kept in memory for this run and the file is left as it is");
    m_bBroken = true;
  }
  return otherwise;
}

LONG RegistryDatabase::Begin() {
  int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? ERROR_SUCCESS : Fail(rc, ERROR_CANTWRITE);
}

LONG RegistryDatabase::Commit() {
  int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) return ERROR_SUCCESS;
  Rollback();
  return Fail(rc, ERROR_CANTWRITE);
}

void RegistryDatabase::Rollback() {
  if (!sqlite3_get_autocommit(m_db)) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

LONG RegistryDatabase::FindKey(int hive, const std::vector<std::string>& names, std::string* storedPath) {
  if (names.empty()) {
    storedPath->clear();
    return ERROR_SUCCESS;
  }
  Stmt q(m_db, "SELECT path FROM keys WHERE hive=?1 AND path=?2");
  q.Bind(1, hive).Bind(2, Join(names, names.size()));
  int rc = q.Step();
  if (rc == SQLITE_ROW) {
    *storedPath = q.Text(0);
    return ERROR_SUCCESS;
  }
  return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : Fail(rc, ERROR_CANTREAD);
}

LONG RegistryDatabase::KeyExists(int hive, const std::string& path, bool* exists) {
  if (path.empty()) {
    *exists = true;
    return ERROR_SUCCESS;
  }
  Stmt q(m_db, "SELECT 1 FROM keys WHERE hive=?1 AND path=?2");
  q.Bind(1, hive).Bind(2, path);
  int rc = q.Step();
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return Fail(rc, ERROR_CANTREAD);
  *exists = rc == SQLITE_ROW;
  return ERROR_SUCCESS;
}

LONG RegistryDatabase::CreateKey(int hive, const std::vector<std::string>& names, std::string* storedPath,
                                 bool* created) {
  *created = false;
  if (names.empty()) {
    storedPath->clear();
    return ERROR_SUCCESS;
  }
  LONG r = Begin();
  if (r != ERROR_SUCCESS) return r;
  std::string parent;
  for (std::size_t i = 1; i <= names.size(); ++i) {
    Stmt q(m_db, "SELECT path FROM keys WHERE hive=?1 AND path=?2");
    q.Bind(1, hive).Bind(2, Join(names, i));
    int rc = q.Step();
    if (rc == SQLITE_ROW) {
      parent = q.Text(0);
      continue;
    }
    if (rc != SQLITE_DONE) {
      Rollback();
      return Fail(rc, ERROR_CANTWRITE);
    }
    // Built from the parent's stored spelling, so a key's path always
    // extends its parent's path.
    std::string path = parent.empty() ? names[i - 1] : parent + '\\' + names[i - 1];
    Stmt ins(m_db, "INSERT INTO keys(hive, path, parent, name) VALUES(?1, ?2, ?3, ?4)");
    ins.Bind(1, hive).Bind(2, path).Bind(3, parent).Bind(4, names[i - 1]);
    rc = ins.Step();
    if (rc != SQLITE_DONE) {
      Rollback();
      return Fail(rc, ERROR_CANTWRITE);
    }
    parent = path;
    if (i == names.size()) *created = true;
  }
  r = Commit();
  if (r == ERROR_SUCCESS) *storedPath = parent;
  else *created = false;
  return r;
}

LONG RegistryDatabase::GetValue(int hive, const std::string& path, const std::string& name, DWORD* type,
                                std::vector<BYTE>* data) {
  Stmt q(m_db, "SELECT type, data FROM vals WHERE hive=?1 AND path=?2 AND name=?3");
  q.Bind(1, hive).Bind(2, path).Bind(3, name);
  int rc = q.Step();
  if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
  if (rc != SQLITE_ROW) return Fail(rc, ERROR_CANTREAD);
  *type = static_cast<DWORD>(q.Int(0));
  *data = q.Blob(1);
  return ERROR_SUCCESS;
}

LONG RegistryDatabase::SetValue(int hive, const std::string& path, const std::string& name, DWORD type,
                                const BYTE* data, std::size_t size) {
  LONG r = Begin();
  if (r != ERROR_SUCCESS) return r;
  bool exists = false;
  r = KeyExists(hive, path, &exists);
  if (r != ERROR_SUCCESS || !exists) {
    Rollback();
    return r != ERROR_SUCCESS ? r : ERROR_KEY_DELETED;
  }
  // An existing value keeps the spelling of its name.
  Stmt up(m_db,
          "INSERT INTO vals(hive, path, name, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
          "ON CONFLICT(hive, path, name) DO UPDATE SET type=excluded.type, data=excluded.data");
  up.Bind(1, hive).Bind(2, path).Bind(3, name).Bind(4, static_cast<int>(type)).BindBlob(5, data, size);
  int rc = up.Step();
  if (rc != SQLITE_DONE) {
    Rollback();
    return Fail(rc, ERROR_CANTWRITE);
  }
  return Commit();
}

LONG RegistryDatabase::DeleteValue(int hive, const std::string& path, const std::string& name) {
  Stmt del(m_db, "DELETE FROM vals WHERE hive=?1 AND path=?2 AND name=?3");
  del.Bind(1, hive).Bind(2, path).Bind(3, name);
  int rc = del.Step();
  if (rc != SQLITE_DONE) return Fail(rc, ERROR_CANTWRITE);
  return sqlite3_changes(m_db) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG RegistryDatabase::DeleteSubtree(int hive, const std::string& path, bool keepSelf) {
  // Every key at or below path, found through the parent links.
  const char* const keysBelow =
      "WITH RECURSIVE sub(p) AS (SELECT ?2 UNION ALL "
      "  SELECT k.path FROM keys k JOIN sub ON k.hive=?1 AND k.parent=sub.p) ";
  std::string delVals = std::string(keysBelow) + "DELETE FROM vals WHERE hive=?1 AND path IN (SELECT p FROM sub)";
  std::string delKeys = std::string(keysBelow) + "DELETE FROM keys WHERE hive=?1 AND path IN (SELECT p FROM sub)";
  if (keepSelf) delKeys += " AND path<>?2";
  for (const std::string* sql : {&delVals, &delKeys}) {
    Stmt del(m_db, sql->c_str());
    del.Bind(1, hive).Bind(2, path);
    int rc = del.Step();
    if (rc != SQLITE_DONE) return Fail(rc, ERROR_CANTWRITE);
  }
  return ERROR_SUCCESS;
}

LONG RegistryDatabase::DeleteKey(int hive, const std::string& path, bool withSubKeys) {
  if (path.empty()) return ERROR_ACCESS_DENIED;
  LONG r = Begin();
  if (r != ERROR_SUCCESS) return r;
  bool exists = false;
  r = KeyExists(hive, path, &exists);
  if (r == ERROR_SUCCESS && !exists) r = ERROR_FILE_NOT_FOUND;
  if (r == ERROR_SUCCESS && !withSubKeys) {
    Stmt q(m_db, "SELECT 1 FROM keys WHERE hive=?1 AND parent=?2 LIMIT 1");
    q.Bind(1, hive).Bind(2, path);
    int rc = q.Step();
    if (rc == SQLITE_ROW) r = ERROR_ACCESS_DENIED;
    else if (rc != SQLITE_DONE) r = Fail(rc, ERROR_CANTWRITE);
  }
  if (r == ERROR_SUCCESS) r = DeleteSubtree(hive, path, false);
  if (r != ERROR_SUCCESS) {
    Rollback();
    return r;
  }
  return Commit();
}

LONG RegistryDatabase::ClearKey(int hive, const std::string& path) {
  LONG r = Begin();
  if (r != ERROR_SUCCESS) return r;
  bool exists = false;
  r = KeyExists(hive, path, &exists);
  if (r == ERROR_SUCCESS && !exists) r = ERROR_KEY_DELETED;
  if (r == ERROR_SUCCESS) r = DeleteSubtree(hive, path, true);
  if (r != ERROR_SUCCESS) {
    Rollback();
    return r;
  }
  return Commit();
}

LONG RegistryDatabase::SubKeys(int hive, const std::string& path, std::vector<std::string>* names) {
  names->clear();
  Stmt q(m_db, "SELECT name FROM keys WHERE hive=?1 AND parent=?2 ORDER BY name COLLATE NOCASE, name");
  q.Bind(1, hive).Bind(2, path);
  int rc;
  while ((rc = q.Step()) == SQLITE_ROW) names->push_back(q.Text(0));
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc, ERROR_CANTREAD);
}

LONG RegistryDatabase::Values(int hive, const std::string& path, std::vector<RegValueEntry>* values) {
  values->clear();
  Stmt q(m_db, "SELECT name, type, data FROM vals WHERE hive=?1 AND path=?2 ORDER BY name COLLATE NOCASE, name");
  q.Bind(1, hive).Bind(2, path);
  int rc;
  while ((rc = q.Step()) == SQLITE_ROW) values->push_back({q.Text(0), static_cast<DWORD>(q.Int(1)), q.Blob(2)});
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc, ERROR_CANTREAD);
}

}  // namespace store
