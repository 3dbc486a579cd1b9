// The update check of the real client (gtk backend, WebKitGTK) under a
// private Xvfb, against the stand-in operator on the test port 18671: a
// newer signed package runs and the client exits, also from an install
// folder that cannot take the version document's copy; a tampered package
// is deleted and refused while the client keeps running; a version document
// that is missing, 404, malformed or 10 MB does nothing. The client copy
// runs from a temporary install folder with its own HOME and XDG folders;
// its timing trace (TORVANE_TRACE_FD) says when each step of the check has
// happened, so nothing here waits on a clock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/update/UpdateClient.h"
#include "tests/support/TestFiles.h"
#include "tests/support/VirtualDisplay.h"
#include "tools/operator/OperatorProcess.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using update_e2e::CountOf;
using update_e2e::UpdateClient;
using update_e2e::WaitForLine;

constexpr int kPort = 18671;
constexpr char kProduct[] = "更新测试";
constexpr int kStepTimeoutMs = 60000;

std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  if (fs::exists(dir))
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  return names;
}

std::string DevKeyPath() { return std::string(std::getenv("TORVANE_SOURCE_DIR")) + "/tools/operator/dev-update-key.pem"; }

class UpdateE2ETest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    display_ = new VirtualDisplay;
    if (!display_->Start()) {
      delete display_;
      display_ = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete display_;
    display_ = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(display_, nullptr) << "no Xvfb";
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');  // a parameterised test's name holds '/'
    root_ = fs::temp_directory_path() / ("torvane-update-e2e-" + std::to_string(getpid()) + "-" + name);
    std::error_code ec;
    fs::permissions(root_ / "install", fs::perms::owner_all, ec);
    fs::remove_all(root_);
    for (const char* sub : {"install", "home", "config", "cache", "data"}) fs::create_directories(root_ / sub);
    // The client as a player installs it: a copy in a folder of its own.
    exe_ = root_ / "install" / "torvane-update";
    fs::copy_file(fs::path(std::getenv("TORVANE_TEST_BIN")) / "torvane-update-fixture", exe_);
    record_ = root_ / "record.txt";
  }
  void TearDown() override {
    client_.reset();
    op_.reset();
    std::error_code ec;
    fs::permissions(root_ / "install", fs::perms::owner_all, ec);
    fs::remove_all(root_, ec);
  }

  void StartOperator(std::vector<std::string> args) {
    op_ = std::make_unique<OperatorProcess>(std::move(args));
    ASSERT_TRUE(op_->Start(kPort));
  }
  std::vector<std::string> SignedArgs() const {
    return {"--version", "1.0.0.2", "--sign-key", DevKeyPath(), "--sign-product", kProduct, "--record", record_.string()};
  }
  void StartClient() {
    client_ = std::make_unique<UpdateClient>();
    ASSERT_TRUE(client_->Start(root_, exe_));
  }
  fs::path CacheFolder() const { return root_ / "cache" / "velmora" / kProduct; }
  // Files of the download cache besides its index and lock.
  std::vector<std::string> CachedFiles() const {
    std::vector<std::string> files;
    for (const std::string& name : Names(CacheFolder()))
      if (name.rfind("index", 0) != 0 && name != "updates") files.push_back(name);
    return files;
  }
  // The install folder without the client itself (whatever name it took).
  std::vector<std::string> InstallExtras() const {
    std::vector<std::string> extras;
    for (const auto& e : fs::directory_iterator(root_ / "install"))
      if (!fs::is_regular_file(e.path()) || (fs::status(e.path()).permissions() & fs::perms::owner_exec) == fs::perms::none)
        extras.push_back(e.path().filename().string());
    return extras;
  }

  // The signed package ran from its private copy and the client ended by itself.
  void ExpectUpdateRan() {
    std::string started = client_->WaitForEvent("update-package-started", kStepTimeoutMs);
    ASSERT_FALSE(started.empty()) << client_->Stderr();
    ASSERT_TRUE(client_->WaitExit(30000)) << "the client keeps running after starting the package";
    EXPECT_TRUE(client_->ExitedCleanly());
    ASSERT_TRUE(WaitForLine(record_, 30000)) << "the package did not run";
    std::string line = ReadFile(record_.string());
    EXPECT_EQ(line.find("tampered"), std::string::npos);
    std::size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
    fs::path ran = line.substr(tab1 + 1, tab2 - tab1 - 1);
    EXPECT_EQ(ran.filename(), "package.sh") << line;
    EXPECT_EQ(ran.parent_path().parent_path(), CacheFolder() / "updates") << line;
    EXPECT_NE(started.find(ran.string()), std::string::npos) << started;
    EXPECT_EQ(fs::status(ran.parent_path()).permissions(), fs::perms::owner_all);
    EXPECT_TRUE(CachedFiles().empty()) << "the version document and the download are gone";
    std::string log = op_->LogText();
    EXPECT_EQ(CountOf(log, "GET /update/version.xml?"), 1) << log;
    EXPECT_EQ(CountOf(log, "GET /update/package.sh"), 1) << log;
  }

  static VirtualDisplay* display_;
  fs::path root_, exe_, record_;
  std::unique_ptr<OperatorProcess> op_;
  std::unique_ptr<UpdateClient> client_;
};

