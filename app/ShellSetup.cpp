#include "app/ShellSetup.h"

#include "app/ClientConfig.h"

// Each step is built by the browser and shell set-up; until then the
// configuration load runs them as steps that change nothing.

void FindPluginServer(ClientConfig& config) {}

void RenameToProductName(const ClientConfig& config) {}

void CreateDesktopShortcuts(const ClientConfig& config) {}

void WriteFeatureControls() {}
