// The browser engine's feature values: one REG_DWORD per feature key, named
// after the executable, written only into feature keys that already exist
// and never over a REG_DWORD already there (whoever put it there decided).
// What each value stands for with WebKitGTK is in app/README.md.
#include <webkit2/webkit2.h>

#include "app/ShellSetup.h"
#include "platform/store/RegString.h"

namespace {

struct FeatureRow {
  const char* feature;
  DWORD value;
  bool askEngine = false;  // the value is GetBrowserEmulationValue()
};

constexpr FeatureRow kFeatures[] = {
    {"FEATURE_BROWSER_EMULATION", 0, true},
    {"FEATURE_GPU_RENDERING", 1},
    {"FEATURE_MAXCONNECTIONSPERSERVER", 6},
    {"FEATURE_MAXCONNECTIONSPER1_0SERVER", 6},
    {"FEATURE_ALIGNED_TIMERS", 1},
    {"FEATURE_ALLOW_HIGHFREQ_TIMERS", 1},
    {"FEATURE_BEHAVIORS", 1},
    {"FEATURE_LOCALMACHINE_LOCKDOWN", 0},
    {"FEATURE_OBJECT_CACHING", 1},
    {"FEATURE_SCRIPTURL_MITIGATION", 1},
};

}  // namespace

DWORD BrowserEmulationValueFor(unsigned majorVersion) {
  switch (majorVersion) {
    case 8: return 8888;
    case 10: return 10001;
    case 11: return 11000;
    default: return 9999;
  }
}

DWORD GetBrowserEmulationValue() { return BrowserEmulationValueFor(webkit_get_major_version()); }

void WriteFeatureControls(const std::string& exeBaseName) {
  // Without a name the value would land on the key's default value.
  if (exeBaseName.empty()) return;
  for (const FeatureRow& row : kFeatures) {
    std::string key = std::string(kFeatureControlKey) + "\\" + row.feature;
    HKEY hKey = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ | KEY_WRITE, &hKey) != ERROR_SUCCESS) continue;
    DWORD type = REG_NONE;
    DWORD size = 0;
    bool keep = RegQueryValueEx(hKey, exeBaseName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
                type == REG_DWORD;
    if (!keep) RegSetDword(hKey, exeBaseName.c_str(), row.askEngine ? GetBrowserEmulationValue() : row.value);
    RegCloseKey(hKey);
  }
}
