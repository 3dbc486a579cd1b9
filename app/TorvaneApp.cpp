#include "app/TorvaneApp.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/AppShared.h"
#include "app/ClientConfig.h"
#include "app/LaunchTag.h"
#include "app/MainFrame.h"
#include "app/ShellSetup.h"
#include "app/StartupTrace.h"
#include "platform/base/Resources.h"
#include "platform/store/Registry.h"
#include "platform/base/Text.h"
#include "platform/ui/EventLoop.h"
#include "platform/ui/Window.h"

namespace {

CTorvaneApp* g_pApp = nullptr;

constexpr unsigned AFX_RESTART_MANAGER_SUPPORT_RESTART = 1;
constexpr UINT kFrameResource = 128;

// With TORVANE_READY_FD set, the client writes "ready\n" to that descriptor
// once its loop has run idle the first time (start-up notification for
// benchmarks and end-to-end tests), then closes it.
void NotifyReady() {
  const char* fd = std::getenv("TORVANE_READY_FD");
  if (!fd || !*fd) return;
  int n = text::Atoi(fd);
  if (n < 0) return;
  ssize_t w = write(n, "ready\n", 6);
  (void)w;
  close(n);
}

}  // namespace

CTorvaneApp* AfxGetApp() { return g_pApp; }

CTorvaneApp::CTorvaneApp() : m_dwRestartManagerSupportFlags(AFX_RESTART_MANAGER_SUPPORT_RESTART) {}

CTorvaneApp::~CTorvaneApp() = default;

std::string CTorvaneApp::AppId(const std::string& productTitle) {
  return ProgramClass(productTitle);  // the launcher's StartupWMClass too
}

bool CTorvaneApp::InitInstance(int argc, char** argv) {
  // Common controls and the class library's own start-up: GTK's, below.
  startup::Record("InitCommonControls");
  startup::Record("BaseInitInstance");
  // The display takes the place of the object-linking runtime: without it
  // nothing else may happen, and nothing is written.
  if (!ui::Initialize(&argc, &argv)) {
    std::fprintf(stderr, "torvane: the display could not be opened; the client cannot start.\n");
    startup::Record("DisplayFailed");
    return false;
  }
  startup::Record("DisplayOpened");
  startup::Record("EnableControlContainer");
  startup::Record("GraphicsStartup");
  m_strLaunchTag = GetLaunchTag(argc, argv);
  startup::Record("LaunchTag");
  // The client's own load: the shell set-up runs here and nowhere else.
  m_pConfig = ClientConfig::GetForClient();
  startup::Record("ConfigLoaded");
  ui::SetApplicationId(AppId(m_pConfig->GetUserClientAbout()));
  startup::Record("AppId");

  m_pMainWnd = std::make_unique<CMainFrame>();
  m_pMainWnd->m_strLaunchTag = m_strLaunchTag;
  if (!m_pMainWnd->LoadFrame(kFrameResource, WS_OVERLAPPEDWINDOW | 0x8000)) {
    // The frame could not be made: end the process in order rather than run a
    // loop nothing can ever end.
    std::fprintf(stderr, "torvane: the main window could not be created\n");
    m_pMainWnd.reset();
  }
  startup::Record("MainFrameCreated");
  return true;
}

int CTorvaneApp::ExitInstance(int loopCode) {
  startup::Record("ExitInstance");
  if (m_pConfig) {
    delete m_pConfig;  // writes the user settings back first
    m_pConfig = nullptr;
    store::Close();    // folds the database's write-ahead log back into the file
    startup::Record("ConfigDeleted");
  }
  startup::Record("GraphicsShutdown");
  ui::Shutdown();
  return loopCode;
}

int TorvaneMain(int argc, char** argv) {
  CTorvaneApp app;
  g_pApp = &app;
  int code = 1;
  if (app.InitInstance(argc, argv)) {
    int loopCode = 1;  // without a main frame nothing could ever end a loop
    if (app.m_pMainWnd) {
      // A desktop session's logout (SIGTERM) and Ctrl+C end the program the
      // orderly way, so the settings are still written back.
      ui::SetTerminateMessage(app.m_pMainWnd->m_hWnd, WM_COMMAND, ID_APP_EXIT, 0);
      ui::PumpUntilIdle();
      NotifyReady();
      startup::Record("MessageLoop");
      loopCode = ui::RunMessageLoop();
      ui::SetTerminateMessage(nullptr, 0, 0, 0);
    }
    code = app.ExitInstance(loopCode);
  }
  g_pApp = nullptr;
  return code;
}
