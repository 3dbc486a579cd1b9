// CThreadBase: a worker thread that its owner starts, pauses, resumes and
// stops through three manual-reset events and a state value; the thread's
// body is the derived class's Run.
//
// States: 0 created, 1 paused, 2 running, 3 ended (the thread could not be
// created, or Run ended it while retrying). The state is not changed when
// the thread ends by itself; GetThreadHandle()->Ended() tells that.
//
// Threads: Start, Pause, Resume, Stop and GetThreadHandle belong to the
// owner's thread (the user-interface thread); GetState may be read from any
// thread; Run runs on the worker thread.
//
// What the owner may rely on: after Stop, the handle from GetThreadHandle
// ends (wait on it with Wait(ms)); the handle stays valid for the life of the
// object. Destroying the object stops the thread and waits for it, so the
// thread never outlives the object; a derived class calls StopAndJoin() in
// its own destructor, because Run may use the derived members.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/ui/Types.h"
#include "transfer/Event.h"

class CThreadBase {
 public:
  CThreadBase() = default;
  virtual ~CThreadBase();
  CThreadBase(const CThreadBase&) = delete;
  CThreadBase& operator=(const CThreadBase&) = delete;

  // Clears the three events. bSuspended: enter state 1 without a thread
  // (Resume creates it). Otherwise create the thread and enter state 2, or
  // state 3 when it cannot be created. A thread of an earlier Start that
  // still runs is kept: Start never runs two threads at once; one that was
  // asked to stop is waited for first and replaced by a new one.
  virtual void Start(BOOL bSuspended);
  // From state 2: clear m_hResumeEvent, set m_hPauseEvent, enter state 1.
  virtual void Pause();
  // From state 1: with a thread, clear m_hPauseEvent, set m_hResumeEvent and
  // enter state 2; without one, Start(FALSE).
  virtual void Resume();
  // Unless the state is 3, set m_hStopEvent. Does not wait.
  virtual void Stop();
  virtual int GetState();
  // The current thread, or null before the first thread was created.
  virtual transfer::ThreadHandle* GetThreadHandle();

 protected:
  // The thread's body; its result is the thread's exit code.
  virtual std::uint32_t Run() = 0;
  // Sets m_hStopEvent (whatever the state) and waits for the thread to end.
  void StopAndJoin();

  static std::uint32_t ThreadProc(CThreadBase* self) { return self ? self->Run() : 0; }

  transfer::Event m_hStopEvent;
  transfer::Event m_hPauseEvent;
  transfer::Event m_hResumeEvent;
  std::atomic<int> m_nState{0};
  std::unique_ptr<transfer::ThreadHandle> m_pThread;
};
