// Start-up and shutdown of the whole client on the headless backend: the
// order of the steps, the orderly exit from another thread and from SIGTERM,
// and a display that cannot be opened.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/ClientConfig.h"
#include "app/MainFrame.h"
#include "app/StartupTrace.h"
#include "app/TorvaneApp.h"
#include "platform/store/RegString.h"
#include "platform/store/Registry.h"
#include "platform/ui/Window.h"

extern char** environ;

namespace {

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("torvane-startup-" + std::to_string(getpid()) + "-" +
                                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (dir_ / "cache").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    setenv("HOME", dir_.c_str(), 1);
    setenv("TORVANE_BACKEND", "headless", 1);
    store::Close();
    startup::Clear();
  }
  void TearDown() override {
    unsetenv("TORVANE_READY_FD");
    store::Close();
    std::filesystem::remove_all(dir_);
  }

  static std::string Setting(const std::string& name) {
    HKEY key = nullptr;
    std::string value;
    std::string path = "SOFTWARE\\Velmora\\" + ClientConfig::Get()->GetUserClientAbout();
    if (RegOpenKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
    LONG rc = RegQueryString(key, name.c_str(), &value);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? value : "<unreadable>";
  }

  // Runs the built client with extra environment; returns its exit status.
  int RunClient(const std::vector<std::string>& env, bool terminateWhenReady, int* readyFd = nullptr,
                const char* client = "torvane") {
    std::string exe = std::string(std::getenv("TORVANE_TEST_BIN")) + "/" + client;
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    std::vector<std::string> envs;
    auto overridden = [&](const std::string& entry) {
      for (const auto& e : env)
        if (entry.compare(0, e.find('=') + 1, e, 0, e.find('=') + 1) == 0) return true;
      return false;
    };
    for (char** e = environ; *e; ++e)
      if (!overridden(*e)) envs.emplace_back(*e);
    for (const auto& e : env) envs.push_back(e);
    envs.push_back("TORVANE_READY_FD=" + std::to_string(fds[1]));
    std::vector<char*> envp;
    for (auto& e : envs) envp.push_back(e.data());
    envp.push_back(nullptr);
    char* argv[] = {exe.data(), nullptr};
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    close(fds[1]);
    char buf[16] = {};
    ssize_t n = read(fds[0], buf, sizeof buf);  // "ready\n", or EOF when the client ended first
    close(fds[0]);
    if (readyFd) *readyFd = static_cast<int>(n);
    // A client that reached its loop is ended the orderly way; one that was
    // not meant to get there is ended too, so a failing test cannot hang.
    if (n > 0) kill(pid, terminateWhenReady ? SIGTERM : SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
  }

  std::filesystem::path dir_;
};

TEST_F(StartupTest, StepsRunInOrderAndExitFromAnotherThreadWritesTheSettings) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  setenv("TORVANE_READY_FD", std::to_string(fds[1]).c_str(), 1);
  std::thread quitter([read = fds[0]] {
    char buf[8];
    if (::read(read, buf, sizeof buf) > 0 && g_pMainFrame) PostMessage(g_pMainFrame->m_hWnd, WM_COMMAND, ID_APP_EXIT, 0);
    close(read);
  });
  std::string program = "/games/client_10086.exe";
  char* argv[] = {program.data(), nullptr};
  int code = TorvaneMain(1, argv);
  close(fds[1]);  // harmless when the client closed it; unblocks the reader if it never wrote
  quitter.join();
  EXPECT_EQ(code, 0);
  std::vector<std::string> expected = {
      "InitCommonControls", "BaseInitInstance",  "DisplayOpened", "EnableControlContainer", "GraphicsStartup",
      "LaunchTag",          "ConfigLoaded",      "AppId",         "MainFrameOnCreate",
      "SkinLoaded",         "WindowsCreated",    "FirstFace",     "MainFrameCreated",
      "MessageLoop",        "AppExit",           "MainFrameDestroyed", "ExitInstance",      "ConfigDeleted",
      "GraphicsShutdown"};
  EXPECT_EQ(startup::Steps(), expected);
  for (const char* name : {"AlwaysTop", "UseHotKey", "HotKey"}) EXPECT_EQ(Setting(name), "0") << name;
  ClientConfig::ResetForTesting();
}

TEST_F(StartupTest, FrameWindowCarriesTheConfiguredClassAndTheLaunchTag) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  setenv("TORVANE_READY_FD", std::to_string(fds[1]).c_str(), 1);
  std::string className, tag, appId;
  bool hidden = false;
  std::thread quitter([&, read = fds[0]] {
    char buf[8];
    if (::read(read, buf, sizeof buf) > 0 && g_pMainFrame) {
      // The loop has run idle and waits; reading the frame from here is safe
      // until the exit is posted.
      className = GetClassName(g_pMainFrame->m_hWnd);
      tag = g_pMainFrame->m_strLaunchTag;
      hidden = !IsWindowVisible(g_pMainFrame->m_hWnd);
      appId = CTorvaneApp::AppId(ClientConfig::Get()->GetUserClientAbout());
      PostMessage(g_pMainFrame->m_hWnd, WM_COMMAND, ID_APP_EXIT, 0);
    }
    close(read);
  });
  std::string program = "/games/client_77(1).exe";
  char* argv[] = {program.data(), nullptr};
  EXPECT_EQ(TorvaneMain(1, argv), 0);
  close(fds[1]);
  quitter.join();
  EXPECT_EQ(tag, "77");
  EXPECT_TRUE(hidden);
  ClientConfig* config = ClientConfig::Get();
  EXPECT_EQ(className, config->GetImClass());
  EXPECT_FALSE(className.empty());
  EXPECT_EQ(appId, "Velmora." + config->GetUserClientAbout() + ".1");
  ClientConfig::ResetForTesting();
}

