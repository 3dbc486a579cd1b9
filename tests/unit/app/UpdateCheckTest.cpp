// The update check of the main frame on the headless display, with the real
// download worker against the stand-in operator: the version comparison,
// what a version document must hold, the copy beside the executable (or the
// document itself where that folder cannot take it), a signed package
// started from its private copy right before the frame ends, and every
// package whose signature fails deleted and refused with the client still
// running.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/AppMessages.h"
#include "app/ClientConfig.h"
#include "app/MainFrame.h"
#include "platform/base/Resources.h"
#include "platform/base/Text.h"
#include "platform/net/DownloadCache.h"
#include "platform/store/Registry.h"
#include "platform/ui/EventLoop.h"
#include "platform/ui/headless/Headless.h"
#include "tests/support/ScriptedEngine.h"
#include "tests/support/TestFiles.h"
#include "tools/operator/OperatorProcess.h"

namespace {

using scripted::ScriptedEngine;

constexpr char kProduct[] = "更新帧测试";
// The public key of tools/operator/dev-update-key.pem.
constexpr char kDevPublicKey[] = "M4KBcIqg6QS7nhRbYmiTx5W42mn1G/UWyMPrA71Oe9I=";
constexpr int kChainTimeoutMs = 20000;

std::string DevKeyPath() { return std::string(std::getenv("TORVANE_SOURCE_DIR")) + "/tools/operator/dev-update-key.pem"; }

std::string ConfigXml(const std::string& configParam, const std::string& updateKey) {
  return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?><CLIENTCONFIG><CONFIG userClientAbout=\"") + kProduct +
         "\" imClass=\"UpdateFrameTest\" homeUrl=\"http://home.example/client/home.html\" "
         "gameCheck=\"http://game.example/play/\" configParam=\"" +
         configParam + "\" updateKey=\"" + updateKey + "\"/></CLIENTCONFIG>";
}

