// torvane-reg, the built tool, run against a private store: its output
// formats and exit codes.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/store/RegString.h"
#include "tests/unit/store/TempStore.h"

extern char** environ;

namespace {

struct Result {
  int code = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class RegToolTest : public TempStore {
 protected:
  Result Run(std::vector<std::string> args) {
    const char* bin = std::getenv("TORVANE_TEST_BIN");
    std::string tool = std::string(bin ? bin : ".") + "/torvane-reg";
    args.insert(args.begin(), tool);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string outPath = m_dir + "/out", errPath = m_dir + "/err";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    Result r;
    if (posix_spawn(&pid, tool.c_str(), &fa, nullptr, argv.data(), environ) == 0) {
      int status = 0;
      waitpid(pid, &status, 0);
      r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&fa);
    r.out = Slurp(outPath);
    r.err = Slurp(errPath);
    return r;
  }
};

const char kKey[] = "HKCU\\SOFTWARE\\Velmora\\\xE7\x90\xA5\xE7\x8F\x80";

TEST_F(RegToolTest, SetThenQueryAndList) {
  EXPECT_EQ(Run({"set", kKey, "AlwaysTop", "REG_SZ", "1"}).code, 0);
  EXPECT_EQ(Run({"set", kKey, "HotKey", "REG_DWORD", "4294967295"}).code, 0);
  EXPECT_EQ(Run({"set", kKey, "Mask", "REG_DWORD", "0x10"}).code, 0);
  EXPECT_EQ(Run({"set", kKey, "", "REG_EXPAND_SZ", "$HOME/a b"}).code, 0);
  EXPECT_EQ(Run({"set", "HKEY_CURRENT_USER\\SOFTWARE\\Velmora\\Other", "x", "REG_SZ", ""}).code, 0);

  Result q = Run({"query", kKey});
  EXPECT_EQ(q.code, 0);
  EXPECT_EQ(q.out,
            "\"\"\tREG_EXPAND_SZ\t$HOME/a b\n"
            "AlwaysTop\tREG_SZ\t1\n"
            "HotKey\tREG_DWORD\t4294967295\n"
            "Mask\tREG_DWORD\t16\n");
  q = Run({"query", "hkcu\\software\\VELMORA\\\xE7\x90\xA5\xE7\x8F\x80", "hotkey"});
  EXPECT_EQ(q.code, 0);
  EXPECT_EQ(q.out, "HotKey\tREG_DWORD\t4294967295\n");
  q = Run({"query", kKey, "\"\""});  // the default value, written ""
  EXPECT_EQ(q.out, "\"\"\tREG_EXPAND_SZ\t$HOME/a b\n");

  Result l = Run({"list", "HKCU\\SOFTWARE\\Velmora"});
  EXPECT_EQ(l.code, 0);
  EXPECT_EQ(l.out, "KEY\tOther\nKEY\t\xE7\x90\xA5\xE7\x8F\x80\n");
  l = Run({"list", "HKCU\\SOFTWARE\\Velmora\\Other"});
  EXPECT_EQ(l.out, "x\tREG_SZ\t\n");
}

TEST_F(RegToolTest, SeesWhatTheClientWrites) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, "CLSID\\{5c7d2a90}\\InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                           nullptr),
            ERROR_SUCCESS);
  RegSetString(h, "", "/opt/plugin.so");
  RegCloseKey(h);
  Result q = Run({"query", "HKCR\\CLSID\\{5c7d2a90}\\InprocServer32", ""});
  EXPECT_EQ(q.code, 0);
  EXPECT_EQ(q.out, "\"\"\tREG_SZ\t/opt/plugin.so\n");
}

TEST_F(RegToolTest, MissingKeysAndValuesExitWithOne) {
  Run({"set", kKey, "AlwaysTop", "REG_SZ", "1"});
  struct Case {
    std::vector<std::string> args;
  };
  const std::vector<std::vector<std::string>> missing = {
      {"query", "HKCU\\SOFTWARE\\Nope"},
      {"query", kKey, "Nope"},
      {"list", "HKCU\\SOFTWARE\\Nope"},
      {"delete", kKey, "Nope"},
      {"delete", "HKCU\\SOFTWARE\\Nope"},
  };
  for (const auto& args : missing) {
    Result r = Run(args);
    EXPECT_EQ(r.code, 1) << args[0] << ' ' << args.back();
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err, "");
  }
}

TEST_F(RegToolTest, DeleteRemovesAValueOrAWholeKey) {
  Run({"set", kKey, "AlwaysTop", "REG_SZ", "1"});
  Run({"set", kKey, "HotKey", "REG_SZ", "0"});
  Run({"set", std::string(kKey) + "\\Sub", "x", "REG_SZ", "1"});
  EXPECT_EQ(Run({"delete", kKey, "alwaystop"}).code, 0);
  EXPECT_EQ(Run({"query", kKey, "AlwaysTop"}).code, 1);
  EXPECT_EQ(Run({"query", kKey}).out, "HotKey\tREG_SZ\t0\n");
  EXPECT_EQ(Run({"delete", kKey}).code, 0);
  EXPECT_EQ(Run({"query", kKey}).code, 1);
  EXPECT_EQ(Run({"query", std::string(kKey) + "\\Sub"}).code, 1);
  EXPECT_EQ(Run({"list", "HKCU\\SOFTWARE\\Velmora"}).out, "");
}

TEST_F(RegToolTest, BadUsageExitsWithTwoAndChangesNothing) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"query"},
      {"frobnicate", kKey},
      {"query", "HKLM\\SOFTWARE"},
      {"set", kKey, "v", "REG_BINARY", "1"},
      {"set", kKey, "v", "REG_DWORD", "12abc"},
      {"set", kKey, "v", "REG_DWORD", "-1"},
      {"set", kKey, "v", "REG_DWORD", "4294967296"},
      {"set", kKey, "v", "REG_SZ"},
      {"delete", "HKCU"},
      {"list", kKey, "extra"},
  };
  for (const auto& args : bad) {
    Result r = Run(args);
    EXPECT_EQ(r.code, 2) << (args.empty() ? "" : args[0]) << ' ' << (args.empty() ? "" : args.back());
  }
  EXPECT_EQ(Run({"query", kKey}).code, 1);
  EXPECT_EQ(Run({"--help"}).code, 0);
}

TEST_F(RegToolTest, UnusableDatabaseExitsWithThreeAndIsLeftAlone) {
  std::filesystem::create_directories(m_dir + "/velmora");
  std::ofstream(DbPath(), std::ios::binary) << "not a database";
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"set", kKey, "AlwaysTop", "REG_SZ", "1"}, {"query", kKey}}) {
    Result r = Run(args);
    EXPECT_EQ(r.code, 3) << args[0];
    EXPECT_NE(r.err.find(DbPath()), std::string::npos) << r.err;
  }
  EXPECT_EQ(Slurp(DbPath()), "not a database");
}

}  // namespace
