#include "platform/shell/Process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/base/DisplayEnvironment.h"

extern char** environ;

namespace shell {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Gives a program file its owner's run bit when it lacks it.
void EnsureRunBit(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & S_IXUSR)) return;
  chmod(path.c_str(), (st.st_mode & 07777) | S_IXUSR);
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  std::size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (IsBlank(c)) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      ++i;
      continue;
    }
    inWord = true;
    if (c == '\\') {
      if (i + 1 < line.size()) {
        if (line[i + 1] != '\n') word += line[i + 1];  // backslash-newline joins lines
        i += 2;
      } else {
        word += c;
        ++i;
      }
    } else if (c == '\'') {
      std::size_t close = line.find('\'', i + 1);
      if (close == std::string_view::npos) return {};
      word.append(line.substr(i + 1, close - i - 1));
      i = close + 1;
    } else if (c == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char d = line[i];
        if (d == '"') {
          closed = true;
          ++i;
          break;
        }
        if (d == '\\' && i + 1 < line.size() && std::strchr("$`\"\\\n", line[i + 1])) {
          if (line[i + 1] != '\n') word += line[i + 1];
          i += 2;
          continue;
        }
        word += d;
        ++i;
      }
      if (!closed) return {};
    } else {
      word += c;
      ++i;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::vector<std::string> ChildEnvironment() {
  const char* saved = std::getenv(kUserGdkBackendVar);
  const std::string savedPrefix = std::string(kUserGdkBackendVar) + "=";
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string_view entry(*e);
    if (entry.substr(0, savedPrefix.size()) == savedPrefix) continue;
    if (saved && entry.substr(0, 12) == "GDK_BACKEND=") continue;  // the user's comes back below
    env.emplace_back(entry);
  }
  if (saved && *saved) env.push_back(std::string("GDK_BACKEND=") + saved);
  return env;
}

bool StartProgram(const std::vector<std::string>& argv, pid_t* pidOut) {
  if (argv.empty() || argv[0].empty()) return false;
  bool byPath = argv[0].find('/') != std::string::npos;
  if (byPath) EnsureRunBit(argv[0]);

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  // Its own session: the program outlives the client and its terminal.
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);

  std::vector<std::string> env = ChildEnvironment();
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  int rc = byPath ? posix_spawn(&pid, args[0], &actions, &attr, args.data(), envp.data())
                  : posix_spawnp(&pid, args[0], &actions, &attr, args.data(), envp.data());
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    std::fprintf(stderr, "torvane: cannot start %s: %s\n", argv[0].c_str(), std::strerror(rc));
    return false;
  }
  if (pidOut) {
    *pidOut = pid;
  } else {
    std::thread([pid] {
      int status;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  }
  return true;
}

bool StartProcess(std::string_view commandLine, pid_t* pid) {
  std::string whole(commandLine);
  if (!whole.empty() && IsRegularFile(whole)) return StartProgram({whole}, pid);
  std::vector<std::string> argv = SplitCommandLine(commandLine);
  if (argv.empty()) {
    std::fprintf(stderr, "torvane: cannot start \"%s\": no program named\n", whole.c_str());
    return false;
  }
  return StartProgram(argv, pid);
}

}  // namespace shell
