// Shared pieces of the worker tests: the stand-in operator for the suite, a
// fresh temporary folder (and XDG cache) per test, a listening socket the
// test controls, and a recorder of the worker's completion notices.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/net/Transfer.h"
#include "tests/support/TestFiles.h"
#include "tools/operator/OperatorProcess.h"
#include "transfer/DownloadThread.h"

// A loopback socket that listens but never answers: a connection to it is a
// transfer that has begun and stalls.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(fd_, 16) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
      port_ = ntohs(a.sin_port);
  }
  ~Listener() { Close(); }
  int Port() const { return port_; }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  // Whether a connection is waiting to be accepted now (a client that
  // connected has done so before its call returned).
  bool HasPending() const {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
  }
  // Accepts one connection within timeoutMs; its socket, or -1.
  int Accept(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return -1;
    int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (c >= 0) accepted_.push_back(c);
    return c;
  }
  void Close() {
    for (int c : accepted_) close(c);
    accepted_.clear();
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::vector<int> accepted_;
};

// Records the worker's completion notices (the notifier seam) and lets the
// test wait for them.
class Notices {
 public:
  struct Notice {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
  };
  CDownloadThread::Notifier Notifier() {
    return [this](HWND h, UINT m, WPARAM w, LPARAM l) {
      std::lock_guard<std::mutex> lock(mutex_);
      notices_.push_back({h, m, w, l});
      changed_.notify_all();
    };
  }
  // Waits until at least n notices arrived; false after timeoutMs.
  bool WaitFor(size_t n, int timeoutMs = 10000) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return notices_.size() >= n; });
  }
  std::vector<Notice> Get() {
    std::lock_guard<std::mutex> lock(mutex_);
    return notices_;
  }
  std::vector<LPARAM> Ids() {
    std::vector<LPARAM> ids;
    for (const Notice& n : Get()) ids.push_back(n.lParam);
    return ids;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Notice> notices_;
};

class TransferTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = std::make_unique<OperatorProcess>();
    ASSERT_TRUE(server_->Start());
  }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(server_ && server_->Running());
    std::string templ = (std::filesystem::temp_directory_path() / "torvane-transfer-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    dir_ = templ;
    setenv("XDG_CACHE_HOME", (dir_ + "/cache").c_str(), 1);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  static std::string Url(const std::string& path) { return server_->Url(path); }
  // The number of requests /test/flaky has seen with this key.
  static int FlakyCount(const std::string& key) {
    std::string body;
    net::FetchText(Url("/test/flaky/count?key=" + key), net::TransferOptions(), &body);
    return std::atoi(body.c_str());
  }

  // A request as the main frame builds one.
  static CDownloadThread::THREAD_PARAM_DOWN Request(const std::string& url, UINT msg = 0x466) {
    CDownloadThread::THREAD_PARAM_DOWN r;
    r.strSrcUrl = url;
    r.strUrl = url;
    r.nMsg = msg;
    r.hNotifyWnd = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x1234));
    return r;
  }

  static inline std::unique_ptr<OperatorProcess> server_;
  std::string dir_;
};
