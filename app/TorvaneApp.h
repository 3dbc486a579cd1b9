// CTorvaneApp: the application object. InitInstance brings up the display,
// derives the launch tag, loads the configuration (with the user settings and
// the shell set-up), gives the process its desktop identity and creates the
// hidden main frame; ExitInstance writes the settings back and releases what
// start-up acquired. TorvaneMain runs InitInstance, the message loop and
// ExitInstance in that order, as the application shell.
//
// User-interface thread only.
#pragma once

#include <memory>
#include <string>

class ClientConfig;
class CMainFrame;

class CTorvaneApp {
 public:
  CTorvaneApp();
  ~CTorvaneApp();

  // FALSE ends the process at once (exit code 1).
  bool InitInstance(int argc, char** argv);
  // The loop's exit code.
  int ExitInstance(int loopCode);

  // The application's identity: "Velmora.<userClientAbout>.1".
  static std::string AppId(const std::string& productTitle);

  ClientConfig* m_pConfig = nullptr;  // owned; deleted in ExitInstance
  // The hidden main frame; released (deleted) when its window is destroyed.
  std::unique_ptr<CMainFrame> m_pMainWnd;
  // Restart-manager support flags of the design; 1 = restart. The desktop
  // session restores a program by its .desktop file, so nothing reads this.
  unsigned m_dwRestartManagerSupportFlags = 0;
  std::string m_strLaunchTag;
};

// The application object of this process (null outside TorvaneMain).
CTorvaneApp* AfxGetApp();

// InitInstance, the loop, ExitInstance. Returns the process exit code.
int TorvaneMain(int argc, char** argv);
