// The stand-in operator itself: what it serves the client (version document,
// update package, the demo site's pages), its request log, its loopback-only
// listening and how it stops (its time-out, SIGTERM).
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
#include <cstring>
#include <regex>
#include <set>

#include "NetFixture.h"
#include "platform/base/Text.h"
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

struct RawAnswer {
  int status = 0;
  std::string contentType;
  std::string body;
};

// One GET over a plain socket (HTTP/1.0, so the server closes after the
// answer), which shows the answer's own headers.
RawAnswer RawGet(int port, const std::string& target) {
  RawAnswer answer;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return answer;
  timeval limit{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
  std::string raw;
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
      char buf[8192];
      ssize_t n;
      while ((n = recv(fd, buf, sizeof buf, 0)) > 0) raw.append(buf, static_cast<size_t>(n));
    }
  }
  close(fd);
  size_t end = raw.find("\r\n\r\n");
  if (raw.rfind("HTTP/1.", 0) != 0 || end == std::string::npos) return answer;
  answer.status = std::atoi(raw.c_str() + raw.find(' ') + 1);
  std::string head = text::ToLowerAscii(raw.substr(0, end));
  size_t type = head.find("\r\ncontent-type:");
  if (type != std::string::npos) {
    size_t from = head.find_first_not_of(' ', type + 15);
    answer.contentType = raw.substr(from, head.find("\r\n", from) - from);
  }
  answer.body = raw.substr(end + 4);
  return answer;
}

// The address a link on the page at `page` (an absolute path) leads to: its
// path and query, without the fragment, with "." and ".." worked out.
std::string ResolveLink(const std::string& page, std::string link) {
  link = link.substr(0, link.find('#'));
  std::string query;
  if (size_t q = link.find('?'); q != std::string::npos) {
    query = link.substr(q);
    link.resize(q);
  }
  std::string path = link.empty() ? page : link[0] == '/' ? link : page.substr(0, page.rfind('/') + 1) + link;
  std::vector<std::string> parts;
  size_t from = 1;
  while (from <= path.size()) {
    size_t slash = path.find('/', from);
    if (slash == std::string::npos) slash = path.size();
    std::string part = path.substr(from, slash - from);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (part != "." && (!part.empty() || slash == path.size())) {
      parts.push_back(part);
    }
    from = slash + 1;
  }
  std::string out;
  for (const auto& part : parts) out += "/" + part;
  return (out.empty() ? "/" : out) + query;
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

// The demo site: the launcher's pages, the game, the operator's web pages.
// Each one is served with its type, as UTF-8 that says so, and loads nothing
// from another host (nor from an absolute address of this one, which would
// break on another port).
TEST_F(NetTest, OperatorServesTheSitePagesWithTheirTypes) {
  struct Case {
    const char* target;
    const char* type;
  };
  const Case cases[] = {
      {"/client/home.html", "text/html"},
      {"/client/home.html?user=%E6%9E%97", "text/html"},
      {"/client/login.html", "text/html"},
      {"/client/client.css", "text/css"},
      {"/play/index.html?gs=x&msg=2", "text/html"},
      {"/play/", "text/html"},  // the game address itself shows the game
      {"/site/index.html", "text/html"},
      {"/site/site.css", "text/css"},
      {"/site/logo.svg", "image/svg+xml"},
      {"/bbs/hbhx.html", "text/html"},
      {"/kf/index.html", "text/html"},
      {"/pay/index.html?appkey=hbhx2026", "text/html"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    RawAnswer a = RawGet(server_->Port(), c.target);
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.contentType.substr(0, std::strlen(c.type)), c.type) << a.contentType;
    EXPECT_TRUE(text::IsValidUtf8(a.body));
    std::string type = c.type;
    if (type == "text/html") {
      EXPECT_NE(a.body.find("<meta charset=\"utf-8\">"), std::string::npos);
    }
    if (type != "image/svg+xml") {  // an SVG names its namespace with an address
      EXPECT_EQ(a.body.find("http://"), std::string::npos);
      EXPECT_EQ(a.body.find("https://"), std::string::npos);
      EXPECT_EQ(a.body.find("=\"//"), std::string::npos);
    }
  }
  EXPECT_EQ(RawGet(server_->Port(), "/play/").body, RawGet(server_->Port(), "/play/index.html").body);
  EXPECT_EQ(RawGet(server_->Port(), "/client/nothing.html").status, 404);
}

// Every link and resource of every page leads to a file the operator serves;
// the home page's start button leads into the game folder (the address the
// client recognises as the game), and its page commands are links, which the
// engine lets through (a script that assigns location.href an app:// address
// is refused).
TEST_F(NetTest, TheSitesLinksAllLeadSomewhere) {
  const char* pages[] = {"/client/home.html", "/client/login.html", "/play/index.html", "/site/index.html",
                         "/bbs/hbhx.html",    "/kf/index.html",     "/pay/index.html"};
  const std::regex attribute(R"re((?:href|src|action)="([^"]*)")re");
  std::set<std::string> checked;
  for (const char* page : pages) {
    SCOPED_TRACE(page);
    std::string body = RawGet(server_->Port(), page).body;
    ASSERT_FALSE(body.empty());
    for (std::sregex_iterator it(body.begin(), body.end(), attribute), end; it != end; ++it) {
      std::string link = (*it)[1];
      if (link.empty() || link[0] == '#' || link.rfind("app://", 0) == 0) continue;
      if (link.find(':') != std::string::npos) {
        ADD_FAILURE() << "a link with a scheme: " << link;
        continue;
      }
      std::string target = ResolveLink(page, link);
      if (!checked.insert(target).second) continue;
      EXPECT_EQ(RawGet(server_->Port(), target).status, 200) << link << " -> " << target;
    }
  }

  std::string home = RawGet(server_->Port(), "/client/home.html").body;
  std::smatch start;
  ASSERT_TRUE(std::regex_search(home, start, std::regex(R"re(id="start" href="([^"]*)")re")));
  EXPECT_EQ(ResolveLink("/client/home.html", start[1]).rfind("/play/", 0), 0u) << start[1];
  EXPECT_NE(home.find("href=\"app://minimize|\""), std::string::npos);
  EXPECT_NE(home.find("href=\"app://exitgame|\""), std::string::npos);
  EXPECT_NE(home.find("href=\"login.html\""), std::string::npos);
  EXPECT_EQ(home.find("location.href = 'app://"), std::string::npos);
}

TEST(OperatorLinks, ResolveLinkWorksOutRelativePaths) {
  struct Case {
    const char* page;
    const char* link;
    const char* expected;
  };
  const Case cases[] = {
      {"/client/home.html", "login.html", "/client/login.html"},
      {"/client/home.html", "../play/index.html?user=a#x", "/play/index.html?user=a"},
      {"/client/home.html", "./client.css", "/client/client.css"},
      {"/client/home.html", "../../../site/", "/site/"},
      {"/pay/index.html", "?appkey=k", "/pay/index.html?appkey=k"},
      {"/bbs/hbhx.html", "/kf/index.html", "/kf/index.html"},
  };
  for (const auto& c : cases) EXPECT_EQ(ResolveLink(c.page, c.link), c.expected) << c.page << " + " << c.link;
}
