#include "transfer/DownloadThread.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/net/DownloadCache.h"
#include "platform/net/Transfer.h"
#include "platform/ui/Window.h"
#include "transfer/ExpandEnv.h"

namespace {

constexpr int kMaxAttempts = 100;

net::TransferOptions DownloadOptions(net::CancelToken* cancel) {
  net::TransferOptions o;
  o.connectTimeoutMs = 15000;
  o.totalTimeoutMs = 30 * 60 * 1000;  // an update package on a slow line, not forever
  o.stallTimeoutSec = 30;
  o.maxBytes = 1LL << 30;
  o.failOnHttpError = true;
  o.cancel = cancel;
  return o;
}

// Whether a file of ours (a regular file, not a link, a folder or a device,
// owned by this user) of exactly size bytes is at path. In a shared folder
// such as /tmp another user could have put a file of that size there.
bool HasSize(const std::string& path, long long size) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
         static_cast<long long>(st.st_size) == size;
}

}  // namespace

CDownloadThread::CDownloadThread() = default;

CDownloadThread::~CDownloadThread() {
  m_cancel.Cancel();
  StopAndJoin();
  // The queue and the finished records go with the members.
}

void CDownloadThread::AddRequest(THREAD_PARAM_DOWN& request) {
  std::lock_guard<std::mutex> lock(m_cs);
  request.nId = m_nNextId++;
  m_queue.push_back(request);
}

void CDownloadThread::GetResult(int nId, THREAD_PARAM_DOWN& out) {
  std::lock_guard<std::mutex> lock(m_cs);
  auto it = m_mapDone.find(nId);
  if (it != m_mapDone.end()) out = it->second;
}

void CDownloadThread::Stop() {
  if (GetState() == 3) return;
  CThreadBase::Stop();
  m_cancel.Cancel();
}

std::uint32_t CDownloadThread::Run() {
  m_cancel.Reset();  // a Stop before this point has set the stop event, seen below
  for (;;) {
    int w = transfer::WaitForAny({&m_hStopEvent, &m_hWorkEvent}, transfer::kInfinite);
    if (w != 1) return 1;
    // Drain the queue. The work event is cleared under the lock whenever a
    // request is taken or the queue is found empty, so a request queued and
    // signalled at any moment is either taken here or wakes the worker again.
    for (;;) {
      THREAD_PARAM_DOWN request;
      {
        std::lock_guard<std::mutex> lock(m_cs);
        if (m_queue.empty()) {
          m_hWorkEvent.Reset();
          break;
        }
        request = m_queue.front();
        m_queue.pop_front();
        m_hWorkEvent.Reset();
      }
      Outcome outcome = Process(request);
      if (outcome == Outcome::EndThread) {
        m_nState = 3;
        return 0;
      }
      if (outcome == Outcome::Cancelled) break;  // Stop: the main wait sees the stop event
    }
  }
}

CDownloadThread::Outcome CDownloadThread::Process(THREAD_PARAM_DOWN& request) {
  net::DownloadCache cache = m_strCacheProduct.empty() ? net::DownloadCache() : net::DownloadCache(m_strCacheProduct);
  net::TransferOptions options = DownloadOptions(&m_cancel);
  int attempts = 0;
  for (;;) {
    std::string local;
    net::TransferResult r;
    cache.Remove(request.strUrl);  // every attempt fetches the file anew
    if (!request.strSavePath.empty()) {
      local = transfer::ExpandEnvironmentStrings(request.strSavePath);
      if (!local.empty() && request.nFileSize > 0 && HasSize(local, request.nFileSize)) {
        r.ok = true;
      } else if (!local.empty()) {
        r = net::DownloadToFile(request.strUrl, local, options);
      } else {
        std::fprintf(stderr, "torvane: the save path %s cannot be expanded\n", request.strSavePath.c_str());
      }
    } else {
      r = cache.Download(request.strUrl, options, &local);
    }
    // Stop cut the transfer short: the request is dropped without a message.
    // A retried request ends the thread as a Stop during its retry wait does.
    if (r.cancelled) return request.bRetry ? Outcome::EndThread : Outcome::Cancelled;
    bool ok = r.ok;

    if (ok) {
      {
        std::lock_guard<std::mutex> lock(m_cs);
        request.strUrl = local;
        m_mapDone[request.nId] = request;
      }
      Notify(request);
      return Outcome::Finished;
    }
    if (!request.bRetry) {
      Notify(request);
      return Outcome::Finished;
    }
    if (m_hStopEvent.Wait(m_nRetryWaitMs)) return Outcome::EndThread;
    if (!WaitWhilePaused()) return Outcome::EndThread;
    ++attempts;
    if (m_hStopEvent.IsSet() || !WaitWhilePaused()) return Outcome::EndThread;
    if (attempts >= kMaxAttempts) return Outcome::Finished;  // given up, silently
  }
}

bool CDownloadThread::WaitWhilePaused() {
  if (!m_hPauseEvent.IsSet()) return true;
  return transfer::WaitForAny({&m_hStopEvent, &m_hResumeEvent}, transfer::kInfinite) == 1;
}

void CDownloadThread::Notify(const THREAD_PARAM_DOWN& request) {
  if (m_notifier)
    m_notifier(request.hNotifyWnd, request.nMsg, 0, request.nId);
  else
    ::PostMessage(request.hNotifyWnd, request.nMsg, 0, request.nId);
}
