// CMainFrame: the application's main window, never shown. It owns everything
// the player sees and everything that outlives one window: the skin, the
// launcher (CHtmlWnd), the current game window and a retired one waiting to
// be deleted, the download worker, the tray icon and its menu, and which of
// the two windows is the client's face. Its window class is named by the
// configuration's imClass; it receives the worker's, the tray's and the
// pages' messages and is the one way to end the program: WM_COMMAND with
// ID_APP_EXIT closes it, and its destruction ends the loop.
//
// It is the host of the browser views (CIEViewHost) and of the skinned
// windows (CSkinWndHost) it makes.
//
// User-interface thread only.
#pragma once

#include <memory>
#include <string>

#include "browser/IEViewHost.h"
#include "platform/ui/Menu.h"
#include "platform/ui/TrayIcon.h"
#include "platform/ui/Window.h"
#include "transfer/DownloadThread.h"
#include "windows/GameWnd.h"
#include "windows/HtmlWnd.h"
#include "windows/SkinWndHost.h"

class SkinDocument;

// The frame's content child; it has no content.
class CChildView : public CWnd {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

class CMainFrame : public CWnd, public CIEViewHost, public CSkinWndHost {
 public:
  // The tray icon's id and the tray menu's first entry.
  static constexpr UINT kTrayIconId = 200;
  static constexpr UINT ID_TRAY_SHOW = 201;
  static constexpr int kTrayMenuResource = 200;
  // How long the frame waits for the worker's thread at exit.
  static constexpr int kWorkerStopWaitMs = 3000;
  // ID_APP_EXIT during a message box or menu waits for its loop to end.
  static constexpr UINT_PTR kDeferredExitTimer = 1;
  static constexpr UINT kDeferredExitMs = 50;

  CMainFrame();
  ~CMainFrame() override;

  // Creates the frame's window (hidden); resource id 128 names its title.
  BOOL LoadFrame(UINT resourceId, DWORD style);

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  void PostNcDestroy() override;

  // Opens the game face: the launcher hides, the game window (made when there
  // is none) navigates to url, opens maximised and shows. An empty url only
  // shows and centres the game window with the page it holds.
  void OpenGameWindow(const std::string& url) override;
  // The game address for this player from the user-information service
  // (reason 0 at start-up, 1 on reload); without a launch tag the last game
  // address, without any network access. Blocks while the service answers
  // (bounded by the text fetch's time-outs).
  std::string GetGameUrl(int reason) override;
  // Queues a download of url into the download cache; nMsg reaches the
  // frame when it is done. Does not wake the worker.
  void RequestDownload(const std::string& url, UINT nMsg);
  // Queues the version document of this run (nothing without configParam).
  void RequestVersionInfo();
  // The update check (UpdateCheck.cpp). The version document arrived (lParam
  // the request id): it is examined through a copy beside the executable, or
  // where that cannot be written, directly; then it goes. Once a run.
  LRESULT OnVersionInfoLoaded(WPARAM wParam, LPARAM lParam);
  // Reads the version document at path; a newer CLIENT version queues its
  // package (url) and keeps what the package's check needs.
  void ProcessVersionInfo(const std::string& path);
  // The package arrived: started (its verified private copy) right before
  // the client exits when its signature verifies with updateKey; otherwise
  // deleted, said on stderr, and the client keeps running.
  LRESULT OnUpdateLoaded(WPARAM wParam, LPARAM lParam);
  // Shows the client's face: the game window in game mode, else the launcher.
  void ShowFace();

  // CIEViewHost.
  std::string GetConfigValue(const std::string& key) override;
  HWND GetMainFrameWnd() override { return m_hWnd; }
  HWND GetActiveGameWnd() override;
  bool IsGameMode() override { return m_bGameMode; }
  void SetGameMode(bool gameMode) override { m_bGameMode = gameMode; }
  void RetireGameWindow() override;
  bool HasLauncher() override { return m_pHtmlWnd != nullptr; }
  void ShowLauncher(BOOL show) override;
  void ConfirmQuit() override;
  void ShowChooseImages() override;
  // CSkinWndHost.
  bool CanHideToTray() override;

  std::string m_strLaunchTag;
  CChildView m_wndView;
  std::unique_ptr<SkinDocument> m_pSkin;
  std::unique_ptr<CHtmlWnd> m_pHtmlWnd;
  std::unique_ptr<CGameWnd> m_pGameWnd;
  std::unique_ptr<CGameWnd> m_pRetiredGameWnd;
  std::unique_ptr<CDownloadThread> m_pDownloadThread;
  CMenu m_menuTray;
  bool m_bGameMode = false;
  std::string m_strLastGameUrl;
  NOTIFYICONDATA m_nid;

  // What the version document announced, kept for the package's check.
  struct UPDATE_INFO {
    std::string strVersion;
    std::string strUrl;
    std::string strSig;
    bool bQueued = false;  // its package is being downloaded
  };
  UPDATE_INFO m_update;
  // The version document of this run was handled (one check a run).
  bool m_bVersionInfoDone = false;
  // Where the version document's copy config.xml goes; "" is the
  // executable's folder (tests point it at a folder of their own).
  std::string m_strVersionCopyDir;

 protected:
  int OnCreate(const CREATESTRUCT* cs);
  // What to call the frame's window class (the configuration's imClass).
  std::string PreCreateWindow();

 private:
  void AddTrayIcon();
  LRESULT OnTrayIconNotify(WPARAM wParam, LPARAM lParam);
  void ShowTrayMenu();
  LRESULT OnReleaseGameWnd();
  // Creates a game window object and its window (hidden).
  std::unique_ptr<CGameWnd> MakeGameWindow(DWORD exStyle);

  bool m_bTrayAdded = false;
  bool m_bSaidNoTray = false;
};

// Whether a version text announces a client newer than CLIENT_VERSION: the
// dotted fields compared as numbers, field by field, each read by its
// leading digits, missing fields counting as 0 ("1.0.0.10" and "1.0.1" are
// newer than "1.0.0.1"; "1.0.0.1a" and "" are not).
bool IsNewerVersion(const std::string& version);

// The process's main frame, its launcher and the skin while the frame exists
// (set in OnCreate, cleared by the frame's destruction).
extern CMainFrame* g_pMainFrame;
extern CHtmlWnd* g_pHtmlWnd;