// Waits, at most timeoutMs, until the file holds a whole line; woken by
// inotify on its folder.
bool WaitForLine(const std::filesystem::path& file, int timeoutMs) {
  int fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (fd < 0) return false;
  inotify_add_watch(fd, file.parent_path().c_str(), IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO);
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool found = false;
  while (!(found = ReadFile(file.string()).find('\n') != std::string::npos)) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) > 0) {
      char buf[4096];
      while (read(fd, buf, sizeof buf) > 0) {
      }
    }
  }
  close(fd);
  return found;
}

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(IsNewerVersionTest, DottedFieldsCompareAsNumbers) {
  struct Case {
    const char* version;
    bool newer;
  };
  const Case cases[] = {
      {"1.0.0.2", true},
      {"1.0.0.10", true},
      {"1.0.1", true},
      {"2.0", true},
      {"2", true},
      {"1.0.0.1.1", true},
      {"1.0.0.2b", true},
      {"1.0.0.99999999999999999999999", true},  // no overflow
      {" 1.0.0.2\n", true},
      {"1.0.0.1", false},
      {"1.0.0.1a", false},
      {"1.0.0.1.0", false},
      {"01.00.0.001", false},
      {"1.0.0.0", false},
      {"1.0.0", false},
      {"0.9.9.99", false},
      {"", false},
      {"abc", false},
      {"-2.0", false},
      {"1.0.0.-2", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsNewerVersion(c.version), c.newer) << '"' << c.version << '"';
}

class UpdateCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("torvane-update-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ / "install");
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
      setenv(var, (dir_ / var).c_str(), 1);
    record_ = dir_ / "record.txt";
    store::Close();
    ClientConfig::ResetForTesting();
    ASSERT_TRUE(ui::InitializeWith(ui::BackendKind::Headless));
    ui::headless::SetWorkArea(RECT{0, 0, 1920, 1050});
    engines_ = std::make_unique<ScriptedEngine::Install>();
  }
  void TearDown() override {
    if (frame_ && IsWindow(frameWnd_)) {
      ::PostMessage(frameWnd_, WM_COMMAND, ID_APP_EXIT, 0);
      ui::PumpUntilIdle();
    }
    engines_.reset();
    ui::Shutdown();
    ui::ResetQuit();
    ClientConfig::ResetForTesting();
    res::testing::Reset();
    store::Close();
    op_.reset();
    std::filesystem::remove_all(dir_);
  }

  // The stand-in operator, announcing and serving what args say.
  OperatorProcess& StartOperator(std::vector<std::string> args) {
    op_ = std::make_unique<OperatorProcess>(std::move(args));
    EXPECT_TRUE(op_->Start());
    return *op_;
  }
  std::vector<std::string> SignedArgs(const std::string& version = "1.0.0.2") {
    return {"--version", version, "--sign-key", DevKeyPath(), "--sign-product", kProduct, "--record", record_.string()};
  }
  // The frame, its version check under way; the copy of the version document
  // goes into dir_/install.
  CMainFrame& StartFrame(const std::string& configParam, const std::string& updateKey = kDevPublicKey) {
    res::testing::Override("XML", 400, ConfigXml(configParam, updateKey));
    frame_ = new CMainFrame();  // deletes itself when its window is destroyed
    frame_->m_strVersionCopyDir = (dir_ / "install").string();
    EXPECT_TRUE(frame_->LoadFrame(128, WS_OVERLAPPEDWINDOW));
    frameWnd_ = frame_->m_hWnd;
    ScriptedEngine::PumpEverything();
    return *frame_;
  }
  bool FrameAlive() const { return IsWindow(frameWnd_); }
  // Until the version document was handled and nothing more is downloading.
  bool WaitForChainEnd() {
    return ui::PumpUntil(
        [&] { return !FrameAlive() || (frame_->m_bVersionInfoDone && !frame_->m_update.bQueued); }, kChainTimeoutMs);
  }
  std::vector<net::CacheEntry> CacheEntries() const { return net::DownloadCache(kProduct).Entries(); }
  std::filesystem::path UpdatesFolder() const {
    return std::filesystem::path(net::DownloadCache(kProduct).Folder()) / "updates";
  }
  bool UpdatesFolderEmpty() const {
    return !std::filesystem::exists(UpdatesFolder()) || std::filesystem::is_empty(UpdatesFolder());
  }
  // Everything in the install folder.
  std::vector<std::string> InstallFolder() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_ / "install"))
      names.push_back(e.path().filename().string());
    return names;
  }

  // The package started from its private copy and the frame ended.
  void ExpectUpdateRan() {
    ASSERT_TRUE(WaitForChainEnd());
    EXPECT_FALSE(FrameAlive()) << "the frame ends after starting the package";
    EXPECT_TRUE(ui::QuitRequested());
    ASSERT_TRUE(WaitForLine(record_, 10000)) << "the package did not run";
    std::string line = ReadFile(record_.string());
    std::vector<std::string> fields;
    for (std::size_t start = 0, tab;; start = tab + 1) {
      tab = line.find_first_of("\t\n", start);
      fields.push_back(line.substr(start, tab - start));
      if (tab == std::string::npos || line[tab] == '\n') break;
    }
    ASSERT_EQ(fields.size(), 3u) << line;  // not the tampered package's line
    std::filesystem::path ran = fields[1];
    EXPECT_EQ(ran.filename(), "package.sh");
    EXPECT_EQ(ran.parent_path().parent_path(), UpdatesFolder()) << "it ran from its private copy";
    EXPECT_EQ(std::filesystem::status(ran.parent_path()).permissions(), std::filesystem::perms::owner_all);
    EXPECT_TRUE(CacheEntries().empty()) << "the version document and the download are gone";
    EXPECT_EQ(CountOf(op_->LogText(), "GET /update/package.sh"), 1);
  }

  std::filesystem::path dir_;
  std::filesystem::path record_;
  std::unique_ptr<ScriptedEngine::Install> engines_;
  std::unique_ptr<OperatorProcess> op_;
  CMainFrame* frame_ = nullptr;
  HWND frameWnd_ = nullptr;
};

