// The stand-in operator itself: what it serves the client (version document,
// update package), its request log, its loopback-only listening and how it
// stops (its time-out, SIGTERM).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "NetFixture.h"
#include "platform/net/Transfer.h"

extern char** environ;

namespace {

std::string Fetch(const std::string& url) {
  std::string body;
  net::TransferResult r = net::FetchText(url, net::TransferOptions(), &body);
  EXPECT_TRUE(r.ok) << url << ": " << r.error;
  return body;
}

// Runs a program and waits for it; its exit status, or -1.
int RunAndWait(std::vector<std::string> args, const std::string& cwd) {
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(NetTest, OperatorServesTheVersionDocumentAndARunnablePackage) {
  std::string record = dir_ + "/ran.txt";
  OperatorProcess op({"--version", "1.0.0.9", "--record", record});
  ASSERT_TRUE(op.Start());

  // The version document answers whatever the query (the client appends the time).
  std::string doc = Fetch(op.Url("/update/version.xml?1700000000"));
  std::string package = op.Url("/update/package.sh");
  EXPECT_NE(doc.find("<CLIENT version=\"1.0.0.9\" url=\"" + package + "\"/>"), std::string::npos) << doc;

  // The package, downloaded and started as the client starts it, records that it ran and where.
  std::string path = dir_ + "/package.sh";
  ASSERT_TRUE(net::DownloadToFile(package, path, net::TransferOptions()).ok);
  ASSERT_EQ(chmod(path.c_str(), 0755), 0);
  std::filesystem::create_directory(dir_ + "/cwd");
  EXPECT_EQ(RunAndWait({path}, dir_ + "/cwd"), 0);
  std::string line = ReadFile(record);
  EXPECT_NE(line.find("\t" + path + "\t" + dir_ + "/cwd\n"), std::string::npos) << line;

  // Another package address is announced as given.
  OperatorProcess other({"--package-url", "http://127.0.0.1:1/elsewhere.sh", "--version-path", "/v.xml"});
  ASSERT_TRUE(other.Start());
  EXPECT_NE(Fetch(other.Url("/v.xml")).find("url=\"http://127.0.0.1:1/elsewhere.sh\""), std::string::npos);

  // One log line a request: target and status.
  std::string log = op.LogText();
  EXPECT_NE(log.find("GET /update/version.xml?1700000000 200"), std::string::npos) << log;
  EXPECT_NE(log.find("GET /update/package.sh 200"), std::string::npos) << log;
}

TEST_F(NetTest, OperatorListensOnTheLoopbackAddressOnly) {
  // Bound to 127.0.0.1 itself, not to every address: another loopback
  // address of this host is refused.
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(server_->Port()));
  inet_pton(AF_INET, "127.0.0.2", &a.sin_addr);
  int rc = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int err = errno;
  close(fd);
  EXPECT_NE(rc, 0);
  EXPECT_EQ(err, ECONNREFUSED);
}

TEST_F(NetTest, OperatorStopsByItselfAfterItsTimeOutAndOnSigterm) {
  std::string log = dir_ + "/op.log";
  int out = ::open((dir_ + "/out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(out, 0);
  std::vector<std::string> args = {OperatorProcess::ExecutablePath(), "--port", "0", "--timeout", "1", "--log", log};
  std::vector<char*> argv;
  for (auto& s : args) argv.push_back(s.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out, 1);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&fa);
  close(out);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_GT(std::atoi(ReadFile(dir_ + "/out").c_str()), 0);  // the port came first
  EXPECT_NE(ReadFile(log).find("stopped (time-out)"), std::string::npos) << ReadFile(log);

  OperatorProcess op;
  ASSERT_TRUE(op.Start());
  op.Stop();  // SIGTERM, then waits
  EXPECT_NE(op.LogText().find("stopped (SIGTERM)"), std::string::npos) << op.LogText();
}

}  // namespace
