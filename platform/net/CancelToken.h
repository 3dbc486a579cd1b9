// Lets one thread cancel a transfer that another thread is running: Cancel
// marks the token and wakes the transfer's wait at once, so a stalled
// connection is abandoned without waiting for its time-outs.
//
// Threads: Cancel, IsCancelled and Reset from any thread; Attach and Detach
// only from the thread running the transfer (net::Perform does that).
#pragma once

#include <atomic>
#include <mutex>

namespace net {

class CancelToken {
 public:
  CancelToken() = default;
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  // Cancels the running transfer, if any, and every later one until Reset.
  void Cancel();
  bool IsCancelled() const { return cancelled_.load(std::memory_order_acquire); }
  void Reset() { cancelled_.store(false, std::memory_order_release); }

  // The transfer in progress (a CURLM*), woken by Cancel; null detaches.
  void Attach(void* multi);
  void Detach() { Attach(nullptr); }

 private:
  std::atomic<bool> cancelled_{false};
  std::mutex mutex_;
  void* multi_ = nullptr;
};

}  // namespace net