TEST_F(UpdateCheckTest, ASignedNewerPackageStartsFromItsPrivateCopyAndTheFrameEnds) {
  OperatorProcess& op = StartOperator(SignedArgs());
  StartFrame(op.Url("/update/version.xml"));
  ExpectUpdateRan();
  // The version document was asked for with the time as its query, once.
  std::string log = op.LogText();
  EXPECT_EQ(CountOf(log, "GET /update/version.xml?"), 1) << log;
  EXPECT_TRUE(InstallFolder().empty()) << "the copy beside the executable goes when it was read";
}

TEST_F(UpdateCheckTest, AnInstallFolderThatCannotTakeTheCopyStillUpdates) {
  // A folder named config.xml stands where the copy would go (file modes do
  // not stop root, who runs the tests, from writing).
  std::filesystem::create_directory(dir_ / "install" / "config.xml");
  OperatorProcess& op = StartOperator(SignedArgs());
  StartFrame(op.Url("/update/version.xml"));
  ExpectUpdateRan();
  EXPECT_EQ(InstallFolder(), std::vector<std::string>{"config.xml"}) << "no temporary file is left behind";
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "install" / "config.xml"));
}

TEST_F(UpdateCheckTest, TheCopyReplacesWhatStandsUnderItsNameAndNeverWritesThroughALink) {
  std::filesystem::path victim = dir_ / "victim.txt";
  WriteFile(victim.string(), "precious\n");
  std::filesystem::create_symlink(victim, dir_ / "install" / "config.xml");
  OperatorProcess& op = StartOperator(SignedArgs("1.0.0.1"));
  CMainFrame& frame = StartFrame(op.Url("/update/version.xml"));
  ASSERT_TRUE(WaitForChainEnd());
  EXPECT_TRUE(frame.m_update.strUrl.empty()) << "1.0.0.1 is not newer";
  EXPECT_EQ(ReadFile(victim.string()), "precious\n");
  EXPECT_TRUE(InstallFolder().empty()) << "the link was replaced by the copy, and the copy deleted";
  EXPECT_TRUE(CacheEntries().empty());
}

TEST_F(UpdateCheckTest, APackageThatFailsItsCheckIsDeletedAndTheClientKeepsRunning) {
  std::string otherKey = (dir_ / "other.pem").string();
  {
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    FILE* f = std::fopen(otherKey.c_str(), "w");
    ASSERT_TRUE(key && f);
    PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(f);
    EVP_PKEY_free(key);
  }
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = {"--version", "1.0.0.2", "--record", record_.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  const std::vector<std::string> signedByDev = {"--sign-key", DevKeyPath(), "--sign-product", kProduct};
  auto plus = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string updateKey;
    const char* why;
  };
  const Case cases[] = {
      {"a tampered package", with(plus(signedByDev, {"--tamper"})), kDevPublicKey, "its signature does not match"},
      {"no signature", with({}), kDevPublicKey, "the version document carries no signature"},
      {"another key's signature", with({"--sign-key", otherKey, "--sign-product", kProduct}), kDevPublicKey,
       "its signature does not match"},
      {"a signature for an older version", with(plus(signedByDev, {"--sign-version", "1.0.0.1"})), kDevPublicKey,
       "its signature does not match"},
      {"another product's signature", with({"--sign-key", DevKeyPath()}), kDevPublicKey,
       "its signature does not match"},
      {"a client without updateKey", with(signedByDev), "", "this client has no update key"},
      {"a malformed updateKey", with(signedByDev), "M4KBcIqg6QS7nhRbYmiTx5W42mn1G",
       "this client's update key is not a valid Ed25519 public key"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OperatorProcess& op = StartOperator(c.args);
    ::testing::internal::CaptureStderr();
    CMainFrame& frame = StartFrame(op.Url("/update/version.xml"), c.updateKey);
    bool ended = WaitForChainEnd();
    std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ended);
    ASSERT_TRUE(FrameAlive()) << "the client keeps running";
    EXPECT_FALSE(ui::QuitRequested());
    EXPECT_TRUE(frame.m_pHtmlWnd->IsWindowVisible()) << "no window is hidden";
    EXPECT_EQ(CountOf(op.LogText(), "GET /update/package.sh"), 1) << "the package was downloaded";
    EXPECT_EQ(CountOf(err, "torvane: update"), 1) << err;
    EXPECT_NE(err.find("torvane: update 1.0.0.2 from " + op.Url("/update/package.sh") + " deleted, not started: " +
                       c.why),
              std::string::npos)
        << err;
    EXPECT_TRUE(CacheEntries().empty()) << "the package file is deleted";
    EXPECT_TRUE(UpdatesFolderEmpty());
    EXPECT_FALSE(std::filesystem::exists(record_)) << "the package never ran";
    EXPECT_TRUE(InstallFolder().empty());

    // Next case: a new frame, a new run.
    ::PostMessage(frameWnd_, WM_COMMAND, ID_APP_EXIT, 0);
    ui::PumpUntilIdle();
    ui::ResetQuit();
    ClientConfig::ResetForTesting();
  }
}

