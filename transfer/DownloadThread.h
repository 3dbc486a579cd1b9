// CDownloadThread: the download worker. The owner queues THREAD_PARAM_DOWN
// requests with AddRequest and sets m_hWorkEvent; the worker downloads them
// one at a time, oldest first (into the download cache when strSavePath is
// empty, else to that path), stores each success under its id and posts
// nMsg to hNotifyWnd with wParam 0 and lParam nId. The receiver fetches the
// finished record with GetResult.
//
// A failed request without bRetry posts its message too, with nothing stored.
// With bRetry a request is tried up to 100 times, a second apart; if every
// attempt fails, or Stop ends the waiting, nothing is posted.
//
// Threads: construction, Start, AddRequest, m_hWorkEvent.Set(), GetResult,
// Stop and destruction on the owner's (user-interface) thread; Run on the
// worker. The lock guards the queue, the finished table and the id counter
// only; it is never held during a download, a wait or a post.
//
// What the owner may rely on: Stop also cancels a download in progress (the
// request is dropped without a message and leaves no file behind; for a
// retried request the thread ends in state 3, as from its retry wait), so
// the thread ends promptly whatever the network does; a download that
// finished before the Stop is still stored and reported;
// the destructor stops the thread and waits for it, so the worker never
// outlives this object. A record is stored before its message is posted, so
// the message's handler always finds it.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "platform/net/CancelToken.h"
#include "platform/ui/Types.h"
#include "transfer/ThreadBase.h"

class CDownloadThread : public CThreadBase {
 public:
  struct THREAD_PARAM_DOWN {
    std::string strSrcUrl;    // the address as submitted; the worker leaves it alone
    std::string strUrl;       // the address; on success the local file's full path
    std::string strSavePath;  // where to save; environment references expanded (transfer/ExpandEnv.h); "" = the download cache
    int nFileSize = 0;        // > 0: a file already at strSavePath with this size counts as downloaded
    UINT nMsg = 0;            // the completion message
    int nId = 0;              // assigned by AddRequest
    BOOL bRetry = FALSE;      // retry a failed download (100 attempts in all, 1000 ms apart)
    HWND hNotifyWnd = nullptr;
  };

  // Requests without a save path use the download cache of the product named
  // by net::DownloadCache::SetDefaultProduct at the time of the request,
  // unless SetCacheProduct names one.
  CDownloadThread();
  ~CDownloadThread() override;

  // Gives the record the next id (0, 1, 2, ... in queuing order) and queues a
  // copy. Does not wake the worker: set m_hWorkEvent afterwards.
  void AddRequest(THREAD_PARAM_DOWN& request);
  // Copies the finished record with this id into out; leaves out unchanged
  // when none is stored. The record stays stored.
  void GetResult(int nId, THREAD_PARAM_DOWN& out);

  // Sets the stop event and cancels the download in progress.
  void Stop() override;

  // Set by the owner after queuing; cleared by the worker.
  transfer::Event m_hWorkEvent;

  // Settings, to be changed only before Start:
  // the product whose download cache requests without a save path use;
  void SetCacheProduct(const std::string& product) { m_strCacheProduct = product; }
  // the wait between attempts of a retried request (1000 ms; tests shorten it);
  void SetRetryWaitMs(int ms) { m_nRetryWaitMs = ms; }
  // how completion is announced (PostMessage unless a test watches it).
  using Notifier = std::function<void(HWND, UINT, WPARAM, LPARAM)>;
  void SetNotifier(Notifier notifier) { m_notifier = std::move(notifier); }

 protected:
  std::uint32_t Run() override;

 private:
  enum class Outcome { Finished, EndThread, Cancelled };
  Outcome Process(THREAD_PARAM_DOWN& request);
  // Between attempts of a retried request: false when the thread must end.
  bool WaitWhilePaused();
  void Notify(const THREAD_PARAM_DOWN& request);

  std::mutex m_cs;  // guards m_queue, m_mapDone and m_nNextId
  std::deque<THREAD_PARAM_DOWN> m_queue;
  std::map<int, THREAD_PARAM_DOWN> m_mapDone;
  int m_nNextId = 0;

  net::CancelToken m_cancel;
  std::string m_strCacheProduct;
  int m_nRetryWaitMs = 1000;
  Notifier m_notifier;
};
