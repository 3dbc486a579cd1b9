#include "platform/net/CancelToken.h"

#include <curl/curl.h>

namespace net {

void CancelToken::Cancel() {
  cancelled_.store(true, std::memory_order_release);
  std::lock_guard<std::mutex> lock(mutex_);
  if (multi_) curl_multi_wakeup(static_cast<CURLM*>(multi_));
}

void CancelToken::Attach(void* multi) {
  std::lock_guard<std::mutex> lock(mutex_);
  multi_ = multi;
}

}  // namespace net