TEST_F(UpdateCheckTest, VersionDocumentsThatAnnounceNoUsableUpdateDoNothing) {
  std::string malformed = (dir_ / "malformed.xml").string();
  WriteFile(malformed, "<VERSIONINFO><CLIENT version=\"1.0.0.2\" url=\"http://127.0.0.1:9/p.sh\"></VERSIONINFO>");
  std::string secondElement = (dir_ / "second.xml").string();
  WriteFile(secondElement, "<A/><VERSIONINFO><CLIENT version=\"1.0.0.2\" url=\"http://127.0.0.1:9/p.sh\"/></VERSIONINFO>");
  // A whole, newer announcement followed by 10 MB: too large to be a version document.
  std::string huge = (dir_ / "huge.xml").string();
  WriteFile(huge, "<VERSIONINFO><CLIENT version=\"1.0.0.2\" url=\"http://127.0.0.1:9/p.sh\"/><!--" +
                      std::string(10 << 20, 'x') + "--></VERSIONINFO>");
  struct Case {
    const char* name;
    std::vector<std::string> args;  // empty: no operator at all
  };
  const Case cases[] = {
      {"no server", {}},
      {"404", {"--version-path", "/elsewhere/version.xml"}},
      {"malformed", {"--version-file", malformed}},
      {"CLIENT in the second element", {"--version-file", secondElement}},
      {"10 MB", {"--version-file", huge}},
      {"not newer", SignedArgs("1.0.0.1")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string url = "http://127.0.0.1:9/update/version.xml";  // nothing listens on the discard port
    if (!c.args.empty()) url = StartOperator(c.args).Url("/update/version.xml");
    CMainFrame& frame = StartFrame(url);
    ASSERT_TRUE(WaitForChainEnd());
    ASSERT_TRUE(FrameAlive());
    EXPECT_TRUE(frame.m_bVersionInfoDone);
    EXPECT_TRUE(frame.m_update.strUrl.empty()) << frame.m_update.strUrl;
    EXPECT_TRUE(frame.m_pHtmlWnd->IsWindowVisible());
    if (op_) {
      EXPECT_EQ(CountOf(op_->LogText(), "/update/package.sh"), 0);
    }
    EXPECT_TRUE(CacheEntries().empty()) << "the downloaded document is deleted";
    EXPECT_TRUE(InstallFolder().empty());

    ::PostMessage(frameWnd_, WM_COMMAND, ID_APP_EXIT, 0);
    ui::PumpUntilIdle();
    ui::ResetQuit();
    ClientConfig::ResetForTesting();
    op_.reset();
  }
}

TEST_F(UpdateCheckTest, ProcessVersionInfoQueuesOnlyANewerClientWithAnAddress) {
  CMainFrame& frame = StartFrame("");  // no check of its own
  const std::string pkg = "http://127.0.0.1:9/p.sh";  // downloads fail at once
  struct Case {
    const char* name;
    std::string bytes;
    std::string url;  // queued; "" nothing
  };
  const Case cases[] = {
      {"newer", "<VERSIONINFO><CLIENT version=\"1.0.0.2\" url=\"" + pkg + "\" sig=\"s\"/></VERSIONINFO>", pkg},
      {"any root name, declaration, comment and other attributes",
       "<?xml version=\"1.0\"?>\r\n<!-- c --><X a=\"1\"><Y/><CLIENT size=\"9\" version=\"1.0.0.10\" url=\"" + pkg +
           "?a=1&amp;b=2\"/></X>",
       pkg + "?a=1&b=2"},
      {"the first CLIENT counts",
       "<V><CLIENT version=\"1.0.0.1\" url=\"" + pkg + "\"/><CLIENT version=\"9\" url=\"" + pkg + "\"/></V>", ""},
      {"gb2312", text::Utf8ToGb18030("<?xml version=\"1.0\" encoding=\"gb2312\"?><版本><CLIENT version=\"2.0\" url=\"" +
                                     pkg + "\"/></版本>"),
       pkg},
      {"text after a NUL is not read",
       std::string("<V><CLIENT version=\"1.0.0.2\" url=\"" + pkg + "\"/></V>") + '\0' + "<<<garbage", pkg},
      {"not newer", "<V><CLIENT version=\"1.0.0.1\" url=\"" + pkg + "\"/></V>", ""},
      {"no version", "<V><CLIENT url=\"" + pkg + "\"/></V>", ""},
      {"no url", "<V><CLIENT version=\"1.0.0.2\"/></V>", ""},
      {"an empty url", "<V><CLIENT version=\"1.0.0.2\" url=\"\"/></V>", ""},
      {"CLIENT deeper down", "<V><W><CLIENT version=\"1.0.0.2\" url=\"" + pkg + "\"/></W></V>", ""},
      {"CLIENT in the second top-level element",
       "<A/><V><CLIENT version=\"1.0.0.2\" url=\"" + pkg + "\"/></V>", ""},
      {"client in lower case", "<V><client version=\"1.0.0.2\" url=\"" + pkg + "\"/></V>", ""},
      {"CLIENT itself at the top", "<CLIENT version=\"1.0.0.2\" url=\"" + pkg + "\"/>", ""},
      {"unclosed", "<V><CLIENT version=\"1.0.0.2\" url=\"" + pkg + "\"/>", ""},
      {"empty", "", ""},
      {"over 1 MB", "<V><CLIENT version=\"1.0.0.2\" url=\"" + pkg + "\"/>" + std::string(1 << 20, ' ') + "</V>", ""},
  };
  std::string path = (dir_ / "version.xml").string();
  for (const Case& c : cases) {
    frame.m_update = CMainFrame::UPDATE_INFO{};
    WriteFile(path, c.bytes);
    frame.ProcessVersionInfo(path);
    EXPECT_EQ(frame.m_update.strUrl, c.url) << c.name;
    EXPECT_EQ(frame.m_update.bQueued, !c.url.empty()) << c.name;
  }
  frame.m_update = CMainFrame::UPDATE_INFO{};
  frame.ProcessVersionInfo((dir_ / "missing.xml").string());
  EXPECT_FALSE(frame.m_update.bQueued);

  // What the package's check needs is kept; a second announcement in the
  // same run queues nothing more.
  WriteFile(path, "<V><CLIENT version=\"1.0.0.2\" url=\"" + pkg + "\" sig=\"c2ln\"/></V>");
  frame.ProcessVersionInfo(path);
  EXPECT_EQ(frame.m_update.strVersion, "1.0.0.2");
  EXPECT_EQ(frame.m_update.strSig, "c2ln");
  WriteFile(path, "<V><CLIENT version=\"1.0.0.3\" url=\"" + pkg + "?other\"/></V>");
  frame.ProcessVersionInfo(path);
  EXPECT_EQ(frame.m_update.strVersion, "1.0.0.2");
  EXPECT_EQ(frame.m_update.strUrl, pkg);
}

}  // namespace
