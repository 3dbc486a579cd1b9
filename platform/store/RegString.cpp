#include "platform/store/RegString.h"

#include <cstring>
#include <vector>

#include "platform/base/Text.h"

std::size_t Utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) == 0x80) continue;  // continuation byte
    units += c >= 0xF0 ? 2 : 1;        // four-byte sequences need a surrogate pair
  }
  return units;
}

LONG RegQueryString(HKEY hKey, const char* name, std::string* text, std::size_t bufferChars) {
  text->clear();
  DWORD type = REG_NONE;
  DWORD size = 0;
  LONG r = RegQueryValueEx(hKey, name, nullptr, &type, nullptr, &size);
  if (r != ERROR_SUCCESS) return r;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_UNSUPPORTED_TYPE;
  std::vector<BYTE> data;
  // Another process may grow the value between the two reads: read again.
  for (int attempt = 0; attempt < 4; ++attempt) {
    data.resize(size);
    r = RegQueryValueEx(hKey, name, nullptr, &type, data.data(), &size);
    if (r != ERROR_MORE_DATA) break;
  }
  if (r != ERROR_SUCCESS) return r;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_UNSUPPORTED_TYPE;
  data.resize(size);
  std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.size());
  if (!text::IsValidUtf8(bytes)) return ERROR_INVALID_DATA;
  if (Utf16Length(bytes) > bufferChars) return ERROR_MORE_DATA;
  if (!bytes.empty() && bytes.back() != '\0') return ERROR_INVALID_DATA;
  text->assign(bytes.substr(0, bytes.find('\0')));
  return ERROR_SUCCESS;
}

LONG RegSetString(HKEY hKey, const char* name, std::string_view text, DWORD type) {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_PARAMETER;
  std::string data(text.substr(0, text.find('\0')));
  data.push_back('\0');
  return RegSetValueEx(hKey, name, 0, type, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
}

LONG RegQueryDword(HKEY hKey, const char* name, DWORD* value) {
  DWORD type = REG_NONE;
  BYTE data[8] = {};
  DWORD size = sizeof data;
  LONG r = RegQueryValueEx(hKey, name, nullptr, &type, data, &size);
  if (r == ERROR_MORE_DATA) return ERROR_UNSUPPORTED_TYPE;
  if (r != ERROR_SUCCESS) return r;
  if (type != REG_DWORD || size != 4) return ERROR_UNSUPPORTED_TYPE;
  *value = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 | static_cast<DWORD>(data[2]) << 16 |
           static_cast<DWORD>(data[3]) << 24;
  return ERROR_SUCCESS;
}

LONG RegSetDword(HKEY hKey, const char* name, DWORD value) {
  BYTE data[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                  static_cast<BYTE>(value >> 24)};
  return RegSetValueEx(hKey, name, 0, REG_DWORD, data, 4);
}