VirtualDisplay* UpdateE2ETest::display_ = nullptr;

TEST_F(UpdateE2ETest, ANewerSignedPackageRunsAndTheClientExits) {
  StartOperator(SignedArgs());
  StartClient();
  ExpectUpdateRan();
  EXPECT_TRUE(InstallExtras().empty()) << "nothing is left beside the executable";
}

TEST_F(UpdateE2ETest, AReadOnlyInstallFolderStillUpdates) {
  // Tests run as root, whom file modes do not stop: a folder named
  // config.xml takes the copy's place, and the folder is read-only besides.
  fs::create_directory(root_ / "install" / "config.xml");
  fs::permissions(root_ / "install", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  StartOperator(SignedArgs());
  StartClient();
  ExpectUpdateRan();
  EXPECT_EQ(InstallExtras(), std::vector<std::string>{"config.xml"});
  EXPECT_TRUE(fs::is_empty(root_ / "install" / "config.xml"));
}

TEST_F(UpdateE2ETest, ATamperedPackageIsDeletedAndNotRunAndTheClientStaysUp) {
  std::vector<std::string> args = SignedArgs();
  args.push_back("--tamper");
  StartOperator(args);
  StartClient();
  ASSERT_FALSE(client_->WaitForEvent("update-package-refused", kStepTimeoutMs).empty()) << client_->Stderr();
  EXPECT_TRUE(client_->Running());
  std::string err = client_->Stderr();
  EXPECT_EQ(CountOf(err, "torvane: update 1.0.0.2 from http://127.0.0.1:18671/update/package.sh deleted, not started: "
                         "its signature does not match"),
            1)
      << err;
  EXPECT_EQ(CountOf(op_->LogText(), "GET /update/package.sh"), 1);
  EXPECT_TRUE(CachedFiles().empty()) << "the package file is deleted";
  EXPECT_TRUE(Names(CacheFolder() / "updates").empty());
  EXPECT_FALSE(fs::exists(record_)) << "the package ran";
  EXPECT_TRUE(InstallExtras().empty());
  EXPECT_TRUE(client_->Quit()) << "the client ends the orderly way";
}

struct NoUpdateCase {
  const char* name;
  const char* document;  // served as the version document; nullptr: see args
  std::vector<std::string> args;
  bool server;
};

class UpdateE2ENoUpdateTest : public UpdateE2ETest, public ::testing::WithParamInterface<NoUpdateCase> {};

TEST_P(UpdateE2ENoUpdateTest, DoesNothing) {
  const NoUpdateCase& c = GetParam();
  std::vector<std::string> args = c.args;
  if (c.document) {
    fs::path doc = root_ / "version.xml";
    std::string text = c.document;
    if (text == "10MB")
      text = "<VERSIONINFO><CLIENT version=\"1.0.0.2\" url=\"http://127.0.0.1:18671/update/package.sh\"/><!--" +
             std::string(10 << 20, 'x') + "--></VERSIONINFO>";
    WriteFile(doc.string(), text);
    args.insert(args.end(), {"--version-file", doc.string()});
  }
  if (c.server) StartOperator(args);
  StartClient();
  std::string check = client_->WaitForEvent("update-check", kStepTimeoutMs);
  ASSERT_FALSE(check.empty()) << client_->Stderr();
  EXPECT_EQ(check.find("package"), std::string::npos) << check;
  EXPECT_TRUE(client_->Running());
  if (op_) {
    EXPECT_EQ(CountOf(op_->LogText(), "/update/package.sh"), 0);
  }
  EXPECT_TRUE(CachedFiles().empty()) << "the downloaded document is deleted";
  EXPECT_TRUE(InstallExtras().empty());
  EXPECT_FALSE(fs::exists(record_));
  EXPECT_TRUE(client_->Quit());
}

INSTANTIATE_TEST_SUITE_P(
    Documents, UpdateE2ENoUpdateTest,
    ::testing::Values(NoUpdateCase{"missing", nullptr, {}, false},
                      NoUpdateCase{"notfound", nullptr, {"--version-path", "/elsewhere/version.xml"}, true},
                      NoUpdateCase{"malformed", "<VERSIONINFO><CLIENT version=\"1.0.0.2\" url=\"http://x/\">", {}, true},
                      NoUpdateCase{"tenmegabytes", "10MB", {}, true}),
    [](const ::testing::TestParamInfo<NoUpdateCase>& info) { return std::string(info.param.name); });

}  // namespace
