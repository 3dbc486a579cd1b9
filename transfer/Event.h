// Manual-reset events, as the download worker uses them: an event
// stays set until it is reset, a wait can watch several events at once and
// give up after a time-out. Also the handle of a thread, which is waited on
// the same way and keeps the thread's exit code.
//
// Threads: every operation may be called from any thread.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <thread>

namespace transfer {

constexpr int kInfinite = -1;     // a wait without time-out
constexpr int kWaitTimeout = -1;  // WaitForAny's result when nothing was set in time

class Event {
 public:
  Event() = default;
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // True when the event is set, now or within timeoutMs (kInfinite: no limit).
  bool Wait(int timeoutMs = kInfinite) const;

 private:
  bool set_ = false;  // guarded by the one lock all events share (Event.cpp)
  friend int WaitForAny(std::initializer_list<const Event*> events, int timeoutMs);
};

// Waits until one of the events is set; returns the index of the first set
// event in the list, or kWaitTimeout.
int WaitForAny(std::initializer_list<const Event*> events, int timeoutMs);

// A running thread: waitable, joined on destruction, keeps its exit code.
class ThreadHandle {
 public:
  // Starts body on a new thread; throws std::system_error when it cannot.
  template <class F>
  explicit ThreadHandle(F body) : thread_([this, body]() mutable { Finish(body()); }) {}
  ~ThreadHandle();
  ThreadHandle(const ThreadHandle&) = delete;
  ThreadHandle& operator=(const ThreadHandle&) = delete;

  // True when the thread has ended, now or within timeoutMs.
  bool Wait(int timeoutMs = kInfinite) const { return ended_.Wait(timeoutMs); }
  bool Ended() const { return ended_.IsSet(); }
  // The value the thread's body returned; false while it still runs.
  bool GetExitCode(std::uint32_t* code) const;
  std::thread::id Id() const { return thread_.get_id(); }

 private:
  void Finish(std::uint32_t code);

  Event ended_;
  std::uint32_t exitCode_ = 0;  // written before ended_ is set, read after
  std::thread thread_;          // last: starts once the rest exists
};

}  // namespace transfer
