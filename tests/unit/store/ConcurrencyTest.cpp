// The store shared by several processes: concurrent writers lose nothing, and
// a writer killed in the middle of its writes leaves no torn value behind.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "platform/base/Text.h"
#include "platform/store/RegString.h"
#include "tests/unit/store/TempStore.h"

namespace {

constexpr const char* kKey = "SOFTWARE\\Velmora\\Load";

// The text a writer stores for value i: long enough to span several pages,
// and checkable from its name alone.
std::string Pattern(int writer, int i, std::size_t size) {
  std::string head = text::Format("%d:%d:", writer, i);
  std::string out = head;
  while (out.size() < size) out += static_cast<char>('a' + (i + static_cast<int>(out.size())) % 26);
  return out;
}

// Runs body in a child process and returns its pid; the child exits with
// body's result and never returns into the test.
template <class Body>
pid_t Fork(Body body) {
  store::Close();  // a child must not share the parent's connection
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

int ExitCode(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class ConcurrencyTest : public TempStore {};

TEST_F(ConcurrencyTest, TwoWritersLoseNothing) {
  constexpr int kValues = 1000;
  auto writer = [](int w) {
    return [w] {
      HKEY h = nullptr;
      if (RegCreateKeyEx(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                         &h, nullptr) != ERROR_SUCCESS)
        return 100;
      int failures = 0;
      for (int i = 0; i < kValues; ++i) {
        if (RegSetString(h, text::Format("w%d_%d", w, i).c_str(), Pattern(w, i, 64)) != ERROR_SUCCESS) ++failures;
        // Both also overwrite one shared value.
        if (RegSetString(h, "shared", Pattern(w, i, 64)) != ERROR_SUCCESS) ++failures;
      }
      RegCloseKey(h);
      store::Close();
      return failures ? 1 : 0;
    };
  };
  pid_t a = Fork(writer(1));
  pid_t b = Fork(writer(2));
  ASSERT_EQ(ExitCode(a), 0);
  ASSERT_EQ(ExitCode(b), 0);

  HKEY h = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &h), ERROR_SUCCESS);
  EXPECT_FALSE(store::UsingMemoryFallback());
  std::vector<RegValueEntry> values;
  ASSERT_EQ(RegEnumValues(h, &values), ERROR_SUCCESS);
  EXPECT_EQ(values.size(), 2u * kValues + 1);
  for (int w = 1; w <= 2; ++w) {
    for (int i = 0; i < kValues; ++i) {
      std::string s;
      ASSERT_EQ(RegQueryString(h, text::Format("w%d_%d", w, i).c_str(), &s), ERROR_SUCCESS) << w << ' ' << i;
      ASSERT_EQ(s, Pattern(w, i, 64));
    }
  }
  std::string shared;
  ASSERT_EQ(RegQueryString(h, "shared", &shared), ERROR_SUCCESS);
  EXPECT_TRUE(shared == Pattern(1, kValues - 1, 64) || shared == Pattern(2, kValues - 1, 64)) << shared;
  RegCloseKey(h);
}

TEST_F(ConcurrencyTest, WriterKilledMidWritesLeavesWholeValues) {
  constexpr std::size_t kSize = 16 * 1024;
  constexpr int kAcksBeforeKill = 200;
  int acks[2];
  ASSERT_EQ(pipe(acks), 0);
  pid_t child = Fork([&] {
    close(acks[0]);
    HKEY h = nullptr;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                       &h, nullptr) != ERROR_SUCCESS)
      return 100;
    for (int i = 0;; ++i) {
      if (RegSetString(h, text::Format("v%d", i).c_str(), Pattern(0, i, kSize)) != ERROR_SUCCESS) return 101;
      if (RegSetString(h, "current", Pattern(0, i, kSize)) != ERROR_SUCCESS) return 102;
      // Acknowledged only once both writes are committed.
      if (write(acks[1], &i, sizeof i) != sizeof i) return 103;
    }
  });
  close(acks[1]);
  int last = -1;
  for (int n = 0; n < kAcksBeforeKill; ++n) ASSERT_EQ(read(acks[0], &last, sizeof last), static_cast<ssize_t>(sizeof last));
  kill(child, SIGKILL);
  EXPECT_EQ(ExitCode(child), 128 + SIGKILL);
  close(acks[0]);

  HKEY h = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &h), ERROR_SUCCESS);
  EXPECT_FALSE(store::UsingMemoryFallback());
  std::vector<RegValueEntry> values;
  ASSERT_EQ(RegEnumValues(h, &values), ERROR_SUCCESS);
  std::map<std::string, std::string> byName;
  for (const auto& v : values) byName[v.name] = std::string(v.data.begin(), v.data.end());
  // Every acknowledged value is there, and every value there is whole.
  for (int i = 0; i <= last; ++i) ASSERT_TRUE(byName.count(text::Format("v%d", i))) << i;
  int current = -1;
  for (const auto& [name, data] : byName) {
    // Longer than the client's string buffer, so compared as stored: text and NUL.
    ASSERT_FALSE(data.empty()) << name;
    ASSERT_EQ(data.back(), '\0') << name;
    std::string s = data.substr(0, data.size() - 1);
    int i = text::Atoi(s.substr(2));
    ASSERT_EQ(s, Pattern(0, i, kSize)) << name;
    if (name == "current") current = i;
    else ASSERT_EQ(name, text::Format("v%d", i));
  }
  EXPECT_GE(current, last);
  // The store goes on working.
  HKEY w = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kKey, 0, KEY_WRITE, &w), ERROR_SUCCESS);
  EXPECT_EQ(RegSetString(w, "after", "1"), ERROR_SUCCESS);
  RegCloseKey(w);
  RegCloseKey(h);
}

}  // namespace
