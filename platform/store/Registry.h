// The typed registry store: per-user keys and typed values, kept in one SQLite
// database per user ($XDG_CONFIG_HOME/velmora/registry.db, ~/.config when the
// variable is unset). The functions have the shape and the constants the
// values of the desktop registry API the client was designed against, so the
// client's settings code reads as designed; none of it is that API.
//
// - Hives: HKEY_CURRENT_USER and HKEY_CLASSES_ROOT. A key path is written with
//   '\' between its names ("SOFTWARE\Velmora\Title"); empty names (a leading,
//   trailing or doubled '\') are skipped. Names compare without regard to
//   ASCII letter case and keep the case they were created with.
// - Values: REG_SZ and REG_EXPAND_SZ hold UTF-8 text, written with its
//   terminating NUL byte (RegSetString does that); REG_DWORD holds 4 bytes,
//   little-endian. The empty value name (or nullptr) is the key's default value.
// - Every write is one SQLite transaction: a reader in this or another process
//   sees a value whole or not at all. The database runs in WAL mode with a busy
//   time-out, so several client processes may write at once without losing a
//   value.
// - A database that cannot be opened or is corrupt is reported once on stderr;
//   the store then keeps its keys in memory for the rest of the process (the
//   client starts with default settings). The user's file is never deleted or
//   overwritten. A read-only database can be read; writes then fail.
// - A key handle names a key by its path, not a pointer: a closed or unknown
//   handle gives ERROR_INVALID_HANDLE, a handle whose key was deleted gives
//   ERROR_KEY_DELETED.
// - Access rights: reading values needs KEY_QUERY_VALUE, setting and deleting
//   them KEY_SET_VALUE, listing subkeys KEY_ENUMERATE_SUB_KEYS; opening,
//   creating and deleting subkeys are not checked. The two hive handles have
//   every right.
//
// Thread safety: every function may be called from any thread (one lock
// serialises them). A forked child opens the database anew on first use and
// leaves its parent's connection untouched.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BYTE = std::uint8_t;
using REGSAM = DWORD;

struct HKEY__;
using HKEY = HKEY__*;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(std::uintptr_t{0x80000000u}))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(std::uintptr_t{0x80000001u}))

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_DWORD = 4;

// Access rights.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Key creation options and dispositions. Volatile keys are kept like the
// others (the store has no notion of a boot).
constexpr DWORD REG_OPTION_NON_VOLATILE = 0x0;
constexpr DWORD REG_OPTION_VOLATILE = 0x1;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Results.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_DATA = 13;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_CANTOPEN = 1011;
constexpr LONG ERROR_CANTREAD = 1012;
constexpr LONG ERROR_CANTWRITE = 1013;
constexpr LONG ERROR_KEY_DELETED = 1018;
constexpr LONG ERROR_UNSUPPORTED_TYPE = 1630;

// Opens an existing key below hKey ("" or nullptr: hKey itself, as a new handle).
LONG RegOpenKeyEx(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired, HKEY* phkResult);

// Opens a key below hKey, creating it and any missing parents first (one
// transaction). lpClass and lpSecurityAttributes are ignored; dwOptions is
// REG_OPTION_NON_VOLATILE or REG_OPTION_VOLATILE. lpdwDisposition may be null.
LONG RegCreateKeyEx(HKEY hKey, const char* lpSubKey, DWORD Reserved, const char* lpClass, DWORD dwOptions,
                    REGSAM samDesired, const void* lpSecurityAttributes, HKEY* phkResult, DWORD* lpdwDisposition);

// Reads a value. lpType and lpData may be null; with lpData null, *lpcbData
// receives the size. A buffer too small gives ERROR_MORE_DATA and the needed
// size in *lpcbData. The data comes back exactly as it was set.
LONG RegQueryValueEx(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                     DWORD* lpcbData);

// Sets a value (creating or replacing it). dwType is REG_SZ, REG_EXPAND_SZ or
// REG_DWORD (cbData 4); other types give ERROR_INVALID_PARAMETER.
LONG RegSetValueEx(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                   DWORD cbData);

LONG RegDeleteValue(HKEY hKey, const char* lpValueName);

// Deletes a subkey that has no subkeys of its own (ERROR_ACCESS_DENIED
// otherwise), with its values.
LONG RegDeleteKey(HKEY hKey, const char* lpSubKey);

// Deletes a subkey with all its subkeys and values; with lpSubKey "" or null,
// deletes hKey's subkeys and values but keeps hKey. One transaction.
LONG RegDeleteTree(HKEY hKey, const char* lpSubKey);

LONG RegCloseKey(HKEY hKey);

// The names of hKey's direct subkeys, sorted without regard to case.
LONG RegEnumSubKeys(HKEY hKey, std::vector<std::string>* names);

struct RegValueEntry {
  std::string name;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};
// hKey's values, sorted by name without regard to case.
LONG RegEnumValues(HKEY hKey, std::vector<RegValueEntry>* values);

namespace store {

// The database file this process uses (or would use) now.
std::string DatabasePath();
// Whether the store keeps its keys in memory because the database could not
// be used (opens the database first if it is not open yet).
bool UsingMemoryFallback();
// Closes the database; the next call opens it again at DatabasePath(). Open
// handles stay valid. Tests use this after pointing XDG_CONFIG_HOME elsewhere.
void Close();

}  // namespace store
