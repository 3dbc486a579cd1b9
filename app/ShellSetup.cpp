#include "app/ShellSetup.h"

#include "app/ClientConfig.h"

#include <unistd.h>

#include "app/AppShared.h"

// Each step is built by the browser and shell set-up; until then the
// configuration load runs them as steps that change nothing.

void FindPluginServer(ClientConfig& config) {}

void RenameToProductName(const ClientConfig& config) {}

void CreateDesktopShortcuts(const ClientConfig& config) {}

void WriteFeatureControls() {}

void RunPluginInstallerCheck(const ClientConfig& config) {
  const std::string& plugin = config.m_strPluginPath;
  if (!plugin.empty() && access(plugin.c_str(), F_OK) == 0) return;
  std::string installer = config.GetRunPlugin();
  if (installer.empty()) return;
  for (char& c : installer)
    if (c == '\\') c = '/';
  LaunchProcess(GetModulePath(false) + installer);
}
