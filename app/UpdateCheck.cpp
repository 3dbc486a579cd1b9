// The update check of the main frame: the version document, the version
// comparison, and the signed package started right before the client exits.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "app/AppMessages.h"
#include "app/AppShared.h"
#include "app/ClientConfig.h"
#include "app/MainFrame.h"
#include "app/StartupTrace.h"
#include "app/UpdateSignature.h"
#include "platform/base/Paths.h"
#include "platform/base/Text.h"
#include "platform/net/DownloadCache.h"

namespace {

// The copy of the version document beside the executable.
constexpr char kVersionCopyName[] = "config.xml";
// A version document is a few hundred bytes; a larger answer is not one.
constexpr std::size_t kMaxVersionDocument = 1 << 20;
// Where verified packages are kept, inside the product's download cache.
constexpr char kUpdatesFolder[] = "updates";
// How much of a text from the network a diagnostic line shows.
constexpr std::size_t kMaxShownChars = 200;

// Reads an open file whole into *out; false when it cannot be read or holds
// more than limit bytes.
bool ReadAtMost(int fd, std::size_t limit, std::string* out) {
  std::string content;
  char buf[1 << 14];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    content.append(buf, static_cast<std::size_t>(n));
    if (content.size() > limit) return false;
  }
  *out = std::move(content);
  return true;
}

bool ReadFileAtMost(const std::string& path, std::size_t limit, std::string* out) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  bool ok = ReadAtMost(fd, limit, out);
  close(fd);
  return ok;
}

