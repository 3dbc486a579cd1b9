// The set-up's order, the plug-in lookup and the installer check. The other
// steps live beside this file: SelfRename.cpp, DesktopShortcuts.cpp,
// FeatureControl.cpp.
#include "app/ShellSetup.h"

#include <unistd.h>

#include "app/AppShared.h"
#include "app/ClientConfig.h"
#include "platform/base/Paths.h"
#include "platform/shell/UserDirs.h"
#include "platform/store/RegString.h"

ShellPlaces ShellPlaces::ForThisProcess() {
  return {paths::ExecutablePath(), shell::DesktopFolder(), paths::DataHome()};
}

void RunShellSetup(ClientConfig& config, const ShellPlaces& places) {
  FindPluginServer(config);
  RenameResult renamed = RenameToProductName(places.exePath, config.GetUserClientAbout());
  // The shortcuts start the executable where it now is: under the product's
  // name, or where it stayed when the rename was refused.
  if (!InBuildTree(places.exePath)) CreateDesktopShortcuts(config, places, renamed.exePath);
  // The feature values are named after the file the process was started as.
  std::size_t slash = places.exePath.rfind('/');
  WriteFeatureControls(slash == std::string::npos ? places.exePath : places.exePath.substr(slash + 1));
}

void FindPluginServer(ClientConfig& config) {
  HKEY hKey = nullptr;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, kPluginServerKey, 0, KEY_READ | KEY_WRITE, &hKey) != ERROR_SUCCESS) return;
  std::string path;
  if (RegQueryString(hKey, "", &path) == ERROR_SUCCESS) config.m_strPluginPath = path;
  RegCloseKey(hKey);
}

void RunPluginInstallerCheck(const ClientConfig& config) {
  RunPluginInstallerCheck(config.m_strPluginPath, config.GetRunPlugin(), GetModulePath(false));
}

bool RunPluginInstallerCheck(const std::string& pluginPath, const std::string& runPlugin, const std::string& exeDir) {
  if (!pluginPath.empty() && access(pluginPath.c_str(), F_OK) == 0) return false;
  if (runPlugin.empty()) return false;
  std::string installer = runPlugin;
  for (char& c : installer)
    if (c == '\\') c = '/';
  return LaunchProcess(exeDir + installer);
}
