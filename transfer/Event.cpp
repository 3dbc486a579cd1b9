#include "transfer/Event.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace transfer {
namespace {

// All events share one lock and one condition: a wait for several events
// then needs no registration, and the handful of events in the client makes
// the extra wake-ups of unrelated waiters cost nothing.
std::mutex& Lock() {
  static std::mutex m;
  return m;
}
std::condition_variable& Changed() {
  static std::condition_variable c;
  return c;
}

}  // namespace

void Event::Set() {
  {
    std::lock_guard<std::mutex> lock(Lock());
    set_ = true;
  }
  Changed().notify_all();
}

void Event::Reset() {
  std::lock_guard<std::mutex> lock(Lock());
  set_ = false;
}

bool Event::IsSet() const {
  std::lock_guard<std::mutex> lock(Lock());
  return set_;
}

bool Event::Wait(int timeoutMs) const { return WaitForAny({this}, timeoutMs) == 0; }

int WaitForAny(std::initializer_list<const Event*> events, int timeoutMs) {
  std::unique_lock<std::mutex> lock(Lock());
  auto firstSet = [&]() {
    int i = 0;
    for (const Event* e : events) {
      if (e->set_) return i;
      ++i;
    }
    return kWaitTimeout;
  };
  if (timeoutMs < 0) {
    Changed().wait(lock, [&] { return firstSet() != kWaitTimeout; });
    return firstSet();
  }
  Changed().wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return firstSet() != kWaitTimeout; });
  return firstSet();
}

ThreadHandle::~ThreadHandle() {
  if (thread_.joinable()) thread_.join();
}

void ThreadHandle::Finish(std::uint32_t code) {
  exitCode_ = code;
  ended_.Set();
}

bool ThreadHandle::GetExitCode(std::uint32_t* code) const {
  if (!ended_.IsSet()) return false;
  *code = exitCode_;
  return true;
}

}  // namespace transfer