TEST_F(StartupTest, SigtermEndsTheClientInOrderAndTheSettingsAreWrittenBack) {
  // A readable value is normalised only when it is written back at exit.
  HKEY key = nullptr;
  std::string path = "SOFTWARE\\Velmora\\" + ClientConfig::Get()->GetUserClientAbout();
  ClientConfig::ResetForTesting();
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                           nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetString(key, "AlwaysTop", " 12abc"), ERROR_SUCCESS);
  RegCloseKey(key);
  store::Close();

  int ready = 0;
  int status = RunClient({}, true, &ready);
  ASSERT_GT(ready, 0) << "the client never reached its loop";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  store::Close();
  EXPECT_EQ(Setting("AlwaysTop"), "12");
  EXPECT_EQ(Setting("HotKey"), "0");
  ClientConfig::ResetForTesting();
}

TEST_F(StartupTest, DisplayThatCannotBeOpenedEndsWithOneAndWritesNothing) {
  int status = RunClient({"TORVANE_BACKEND=gtk", "DISPLAY=:987", "WAYLAND_DISPLAY="}, false);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "config")) << "nothing may be written";
  EXPECT_FALSE(std::filesystem::exists(dir_ / "Desktop"));
}

TEST_F(StartupTest, BrandedVariantKeepsItsSettingsUnderItsOwnTitle) {
  int ready = 0;
  int status = RunClient({}, true, &ready, "torvane-variant-fixture");
  ASSERT_GT(ready, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  store::Close();
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "SOFTWARE\\Velmora\\Variant Test", 0, KEY_READ, &key), ERROR_SUCCESS);
  std::string value;
  EXPECT_EQ(RegQueryString(key, "UseHotKey", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, "0");
  RegCloseKey(key);
}

// The timing trace for benchmarks: every step and the launcher's first frame,
// one line each, in order, with times that never go back; a descriptor that is
// not open is reported and the client runs as usual.
TEST_F(StartupTest, TimingTraceListsTheStepsInOrderAndABadDescriptorChangesNothing) {
  int trace[2];
  ASSERT_EQ(pipe(trace), 0);
  int ready = 0;
  int status = RunClient({"TORVANE_TRACE_FD=" + std::to_string(trace[1])}, true, &ready);
  close(trace[1]);
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = read(trace[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
  close(trace[0]);
  ASSERT_GT(ready, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  std::vector<std::string> names;
  double last = -1;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string name;
    double ms = -1;
    fields >> name >> ms;
    ASSERT_FALSE(name.empty()) << text;
    EXPECT_GE(ms, last) << line;
    last = ms;
    names.push_back(name);
  }
  std::vector<std::string> inOrder = {"DisplayOpened", "ConfigLoaded", "MainFrameOnCreate", "SkinLoaded",
                                      "WindowsCreated", "FirstFace", "MessageLoop", "ExitInstance"};
  auto at = names.begin();
  for (const std::string& step : inOrder) {
    at = std::find(at, names.end(), step);
    ASSERT_NE(at, names.end()) << step << " missing or out of order in:\n" << text;
  }
  EXPECT_EQ(std::count(names.begin(), names.end(), "launcher-first-frame"), 1) << text;

  ready = 0;
  status = RunClient({"TORVANE_TRACE_FD=987"}, true, &ready);
  ASSERT_GT(ready, 0) << "a bad trace descriptor stopped the client";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(StartupTest, UnknownBackendIsRefusedClearly) {
  int status = RunClient({"TORVANE_BACKEND=wayland-please"}, false);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

}  // namespace
