// The browser and shell set-up that the configuration load runs before any
// window exists: the plug-in lookup, the executable's product name, the
// desktop shortcuts and the browser engine's feature values.
//
// Thread: the user-interface thread, from ClientConfig's load.
#pragma once

class ClientConfig;

// Finds the browser plug-in's registered server file and stores it in config.m_strPluginPath.
void FindPluginServer(ClientConfig& config);
// Gives the running executable the product's file name beside itself.
void RenameToProductName(const ClientConfig& config);
// Puts the product and official-website shortcuts on the desktop when they are missing.
void CreateDesktopShortcuts(const ClientConfig& config);
// Writes the browser engine's feature values for this executable.
void WriteFeatureControls();
// At every start of the main frame: while the plug-in's registered file is
// missing and runPlugin is set, starts the installer (the executable's folder
// followed by runPlugin, '\\' read as '/'); not waited for.
void RunPluginInstallerCheck(const ClientConfig& config);
