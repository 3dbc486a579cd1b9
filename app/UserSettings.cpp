// The user settings part of ClientConfig: the three integers kept per user in
// the registry store under the settings key, read at start-up and written
// back at exit. Every missing or unreadable value is replaced by the
// member's value as decimal text.
#include <string>

#include "app/ClientConfig.h"
#include "platform/base/Text.h"
#include "platform/store/RegString.h"
#include "platform/store/Registry.h"

namespace {

// Opens the settings key for reading and writing, creating it when it does not exist.
bool OpenSettingsKey(const std::string& path, HKEY* hKey) {
  if (RegOpenKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ | KEY_WRITE, hKey) == ERROR_SUCCESS) return true;
  return RegCreateKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                        nullptr, hKey, nullptr) == ERROR_SUCCESS;
}

void WriteSetting(HKEY hKey, const char* name, int value) {
  RegSetString(hKey, name, text::Format("%d", value), REG_SZ);
}

void LoadSetting(HKEY hKey, const char* name, int* member) {
  std::string value;
  if (RegQueryString(hKey, name, &value) == ERROR_SUCCESS)
    *member = text::Atoi(value);
  else
    WriteSetting(hKey, name, *member);
}

}  // namespace

void ClientConfig::LoadSettings() {
  HKEY hKey = nullptr;
  if (!OpenSettingsKey(m_strRegKeyPath, &hKey)) return;
  LoadSetting(hKey, "UseHotKey", &UseHotKey);
  LoadSetting(hKey, "AlwaysTop", &AlwaysTop);
  LoadSetting(hKey, "HotKey", &HotKey);
  RegCloseKey(hKey);
}

void ClientConfig::SaveSettings() {
  const std::pair<const char*, int> settings[] = {{"AlwaysTop", AlwaysTop}, {"UseHotKey", UseHotKey}, {"HotKey", HotKey}};
  for (const auto& [name, value] : settings) {
    HKEY hKey = nullptr;
    if (!OpenSettingsKey(m_strRegKeyPath, &hKey)) continue;
    WriteSetting(hKey, name, value);
    RegCloseKey(hKey);
  }
}
