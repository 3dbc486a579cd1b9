// Starting programs: how a command line is read, what the child inherits,
// the run bit; and the opener stand-in.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/shell/Opener.h"
#include "platform/shell/Process.h"

namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandLine, SplitsAsAShellWouldWithoutExpanding) {
  struct Case {
    const char* line;
    Words words;
  };
  const Case cases[] = {
      {"prog", {"prog"}},
      {"  prog   a\tb \n c ", {"prog", "a", "b", "c"}},
      {"prog 'a b' \"c d\"", {"prog", "a b", "c d"}},
      {"prog a\\ b", {"prog", "a b"}},
      {"prog 'it''s'", {"prog", "its"}},
      {"prog \"say \\\"hi\\\" \\$x \\q\"", {"prog", "say \"hi\" $x \\q"}},
      {"prog 'back\\slash'", {"prog", "back\\slash"}},
      {"prog '' \"\"", {"prog", "", ""}},
      {"prog $HOME *.exe ~ `x` a;b", {"prog", "$HOME", "*.exe", "~", "`x`", "a;b"}},
      {"pre'fix'\"ed\" word", {"prefixed", "word"}},
      {"prog trailing\\", {"prog", "trailing\\"}},
      {"", {}},
      {"   ", {}},
      {"prog 'open", {}},
      {"prog \"open", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(shell::SplitCommandLine(c.line), c.words) << c.line;
}

class ShellFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/torvane shell XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    m_dir = tmpl;
  }
  void TearDown() override {
    unsetenv("TORVANE_OPENER");
    std::filesystem::remove_all(m_dir);
  }
  std::string Write(const char* name, const std::string& body, mode_t mode) {
    std::string path = m_dir + "/" + name;
    std::ofstream(path) << body;
    chmod(path.c_str(), mode);
    return path;
  }
  std::string Read(const char* name) {
    std::ifstream in(m_dir + "/" + name);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string m_dir;
};

// A script that records its arguments and what it inherited.
const char kRecorder[] =
    "#!/bin/sh\n"
    "out=\"$(dirname \"$0\")/out\"\n"
    "for a in \"$@\"; do printf 'arg %s\\n' \"$a\"; done > \"$out\"\n"
    "ls /proc/$$/fd | sort -n | tr '\\n' ' ' >> \"$out\"\n"
    "printf '\\nsig %s\\n' \"$(grep SigBlk /proc/$$/status | tr -d ' \\t')\" >> \"$out\"\n"
    "[ \"$(cat /proc/$$/stat | cut -d' ' -f6)\" = \"$$\" ] && echo session >> \"$out\"\n";

TEST_F(ShellFiles, AWholeLineNamingAFileRunsThatFile) {
  std::string script = Write("my setup.sh", kRecorder, 0700);
  pid_t pid = 0;
  ASSERT_TRUE(shell::StartProcess(script, &pid));
  EXPECT_EQ(Wait(pid), 0);
  std::string out = Read("out");
  EXPECT_EQ(out.find("arg"), std::string::npos) << out;  // no arguments
}

TEST_F(ShellFiles, TheChildGetsOnlyStandardFilesDefaultSignalsAndItsOwnSession) {
  std::string script = Write("rec.sh", kRecorder, 0700);
  int leaked = open("/dev/null", O_RDONLY);  // not close-on-exec
  ASSERT_GE(leaked, 3);
  sigset_t block, old;
  sigemptyset(&block);
  sigaddset(&block, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &block, &old);
  pid_t pid = 0;
  bool started = shell::StartProcess("\"" + script + "\" x 'y z'", &pid);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  close(leaked);
  ASSERT_TRUE(started);
  EXPECT_EQ(Wait(pid), 0);
  std::string out = Read("out");
  EXPECT_NE(out.find("arg x\narg y z\n"), std::string::npos) << out;
  // The test's own open file did not reach the child.
  EXPECT_EQ(out.find(" " + std::to_string(leaked) + " "), std::string::npos) << out;
  EXPECT_NE(out.find("sig SigBlk:0000000000000000"), std::string::npos) << out;
  EXPECT_NE(out.find("session"), std::string::npos) << out;
}

// The client forces GDK_BACKEND=x11 for itself; a started program gets the
// user's own value back, or none when the user had none.
TEST_F(ShellFiles, AStartedProgramSeesTheUsersDisplayChoice) {
  std::string script = Write("env.sh", "#!/bin/sh\nenv > \"$(dirname \"$0\")/env\"\n", 0700);
  struct Case {
    const char* saved;  // nullptr: the window layer never ran
    const char* expected;  // GDK_BACKEND line the child sees, "" for none
  } cases[] = {{"wayland", "GDK_BACKEND=wayland\n"}, {"", ""}, {nullptr, "GDK_BACKEND=x11\n"}};
  for (const Case& c : cases) {
    setenv("GDK_BACKEND", "x11", 1);
    if (c.saved) setenv("TORVANE_USER_GDK_BACKEND", c.saved, 1);
    else unsetenv("TORVANE_USER_GDK_BACKEND");
    pid_t pid = 0;
    ASSERT_TRUE(shell::StartProcess(script, &pid));
    EXPECT_EQ(Wait(pid), 0);
    std::string env = "\n" + Read("env");
    std::size_t at = env.find("\nGDK_BACKEND=");
    std::string line = at == std::string::npos ? "" : env.substr(at + 1, env.find('\n', at + 1) - at);
    EXPECT_EQ(line, c.expected) << (c.saved ? c.saved : "(unset)");
    EXPECT_EQ(env.find("TORVANE_USER_GDK_BACKEND"), std::string::npos);
  }
  unsetenv("GDK_BACKEND");
  unsetenv("TORVANE_USER_GDK_BACKEND");
}

TEST_F(ShellFiles, AProgramWithoutItsRunBitGetsIt) {
  std::string script = Write("package.run", kRecorder, 0600);
  pid_t pid = 0;
  ASSERT_TRUE(shell::StartProcess(script, &pid));
  EXPECT_EQ(Wait(pid), 0);
  struct stat st;
  ASSERT_EQ(stat(script.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  EXPECT_FALSE(st.st_mode & (S_IXGRP | S_IXOTH));
}

TEST_F(ShellFiles, ProgramsAreLookedUpOnPathAndFailuresReported) {
  pid_t pid = 0;
  ASSERT_TRUE(shell::StartProcess("sh -c 'exit 7'", &pid));
  EXPECT_EQ(Wait(pid), 7);
  EXPECT_FALSE(shell::StartProcess(m_dir + "/missing program"));
  EXPECT_FALSE(shell::StartProcess("torvane-no-such-program-anywhere"));
  EXPECT_FALSE(shell::StartProcess("prog 'unclosed"));
  EXPECT_FALSE(shell::StartProcess(""));
  EXPECT_FALSE(shell::StartProcess(m_dir));  // a folder is not a program
}

TEST_F(ShellFiles, TheTestOpenerReceivesTheTarget) {
  // The opener writes into a FIFO, so the test can wait for it although the
  // shell layer starts it in the background.
  std::string fifo = m_dir + "/opened";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string opener = Write("opener.sh", "#!/bin/sh\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/opened\"\n", 0700);
  setenv("TORVANE_OPENER", opener.c_str(), 1);
  ASSERT_TRUE(shell::OpenWithDefaultHandler("http://127.0.0.1:18630/a b?x=1&y=2"));
  int fd = open(fifo.c_str(), O_RDONLY);  // blocks until the opener opens it
  ASSERT_GE(fd, 0);
  std::string got;
  char buf[256];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) got.append(buf, static_cast<std::size_t>(n));
  close(fd);
  EXPECT_EQ(got, "http://127.0.0.1:18630/a b?x=1&y=2|");
}

}  // namespace
