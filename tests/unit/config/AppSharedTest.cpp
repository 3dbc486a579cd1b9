// The shared operations: the executable's path, starting a program and
// opening an address in the user's browser (here a recording stand-in).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/AppShared.h"
#include "platform/base/Paths.h"
#include "platform/shell/Process.h"

namespace {

TEST(AppShared, ModulePathWithAndWithoutFileName) {
  std::string full = GetModulePath(true);
  EXPECT_EQ(full, std::filesystem::read_symlink("/proc/self/exe").string());
  std::string dir = GetModulePath(false);
  EXPECT_EQ(dir + "/" + std::filesystem::path(full).filename().string(), full);
  EXPECT_NE(dir.back(), '/');
  EXPECT_STREQ(CLIENT_VERSION, "1.0.0.1");
}

class AppSharedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/torvane-shared XXXXXX";  // a blank in the folder name, on purpose
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    m_dir = tmpl;
  }
  void TearDown() override {
    unsetenv("TORVANE_OPENER");
    std::filesystem::remove_all(m_dir);
  }
  // A script that writes its arguments, one a line, into the FIFO "record"
  // beside it; the test reads them from there.
  std::string Script(const char* name) {
    std::string path = m_dir + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n{ for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$(dirname \"$0\")/record\"\n";
    chmod(path.c_str(), 0700);
    if (access((m_dir + "/record").c_str(), F_OK) != 0) mkfifo((m_dir + "/record").c_str(), 0600);
    return path;
  }
  // What the started script wrote, once it closed the FIFO; "<nothing>" when
  // no script opened it within ten seconds.
  std::string ReadRecord() {
    int fd = open((m_dir + "/record").c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return "<no fifo>";
    std::string out;
    bool opened = false;
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 10000) <= 0) break;
      char buf[256];
      ssize_t n = read(fd, buf, sizeof buf);
      if (n > 0) {
        out.append(buf, static_cast<std::size_t>(n));
        opened = true;
      } else if (n == 0 && (p.revents & POLLHUP)) {
        opened = true;  // the writer closed it
        break;
      }
    }
    close(fd);
    return opened ? out : "<nothing>";
  }
  std::string m_dir;
};

TEST_F(AppSharedFiles, LaunchProcessRunsAPathWithBlanksAsItStands) {
  std::string script = Script("set up.sh");
  ASSERT_TRUE(LaunchProcess(script));
  EXPECT_EQ(ReadRecord(), "");  // started, with no arguments
}

TEST_F(AppSharedFiles, LaunchProcessSplitsOtherLinesIntoWords) {
  std::string script = Script("run.sh");
  ASSERT_TRUE(LaunchProcess("'" + script + "' one \"two words\" three\\ four"));
  EXPECT_EQ(ReadRecord(), "one\ntwo words\nthree four\n");
  EXPECT_FALSE(LaunchProcess(m_dir + "/missing.exe"));
  EXPECT_FALSE(LaunchProcess(""));
}

TEST_F(AppSharedFiles, OpenInBrowserHandsTheAddressToTheOpener) {
  setenv("TORVANE_OPENER", Script("opener.sh").c_str(), 1);
  OpenInBrowser("http://127.0.0.1:18630/pay/index.html?appkey=a&b=c d");
  EXPECT_EQ(ReadRecord(), "http://127.0.0.1:18630/pay/index.html?appkey=a&b=c d\n");
}

}  // namespace