bool WriteAll(int fd, const std::string& content) {
  const char* p = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// A name for a hidden file beside the copy that nobody else is using.
std::string HiddenName(const std::string& dir) {
  static std::atomic<unsigned> counter{0};
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return text::Format("%s/.%s.%d.%u.%ld", dir.c_str(), kVersionCopyName, static_cast<int>(getpid()),
                      counter.fetch_add(1), static_cast<long>(ts.tv_nsec));
}

// The copy of the version document beside the executable, and which file it
// is, so that only this file is deleted afterwards.
struct VersionCopy {
  std::string path;
  dev_t dev = 0;
  ino_t ino = 0;
};

// Writes content as dir/config.xml so that the name only ever shows a whole
// document: the bytes go into an unnamed file (or, where the file system has
// none, a hidden one created exclusively), which is then renamed over the
// name. An older copy is replaced; a link or anything else planted under the
// name is replaced, never written through. False, with nothing left behind,
// when the folder does not take it (a read-only install folder, a folder
// named config.xml).
bool WriteVersionCopy(const std::string& dir, const std::string& content, VersionCopy* copy) {
  std::string name = dir + "/" + kVersionCopyName;
  std::string temp;
  int fd = open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
  if (fd >= 0) {
    if (!WriteAll(fd, content)) {
      close(fd);
      return false;
    }
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    bool linked = false;
    for (int attempt = 0; attempt < 8 && !linked; ++attempt) {
      temp = HiddenName(dir);
      linked = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0;
      if (!linked && errno != EEXIST) break;
    }
    if (!linked) {
      close(fd);
      return false;
    }
  } else if (errno == EISDIR || errno == EOPNOTSUPP || errno == EINVAL) {
    // No unnamed files here: a hidden one, created exclusively.
    temp = dir + "/." + kVersionCopyName + ".XXXXXX";
    fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    fchmod(fd, 0644);
    if (!WriteAll(fd, content)) {
      close(fd);
      unlink(temp.c_str());
      return false;
    }
  } else {
    return false;
  }
  struct stat st;
  bool ok = fstat(fd, &st) == 0;
  close(fd);
  if (!ok || rename(temp.c_str(), name.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  copy->path = name;
  copy->dev = st.st_dev;
  copy->ino = st.st_ino;
  return true;
}

// Deletes the copy, unless something else has taken its name meanwhile.
void RemoveVersionCopy(const VersionCopy& copy) {
  struct stat st;
  if (lstat(copy.path.c_str(), &st) == 0 && st.st_dev == copy.dev && st.st_ino == copy.ino)
    unlink(copy.path.c_str());
}

// A text from the network as one short, printable line.
std::string Shown(const std::string& s) {
  std::string r;
  for (char c : s) {
    if (r.size() >= kMaxShownChars) {
      r += "...";
      break;
    }
    unsigned char u = static_cast<unsigned char>(c);
    r += (u < 0x20 || u == 0x7f) ? '?' : c;
  }
  return text::SanitizeUtf8(r);
}

}  // namespace

bool IsNewerVersion(const std::string& version) { return update::CompareVersions(version, CLIENT_VERSION) > 0; }

LRESULT CMainFrame::OnVersionInfoLoaded(WPARAM, LPARAM lParam) {
  if (!m_pDownloadThread) return 0;
  CDownloadThread::THREAD_PARAM_DOWN done;
  m_pDownloadThread->GetResult(static_cast<int>(lParam), done);
  // One version check a run; a finished request of another kind is not ours
  // to examine or delete.
  if (m_bVersionInfoDone) return 0;
  if (!done.strUrl.empty() && done.nMsg != WM_VERSIONINFO_LOADED) return 0;
  m_bVersionInfoDone = true;
  const std::string file = done.strUrl;
  if (file.empty()) {  // the download failed: the chain ends here
    startup::Trace("update-check", "no document");
    return 0;
  }
  startup::Trace("update-version-loaded");

  int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
  if (fd >= 0) {
    std::string content;
    bool read = ReadAtMost(fd, kMaxVersionDocument, &content);
    close(fd);
    if (read) {
      // The copy beside the executable; where that folder cannot take it,
      // the downloaded document itself, so a read-only install still updates.
      std::string dir = m_strVersionCopyDir.empty() ? GetModulePath(false) : m_strVersionCopyDir;
      VersionCopy copy;
      if (WriteVersionCopy(dir, content, &copy)) {
        ProcessVersionInfo(copy.path);
        RemoveVersionCopy(copy);
      } else {
        ProcessVersionInfo(file);
      }
      m_pDownloadThread->m_hWorkEvent.Set();  // a package queued above starts now
    }
  }
  net::DownloadCache().Remove(done.strSrcUrl);
  unlink(file.c_str());
  startup::Trace("update-check", m_update.bQueued ? "package " + Shown(m_update.strUrl) : std::string("no update"));
  return 0;
}

void CMainFrame::ProcessVersionInfo(const std::string& path) {
  std::string bytes;
  if (!ReadFileAtMost(path, kMaxVersionDocument, &bytes)) return;
  update::VersionNotice notice;
  if (!update::ReadVersionDocument(bytes, &notice)) return;
  if (!IsNewerVersion(notice.version) || notice.url.empty()) return;
  // One package a run.
  if (!m_pDownloadThread || m_update.bQueued) return;
  m_update.strVersion = notice.version;
  m_update.strUrl = notice.url;
  m_update.strSig = notice.sig;
  m_update.bQueued = true;
  RequestDownload(notice.url, WM_UPDATE_LOADED);
}

LRESULT CMainFrame::OnUpdateLoaded(WPARAM, LPARAM lParam) {
  if (!m_pDownloadThread) return 0;
  CDownloadThread::THREAD_PARAM_DOWN done;
  m_pDownloadThread->GetResult(static_cast<int>(lParam), done);
  if (done.strUrl.empty()) return 0;  // the download failed: the chain ends here
  // Only the package this run's version document announced.
  if (!m_update.bQueued || done.nMsg != WM_UPDATE_LOADED || done.strSrcUrl != m_update.strUrl) return 0;
  m_update.bQueued = false;
  startup::Trace("update-package-loaded");

  // The bytes that are checked are the bytes that start: a private copy,
  // made and hashed in one pass from the download.
  ClientConfig* config = ClientConfig::Get();
  std::string product = config->GetUserClientAbout();
  net::DownloadCache cache;
  std::string updates = cache.Folder() + "/" + kUpdatesFolder;
  cache.MakePrivateFolder();  // the private copy's parent must be closed to others
  update::KeptPackage kept = update::KeepVerifiedPackage(
      done.strUrl, updates, update::PackageFileName(done.strSrcUrl), config->GetValue("updateKey"),
      m_update.strSig, product, m_update.strVersion);
  // The download goes either way: refused, or replaced by the verified copy.
  cache.Remove(done.strSrcUrl);
  unlink(done.strUrl.c_str());

  if (kept.verdict != update::Verdict::kValid) {
    std::string why = update::Describe(kept.verdict);
    if (!kept.error.empty()) why += " (" + kept.error + ")";
    std::fprintf(stderr, "torvane: update %s from %s deleted, not started: %s\n", Shown(m_update.strVersion).c_str(),
                 Shown(m_update.strUrl).c_str(), why.c_str());
    startup::Trace("update-package-refused", update::Describe(kept.verdict));
    return 0;
  }

  LaunchProcess(kept.path);  // the path is the whole command line
  startup::Trace("update-package-started", kept.path);
  if (m_pGameWnd) m_pGameWnd->Show(FALSE);
  if (m_pHtmlWnd) m_pHtmlWnd->Show(FALSE);
  PostMessage(WM_COMMAND, ID_APP_EXIT, 0);
  return 0;
}
