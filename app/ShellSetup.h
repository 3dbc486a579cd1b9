// The browser and shell set-up that the client's start-up runs once its
// configuration is loaded, before any window exists: the plug-in lookup, the
// executable's product name, the desktop shortcuts and the browser engine's
// feature values, in that order (RunShellSetup); and the plug-in installer
// check that the main frame runs as it is created.
//
// Only the client process runs the set-up (ClientConfig::GetForClient). Each
// step takes the places it works on as arguments, so a test can point it at
// temporary folders and a copied executable.
//
// Thread: the user-interface thread.
#pragma once

#include <string>

#include "platform/store/Registry.h"

class ClientConfig;

// Where the set-up reads and writes.
struct ShellPlaces {
  std::string exePath;     // the running executable, as it was started
  std::string desktopDir;  // the user's desktop folder (shortcuts)
  std::string dataHome;    // $XDG_DATA_HOME (the icon and the application menu's entry)

  // This process's executable (/proc/self/exe), desktop folder and data folder.
  static ShellPlaces ForThisProcess();
};

// The four steps in order, for places. An executable in a build tree is a
// developer's: it keeps its name and puts nothing on the desktop or in the
// application menu (its run command starts the fresh build, and a test or a
// benchmark that runs it never writes outside its own folders).
void RunShellSetup(ClientConfig& config, const ShellPlaces& places);

// Whether the executable lies in a build tree: a CMakeCache.txt in its folder
// or in any folder above.
bool InBuildTree(const std::string& exePath);

// --- plug-in ------------------------------------------------------------------
// The browser plug-in's class, under HKEY_CLASSES_ROOT.
inline constexpr char kPluginServerKey[] = "CLSID\\{5c7d2a90-3e4b-4f16-9a8d-0b2e6f3c71d4}\\InprocServer32";
// Finds the browser plug-in's registered server file (the key's default
// value) and stores it in config.m_strPluginPath.
void FindPluginServer(ClientConfig& config);
// At every start of the main frame: while the plug-in's registered file is
// missing and runPlugin is set, starts the installer (the executable's folder
// followed by runPlugin, '\\' read as '/'); not waited for.
void RunPluginInstallerCheck(const ClientConfig& config);
// The same for an explicit plug-in path, runPlugin and executable folder;
// true when an installer was started.
bool RunPluginInstallerCheck(const std::string& pluginPath, const std::string& runPlugin, const std::string& exeDir);

// --- product name ---------------------------------------------------------------
// The product title as a file name: '/' becomes '_'; "" for an empty title,
// "." and "..".
std::string ProductFileName(const std::string& title);
// The program class that docks group the client's windows under ("Velmora.<title>.1").
std::string ProgramClass(const std::string& title);

enum class RenameOutcome {
  Renamed,          // the executable now has the product's name
  AlreadyNamed,     // it had it already, in some letter case
  NoProductName,    // no usable product title
  KeptOnRequest,    // TORVANE_KEEP_NAME is set
  SystemFolder,     // under /usr, /opt or /snap: a package manager's
  BuildTree,        // a folder of a build tree (a CMakeCache.txt above it)
  NotOwned,         // the folder or the file belongs to another user
  ReadOnlyFolder,   // the folder is not writable, or its owner made it read-only
  Failed,           // the move itself failed
};
struct RenameResult {
  RenameOutcome outcome = RenameOutcome::Failed;
  std::string exePath;  // where the executable is afterwards
};
// Gives the executable at exePath the product's name beside itself, replacing
// a stale file of that name in one step; never where the guards above say no.
RenameResult RenameToProductName(const std::string& exePath, const std::string& productTitle);

// --- desktop shortcuts ------------------------------------------------------------
// Puts the product's launcher (starting exePath) and the official website's
// link on the desktop, the product's entry in the application menu and its
// icon in the icon theme, each only when it is missing.
void CreateDesktopShortcuts(const ClientConfig& config, const ShellPlaces& places, const std::string& exePath);

// --- feature control ------------------------------------------------------------
// The feature keys' parent under HKEY_CURRENT_USER.
inline constexpr char kFeatureControlKey[] = "Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl";
// Writes the browser engine's feature values for the executable named
// exeBaseName into the feature keys that exist; a REG_DWORD already there stays.
void WriteFeatureControls(const std::string& exeBaseName);
// The emulation value for the running browser engine's major version.
DWORD GetBrowserEmulationValue();
// The emulation value for an engine major version: 8 → 8888, 10 → 10001,
// 11 → 11000, any other → 9999.
DWORD BrowserEmulationValueFor(unsigned majorVersion);
