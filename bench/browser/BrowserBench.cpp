// Times navigate -> DocumentComplete for a local page in a browser view with
// WebKitGTK, cold (a new view, its web process starting) and warm (the same
// view again), and reports the proportional memory (PSS) of the client and of
// the engine's processes with one and with two views. Starts its own Xvfb and
// stand-in operator. Prints one line per figure.
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "browser/IEView.h"
#include "platform/ui/EventLoop.h"
#include "tests/support/VirtualDisplay.h"
#include "tools/operator/OperatorProcess.h"

namespace {

class TimingView : public CIEView {
 public:
  std::string completed;

 protected:
  void OnDocumentComplete(web::DocumentRef doc, const std::string& url) override {
    completed = url;
    CIEView::OnDocumentComplete(doc, url);
  }
};

struct Holder {
  CWnd parent;
  TimingView view;
  bool Create() {
    if (!parent.CreateEx(0, "", "", WS_POPUP, 0, 0, 800, 600, nullptr)) return false;
    parent.ShowWindow(SW_SHOW);
    return view.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 800, 600}, parent.m_hWnd, 0x83);
  }
};

double NavigateMs(TimingView& view, const std::string& url) {
  view.completed.clear();
  auto start = std::chrono::steady_clock::now();
  view.Navigate(url);
  if (!ui::PumpUntil([&] { return view.completed == url; }, 30000)) return -1;
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

long PssKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string key;
  long value;
  std::string unit;
  while (in >> key) {
    if (key == "Pss:") {
      in >> value;
      return value;
    }
    std::getline(in, unit);
  }
  return 0;
}

// The engine's processes: children of this process named WebKit*.
std::vector<std::pair<pid_t, std::string>> EngineProcesses() {
  std::vector<std::pair<pid_t, std::string>> out;
  DIR* proc = opendir("/proc");
  while (dirent* d = proc ? readdir(proc) : nullptr) {
    pid_t pid = std::atoi(d->d_name);
    if (pid <= 0) continue;
    std::ifstream stat(std::string("/proc/") + d->d_name + "/stat");
    std::string line;
    std::getline(stat, line);
    auto open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    std::string name = line.substr(open + 1, close - open - 1);
    std::istringstream rest(line.substr(close + 2));
    char state;
    pid_t ppid;
    rest >> state >> ppid;
    if (ppid == getpid() && name.rfind("WebKit", 0) == 0) out.push_back({pid, name});
  }
  if (proc) closedir(proc);
  return out;
}

void ReportMemory(const char* label) {
  ui::PumpUntil([] { return false; }, 500);
  long engine = 0;
  std::string detail;
  for (auto& [pid, name] : EngineProcesses()) {
    long kb = PssKb(pid);
    engine += kb;
    detail += " " + name + "=" + std::to_string(kb / 1024) + "MiB";
  }
  std::printf("pss %-9s client %ld MiB, engine %ld MiB (%s)\n", label, PssKb(getpid()) / 1024, engine / 1024,
              detail.c_str() + (detail.empty() ? 0 : 1));
}

}  // namespace

int main() {
  char dir[] = "/tmp/torvane-browser-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  std::string temp = dir;
  setenv("XDG_DATA_HOME", (temp + "/data").c_str(), 1);
  setenv("XDG_CACHE_HOME", (temp + "/cache").c_str(), 1);
  VirtualDisplay display;
  if (!display.Start() || !ui::InitializeWith(ui::BackendKind::Gtk)) return 1;
  int rc = 0;
  {
    OperatorProcess server;
    if (!server.Start()) return 1;
    std::string page = server.Url("/test/browser/other.html");
    std::string page2 = server.Url("/test/browser/game.html");

    auto first = std::make_unique<Holder>();
    if (!first->Create()) return 1;
    double cold = NavigateMs(first->view, page);
    std::vector<double> warm;
    for (int i = 0; i < 10; ++i) warm.push_back(NavigateMs(first->view, i % 2 ? page : page2));
    double sum = 0, best = 1e9;
    for (double w : warm) sum += w, best = std::min(best, w);
    std::printf("navigate->DocumentComplete cold (new view): %.1f ms\n", cold);
    std::printf("navigate->DocumentComplete warm: mean %.1f ms, best %.1f ms over %zu\n", sum / warm.size(), best,
                warm.size());
    ReportMemory("one view");

    auto second = std::make_unique<Holder>();
    if (!second->Create()) return 1;
    double cold2 = NavigateMs(second->view, page);
    std::printf("navigate->DocumentComplete cold (second view): %.1f ms\n", cold2);
    ReportMemory("two views");
    if (cold < 0 || cold2 < 0) rc = 1;
    second.reset();
    first.reset();
    ui::PumpUntilIdle();
  }
  ui::Shutdown();
  display.Stop();
  std::system(("rm -rf '" + temp + "'").c_str());
  return rc;
}
